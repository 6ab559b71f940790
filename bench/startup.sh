#!/usr/bin/env bash
# Start-up time of the window: a store of 10,000 sent faxes and an address book of 100,000
# contacts, measured by the program itself (VELQUIN_STARTUP_REPORT) from process start until
# the sent list is filled and the address books are handed over and listed; beside it the
# processor time the program used until then (all threads), which a busy machine does not
# stretch. Builds nothing.
# Usage: bench/startup.sh [RUNS] [BUILD_DIR]   (default 7 runs, build/default)
# VELQUIN_BENCH_SENT and VELQUIN_BENCH_CONTACTS size the store; VELQUIN_BENCH_BUSY=1 keeps one
# processor busy with a competing loop while the program starts, as another user's work would.
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS="${1:-7}"
BUILD="${2:-build/default}"
APP="$BUILD/src/gui/velquin"
TOOL="$BUILD/tools/velquin-tool/velquin-tool"
SENT="${VELQUIN_BENCH_SENT:-10000}"
CONTACTS="${VELQUIN_BENCH_CONTACTS:-100000}"
for f in "$APP" "$TOOL"; do
    [ -x "$f" ] || { echo "missing $f: build first (cmake --build --preset default)" >&2; exit 1; }
done
command -v gs >/dev/null || { echo "ghostscript (gs) is needed for the fax image" >&2; exit 1; }

work=$(mktemp -d)
busy=""
trap 'rm -rf "$work"; [ -z "$busy" ] || kill "$busy" 2>/dev/null' EXIT
# Nothing outside the temporary directory is read or written: settings, profile, runtime.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data-home"
export XDG_CACHE_HOME="$work/cache" VELQUIN_REGISTRY_DIR="$work/registry"
export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/fax" "$work/data/AddressBook"
chmod 700 "$XDG_RUNTIME_DIR"

"$TOOL" setup --fax-dir "$work/fax" --data-dir "$work/data" --create \
    --api-host 127.0.0.1:9 --web-host 127.0.0.1:9 --user 74950000000 >/dev/null

# One fax image, then the sent faxes (job files; the images are hard links to one copy).
bash scripts/make-sample-document "$work/fax"
sample=$(ls "$work"/fax/*.tif | head -1)
mv "$sample" "$work/sample.tif"
rm -f "$work"/fax/*.tag
"$TOOL" demo-sent --count "$SENT" "$work/sample.tif" >/dev/null

# The address book: 500 groups of 200 contacts ("@group;number;company;person").
awk -v n="$CONTACTS" 'BEGIN {
    for (i = 0; i < n; i++) {
        printf "@Группа %d;%.0f;Фирма %d;Лицо %d\n", int(i / 200), 88120000000 + i, i % 977, i
    }
}' > "$work/contacts.txt"
"$TOOL" import-abk --fields number,company,person "$work/contacts.txt" \
    "$work/book.abk" >/dev/null 2>&1
rm -f "$work/contacts.txt"
# The program keeps a book in a file named by the book's GUID and writes it there on exit; a
# file of another name would be loaded once more, as a second book, at the next start.
# Bytes, not characters: the cut may split a Cyrillic name, which `.*` would not match in a
# UTF-8 locale and would leave behind in the file name.
guid=$({ "$TOOL" dump-abk "$work/book.abk" || true; } | head -c 200 |
    LC_ALL=C sed -n 's/^{"magic":[0-9]*,"guid":"\({[0-9a-f]*}\)".*/\1/p')
[[ "$guid" =~ ^\{[0-9a-f]{32}\}$ ]] || { echo "cannot read the book's GUID" >&2; exit 1; }
mv "$work/book.abk" "$work/data/AddressBook/$guid.abk"
# Each run starts from the same store: the program rewrites the books and job files on exit.
cp -a "$work/data" "$work/data.pristine"

echo "store: $(ls "$work/data/SentFaxes" | grep -ci '\.fax$') sent faxes," \
    "$(du -k "$work/data/AddressBook"/*.abk | cut -f1) KiB address book ($CONTACTS contacts)"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
if [ "${VELQUIN_BENCH_BUSY:-0}" = 1 ]; then
    bash -c 'while :; do :; done' &
    busy=$!
    echo "a competing loop keeps one processor busy (pid $busy)"
fi

times=()
cpus=()
windows=()
exits=()
for run in $(seq "$RUNS"); do
    rm -rf "$work/report" "$work/data"
    cp -a "$work/data.pristine" "$work/data"
    start=$EPOCHREALTIME
    VELQUIN_STARTUP_REPORT="$work/report" timeout 120 "$APP" >"$work/out" 2>&1 || {
        echo "run $run: velquin failed (exit $?)" >&2
        cat "$work/out" >&2
        exit 1
    }
    end=$EPOCHREALTIME
    [ -s "$work/report" ] || { echo "run $run: no report written" >&2; exit 1; }
    ms=$(head -1 "$work/report")
    counts=$(sed -n 2p "$work/report")
    total=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.0f", (b - a) * 1000 }')
    printf 'run %d: %s ms to the lists shown (%s; %s ms until the process ended)\n' \
        "$run" "$ms" "$counts" "$total"
    times+=("$ms")
    cpus+=("$(sed -n 's/.*cpu_ms=\([0-9.]*\).*/\1/p' "$work/report")")
    windows+=("$(sed -n 's/.*window_ms=\([0-9.]*\).*/\1/p' "$work/report")")
    asked=$(sed -n 's/^exit_asked=\([0-9.]*\).*/\1/p' "$work/report")
    exits+=("$(awk -v a="$asked" -v b="$end" 'BEGIN { printf "%.1f", (b - a) * 1000 }')")
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
median() {
    sort -g | awk -v what="$1" '{ v[NR] = $1 } END {
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%s median: %.1f ms over %d runs (min %.1f, max %.1f)\n", what, m, NR, v[1], v[NR]
    }'
}
printf '%s\n' "${times[@]}" | median "startup (target < 1000 ms)"
printf '%s\n' "${cpus[@]}" | median "processor time of all threads until then"
printf '%s\n' "${windows[@]}" | median "window on screen (target < 300 ms)"
printf '%s\n' "${exits[@]}" | median "exit without changes, from the command until the process ended (target < 100 ms)"
