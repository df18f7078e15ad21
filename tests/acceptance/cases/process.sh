# The process as a whole: signals during a run, a reader that goes away, which single option wins,
# and the age test on stamps in the future.

# --- helpers --------------------------------------------------------------------------------------

# Starts the program in the background with the sandbox registry, its output in $SB/out; sets PID.
start_sorvik() {
    (cd "$SB" && exec env VELTOR_REGISTRY="$SB/registry.reg" "$PROGRAM" "$@" </dev/null >"$SB/out" 2>"$SB/stderr") &
    PID=$!
}

# wait_for_text FILE TEXT: true once FILE holds TEXT; gives up after 20 seconds.
wait_for_text() {
    local i
    for i in $(seq 1 400); do
        grep -qF -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.05
    done
    return 1
}

# Waits for the background program; sets CODE (128 + n when signal n ended it). Bounded: a program
# still running after 40 seconds is killed and counts as a failure.
wait_sorvik() {
    local i
    for i in $(seq 1 800); do
        kill -0 "$PID" 2>/dev/null || break
        sleep 0.05
    done
    if kill -0 "$PID" 2>/dev/null; then
        kill -KILL "$PID" 2>/dev/null
        fail "the program did not end"
    fi
    wait "$PID"
    CODE=$?
    OUT=$(tr -d '\r' <"$SB/out")
}

