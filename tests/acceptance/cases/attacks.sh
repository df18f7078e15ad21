# Whoever can write inside the data tree attacks the run: links, FIFOs and devices under the names the
# run works on, and names swapped while it runs. Nothing outside the installation may change, and no
# run may hang. Links and FIFOs are made from the host; Wine shows a link to a directory as a reparse
# point, so the refused directories are checked on both builds, the rest on the native one.

# outside_tree: $SB/outside with old files of every name the sweeps look at, and a root-only secret.
outside_tree() {
    OUTSIDE=$SB/outside
    local n
    for n in a.tmp flist-1 x.lock batch.lock core-2020.log top_0_x.rep old.dat cgisess_1 job-9.spec \
        d.lock d.lock.lnk y.temp; do
        age_file "$OUTSIDE/$n" 9000
    done
    printf 'a=b=c=1,x' >"$OUTSIDE/cgisess_1"
    touch -d "@$((NOW - 9000 * 3600))" "$OUTSIDE/cgisess_1"
    mkdir -p "$OUTSIDE/empty"
    # What the directories derived below a link would find there.
    age_file "$OUTSIDE/temp/a.tmp" 9000
    age_file "$OUTSIDE/temp/Scheduler/finished/job-8.spec" 9000
    age_file "$OUTSIDE/results/{Trashcan}/top_0_y.rep" 9000
    printf 'secret\n' >"$SB/secret"
    chmod 600 "$SB/secret"
    OUTSIDE_BEFORE=$(outside_state)
}

outside_state() {
    (cd "$SB" && find outside secret -printf '%p|%y|%s|%m|%T@\n' | sort && cat secret)
}

expect_outside_unchanged() {
    local now
    now=$(outside_state)
    [ "$now" = "$OUTSIDE_BEFORE" ] || {
        fail "something outside the installation changed"
        diff <(printf '%s\n' "$OUTSIDE_BEFORE") <(printf '%s\n' "$now") | head -10 | sed 's/^/    /'
    }
}

# replace_by_link PATH: the directory at PATH becomes a link to the outside tree, made where others may
# write (a link in a directory only root writes is an administrator's, and followed).
replace_by_link() { chmod o+w "$(dirname "$1")" && rm -rf "$1" && ln -s "$OUTSIDE" "$1"; }

