#!/usr/bin/env bash
# Installs the Debian packages that are missing. Usage: scripts/deps.sh run|test
# Works as root (CI) or as a user with sudo.
set -euo pipefail

build_pkgs=(cmake ninja-build g++ dpkg-dev qt6-base-dev libqt6opengl6-dev qt6-charts-dev qt6-svg-dev unixodbc-dev libsqlite3-dev
            libgtest-dev unixodbc fonts-noto-cjk qt6-translations-l10n)
test_pkgs=(odbc-postgresql libsqliteodbc postgresql)

want=("${build_pkgs[@]}")
if [ "${1:-run}" = test ]; then
  want+=("${test_pkgs[@]}")
fi

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null; then
  sudo=(sudo)
else
  echo "Missing packages: ${missing[*]}; run this script as root or install sudo." >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
