# Installing Debian packages on a machine whose package mirror may be caught mid-sync: sourced by
# the set-up scripts. An index that fails to update is tried once more and then left as it is
# (the machine's own index is usually good enough); only a package that is needed and cannot be
# installed is a failure, and it is named.

apt_sudo=""
[ "$(id -u)" -ne 0 ] && apt_sudo=sudo

# Whether the last apt_update got a fresh index (1) or went on with the old one (0), and why not.
apt_fresh=0
apt_update_error=""

# Refreshes the package index, once more if that fails; then goes on whatever happened, saying so
# in one line when the index could not be refreshed.
apt_update() {
  local log="" try
  for try in 1 2; do
    if log=$($apt_sudo apt-get update -qq 2>&1); then
      apt_fresh=1
      apt_update_error=""
      return 0
    fi
  done
  apt_fresh=0
  # Its first error says what failed (the index, the mirror's words); else its last line.
  apt_update_error=$(printf '%s\n' "$log" | grep -m 1 '^E:' || printf '%s\n' "$log" | grep -v '^[[:space:]]*$' | tail -n 1)
  echo "note: apt-get update failed twice, going on with the package index this machine has: $apt_update_error"
  return 0
}

# The packages of "$@" that are not installed, one a line.
apt_missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

apt_get_install() {
  DEBIAN_FRONTEND=noninteractive $apt_sudo apt-get install -y -qq --no-install-recommends "$@"
}

# Installs "$@" (those missing); true when all of them are installed after it. When the whole set
# does not install, each is tried on its own, so that the ones that cannot be installed are known:
# they are left in apt_failed.
apt_failed=()
apt_try_install() {
  local missing p
  apt_failed=()
  mapfile -t missing < <(apt_missing "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  apt_get_install "${missing[@]}" && return 0
  for p in "${missing[@]}"; do
    apt_get_install "$p" >/dev/null 2>&1 || apt_failed+=("$p")
  done
  [ ${#apt_failed[@]} -eq 0 ]
}

# Installs "$@", all of which are needed: exits 1 naming those that cannot be installed.
apt_require() {
  apt_try_install "$@" && return 0
  echo "error: cannot install the required package(s): ${apt_failed[*]}" >&2
  exit 1
}
