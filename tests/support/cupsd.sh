# A private CUPS daemon for the shell suites: its own configuration (made from the system's
# default cupsd.conf), socket, spool and backend folder under a test folder; no system service
# is touched. Sourced, not run; needs root.
#   start_cupsd DIR   starts it under DIR (mode 0755, as CUPS checks), exports CUPS_SERVER and
#                     CUPS_SERVERBIN (backends go to DIR/lib/backend); 1 when it did not start
#   stop_cupsd        ends it
cupsd_pid=""

start_cupsd() {
    local T=$1
    mkdir -p "$T" && chmod 755 "$T"
    mkdir -p "$T/etc/ppd" "$T/spool/tmp" "$T/cache" "$T/run" "$T/log" "$T/lib/backend"
    for d in daemon filter driver notifier; do
        ln -s "/usr/lib/cups/$d" "$T/lib/$d"
    done
    grep -vE '^\s*(Listen|Port|Browsing|BrowseLocalProtocols|IdleExitTimeout|LogLevel)\b' \
        /etc/cups/cupsd.conf >"$T/etc/cupsd.conf"
    printf 'Listen %s/cups.sock\nBrowsing No\nLogLevel debug\n' "$T" >>"$T/etc/cupsd.conf"
    cat >"$T/etc/cups-files.conf" <<EOT
SystemGroup root lpadmin
PeerCred on
ServerRoot $T/etc
RequestRoot $T/spool
TempDir $T/spool/tmp
CacheDir $T/cache
StateDir $T/run
ServerBin $T/lib
AccessLog $T/log/access_log
ErrorLog $T/log/error_log
PageLog $T/log/page_log
EOT
    export CUPS_SERVER="$T/cups.sock" CUPS_SERVERBIN="$T/lib"
    cupsd -f -c "$T/etc/cupsd.conf" -s "$T/etc/cups-files.conf" >"$T/log/cupsd.out" 2>&1 &
    cupsd_pid=$!
    for _ in $(seq 100); do
        [ -S "$T/cups.sock" ] && lpstat -r >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    cat "$T/log/cupsd.out" "$T/log/error_log" 2>/dev/null
    return 1
}

stop_cupsd() {
    [ -n "$cupsd_pid" ] && kill "$cupsd_pid" 2>/dev/null && wait "$cupsd_pid" 2>/dev/null
    cupsd_pid=""
}
