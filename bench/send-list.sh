#!/usr/bin/env bash
# velquin-tool send-list of a phone list of N lines (default 1,000,000) to faxsim, beside a
# shell pipeline doing the same work: awk keeps each number once, md5sum digests the document
# and the list, curl posts both. Wall time and peak memory of each, from GNU time, RUNS times
# each (medians are what to quote). Builds nothing.
# Usage: bench/send-list.sh [LINES] [RUNS] [BUILD_DIR]   (default 1000000, 3, build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
LINES="${1:-1000000}"
RUNS="${2:-3}"
BUILD="${3:-build/default}"
TOOL="$BUILD/tools/velquin-tool/velquin-tool"
SIM="$BUILD/tools/faxsim/faxsim"
for f in "$TOOL" "$SIM" /usr/bin/time; do
    [ -x "$f" ] || { echo "missing $f" >&2; exit 1; }
done

work=$(mktemp -d)
sim=""
trap 'rm -rf "$work"; [ -z "$sim" ] || kill "$sim" 2>/dev/null' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data-home"
export VELQUIN_REGISTRY_DIR="$work/registry" LC_ALL=C.UTF-8
mkdir -p "$HOME" "$work/fax" "$work/data"

"$SIM" --account 74950000000:demo1234 >"$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 50); do
    port=$(sed -n 's/^port \([0-9]*\).*/\1/p' "$work/sim.out")
    [ -n "$port" ] && break
    sleep 0.1
done
printf 'demo1234\n' >"$work/password"
"$TOOL" setup --fax-dir "$work/fax" --data-dir "$work/data" --create --api-host "127.0.0.1:$port" \
    --web-host "127.0.0.1:$port" --user 74950000000 --password-file "$work/password" >/dev/null
bash scripts/make-sample-document "$work/fax"
doc=$(ls "$work"/fax/*.tif | head -1)
awk -v n="$LINES" 'BEGIN { for (i = 0; i < n; i++) printf "%.0f;Фирма %d;Отдел %d\n", 88120000000 + i, i % 977, i }' \
    >"$work/list.csv"
echo "list: $LINES lines, $(du -h "$work/list.csv" | cut -f1); load average $(cut -d' ' -f1-3 /proc/loadavg)"

measure() { # measure LABEL COMMAND...: one line "LABEL seconds peak-KiB"
    local label=$1
    shift
    /usr/bin/time -f "$label %e %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" ||
        { cat "$work/err" >&2; exit 1; }
    cat "$work/time"
    tail -1 "$work/err"
}
pipeline() {
    awk -F';' '{ n = $1; gsub(/[^0-9]/, "", n); if (n != "" && !seen[n]++) print n }' \
        "$work/list.csv" >"$work/numbers.csv"
    md5sum "$doc" "$work/numbers.csv" >/dev/null
    curl -s -o /dev/null -F username=74950000000 -F password=x -F "Document=@$doc" \
        -F "PhoneList=@$work/numbers.csv" "http://127.0.0.1:$port/api/fax.send.api.php"
}
export -f pipeline
export work doc port
for run in $(seq "$RUNS"); do
    cp "$doc" "$work/doc-$run.tif"
    measure "velquin-tool" "$TOOL" send-list --numbers "$work/list.csv" "$work/doc-$run.tif"
    measure "pipeline" bash -c pipeline
done
