#!/bin/bash
# Builds the Debian package from an existing build tree (CPack runs the
# install rules; nothing is compiled) and checks it as a user would get it:
# its control data and dependencies, that every file a desktop needs is in
# it, that those files pass their validators, that the unpacked command-line
# client runs, and lintian's verdict when lintian is installed.
#
#   tools/check-package.sh BUILD_DIR [KEEP_DIR]
#
# The package is built in a temporary folder (or KEEP_DIR, which is kept).
set -u
build=$(cd "${1:?usage: check-package.sh BUILD_DIR [KEEP_DIR]}" && pwd)
if [ $# -ge 2 ]; then
    work=$2
    mkdir -p "$work"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(ls "$work"/out/*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { cat "$work/cpack.log"; echo "FAIL: no package"; exit 1; }
echo "package: $deb"

info=$(dpkg-deb --info "$deb")
echo "$info" | grep -q '^ Package: lockharbour$' || fail "package name"
version=$(echo "$info" | sed -n 's/^ Version: //p')
case "$version" in 1.3*) ;; *) fail "version '$version'" ;; esac
depends=$(echo "$info" | sed -n 's/^ Depends: //p')
echo "depends: $depends"
# Found by dpkg-shlibdeps from the programs, not written by hand.
for library in libqt5widgets5 libqt5network5 libtomcrypt1 libzip4 libzxcvbn0 libc6; do
    echo "$depends" | grep -q "\b$library\b" || fail "dependency $library missing"
done

contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
app=example.tessavond.Lockharbour
expected="./usr/bin/lockharbour ./usr/bin/lockharbour-cli
./usr/share/applications/$app.desktop ./usr/share/metainfo/$app.metainfo.xml
./usr/share/mime/packages/$app.xml ./usr/share/man/man1/lockharbour.1.gz
./usr/share/man/man1/lockharbour-cli.1.gz ./usr/share/doc/lockharbour/copyright
./usr/share/doc/lockharbour/changelog.Debian.gz"
for size in 16 24 32 48 64 128 256 512; do
    expected="$expected ./usr/share/icons/hicolor/${size}x${size}/apps/$app.png"
done
# Every plugin the build packed ships with the program.
for plugin in "$build"/plugins/*.tvp; do
    [ -e "$plugin" ] && expected="$expected ./usr/share/lockharbour/plugins/$(basename "$plugin")"
done
for path in $expected; do
    echo "$contents" | grep -qxF "$path" || fail "$path not in the package"
done
# Nothing of the build or the tests leaks into the package.
echo "$contents" | grep -E 'tst_|bench_|replay_|/include/' && fail "build or test files in the package"

root="$work/root"
rm -rf "$root"
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
cli_version=$("$root/usr/bin/lockharbour-cli" --version 2>&1)
echo "lockharbour-cli --version: $cli_version"
echo "$cli_version" | grep -q '1\.3' || fail "lockharbour-cli --version from the package"

desktop="$root/usr/share/applications/$app.desktop"
grep -qx 'Exec=lockharbour %f' "$desktop" || fail "Exec line of the desktop entry"
mime_type=$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$root/usr/share/mime/packages/$app.xml")
grep -qx "MimeType=$mime_type;" "$desktop" || fail "desktop entry does not open $mime_type"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml" || fail "appstreamcli validate"
fi
if command -v update-mime-database >/dev/null; then
    # The database built from the package's file type names the vault glob.
    cp -r "$root/usr/share/mime" "$work/mime"
    update-mime-database "$work/mime" >"$work/mime.log" 2>&1 || { cat "$work/mime.log"; fail "update-mime-database"; }
    grep -q "^$mime_type:\*\.lhdb$" "$work/mime/globs" || fail "*.lhdb is not $mime_type"
fi

if command -v lintian >/dev/null; then
    # Errors fail the check; warnings and notes are shown.
    lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1
    cat "$work/lintian.log"
    grep -q '^E: ' "$work/lintian.log" && fail "lintian reports errors"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package checks passed"
