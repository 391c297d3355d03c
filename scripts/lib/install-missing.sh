# shellcheck shell=bash
# Sourced by the scripts: installs the Debian packages a script needs, so each
# runs on a fresh Debian 12 with only git.
#   install_missing NAME PACKAGE...
# Installs those not yet installed, quietly, when run as root; otherwise names
# them and exits 2.  NAME prefixes the messages (scripts/test, demo).

install_missing() {
  local name=$1 p
  shift
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "$name: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 2
  fi
  echo "$name: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # The package lists are fetched once, however often a script asks.
  if [ -z "${install_missing_updated:-}" ]; then
    if ! apt-get update -qq; then
      echo "$name: apt-get update failed" >&2
      exit 2
    fi
    install_missing_updated=1
  fi
  if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    echo "$name: apt-get could not install ${missing[*]}" >&2
    exit 2
  fi
}
