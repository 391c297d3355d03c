#!/bin/sh
# A program's options, as its --help lists them, and the options each of its
# pages describes must be the same, each described once and taking a value in
# both or in neither: an option added to one alone fails here.
#   man_options.sh PAGE.scd|PAGE.md... PROGRAM...   (PROGRAM with its emulator, if any)
fail() {
  echo "man: FAILED: $*"
  exit 1
}
# One line per option: "--name", or "--name VALUE" when it takes one.
# shellcheck disable=SC2016 # the backticks are Markdown's
described() {
  case $1 in
  *.scd)
    sed -n '/^# OPTIONS/,/^# [A-Z]/p' "$1" | grep '^\*-' | grep -o '\*--[a-z0-9-]*\*\( _\)\{0,1\}' |
      sed 's/\*\(--[a-z0-9-]*\)\* _/\1 VALUE/; s/\*//g'
    ;;
  *.md)
    sed -n '/^## Options/,/^## [A-Z]/s/^| \(`-.*\)/\1/p' "$1" | sed 's/ | .*//' | grep -o '`--[a-z0-9-]*[^`]*`' |
      sed 's/`\(--[a-z0-9-]*\) [^`]*`/\1 VALUE/; s/`//g'
    ;;
  esac
}
pages=
while :; do
  case $1 in
  *.scd | *.md) pages="$pages $1" && shift ;;
  *) break ;;
  esac
done
set -f # the pages' paths are split on blanks, never globbed
first=${pages# }
name=$(basename "${first%% *}" .scd)
name=${name%.*}
help=$("$@" --help) || fail "$* --help ended with status $?"
listed=$(printf '%s\n' "$help" | sed -n 's/^  \(-h,\)\{0,1\}\(--[a-z0-9-]*\)\( [A-Z]\)\{0,1\}.*/\2\3/p' |
  sed 's/ [A-Z]$/ VALUE/' | sort -u)
[ -n "$listed" ] || fail "no options found in the --help of $*"
status=0
for page in $pages; do
  all=$(described "$page" | sort)
  for option in $(printf '%s\n' "$all" | cut -d' ' -f1 | uniq -d); do
    echo "man: FAILED: $option is described more than once in $page"
    status=1
  done
  in_page=$(printf '%s\n' "$all" | uniq)
  printf '%s\n' "$listed" | grep -vxF -e "$in_page" | while IFS= read -r option; do
    echo "man: FAILED: '$option' is in the --help of $name but not in $page"
  done
  printf '%s\n' "$in_page" | grep -vxF -e "$listed" | while IFS= read -r option; do
    echo "man: FAILED: '$option' is in $page but not in the --help of $name"
  done
  [ "$in_page" = "$listed" ] || status=1
done
[ $status -ne 0 ] || echo "man: $name: $(printf '%s\n' "$listed" | wc -l) options, all in$pages"
exit $status
