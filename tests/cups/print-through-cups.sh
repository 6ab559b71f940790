#!/usr/bin/env bash
# The fax printer through a real CUPS daemon, the way users print on a shared machine: a
# private cupsd (its own configuration, socket and spool, made from the system's default
# cupsd.conf; no system service touched) gets the queue from `velquin-print --install-queue`,
# two unprivileged users print with `lp`, and nobody prints as root or as another user.
#   print-through-cups.sh BUILD_DIR
# Needs root (it adds two users) and the CUPS packages; exits 77 (skipped) without them.
set -uo pipefail

build=$(cd "$1" && pwd)
tools="$build/tools/velquin-tool"
# shellcheck source=../support/checks.sh
. "$(dirname "$0")/../support/checks.sh"
[ "$(id -u)" -eq 0 ] || skip "needs root to add test users"
need cupsd lp lpstat lpadmin useradd userdel runuser setsid gs /usr/lib/cups/filter/pstops

# shellcheck source=../support/cupsd.sh
. "$(dirname "$0")/../support/cupsd.sh"

T=$(mktemp -d /tmp/velquin-cups.XXXXXX)
alice=vq-cups-alice
bob=vq-cups-bob
cleanup() {
    stop_cupsd
    for u in "$alice" "$bob"; do
        id "$u" >/dev/null 2>&1 && userdel -r "$u" >/dev/null 2>&1
    done
    rm -rf "$T"
}
trap cleanup EXIT
# Left over by a run that was killed.
for u in "$alice" "$bob"; do
    id "$u" >/dev/null 2>&1 && userdel -r "$u" >/dev/null 2>&1
done

mkdir -p "$T/home"
start_cupsd "$T" || {
    echo "FAIL - the private cupsd did not start"
    exit 1
}

# --- The queue is only installed from files no other user can replace.
mkdir -m 0777 "$T/unsafe"
cp "$tools/velquin-print" "$tools/velquin-backend" "$tools/velquin-fax.ppd" "$T/unsafe/"
out=$("$T/unsafe/velquin-print" --install-queue 2>&1)
check "install from a folder others can write is refused" \
    grep -q "can be changed by users other than root" <<<"$out"
check "... and adds nothing" test ! -e "$T/lib/backend/velquin"

out=$("$tools/velquin-print" --install-queue 2>&1)
check "install-queue succeeds: $out" grep -q "Print queue Velquin-Fax added" <<<"$out"
check "the backend is root's, mode 0700" \
    test "$(stat -c '%U %a' "$T/lib/backend/velquin" 2>/dev/null)" = "root 700"

# --- Two ordinary users with Velquin set up.
as_user() { # as_user USER COMMAND...: a login-like environment, no terminal to ask on
    local u=$1
    shift
    setsid -w runuser -u "$u" -- env -i HOME="$T/home/$u" PATH=/usr/bin:/bin \
        CUPS_SERVER="$CUPS_SERVER" "$@"
}
for u in "$alice" "$bob"; do
    useradd --home-dir "$T/home/$u" --create-home --shell /bin/sh "$u" || exit 1
    as_user "$u" "$tools/velquin-tool" setup --fax-dir "$T/home/$u/Fax" \
        --data-dir "$T/home/$u/Store" --create >/dev/null || exit 1
done
docs="$T/docs"
mkdir -m 0755 "$docs"
gs -q -sDEVICE=pdfwrite -o "$docs/report.pdf" \
    -c "/Helvetica findfont 30 scalefont setfont 1 1 2 {72 700 moveto (Page) show showpage pop} for"
printf 'Hello fax\nSecond line\n' >"$docs/notes.txt"

# Waits until CUPS has no job left that is not completed, aborted or cancelled.
wait_jobs() {
    for _ in $(seq 600); do
        [ -z "$(lpstat -o Velquin-Fax 2>/dev/null)" ] && return 0
        sleep 0.1
    done
    return 1
}
listing() { ls -A "$1" 2>/dev/null | sort | tr '\n' ' '; }
grp_title() { iconv -f CP1251 -t UTF-8 "$1" | sed -n 's/^Document name="\(.*\)"\r$/\1/p'; }

# --- Alice prints a PDF under a title and a text file.
check "alice prints a PDF" as_user "$alice" lp -d Velquin-Fax -t "Квартальный отчёт.pdf" \
    "$docs/report.pdf"
