# What the fleet's tools read: JSON Lines that keep every name, and the metrics file of the textfile
# collectors, read with the Prometheus client library's own parser.

# Names that hold line ends, escapes, C1 controls, quotes and bytes that are no UTF-8 come out of
# --json as they stand in the file system.
case_json_lines_keep_every_name() {
    [ "$TARGET" = native ] || return 0
    make_install server
    local t=$SERVER/Log/temp n names=($'a\nb' $'b\e[2J' $'c\xc2\x85' $'d\xff\xfe' 'e"q\\' $'f\xe6\x97\xa5')
    for n in "${names[@]}"; do age_file "$t/$n.tmp" 50 1; done
    (cd "$SB" && VELTOR_REGISTRY="$SB/registry.reg" "$PROGRAM" --json --list </dev/null >"$SB/out.json" 2>"$SB/stderr")
    CODE=$?
    expect_code 0
    local expected got
    expected=$(for n in "${names[@]}"; do printf '%s' "$t/$n.tmp" | od -An -v -tx1 | tr -d ' \n'; echo; done | sort)
    got=$(/usr/bin/python3 -c '
import json, sys
for line in open(sys.argv[1], "rb"):
    o = json.loads(line)
    if o["type"] == "removed":
        print(o["path_hex"] if "path_hex" in o else o["path"].encode("utf-8").hex())
    elif o["type"] == "summary" and (o["removed_files"] != 6 or o["exit_status"] != 0):
        sys.exit("summary: %r" % o)
' "$SB/out.json" | sort)
    [ "$expected" = "$got" ] || fail "names did not come through: $got"
    LC_ALL=C grep -q '[^ -~]' "$SB/out.json" && fail "a byte beyond ASCII on standard output"
    grep -q '^Started: ' "$SB/stderr" || fail "the text is not on standard error"
    expect_gone "$t/${names[0]}.tmp"
}

# prom_file FILE: the samples of the metrics file, parsed; fails the case when it does not parse.
prom_samples() { /usr/bin/python3 "$HERE/lib/prom_check.py" "$1" || fail "the metrics do not parse"; }

case_metrics_for_the_exporters() {
    [ "$TARGET" = native ] || /usr/bin/python3 -c 'import prometheus_client' 2>/dev/null || return 0
    make_install client
    age_file "$CLIENT/log/temp/a.tmp" 169
    age_file "$CLIENT/log/temp/b.tmp" 169
    age_file "$CLIENT/log/app-1.log" 30
    local dir=$SB/textfile prom samples summary
    mkdir -p "$dir"
    prom=$dir/sorvik.prom
    run_sorvik --list --metrics "$(progpath "$prom")"
    expect_code 0
    samples=$(prom_samples "$prom")
    summary=$(printf '%s\n' "$OUT" | grep '^Summary: ')
    [ "$summary" = "Summary: removed 3 files and 0 directories, 15 bytes; folded 0 job files into 0 day logs; kept 0, failed 0" ] ||
        fail "summary: $summary"
    local expect
    for expect in 'sorvik_last_run_success{} 1.0' 'sorvik_last_run_exit_status{} 0.0' \
        'sorvik_removed_files{cleaning="rules"} 2.0' 'sorvik_removed_files{cleaning="dated_logs"} 1.0' \
        'sorvik_removed_bytes{cleaning="rules"} 10.0' 'sorvik_last_run_failures{} 0.0'; do
        printf '%s\n' "$samples" | grep -qxF "$expect" || fail "no sample $expect"
    done
    local success
    success=$(printf '%s\n' "$samples" | sed -n 's/^sorvik_last_success_timestamp_seconds{} //p')
    [ -n "$success" ] || fail "no last success"
    # A run that fails keeps the last success of the one before; a preview writes nothing.
    rm -rf "$CLIENT/conf"
    run_program --dry-run --metrics "$(progpath "$prom")"
    [ "$samples" = "$(prom_samples "$prom")" ] || fail "a preview wrote the metrics"
    run_sorvik --metrics "$(progpath "$prom")"
    expect_code 7
    samples=$(prom_samples "$prom")
    for expect in 'sorvik_last_run_success{} 0.0' 'sorvik_last_run_exit_status{} 7.0' \
        "sorvik_last_success_timestamp_seconds{} $success" 'sorvik_last_run_failures{} 1.0' \
        'sorvik_directories_not_cleaned{cleaning="installation"} 1.0' 'sorvik_failures{cleaning="installation"} 1.0'; do
        printf '%s\n' "$samples" | grep -qxF "$expect" || fail "no sample $expect after a failure"
    done
    [ "$TARGET" = native ] || return 0
    [ "$(stat -c %a "$prom")" = 644 ] || fail "the collector's account cannot read the metrics"
    # Replaced whole: a reader never sees half a file.
    mkdir -p "$CLIENT/conf"
    (
        end=$((SECONDS + 20))
        while [ $SECONDS -lt $end ] && [ ! -e "$SB/stop" ]; do
            tail -n 1 "$prom" | grep -q '^sorvik_directories_not_cleaned{cleaning="installation"} [0-9]*$' || echo torn
        done >"$SB/torn"
    ) &
    local reader=$! i
    for i in 1 2 3 4 5 6; do run_program --metrics "$prom"; done
    : >"$SB/stop"
    wait $reader
    [ -s "$SB/torn" ] && fail "a reader saw a partial metrics file"
    # Never written through a link: the name is replaced, what it pointed to stays.
    echo secret >"$SB/target"
    rm "$prom"
    ln -s "$SB/target" "$prom"
    run_program --metrics "$prom"
    [ "$CODE" = 0 ] && [ ! -L "$prom" ] && [ "$(cat "$SB/target")" = secret ] || fail "written through a link"
    # Nor where another account may swap it.
    chmod 777 "$dir"
    run_program --list --metrics "$prom"
    [ "$CODE" = 7 ] || fail "exit code $CODE in a directory others may write"
    expect_contains "Metrics not written: $prom (others may write its directory)"
}

# --event-log: one event of the run in the Application log, its kind by the outcome, as Wine traces
# ReportEventW (information, warning, error).
case_event_log_tells_each_outcome() {
    [ "$TARGET" = windows ] || return 0
    make_install client
    age_file "$CLIENT/log/temp/a.tmp" 169
    export VELTOR_WINEDEBUG=-all,+eventlog
    run_program --event-log
    expect_code 0
    grep -q 'trace:eventlog:ReportEventW L"Sorvik removed 1 file and 0 directories (5 bytes), folded 0 job files into 0 day logs; kept 0\."' "$SB/stderr" ||
        fail "no information event: $(grep eventlog "$SB/stderr")"
    rm -rf "$CLIENT/conf"
    run_program --event-log
    expect_code 7
    grep -q 'warn:eventlog:ReportEventW L"Sorvik did not do all it meant to (exit status 7): 1 failure, 1 directory not cleaned;.*\\nNot cleaned: .*conf (the registry names it, but it does not exist)"' "$SB/stderr" ||
        fail "no warning event: $(grep eventlog "$SB/stderr")"
    printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n' >"$SB/registry.reg"
    install_registry
    run_program --event-log
    expect_code 4
    grep -q 'err:eventlog:ReportEventW L"Sorvik ended with an error (exit status 4): Could not find registry key' "$SB/stderr" ||
        fail "no error event: $(grep eventlog "$SB/stderr")"
    unset VELTOR_WINEDEBUG
}

# The journal: when standard output is the journal, the run also sends one structured entry. A
# private mount namespace holds a journal socket of the test's own.
case_journal_gets_the_outcome_as_fields() {
    [ "$TARGET" = native ] && [ "$(id -u)" = 0 ] && command -v unshare >/dev/null || return 0
    make_install client
    age_file "$CLIENT/log/temp/a.tmp" 169
    rm -rf "$CLIENT/conf"
    cat >"$SB/journal.sh" <<'SH'
set -e
mkdir -p /run/systemd/journal
mount -t tmpfs tmpfs /run/systemd/journal
/usr/bin/python3 - "$@" <<'PY'
import os, socket, subprocess, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind("/run/systemd/journal/socket")
s.settimeout(10)
out = open(sys.argv[1] + "/stdout", "w")
st = os.fstat(out.fileno())
env = dict(os.environ, JOURNAL_STREAM="%d:%d" % (st.st_dev, st.st_ino), VELTOR_REGISTRY=sys.argv[1] + "/registry.reg")
code = subprocess.call([sys.argv[2]], stdout=out, stderr=subprocess.DEVNULL, env=env, cwd=sys.argv[1])
data = s.recv(1 << 20)
print("EXIT=%d" % code)
# The journal's native protocol: NAME=value lines, or NAME, a 64-bit length and the bytes for a value
# that holds a line end.
at = 0
while at < len(data):
    end = data.index(b"\n", at)
    line = data[at:end]
    if b"=" in line:
        name, value, at = line.split(b"=", 1)[0], line.split(b"=", 1)[1], end + 1
    else:
        size = int.from_bytes(data[end + 1:end + 9], "little")
        name, value, at = line, data[end + 9:end + 9 + size], end + 10 + size
    print("%s=%s" % (name.decode(), value.decode("utf-8", "replace").replace("\n", "\\n")))
PY
SH
    unshare -m --propagation private bash "$SB/journal.sh" "$SB" "$PROGRAM" >"$SB/journal" 2>&1 || {
        fail "no journal entry: $(cat "$SB/journal")"
        return
    }
    local field
    for field in EXIT=7 MESSAGE_ID=33cd5e4bd5324105bafcd30a84b6673e PRIORITY=4 SORVIK_REMOVED_FILES=1 \
        SORVIK_REMOVED_BYTES=5 SORVIK_FOLDED=0 SORVIK_FAILED=1 SORVIK_NOT_CLEANED=1 SORVIK_EXIT_STATUS=7 \
        "SORVIK_VERSION=$("$PROGRAM" --version | sed -n 's/^Version=//p')"; do
        grep -qx "$field" "$SB/journal" || fail "no $field in the journal entry: $(head -c 600 "$SB/journal")"
    done
    grep -q '^MESSAGE=Sorvik did not do all it meant to (exit status 7).*\\nNot cleaned: ' "$SB/journal" || fail "no MESSAGE"
}
