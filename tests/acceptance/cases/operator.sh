# What the operator and the scheduler learn from a run: its exit status, its start line, a log that
# stays small, and output that no name in the tree can forge.

# A run that could not do all it meant to ends with 7, and a preview says so beforehand.
case_failures_end_with_status_7() {
    make_install client
    age_file "$CLIENT/log/temp/a.tmp" 169
    age_file "$CLIENT/log/temp/b.tmp" 169
    run_sorvik --list
    expect_code 0
    [ "$TARGET" = windows ] && return 0
    # An immutable file cannot go, not even for root; the preview asks, as the run finds out.
    age_file "$CLIENT/log/temp/a.tmp" 169
    if chattr +i "$CLIENT/log/temp/a.tmp" 2>/dev/null; then
        local shown
        shown=$(shown "$CLIENT/log/temp/a.tmp")
        run_sorvik --dry-run
        expect_code 7
        expect_contains "Would fail: $shown (access denied, win-error#5)"
        expect_contains "; kept 0, failed 1"
        run_sorvik
        expect_code 7
        run_sorvik --list
        expect_code 7
        expect_contains "Failed: $shown (access denied, win-error#5)"
        expect_contains "; kept 0, failed 1"
        chattr -i "$CLIENT/log/temp/a.tmp"
    fi
    # A user who may not delete root's files: every failure counted, the status tells the scheduler.
    if [ "$(id -u)" = 0 ]; then
        age_file "$CLIENT/log/temp/b.tmp" 169
        chmod 755 "$SB" "$ROOT" "$CLIENT" "$CLIENT/log" "$CLIENT/log/temp"
        chmod 644 "$SB/registry.reg"
        run_as_nobody=1 run_sorvik --list
        expect_code 7
        expect_contains "Failed: $(shown "$CLIENT/log/temp/b.tmp") (access denied, win-error#5)"
        expect_contains "; kept 0, failed 2"
        expect_exists "$CLIENT/log/temp/a.tmp" "$CLIENT/log/temp/b.tmp"
    fi
}

# A dangling lock that cannot go is a failure too, though no rule can be asked again about it.
case_failures_of_sweeps_end_with_status_7() {
    [ "$TARGET" = windows ] && return 0
    make_install server
    age_file "$SERVER/Data/incoming/x.lock" 1
    chattr +i "$SERVER/Data/incoming/x.lock" 2>/dev/null || return 0
    run_sorvik --list --locks
    chattr -i "$SERVER/Data/incoming/x.lock"
    expect_code 7
    expect_contains "Failed: $(shown "$SERVER/Data/incoming/x.lock") (access denied, win-error#5)"
    expect_contains "; kept 0, failed 1"
}

# Names that hold line ends, terminal escapes, C1 controls and bytes that are no UTF-8: each line of
# the output is one action or one message, and no control byte reaches the terminal.
case_names_cannot_forge_output_lines() {
    [ "$TARGET" = windows ] && return 0 # Windows names cannot hold control characters
    make_install server
    local t=$SERVER/Log/temp fj=$SERVER/Log/temp/Scheduler/finished n evil=()
    evil=($'a\nRemoved: FAKE-LINE (planted)' $'b\r\e[2J' $'c\xc2\x85d' $'e\xc2\x9b2J' $'f\xff\xfe' 'g\x41')
    for n in "${evil[@]}"; do
        age_file "$t/$n.tmp" 50 1
        # A session file without a time, and a job file that cannot be read: both messages name them.
        age_file "$t/cgisess_$n" 100
        mkfifo "$fj/job-$n.spec"
    done
    local mode raw
    for mode in "" --list --dry-run; do
        raw=$SB/raw.out
        (cd "$SB" && VELTOR_REGISTRY="$SB/registry.reg" timeout 60 "$PROGRAM" $mode </dev/null >"$raw" 2>&1)
        CODE=$?
        [ "$CODE" = 7 ] || fail "$mode: exit code $CODE, expected 7 (job files not read)"
        LC_ALL=C grep -naP '[\x00-\x09\x0b-\x1f\x7f]|\xc2[\x80-\x9f]' "$raw" | head -3 |
            sed 's/^/    raw control byte: /' | grep -a . && fail "$mode: a control byte reached the output"
        grep -a 'FAKE-LINE' "$raw" | grep -qv '\\nRemoved: FAKE-LINE' && fail "$mode: a forged line"
        [ -z "$mode" ] && continue
        # Under --list and --dry-run every line is one action or one message.
        LC_ALL=C grep -av -e '^$' -e '^Running "Sorvik"' -e '^Started: ' -e '^Removed: ' -e '^Would remove: ' \
            -e '^Unable to open file: ' -e "^Error: Couldn't read job file: " -e '^Summary: ' -e '^Dry run: ' \
            "$raw" | head -3 | sed 's/^/    stray line: /' | grep -a . && fail "$mode: a line that is no action"
    done
    expect_gone "$t/${evil[0]}.tmp"
}

