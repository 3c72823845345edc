#!/usr/bin/env bash
# Makes the Debian package from the built tree, unpacks it into a temporary root and tries
# what it holds there: the dependencies, both programs' --version, a run on the sample, the
# desktop entry and the icon.
#   test_package.sh CPACK BUILD_DIR VERSION
# Everything it writes goes to its own temporary directory; the build tree is only read.
set -euo pipefail

cpack=${1:?usage: $0 CPACK BUILD_DIR VERSION}
build=${2:?usage: $0 CPACK BUILD_DIR VERSION}
version=${3:?usage: $0 CPACK BUILD_DIR VERSION}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quervin-package.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log" >&2; fail "cpack could not make the package"; }
deb="$tmp/out/quervinstudio_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb"); cpack made: $(ls "$tmp/out")"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for p in qt6-translations-l10n libqt6widgets6 libqt6core6; do
    [[ ", $depends," == *", $p"[\ ,]* ]] || fail "Depends does not name $p"
done

root="$tmp/root"
dpkg -x "$deb" "$root"
bin="$root/usr/bin"
[ -x "$bin/quervin" ] && [ -x "$bin/quervin-cli" ] || fail "the package lacks usr/bin/quervin or usr/bin/quervin-cli"

out=$("$bin/quervin-cli" --version) || fail "quervin-cli --version exited with $?"
[ "$out" = "quervin-cli $version" ] || fail "quervin-cli --version printed '$out', not 'quervin-cli $version'"
# Without any display: the answer must come before the GUI starts.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/quervin" --version) ||
    fail "quervin --version exited with $?"
[ "$out" = "QuervinStudio $version" ] || fail "quervin --version printed '$out', not 'QuervinStudio $version'"

# A tuning run on the sample, which is made under the temporary home.
home="$tmp/home"
mkdir -p "$home"
status=0
out=$(env -u QUERVIN_SAMPLE_DIR HOME="$home" XDG_DATA_HOME="$home/.local/share" \
          XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
          "$bin/quervin-cli" --service sqlite:sample --user demo --no-plan \
          --sql "select count(*) from customers" 2>&1) || status=$?
[ "$status" -eq 0 ] || { echo "$out" >&2; fail "the run on the sample exited with $status"; }
grep -qx '\[result\]' <<<"$out" || { echo "$out" >&2; fail "the run printed no [result]"; }
grep -qE $'^1\t[1-9][0-9]*$' <<<"$out" || { echo "$out" >&2; fail "the run printed no count of customers"; }
[ -f "$home/.local/share/QUERVIN/sample.db" ] || fail "the sample was not made under the temporary home"

desktop="$root/usr/share/applications/quervinstudio.desktop"
[ -f "$desktop" ] || fail "the package lacks usr/share/applications/quervinstudio.desktop"
grep -qx 'Exec=quervin' "$desktop" && grep -qx 'Icon=quervinstudio' "$desktop" ||
    fail "the desktop entry does not start quervin with the icon quervinstudio"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the desktop entry"
fi
icon="$root/usr/share/icons/hicolor/scalable/apps/quervinstudio.svg"
[ -s "$icon" ] || fail "the package lacks the icon $icon"

echo "package $(basename "$deb") is complete"
