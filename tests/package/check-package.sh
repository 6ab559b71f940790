#!/usr/bin/env bash
# The Debian package and the installed layout as a user's system gets them: the package built
# by CPack from the build tree, its files, permissions and dependencies, stripped programs,
# desktop entries, AppStream metadata and manual pages that their validators accept, and an
# install_manifest.txt that lists every installed file (so that nothing is left behind).
#   check-package.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
# shellcheck source=../support/checks.sh
. "$(dirname "$0")/../support/checks.sh"
need cpack dpkg-deb readelf desktop-file-validate appstreamcli man
T=$(mktemp -d /tmp/velquin-package.XXXXXX)
trap 'rm -rf "$T"' EXIT

(cd "$build" && cpack -G DEB -B "$T/out" >"$T/cpack.log" 2>&1) || {
    cat "$T/cpack.log"
    echo "FAIL - cpack"
    exit 1
}
deb=$(ls "$T"/out/velquin_*.deb 2>/dev/null | head -1)
check "a .deb is made" test -f "$deb"
dpkg-deb -c "$deb" >"$T/contents"
dpkg-deb -x "$deb" "$T/root"
has() { grep -q " \./$1\$" "$T/contents"; }
for f in usr/bin/velquin usr/bin/velquin-tool usr/bin/velquin-print usr/bin/TWTiffView \
    usr/bin/faxsim usr/share/velquin/velquin-fax.ppd \
    usr/share/applications/velquin.desktop usr/share/applications/twtiffview.desktop \
    usr/share/metainfo/ru.ostrevo.Velquin.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/velquin.svg \
    usr/share/doc/velquin/TWVelquin.html usr/share/doc/velquin/TWVelquin.MHT \
    usr/share/doc/velquin/TWVelquin.en.html \
    usr/share/doc/velquin/page-new-faxes.png; do
    check "the package has /$f" has "$f"
done
for size in 16 22 24 32 48 64 128 256; do
    check "a ${size}px icon in the theme" has "usr/share/icons/hicolor/${size}x${size}/apps/velquin.png"
done
for page in velquin velquin-tool velquin-print faxsim; do
    check "the manual page $page(1)" has "usr/share/man/man1/$page.1"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$T/root/usr/share/man/man1/$page.1" 2>&1 >/dev/null)
    check "man renders $page(1) without warnings: $warnings" test -z "$warnings"
done
check "the CUPS backend is root's, mode 0700" \
    grep -q "^-rwx------ root/root .* \./usr/lib/cups/backend/velquin\$" "$T/contents"
check "nothing is installed under bin/ but programs" \
    test -z "$(grep ' \./usr/bin/.*/' "$T/contents")"
for prog in "$T"/root/usr/bin/*; do
    check "$(basename "$prog") is stripped" \
        bash -c '! readelf -S "$1" | grep -qE "\.symtab|\.debug_info"' _ "$prog"
done
check "the desktop entries are valid" \
    desktop-file-validate "$T"/root/usr/share/applications/*.desktop
check "the AppStream metadata is valid" \
    appstreamcli validate --no-net "$T"/root/usr/share/metainfo/ru.ostrevo.Velquin.metainfo.xml
check "the entries start the programs of the package" \
    grep -q "^Exec=/usr/bin/velquin\$" "$T/root/usr/share/applications/velquin.desktop"
depends=$(dpkg-deb -f "$deb" Depends)
for dep in ghostscript xdg-utils qt6-qpa-plugins libqt6widgets6 libtiff6; do
    check "the package depends on $dep" grep -q "$dep" <<<"$depends"
done

# A plain install lists every file it made.
DESTDIR="$T/dest" cmake --install "$build" --prefix /opt/velquin >"$T/install.log" 2>&1 ||
    cat "$T/install.log"
(cd "$T/dest" && find . -type f | sed 's/^\.//' | sort) >"$T/installed"
sort "$build/install_manifest.txt" >"$T/manifest"
check "install_manifest.txt lists every installed file: $(comm -23 "$T/installed" "$T/manifest" | tr '\n' ' ')" \
    cmp -s "$T/installed" "$T/manifest"

finish
