#!/usr/bin/env bash
# Installs the Debian packages that are missing and fetches SQLite's source (the embedded
# engine and the history file are built on our own build of it). Usage: scripts/deps.sh run|test
# Works as root (CI) or as a user with sudo.
set -euo pipefail

build_pkgs=(cmake ninja-build g++ dpkg-dev qt6-base-dev libqt6opengl6-dev qt6-charts-dev qt6-svg-dev libqscintilla2-qt6-dev unixodbc-dev
            libgtest-dev unixodbc fonts-noto-cjk qt6-translations-l10n)
# lintian checks the Debian package; man-db renders its manual pages (tests/test_package.sh).
test_pkgs=(odbc-postgresql libsqliteodbc postgresql clang-format-14 lintian man-db)

want=("${build_pkgs[@]}")
if [ "${1:-run}" = test ]; then
  want+=("${test_pkgs[@]}")
fi

root=$(cd "$(dirname "$0")/.." && pwd)

# SQLite's official autoconf tarball, as the npm registry's sqlite3 package carries it unchanged.
fetch_sqlite() {
  local version=3520000 sum=f6b50b0c103392af32a8be15b2b9d25959de9a00a70c3979128aafeaa5338b3f
  local tarball="$root/.deps/sqlite-autoconf-$version.tar.gz"
  if [ -f "$tarball" ] && echo "$sum  $tarball" | sha256sum -c --status; then
    return 0
  fi
  local tmp
  tmp=$(mktemp -d)
  (cd "$tmp" && npm pack --silent sqlite3@6.0.1 >/dev/null &&
     tar -xzf sqlite3-6.0.1.tgz "package/deps/sqlite-autoconf-$version.tar.gz") || {
    rm -rf "$tmp"; echo "Could not fetch sqlite3@6.0.1 from the npm registry." >&2; return 1; }
  if ! echo "$sum  $tmp/package/deps/sqlite-autoconf-$version.tar.gz" | sha256sum -c --status; then
    rm -rf "$tmp"; echo "SQLite's tarball in sqlite3@6.0.1 does not have the expected SHA-256." >&2; return 1
  fi
  mkdir -p "$root/.deps"
  mv "$tmp/package/deps/sqlite-autoconf-$version.tar.gz" "$tarball"
  rm -rf "$tmp"
}

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Only to fetch SQLite's source; an npm the machine already has (of any origin) will do.
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -eq 0 ]; then
  fetch_sqlite
  exit 0
fi

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
fetch_sqlite