# The first run on Linux without a registry file says which file it looked for.
case_missing_registry_file_is_named() {
    [ "$TARGET" = windows ] && return 0
    make_install client
    rm -f "$SB/registry.reg"
    run_sorvik
    expect_code 4
    expect_output "$RUNNING
Registry file $SB/registry.reg: no such file (set VELTOR_REGISTRY or create it; see README)
Could not find registry key \"HKEY_LOCAL_MACHINE\"->\"SOFTWARE\\Veltor\""
    # Its name is printed as every other name: no escape sequence reaches the terminal.
    OUT=$(cd "$SB" && VELTOR_REGISTRY=$'/x\e[2J\ny' "$PROGRAM" 2>&1 </dev/null)
    printf '%s\n' "$OUT" | grep -qxF 'Registry file /x\x1B[2J\ny: no such file (set VELTOR_REGISTRY or create it; see README)' ||
        fail "the registry file's name is not escaped: $OUT"
}

# --log keeps the run's list in a file that never grows past about a megabyte, never through a link.
case_log_appends_rotates_and_refuses_links() {
    make_install client
    age_file "$CLIENT/log/temp/a.tmp" 169
    local log=$SB/sorvik.log
    run_sorvik --locks --log "$(progpath "$log")"
    expect_code 0
    [ -n "$START_LINE" ] || fail "no start line with --log"
    run_sorvik --log "$(progpath "$log")"
    expect_code 0
    expect_contains "Removed: $(shown "$CLIENT/log/temp/a.tmp")"
    local text
    text=$(tr -d '\r' <"$log")
    [ "$(printf '%s\n' "$text" | grep -c '^Started: ')" = 2 ] || fail "the log holds not both runs"
    printf '%s\n' "$text" | grep -qF "Removed: $(shown "$CLIENT/log/temp/a.tmp") (never read since written 169 h" ||
        fail "the log lacks the removal"
    # Past 1 MiB the log moves aside first: one older copy, the one before it replaced.
    head -c 1100000 /dev/zero | tr '\0' 'x' >"$log"
    echo older >"$log.1"
    run_sorvik --log "$(progpath "$log")"
    [ "$(wc -c <"$log.1")" = 1100000 ] || fail "the full log was not kept as $log.1"
    [ "$(grep -c '^Started: ' "$log")" = 1 ] || fail "the new log does not start afresh"
    # An error that ends the run reaches the log too: a scheduled task has no console.
    cp "$SB/registry.reg" "$SB/registry.good"
    printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n' >"$SB/registry.reg"
    install_registry
    run_sorvik --log "$(progpath "$log")"
    expect_code 4
    tr -d '\r' <"$log" | grep -q '^Could not find registry key' || fail "the error that ended the run is not in the log"
    mv "$SB/registry.good" "$SB/registry.reg"
    install_registry
    [ "$TARGET" = windows ] && return 0
    [ "$(stat -c %a "$log")" = 640 ] || fail "a new log is not 0640"
    # A link in the log's place: refused, its target untouched, the cleaning still done.
    rm -f "$log"
    echo secret >"$SB/target"
    ln -s "$SB/target" "$log"
    age_file "$CLIENT/log/temp/b.tmp" 169
    run_sorvik --log "$log"
    expect_code 7
    expect_contains "Log not written: $log (it is a link)"
    expect_gone "$CLIENT/log/temp/b.tmp"
    [ "$(cat "$SB/target")" = secret ] || fail "the log was written through a link"
}

