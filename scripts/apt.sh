# Sourced by the scripts that install Debian packages: install_missing PACKAGE... installs the
# ones not installed yet, quietly (apt's output only when it fails), with sudo when not root.
# Returns non-zero when installing failed.
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo="" log
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  log=$(mktemp)
  echo "installing ${#missing[@]} packages: ${missing[*]}"
  if ! { $sudo apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    echo "installing packages failed" >&2
    return 1
  fi
  rm -f "$log"
}
