# Shared by the shell test suites: sourced, not run.
#   skip REASON                 ends the suite as skipped (ctest's SKIP_RETURN_CODE 77)
#   need PROGRAM...             skips unless every program is installed
#   check DESCRIPTION CMD...    runs CMD, prints "ok" or "FAIL" and counts failures
#   finish                      exits 1 when any check failed
failures=0

skip() {
    echo "SKIPPED: $*"
    exit 77
}

need() {
    local p
    for p in "$@"; do
        command -v "$p" >/dev/null || skip "$p is not installed"
    done
}

check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok   - $what"
    else
        echo "FAIL - $what"
        failures=$((failures + 1))
    fi
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "--- $failures failed"
        exit 1
    fi
    echo "all passed"
}