check "alice prints a text file" as_user "$alice" lp -d Velquin-Fax "$docs/notes.txt"
check "the jobs finish" wait_jobs
fax="$T/home/$alice/Fax"
check "alice's FaxDir holds both faxes: $(listing "$fax")" test \
    "$(listing "$fax")" = "notes.grp notes.tif Квартальный отчёт.grp Квартальный отчёт.tif "
check "the PDF fax has its title" test "$(grp_title "$fax/Квартальный отчёт.grp")" = \
    "Квартальный отчёт"
check "the PDF fax has its two pages" \
    test "$("$tools/velquin-tool" count-pages "$fax/Квартальный отчёт.tif" 2>&1)" = 2
check "the text fax has one page" \
    test "$("$tools/velquin-tool" count-pages "$fax/notes.tif" 2>&1)" = 1
check "the faxes are alice's own and hers alone" \
    test "$(stat -c '%U %a' "$fax" "$fax/notes.tif" "$fax/notes.grp" | sort -u | tr '\n' ' ')" = \
    "$alice 600 $alice 700 "
check "both prints say they are finished" \
    test "$(grep -lc 'Printing finished successfully' "$fax"/*.grp | wc -l)" = 2
check "nothing of the user is left in CUPS's TempDir" \
    test -z "$(find "$T/spool/tmp" -user "$alice")"

# --- Nobody prints as root or as another user.
out=$(as_user "$alice" lp -U root -d Velquin-Fax "$docs/notes.txt" 2>&1)
check "lp -U root from alice is refused ($out)" test $? -ne 0
out=$(as_user "$alice" lp -U "$bob" -d Velquin-Fax "$docs/notes.txt" 2>&1)
check "lp -U bob from alice is refused ($out)" test $? -ne 0
check "root's own print is taken" lp -d Velquin-Fax "$docs/notes.txt"
# A raw TIFF that claims 12000x10000 pixels in under a kilobyte.
printf 'II*\0\10\0\0\0\11\0\0\1\4\0\1\0\0\0\340\56\0\0\1\1\4\0\1\0\0\0\20\47\0\0\2\1\3\0\1\0\0\0\10\0\0\0\3\1\3\0\1\0\0\0\1\0\0\0\6\1\3\0\1\0\0\0\1\0\0\0\21\1\4\0\1\0\0\0\310\0\0\0\25\1\3\0\1\0\0\0\1\0\0\0\26\1\4\0\1\0\0\0\20\47\0\0\27\1\4\0\1\0\0\0\130\2\0\0\0\0\0\0' >"$docs/claim.tif"
check "alice's raw TIFF bomb is taken" as_user "$alice" lp -o raw -d Velquin-Fax "$docs/claim.tif"
# PostScript that allocates without end: Ghostscript's memory is bounded.
printf '%%!PS\n/a [] def { /a [ a 65000 string ] def } loop\n' >"$docs/hog.ps"
check "alice's memory hog is taken" as_user "$alice" lp -o raw -d Velquin-Fax "$docs/hog.ps"
check "the jobs end" wait_jobs
check "root's job failed with a clear ERROR line" \
    grep -q "does not print for root" "$T/log/error_log"
check "the TIFF bomb failed with a clear ERROR line" \
    grep -q "E .*TIFF page 1 cannot be decoded" "$T/log/error_log"
check "the memory hog failed with its reason" \
    grep -q "E .*needs more than 512 MB of memory" "$T/log/error_log"
check "bob's FaxDir stays empty" test -z "$(listing "$T/home/$bob/Fax")"
check "alice's FaxDir has nothing new: $(listing "$fax")" test \
    "$(listing "$fax")" = "notes.grp notes.tif Квартальный отчёт.grp Квартальный отчёт.tif "

# --- Removing the queue removes everything the install added.
out=$("$tools/velquin-print" --remove-queue 2>&1)
check "remove-queue succeeds: $out" grep -q "removed" <<<"$out"
check "the queue is gone" bash -c '! lpstat -p Velquin-Fax >/dev/null 2>&1'
check "the backend is gone" test ! -e "$T/lib/backend/velquin"

if [ "$failures" -ne 0 ]; then
    echo "--- cupsd's log:"
    grep -E '^[EW] |\[Job [0-9]+\] (ERROR|INFO)' "$T/log/error_log" | tail -40
fi
finish