case_cleaned_directories_that_are_links_are_refused() {
    local round dirs d expected
    for round in leaves parents; do
        sandbox_new
        make_install both
        outside_tree
        if [ $round = leaves ]; then
            dirs=("$SERVER/Data/license_status" "$SERVER/Log/temp/Scheduler/finished" "$SERVER/Data/incoming"
                "$SERVER/Data/database" "$SERVER/Data/veltor_html_data/results/{Trashcan}"
                "$SERVER/Configuration/SimpleReports" "$SERVER/ReportingServer/html/Veltor/license" "$CLIENT/log/temp")
        else
            dirs=("$SERVER/Log" "$SERVER/Data/veltor_html_data")
        fi
        for d in "${dirs[@]}"; do replace_by_link "$d"; done
        run_sorvik
        expect_code 7
        for d in "${dirs[@]}"; do expect_contains "Not cleaned: $(shown "$d") (a link in a directory others can write)"; done
        [ "$(printf '%s\n' "$OUT" | grep -c '^Not cleaned: ')" = ${#dirs[@]} ] || fail "$round: refusals repeated"
        expect_outside_unchanged
        run_sorvik --process-fjobs
        expect_outside_unchanged
    done
}

case_planted_names_in_the_finished_jobs_directory() {
    [ "$TARGET" = windows ] && return 0
    make_install server
    outside_tree
    local fj=$SERVER/Log/temp/Scheduler/finished t d
    t=$((NOW - 7200))
    d=$(day_text $t)
    printf 'job one\r\n' >"$fj/job-1.spec"
    ln -s "$SB/secret" "$fj/job-2.spec"
    mkfifo "$fj/job-3.spec"
    ln -s /dev/zero "$fj/job-4.spec"
    ln -s "$fj/job-3.spec" "$fj/job-5.spec"
    ln "$SB/secret" "$fj/job-6.spec" # a second name of a file outside
    ln -s "$SB/secret" "$fj/jobs-$d.log.new"
    ln -s "$SB/secret" "$fj/jobs-$d.log.old"
    touch -h -d "@$t" "$fj"/job-*.spec
    OUTSIDE_BEFORE=$(outside_state)
    local started=$SECONDS
    run_sorvik_bounded 60 --process-fjobs
    expect_code 7
    [ $((SECONDS - started)) -lt 30 ] || fail "the run took $((SECONDS - started)) s"
    local n
    for n in 2 3 4 5 6; do expect_contains "Error: Couldn't read job file: $fj/job-$n.spec"; done
    [ "$(cat "$fj/jobs-$d.log")" = "$(printf 'job one\r')" ] || fail "day log: $(od -c "$fj/jobs-$d.log" | head -3)"
    [ "$(stat -c %a "$fj/jobs-$d.log")" = 640 ] || fail "a new day log is not 0640"
    expect_gone "$fj/job-1.spec"
    expect_exists "$fj/job-2.spec" "$fj/job-3.spec" "$fj/job-4.spec" "$fj/job-6.spec" "$fj/jobs-$d.log.new"
    expect_outside_unchanged
    # A day log that is itself a link is never written through: that day waits.
    rm "$fj/jobs-$d.log"
    ln -s "$SB/secret" "$fj/jobs-$d.log"
    printf 'job seven\r\n' >"$fj/job-7.spec"
    touch -d "@$t" "$fj/job-7.spec"
    run_sorvik_bounded 60 --process-fjobs
    expect_contains "Not folded: $fj/jobs-$d.log is a link or not a plain file"
    expect_exists "$fj/job-7.spec"
    expect_outside_unchanged
}

case_sessions_and_owners_that_are_special_files() {
    [ "$TARGET" = windows ] && return 0
    make_install server
    outside_tree
    local logt=$SERVER/Log/temp
    mkfifo "$logt/cgisess_fifo"
    ln -s /dev/zero "$logt/cgisess_zero"
    ln -s "$OUTSIDE/cgisess_1" "$logt/cgisess_link"
    run_sorvik_bounded 60
    expect_code 0
    local n
    for n in fifo zero link; do expect_contains "Unable to open file: $logt/cgisess_$n"; done
    expect_exists "$logt/cgisess_fifo" "$logt/cgisess_zero" "$logt/cgisess_link"
    expect_outside_unchanged
}

# Names swapped for links while the program runs: a bounded race, never anything lost outside.
case_swaps_during_a_run_lose_nothing_outside() {
    [ "$TARGET" = windows ] && return 0
    make_install server
    outside_tree
    local db=$SERVER/Data/database fj=$SERVER/Log/temp/Scheduler/finished i run
    for i in $(seq 1 100); do
        : >"$OUTSIDE/o$i.lock"
        : >"$OUTSIDE/o$i.lock.lnk"
    done
    OUTSIDE_BEFORE=$(outside_state)
    (
        end=$((SECONDS + 60))
        while [ $SECONDS -lt $end ] && [ ! -e "$SB/stop" ]; do
            mkdir -p "$db/sub" 2>/dev/null && : >"$db/sub/s.lock" && : >"$db/sub/s.lock.lnk"
            mv "$db/sub" "$db/sub.real" 2>/dev/null && ln -s "$OUTSIDE" "$db/sub" 2>/dev/null
            rm -f "$db/sub" && mv "$db/sub.real" "$db/sub" 2>/dev/null
            printf 'x\r\n' >"$fj/job-r.spec" && touch -d "@$((NOW - 7200))" "$fj/job-r.spec"
            mv -f "$fj/job-r.spec" "$fj/job-r.real" 2>/dev/null && ln -sf "$SB/secret" "$fj/job-r.spec"
            rm -f "$fj/job-r.spec" && mv -f "$fj/job-r.real" "$fj/job-r.spec" 2>/dev/null
        done
    ) &
    local swapper=$! started=$SECONDS
    for run in $(seq 1 20); do
        [ $((SECONDS - started)) -ge 50 ] && break
        run_sorvik_bounded 30 --locks-recursive
        run_sorvik_bounded 30 --process-fjobs
    done
    : >"$SB/stop"
    wait $swapper
    expect_outside_unchanged
}

# Another process renames a directory while a run works in it. The renamer is not refused (on Windows
# the run holds its directories with every sharing allowed), and what then stands under the old name is
# not what the run opened: it stays untouched. Natively each deletion is slowed down so the rename falls
# inside the run; under Wine the run is slow enough by itself.
case_a_directory_renamed_while_the_run_works_in_it() {
    [ "$TARGET" = native ] && ! command -v strace >/dev/null && { echo "  (no strace: skipped)"; return 0; }
    make_install server
    local temp=$SERVER/Log/temp moved=$SERVER/Log/moved n=2500 pid waited=0 left
    [ "$TARGET" = native ] && n=300
    many_old_files() {
        python3 - "$1" "$2" "$3" $((NOW - 300 * 3600)) <<'PY'
import os, sys
d, prefix, n, old = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
os.makedirs(d, exist_ok=True)
for i in range(n):
    p = os.path.join(d, "%s%05d.tmp" % (prefix, i))
    with open(p, "w") as f:
        f.write("x")
    os.utime(p, (old, old))
PY
    }
    many_old_files "$temp" f $n
    if [ "$TARGET" = windows ]; then
        (cd "$SB" && "$HERE/../../cmake/wine-run" --bits="$WINE_BITS" "$PROGRAM" >"$SB/out" 2>&1 </dev/null
            echo $? >"$SB/code") &
    else
        # The leak check of a sanitizer build cannot run under ptrace.
        (cd "$SB" && ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 \
            VELTOR_REGISTRY="$SB/registry.reg" strace -f -qq -o /dev/null -e trace=unlinkat \
            -e inject=unlinkat:delay_enter=10000 "$PROGRAM" >"$SB/out" 2>&1 </dev/null
            echo $? >"$SB/code") &
    fi
    pid=$!
    # Renamed once the run has begun to remove files there.
    while [ "$(find "$temp" -maxdepth 1 -name '*.tmp' | wc -l)" -ge $n ] && [ $waited -lt 1200 ]; do
        sleep 0.05
        waited=$((waited + 1))
    done
    kill -0 $pid 2>/dev/null || fail "the run ended before the rename: make it longer"
    if [ "$TARGET" = windows ]; then
        "$HERE/../../cmake/wine-run" --bits="$WINE_BITS" cmd /c move "$(progpath "$temp")" "$(progpath "$moved")" \
            >"$SB/renamer" 2>&1 </dev/null
    else
        mv "$temp" "$moved"
    fi
    [ -d "$moved" ] && [ ! -e "$temp" ] || fail "the renamer was refused: $(tr -d '\r' <"$SB/renamer" 2>/dev/null)"
    many_old_files "$temp" new 50
    # An expired session there too: the sessions are cleaned after the rules, in the directory the run
    # opened for them, not in whatever took its name since.
    printf 'a=b=c=1,x' >"$temp/cgisess_new"
    touch -d "@$((NOW - 9000 * 3600))" "$temp/cgisess_new"
    wait $pid
    [ "$(cat "$SB/code")" = 0 ] || fail "exit code $(cat "$SB/code"): $(head -c 300 "$SB/out")"
    left=$(find "$temp" -maxdepth 1 -name 'new*.tmp' | wc -l)
    [ "$left" = 50 ] && [ -e "$temp/cgisess_new" ] ||
        fail "the run removed files from the directory now under the old name"
    # Natively the run stays on the directory it opened and empties it where it went. (Wine cannot name
    # the entries of a directory renamed meanwhile: it leaves them.)
    if [ "$TARGET" = native ]; then
        [ -z "$(find "$moved" -maxdepth 1 -name 'f*.tmp')" ] || fail "old files left in the renamed directory"
    fi
}

# A run that cannot have the finished jobs' lock in its time says so and leaves the job files.
case_jobs_lock_held_too_long_is_reported() {
    [ "$TARGET" = native ] || return 0
    make_install server
    hold_jobs_lock || return
    run_sorvik_bounded 60 --process-fjobs
    release_jobs_lock
    expect_code 7
    expect_output "$RUNNING

Finished jobs not folded: the lock of $SERVER/Log/temp/Scheduler/finished could not be had"
    expect_exists "$SERVER/Log/temp/Scheduler/finished/job-second.spec"
}

# A job file whose record could not be followed by its deletion, or that may still be being written,
# stays out of the day log: no record is ever written twice or cut short.
case_job_files_that_cannot_go_yet_stay_out_of_the_log() {
    make_install server
    local fj=$SERVER/Log/temp/Scheduler/finished t d
    t=$((NOW - 7200))
    d=$(day_text $t)
    printf 'done\r\n' >"$fj/job-1.spec"
    printf 'frozen\r\n' >"$fj/job-2.spec"
    printf 'still writing\r\n' >"$fj/job-3.spec"
    touch -d "@$t" "$fj/job-1.spec" "$fj/job-2.spec"
    chmod a-w "$fj/job-2.spec"
    local expected=done
    if [ "$TARGET" = native ]; then
        # A name from the listing is a name: a backslash in it is no separator.
        printf 'back\r\n' >"$fj/job-a\\b.spec"
        touch -d "@$t" "$fj/job-a\\b.spec"
        expected=$(printf 'done\nback')
    fi
    run_sorvik --process-fjobs
    expect_code 7
    expect_output "$RUNNING

Error: Couldn't delete job file: $(shown "$fj")/job-2.spec (win-error#5); its record waits for a later run"
    [ "$(tr -d '\r' <"$fj/jobs-$d.log")" = "$expected" ] || fail "day log: $(od -c "$fj/jobs-$d.log" | head -3)"
    expect_gone "$fj/job-1.spec" "$fj/job-a\\b.spec"
    expect_exists "$fj/job-2.spec" "$fj/job-3.spec"
    chmod u+w "$fj/job-2.spec"
}
