#!/usr/bin/env bash
# Makes the Debian package from the built tree, has lintian check it, unpacks it into a
# temporary root and tries what it holds there: the dependencies, both programs' --version, a
# run on the sample, the desktop entry and the icon, the documents and the manual pages. As
# root it also runs the CLI from /usr/local/bin, where it must record into the user's data
# folder and never beside itself.
#   test_package.sh CPACK BUILD_DIR VERSION
# Everything it writes goes to its own temporary directory (and, as root, one copy of the CLI
# in /usr/local/bin that it removes); the build tree is only read. lintian and man come from
# scripts/deps.sh test.
set -euo pipefail

cpack=${1:?usage: $0 CPACK BUILD_DIR VERSION}
build=${2:?usage: $0 CPACK BUILD_DIR VERSION}
version=${3:?usage: $0 CPACK BUILD_DIR VERSION}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quervin-package.XXXXXX")
installed=""
trap 'rm -rf "$tmp"; [ -z "$installed" ] || rm -f "$installed"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log" >&2; fail "cpack could not make the package"; }
debs=("$tmp/out/quervinstudio_${version}"-[0-9]*"_$(dpkg --print-architecture).deb")
deb=${debs[0]}
[ -f "$deb" ] || fail "no quervinstudio_${version}-REVISION; cpack made: $(ls "$tmp/out")"

command -v lintian >/dev/null || fail "lintian is missing: scripts/deps.sh test installs it"
lintian --fail-on error "$deb" >"$tmp/lintian.log" 2>&1 ||
    { cat "$tmp/lintian.log" >&2; fail "lintian finds errors in the package"; }
grep '^[WE]: ' "$tmp/lintian.log" || true

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for p in qt6-translations-l10n fonts-noto-cjk libqt6svg6 libqt6widgets6 libqt6core6; do
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

doc="$root/usr/share/doc/quervinstudio"
head -n1 "$doc/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "the package has no machine-readable $doc/copyright"
latest=$(zcat "$doc/changelog.Debian.gz" | head -n1)
[[ "$latest" == "quervinstudio ($(dpkg-deb -f "$deb" Version)) "* ]] ||
    fail "the changelog's latest entry '$latest' is not the package's version"

# Each manual page renders, and quervin-cli's names every option of each of its three helps.
man1="$root/usr/share/man/man1"
for page in quervin quervin-cli; do
    MANWIDTH=200 man -l "$man1/$page.1.gz" >"$tmp/$page.txt" 2>"$tmp/man.err" && ! [ -s "$tmp/man.err" ] ||
        { cat "$tmp/man.err" >&2; fail "man -l cannot render $page.1.gz"; }
done
for help in "--help" "--script FILE --help" "history --help"; do
    # shellcheck disable=SC2086
    for option in $("$bin/quervin-cli" $help | grep -oE '^  (-[a-z], )?--[a-z-]+' | grep -oE -- '--[a-z-]+$'); do
        grep -qE -- "(^|[ ,[])$option([] ,=]|$)" "$tmp/quervin-cli.txt" || fail "man quervin-cli lacks $option ($help)"
    done
done
grep -q 'EXIT STATUS' "$tmp/quervin-cli.txt" && grep -q 'quervhst.mdb' "$tmp/quervin.txt" ||
    fail "the manual pages lack their exit status or files"

# A program under /usr/local/bin, as root, records into the user's data folder, not beside itself.
if [ "$(id -u)" -eq 0 ] && [ -w /usr/local/bin ]; then
    installed=$(mktemp /usr/local/bin/quervin-cli.XXXXXX)
    cp "$bin/quervin-cli" "$installed"
    chmod 755 "$installed"
    beside=/usr/local/bin/quervhst.mdb
    before=$(cksum <"$beside" 2>/dev/null || echo none)
    out=$(env -u QUERVIN_SAMPLE_DIR HOME="$home" XDG_DATA_HOME="$home/.local/share" \
              "$installed" --service sqlite:sample --user demo --no-plan --record \
              --sql "select count(*) from customers" 2>&1) || { echo "$out" >&2; fail "the run from /usr/local/bin failed"; }
    if [ "$(cksum <"$beside" 2>/dev/null || echo none)" != "$before" ]; then
        [ "$before" != none ] || rm -f "$beside"
        fail "the run from /usr/local/bin wrote $beside"
    fi
    [ -s "$home/.local/share/QUERVIN/quervhst.mdb" ] ||
        fail "the run from /usr/local/bin recorded nothing into the data folder"
    rm -f "$installed"
    installed=""
else
    echo "not root: the run from /usr/local/bin is left out"
fi

echo "package $(basename "$deb") is complete"
