#!/usr/bin/env bash
# The Debian package and the installed layout as a user's system gets them: the package built
# by CPack from the build tree, accepted by lintian; its files, permissions and dependencies,
# stripped programs, desktop entries, AppStream metadata and manual pages that their validators
# accept; its maintainer scripts adding and removing the print queue of a private cupsd (as
# root); and an install_manifest.txt that lists every installed file.
#   check-package.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
# shellcheck source=../support/checks.sh
. "$(dirname "$0")/../support/checks.sh"
need cpack dpkg-deb readelf desktop-file-validate appstreamcli man lintian
T=$(mktemp -d /tmp/velquin-package.XXXXXX)
chmod 755 "$T" # the unpacked programs are run as root below: only root may write above them
# shellcheck source=../support/cupsd.sh
. "$(dirname "$0")/../support/cupsd.sh"
trap 'stop_cupsd; rm -rf "$T"' EXIT

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
lintian --display-info --fail-on warning,info --tag-display-limit 0 "$deb" >"$T/lintian" 2>&1
check "lintian finds nothing: $(grep -v 'root privileges' "$T/lintian")" \
    test -z "$(grep -v 'root privileges' "$T/lintian")"
for f in usr/bin/velquin usr/bin/velquin-tool usr/bin/velquin-print usr/bin/TWTiffView \
    usr/lib/velquin/faxsim usr/share/velquin/velquin-fax.ppd \
    usr/share/applications/velquin.desktop usr/share/applications/twtiffview.desktop \
    usr/share/metainfo/ru.ostrevo.Velquin.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/velquin.svg \
    usr/share/doc/velquin/TWVelquin.html usr/share/doc/velquin/TWVelquin.MHT \
    usr/share/doc/velquin/TWVelquin.en.html \
    usr/share/doc/velquin/page-new-faxes.png usr/share/doc/velquin/copyright \
    usr/share/doc/velquin/changelog.gz; do
    check "the package has /$f" has "$f"
done
for size in 16 22 24 32 48 64 128 256; do
    check "a ${size}px icon in the theme" has "usr/share/icons/hicolor/${size}x${size}/apps/velquin.png"
done
for page in velquin velquin-tool velquin-print TWTiffView; do
    check "the manual page $page(1)" has "usr/share/man/man1/$page.1.gz"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$T/root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    check "man renders $page(1) without warnings: $warnings" test -z "$warnings"
done
check "the CUPS backend is root's, mode 0700" \
    grep -q "^-rwx------ root/root .* \./usr/lib/cups/backend/velquin\$" "$T/contents"
check "the backend names the package's velquin-print" \
    grep -q "^VELQUIN_PRINT_INSTALLED='/usr/bin/velquin-print'\$" "$T/root/usr/lib/cups/backend/velquin"
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
for dep in ghostscript xdg-utils qt6-qpa-plugins qt6-image-formats-plugins fonts-dejavu-core \
    libqt6widgets6 libtiff6 libcairo2 libcurl4 ca-certificates; do
    check "the package depends on $dep" grep -q "$dep" <<<"$depends"
done

# The maintainer scripts with a private cupsd: the queue comes with the package and goes with it
# (not on an upgrade). DPKG_ROOT is where dpkg would have unpacked the package.
if [ "$(id -u)" -eq 0 ] && command -v cupsd >/dev/null && start_cupsd "$T/cups"; then
    dpkg-deb -e "$deb" "$T/control"
    scripts() { DPKG_ROOT="$T/root" sh "$T/control/$1" "$2" "${3-}" 2>&1; }
    queue() { lpstat -p Velquin-Fax >/dev/null 2>&1; }
    out=$(scripts postinst configure "")
    check "postinst adds the queue: $out" queue
    check "... and its backend, mode 0700" test "$(stat -c %a "$T/cups/lib/backend/velquin")" = 700
    out=$(scripts prerm upgrade 0.2.0)
    check "prerm keeps the queue on an upgrade: $out" queue
    # A backend that names another installed velquin-print is not the build tree's to replace.
    sed -i "s|^VELQUIN_PRINT_INSTALLED=.*|VELQUIN_PRINT_INSTALLED='$T/root/usr/bin/velquin-print'|" \
        "$T/cups/lib/backend/velquin"
    cp "$T/cups/lib/backend/velquin" "$T/backend-before"
    out=$("$build/tools/velquin-tool/velquin-print" --install-queue 2>&1)
    check "the build tree's --install-queue leaves the installed backend: $out" \
        cmp -s "$T/cups/lib/backend/velquin" "$T/backend-before"
    out=$(scripts prerm remove)
    check "prerm removes the queue: $out" bash -c '! lpstat -p Velquin-Fax >/dev/null 2>&1'
    stop_cupsd
    out=$(scripts postinst configure "")
    check "postinst without a running CUPS says how to add the queue later: $out" \
        grep -q "CUPS is not running; .* sudo velquin-print --install-queue" <<<"$out"
fi

# A plain install lists every file it made.
DESTDIR="$T/dest" cmake --install "$build" --prefix /opt/velquin >"$T/install.log" 2>&1 ||
    cat "$T/install.log"
(cd "$T/dest" && find . -type f | sed 's/^\.//' | sort) >"$T/installed"
sort "$build/install_manifest.txt" >"$T/manifest"
check "install_manifest.txt lists every installed file: $(comm -23 "$T/installed" "$T/manifest" | tr '\n' ' ')" \
    cmp -s "$T/installed" "$T/manifest"

finish
