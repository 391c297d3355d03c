#!/bin/sh
# A program's options, as its --help lists them, and the options its manual
# page describes must be the same: an option added to one alone fails here.
#   man_options.sh PAGE.scd PROGRAM...   (PROGRAM with its emulator, if any)
fail() {
  echo "man: FAILED: $*"
  exit 1
}
page=$1
shift
name=$(basename "$page" .scd)
name=${name%.*}
help=$("$@" --help) || fail "$* --help ended with status $?"
listed=$(printf '%s\n' "$help" | sed -n 's/^  \(-h,\)\{0,1\}\(--[a-z0-9-]*\).*/\2/p' | sort -u)
described=$(sed -n '/^# OPTIONS/,/^# [A-Z]/p' "$page" | grep -o '\*--[a-z0-9-]*\*' | tr -d '*' | sort -u)
[ -n "$listed" ] || fail "no options found in the --help of $*"
status=0
for option in $(printf '%s\n' "$listed" | grep -vxF -e "$described"); do
  echo "man: FAILED: $option is in the --help of $name but not in the OPTIONS of $page"
  status=1
done
for option in $(printf '%s\n' "$described" | grep -vxF -e "$listed"); do
  echo "man: FAILED: $option is in the OPTIONS of $page but not in the --help of $name"
  status=1
done
[ $status -ne 0 ] || echo "man: $name: $(printf '%s\n' "$listed" | wc -l) options, all in $page"
exit $status