# --log is reached the way the data directories are: a directory on its way that another account may
# write cannot lead it elsewhere, and the log is kept only where nobody else can swap it.
case_log_only_where_nobody_else_can_swap_it() {
    [ "$TARGET" = native ] && [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null || return 0
    make_install client
    age_file "$CLIENT/log/temp/a.tmp" 169
    local svc=$SB/svc outside=$SB/outside before
    mkdir -p "$svc/logs" "$outside" "$SB/sticky"
    chmod 755 "$SB"
    chmod 700 "$outside"
    head -c 1100000 /dev/zero >"$outside/sorvik.log"
    chown 65534:65534 "$svc"
    chmod 1777 "$SB/sticky"
    before=$(cd "$outside" && find . -printf '%p %s %T@ %m\n' | sort)
    # The service account swaps its directory for a link to root's own.
    setpriv --reuid=65534 --regid=65534 --clear-groups sh -c "rmdir '$svc/logs' && ln -s '$outside' '$svc/logs'"
    run_sorvik --list --log "$svc/logs/sorvik.log"
    expect_code 7
    expect_contains "Log not written: $svc/logs/sorvik.log (a link in a directory others can write)"
    expect_gone "$CLIENT/log/temp/a.tmp"
    [ "$before" = "$(cd "$outside" && find . -printf '%p %s %T@ %m\n' | sort)" ] || fail "the log's way led outside"
    # Its own directory, written by another account: no log there either.
    run_sorvik --list --log "$svc/sorvik.log"
    expect_code 7
    expect_contains "Log not written: $svc/sorvik.log (others may write its directory)"
    expect_gone "$svc/sorvik.log"
    # Root's sticky directory holds root's log, never one another account put there.
    run_sorvik --list --log "$SB/sticky/sorvik.log"
    expect_code 0
    setpriv --reuid=65534 --regid=65534 --clear-groups touch "$SB/sticky/other.log"
    run_sorvik --list --log "$SB/sticky/other.log"
    expect_code 7
    expect_contains "Log not written: $SB/sticky/other.log (others may write its directory)"
    # A log that stops taking lines, on a full disk: the run says so and fails.
    mkdir "$SB/full"
    mount -t tmpfs -o size=16k tmpfs "$SB/full" 2>/dev/null || return 0
    head -c 65536 /dev/zero >"$SB/full/fill" 2>/dev/null
    age_file "$CLIENT/log/temp/b.tmp" 169
    run_sorvik --list --log "$SB/full/sorvik.log"
    umount "$SB/full"
    expect_code 7
    expect_contains "Log not written: $SB/full/sorvik.log (disk full, win-error#112)"
    expect_contains "; kept 0, failed 1"
    # Room for the start line and not for the summary: the last lines lost fail the run all the same,
    # and the metrics written before them are written again to say so.
    mount -t tmpfs -o size=16k tmpfs "$SB/full" 2>/dev/null || return 0
    head -c 3996 /dev/zero >"$SB/full/sorvik.log"
    chmod 640 "$SB/full/sorvik.log"
    head -c 65536 /dev/zero >"$SB/full/fill" 2>/dev/null
    run_sorvik --locks --log "$SB/full/sorvik.log" --metrics "$SB/m.prom"
    local kept
    kept=$(tail -c +3997 "$SB/full/sorvik.log" | tr '\0' '.')
    umount "$SB/full"
    expect_code 7
    expect_contains "Log not written: $SB/full/sorvik.log (disk full, win-error#112)"
    case $kept in Started:*) ;; *) fail "the start line did not fit: '$kept'" ;; esac
    grep -qx 'sorvik_last_run_success 0' "$SB/m.prom" || fail "the metrics say the run went well: $(cat "$SB/m.prom")"
}
