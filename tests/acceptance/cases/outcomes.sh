# Every directory the run means to clean has an outcome: cleaned, missing where that is no failure, or
# told as not cleaned with its reason, counted among the failures and ending the run with 7. Nothing the
# run skips goes unsaid.

# count_lines PREFIX: how many lines of OUT start with PREFIX.
count_lines() { printf '%s\n' "$OUT" | grep -c -F -x -e "$1" || true; }

# A run as the account that lacks the access: root's directories it may not open, search or list.
case_directories_others_may_not_enter_are_not_cleaned() {
    [ "$TARGET" = native ] && [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null || return 0
    setpriv --reuid=65534 --regid=65534 --clear-groups "$PROGRAM" --version >/dev/null 2>&1 || return 0
    make_install server
    local fj=$SERVER/Log/temp/Scheduler/finished ls=$SERVER/Data/license_status in=$SERVER/Data/incoming
    age_file "$SERVER/Log/temp/old.tmp" 100 1
    age_file "$SERVER/Log/core-1.log" 100
    age_file "$ls/old.dat" 100
    age_file "$in/gone.lock" 1
    printf 'job\r\n' >"$fj/job-1.spec"
    touch -d "@$((NOW - 7200))" "$fj/job-1.spec"
    chown -R 65534:65534 "$SB"
    chmod 755 "$SB"
    chmod 644 "$SB/registry.reg"
    chown root:root "$SB/registry.reg" "$fj" "$ls" "$in"
    # Unreadable, searchable but unreadable, readable but not searchable.
    chmod 700 "$fj"
    chmod 711 "$ls"
    chmod 744 "$in"
    run_as_nobody=1 run_sorvik --list
    expect_code 7
    local e="(access denied, win-error#5)"
    expect_contains "Not cleaned: $fj $e"
    expect_contains "Not cleaned: $ls $e"
    expect_contains "Not cleaned: $in $e"
    [ "$(printf '%s\n' "$OUT" | grep -c '^Not cleaned: ')" = 3 ] || fail "not one line per directory"
    expect_contains "; kept 0, failed 3"
    expect_gone "$SERVER/Log/temp/old.tmp" "$SERVER/Log/core-1.log"
    expect_exists "$fj/job-1.spec" "$ls/old.dat" "$in/gone.lock"
    # The plain run prints what it always printed, and its status tells.
    run_as_nobody=1 run_sorvik
    expect_code 7
    expect_output "$RUNNING"
}

# Something else than a directory where one is to be cleaned, an administrator's relocation that leads
# nowhere, a loop of links: each told once, whatever number of cleanings meet it.
case_what_stands_where_a_directory_should_is_told() {
    [ "$TARGET" = native ] || return 0
    make_install server
    local log=$SERVER/Log ls=$SERVER/Data/license_status in=$SERVER/Data/incoming
    rm -rf "$log" "$ls" "$in"
    mkfifo "$log"
    ln -s "$SB/nowhere" "$ls"
    ln -s "$in" "$in.next" && mv "$in.next" "$in"
    run_sorvik_bounded 60 --list
    expect_code 7
    [ "$(count_lines "Not cleaned: $log (not a directory)")" = 1 ] || fail "the FIFO is not told once"
    [ "$(count_lines "Not cleaned: $ls (a link to nothing)")" = 1 ] || fail "the dangling relocation is not told once"
    [ "$(count_lines "Not cleaned: $in (it leads through more than 40 links)")" = 1 ] ||
        fail "the loop of links is not told once"
    expect_contains "; kept 0, failed 3"
    run_sorvik_bounded 60 --verbose
    expect_code 7
    expect_contains "Not cleaned: $log (not a directory)"
}

# The messages of the folding come in their order: every job file that cannot be read is told while
# the job files are read, before any day log is written.
case_job_files_not_read_are_told_before_any_day_log() {
    [ "$TARGET" = native ] && [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null || return 0
    setpriv --reuid=65534 --regid=65534 --clear-groups "$PROGRAM" --version >/dev/null 2>&1 || return 0
    make_install server
    local fj=$SERVER/Log/temp/Scheduler/finished d1 d2
    d1=$(day_text $((NOW - 3 * 86400)))
    d2=$(day_text $((NOW - 86400)))
    printf 'a\r\n' >"$fj/job-a.spec"
    printf 'b\r\n' >"$fj/job-b.spec"
    touch -d "@$((NOW - 3 * 86400))" "$fj/job-a.spec"
    touch -d "@$((NOW - 86400))" "$fj/job-b.spec"
    # The first day's log is root's and cannot be replaced, the second day's job file cannot be read.
    printf 'old\r\n' >"$fj/jobs-$d1.log"
    mkdir -m 700 "$SB/run"
    chown -R 65534:65534 "$SB"
    chmod 755 "$SB"
    chmod 644 "$SB/registry.reg"
    chown root:root "$SB/registry.reg" "$fj/jobs-$d1.log" "$fj/job-b.spec"
    chmod 600 "$fj/jobs-$d1.log" "$fj/job-b.spec"
    XDG_RUNTIME_DIR=$SB/run run_as_nobody=1 run_sorvik --process-fjobs
    expect_code 7
    expect_output "$RUNNING
Error: Couldn't read job file: $fj/job-b.spec
Unable to create file: $fj/jobs-$d1.log"
    expect_exists "$fj/job-a.spec" "$fj/job-b.spec"
    [ -e "$fj/jobs-$d2.log" ] && fail "a day of unreadable job files got a log"
    return 0
}
