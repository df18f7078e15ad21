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
        "sorvik_last_success_timestamp_seconds{} $success" 'sorvik_last_run_failures{} 1.0'; do
        printf '%s\n' "$samples" | grep -qxF "$expect" || fail "no sample $expect after a failure"
    done
    [ "$TARGET" = native ] || return 0
    [ "$(stat -c %a "$prom")" = 644 ] || fail "the collector's account cannot read the metrics"
    # Replaced whole: a reader never sees half a file.
    mkdir -p "$CLIENT/conf"
    (
        end=$((SECONDS + 20))
        while [ $SECONDS -lt $end ] && [ ! -e "$SB/stop" ]; do
            tail -n 1 "$prom" | grep -q '^sorvik_directories_not_cleaned{cleaning="job_folding"} [0-9]*$' || echo torn
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
