# Shared by scripts/test and scripts/demo.

# Installs the Debian packages of scripts/packages.txt that are missing.
morva_install_packages() {
  local list="$1" missing=() p
  while read -r p; do
    case "$p" in ''|'#'*) continue ;; esac
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done <"$list"
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
  # The agent must never run as the machine's own daemon: tests start theirs.
  if command -v systemctl >/dev/null 2>&1; then
    $sudo systemctl stop snmpd >/dev/null 2>&1 || true
    $sudo systemctl disable snmpd >/dev/null 2>&1 || true
  fi
  $sudo pkill -x snmpd >/dev/null 2>&1 || true
}

morva_jobs() { nproc 2>/dev/null || echo 2; }