# A server whose finished-jobs folding has to wait for the directory's lock, held by this suite: the
# run cannot end before the lock is released (or its 30-second wait is over). The lock file is found
# where the program made it, by the sandbox's unique name, whatever directory the platform picks for
# its locks. Sets HOLDER (the process holding the lock).
hold_jobs_lock() {
    local fj=$SERVER/Log/temp/Scheduler/finished token lockfile
    age_file "$fj/job-first.spec" 2
    run_sorvik --process-fjobs # takes and releases the lock once, leaving its file behind
    token=${SB##*/}
    lockfile=$(find /run/veltor /run/lock /tmp /var/tmp "${XDG_RUNTIME_DIR:-/nonexistent}" "$HOME" \
        -maxdepth 3 -type f -name "*finished-jobs*$token*" 2>/dev/null | head -1)
    if [ -z "$lockfile" ]; then
        fail "cannot find the finished-jobs lock file"
        return 1
    fi
    age_file "$fj/job-second.spec" 2
    # The process that holds the lock is the one killed to release it.
    (exec 9<"$lockfile" && flock -x 9 && exec sleep 60) &
    HOLDER=$!
    # Held once a second taker is refused.
    local i
    for i in $(seq 1 200); do
        flock -x -n "$lockfile" true || return 0
        sleep 0.05
    done
    fail "the lock was not taken"
    return 1
}

release_jobs_lock() {
    kill "$HOLDER" 2>/dev/null
    wait "$HOLDER" 2>/dev/null
    return 0
}

# --- cases ----------------------------------------------------------------------------------------

# SIGINT and SIGTERM during a run: intercepted and reported, the run finishes, exit code 6 or 5.
case_process_signals_during_a_run() {
    [ "$TARGET" = native ] || return 0
    make_install server
    local signal number code
    for signal in INT:2:6 TERM:15:5; do
        IFS=: read -r signal number code <<<"$signal"
        hold_jobs_lock || return
        start_sorvik --process-fjobs
        wait_for_text "$SB/out" "$RUNNING" || fail "SIG$signal: the program did not start"
        kill -"$signal" "$PID"
        wait_for_text "$SB/out" "Intercepted signal $number" || fail "SIG$signal: not intercepted"
        release_jobs_lock
        wait_sorvik
        expect_code "$code"
        expect_output "$RUNNING
Sorvik#0: Intercepted signal $number"
        # The run went on after the signal: the job file it waited for is folded.
        expect_gone "$SERVER/Log/temp/Scheduler/finished/job-second.spec"
    done
    # Under --json the notice goes with the text to standard error: standard output stays JSON Lines.
    hold_jobs_lock || return
    start_sorvik --process-fjobs --json
    wait_for_text "$SB/stderr" "$RUNNING" || fail "--json: the program did not start"
    kill -TERM "$PID"
    wait_for_text "$SB/stderr" "Intercepted signal 15" || fail "--json: not intercepted"
    release_jobs_lock
    wait_sorvik
    expect_code 5
    /usr/bin/python3 -c 'import json, sys
lines = open(sys.argv[1]).read().splitlines()
sys.exit(json.loads(lines[-1])["exit_status"] != 5 or not all(json.loads(line) for line in lines))' "$SB/out" ||
        fail "--json: standard output is not JSON Lines ending in the summary: $OUT"
}

# The handler is one-shot: the second Ctrl-C ends a run that did not end after the first.
case_process_second_interrupt_ends_the_run() {
    [ "$TARGET" = native ] || return 0
    make_install server
    hold_jobs_lock || return
    start_sorvik --process-fjobs
    wait_for_text "$SB/out" "$RUNNING" || fail "the program did not start"
    kill -INT "$PID"
    wait_for_text "$SB/out" "Intercepted signal 2" || fail "not intercepted"
    kill -INT "$PID"
    wait_sorvik
    release_jobs_lock
    expect_code 130
    expect_exists "$SERVER/Log/temp/Scheduler/finished/job-second.spec"
}

# A reader that has gone away before the program writes (sorvik --verbose | head -0) ends nothing:
# the output is lost, the cleaning is complete and the exit code is the run's own.
case_process_closed_output_does_not_stop_the_cleaning() {
    [ "$TARGET" = native ] || return 0
    make_install client
    age_file "$CLIENT/log/app-1.log" 25
    age_file "$CLIENT/log/temp/stale.tmp" 169
    rm -f "$SB/closed"
    # The writer starts only once the one reader has closed its end.
    {
        while [ ! -e "$SB/closed" ]; do sleep 0.02; done
        cd "$SB" && VELTOR_REGISTRY="$SB/registry.reg" "$PROGRAM" --verbose 2>"$SB/stderr"
    } | {
        exec 0<&-
        : >"$SB/closed"
    }
    CODE=${PIPESTATUS[0]}
    expect_code 0
    expect_tree "$CLIENT" ""
}

# Only the stamp a rule judges decides: a last access in the future (still "read since written")
# does not keep a file written long ago; a last write in the future keeps it.
case_process_future_stamps() {
    make_install client
    age_file "$CLIENT/log/temp/future-access.tmp" 500 -10
    age_file "$CLIENT/log/temp/future-write.tmp" -10 500
    age_file "$CLIENT/log/temp/unread.tmp" 100
    run_sorvik
    expect_code 0
    expect_output "$RUNNING"
    expect_tree "$CLIENT" log/temp/future-write.tmp log/temp/unread.tmp
}

# One file for each single-option cleaning, and one that only the default cleaning removes.
option_files() {
    age_file "$SERVER/Log/core-2026.log" 25                                      # --debug-logs
    age_file "$SERVER/Data/veltor_html_data/results/{Trashcan}/top_0_x.rep" 49   # --web-reports
    age_file "$SERVER/Data/database/t1/data.lock" 0                              # --locks-recursive
    age_file "$SERVER/Data/database/t1/data.lock.lnk" 0
    age_file "$SERVER/Log/temp/Scheduler/finished/job-a.spec" 2                  # --process-fjobs
    age_file "$SERVER/Log/temp/old-unread.tmp" 169                               # default cleaning only
}

OPTION_FILES=(Log/core-2026.log "Data/veltor_html_data/results/{Trashcan}/top_0_x.rep"
    Data/database/t1/data.lock Data/database/t1/data.lock.lnk Log/temp/Scheduler/finished/job-a.spec
    Log/temp/old-unread.tmp)

# expect_server_gone NAME...: of the option files, exactly these are gone.
expect_server_gone() {
    local f g gone
    for f in "${OPTION_FILES[@]}"; do
        gone=0
        for g in "$@"; do [ "$f" = "$g" ] && gone=1; done
        if [ $gone = 1 ]; then expect_gone "$SERVER/$f"; else expect_exists "$SERVER/$f"; fi
    done
}

# When several options are given, one wins, in a fixed order that is not the order of the command
# line: a valid period first (and the default cleaning with it), then the single-option cleanings.
case_process_which_single_option_wins() {
    make_install server
    option_files
    # The period wins over the web reports; the default cleaning runs with thirty days, which keeps
    # the log and the report.
    run_sorvik --period P30D --web-reports P1D
    expect_code 0
    expect_output "$RUNNING"
    expect_server_gone Log/temp/old-unread.tmp Log/temp/Scheduler/finished/job-a.spec \
        Data/database/t1/data.lock Data/database/t1/data.lock.lnk

    option_files
    # The debug logs win over the web reports given before them, each with its own duration.
    run_sorvik --web-reports P30D --debug-logs PT20H
    expect_code 0
    expect_output "$RUNNING"
    expect_server_gone Log/core-2026.log

    option_files
    # Alone on the command line only: with one more token these do nothing at all.
    local option
    for option in --process-fjobs --locks-recursive --locks; do
        run_sorvik "$option" --nodetach
        expect_code 0
        expect_output "$RUNNING"
        expect_server_gone
    done
}

# A faulty token is reported, and the options before it stay in effect: --verbose still makes the
# default cleaning run; the period after the faulty token is not read.
case_options_before_a_faulty_token_clean_nothing() {
    make_install server
    option_files
    run_sorvik --verbose --perod PT10H
    expect_code 2
    expect_output "$RUNNING
ERROR: Unknown option 'perod'
Nothing was cleaned."
    expect_exists "$SERVER/Log/core-2026.log" "$SERVER/Data/database/t1/data.lock" \
        "$SERVER/Log/temp/Scheduler/finished/job-a.spec" "$SERVER/Log/temp/old-unread.tmp"
}
