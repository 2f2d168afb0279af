#!/usr/bin/env bash
# Installs the Debian packages named that are not installed yet (as root, or through sudo).
# Usage: scripts/install-packages.sh [--with-recommends] PACKAGE...
# Node.js and npm count as installed when their commands run: some machines carry a Node.js of
# another origin (NodeSource's includes npm), beside which Debian's npm is refused as a conflict.
set -euo pipefail
recommends=(--no-install-recommends)
if [ "${1:-}" = --with-recommends ]; then
  recommends=()
  shift
fi
installed() {
  case "$1" in
    nodejs) command -v node >/dev/null && return 0 ;;
    npm) command -v npm >/dev/null && return 0 ;;
  esac
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
missing=()
for p in "$@"; do
  installed "$p" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${recommends[@]}" "${missing[@]}"
