# The server part: the rule table, locks, finished jobs, web reports and sessions, license status, logs.

LOGT=""   # the log's temporary directory
RESULTS=""

server_files() {
    LOGT=$SERVER/Log/temp
    RESULTS=$SERVER/Data/veltor_html_data/results
    # Rule table of the log's temporary directory.
    age_file "$LOGT/read.tmp" 50 1          # *.tmp 48 h by last write, read since: goes
    age_file "$LOGT/unread.tmp" 50          # never read: stays until 168 h
    age_file "$LOGT/old-unread.tmp" 169     # goes
    age_file "$LOGT/fresh.tmp" 47 1         # stays
    age_file "$LOGT/flist-1" 100 25         # flist* 24 h by last access: goes
    age_file "$LOGT/flist-2" 100 23         # stays
    age_file "$LOGT/x.lock" 49              # *.lock 48 h by last access: goes
    age_file "$LOGT/y.lock" 47              # stays
    # Web sessions: the time recorded inside the file.
    age_file "$LOGT/cgisess_old" 0
    printf 'a=b=c=%d,rest' $((NOW - 49 * 3600)) >"$LOGT/cgisess_old"
    printf 'a=b=c=%d,rest' $((NOW - 47 * 3600)) >"$LOGT/cgisess_new"
    printf 'short=text' >"$LOGT/cgisess_short"
    # Server logs: dated ones by last write (24 h).
    age_file "$SERVER/Log/core-2026.log" 25
    age_file "$SERVER/Log/core.log" 9000
    # Simple reports (8 h by last write) and license reports (360 h by last access, 360 unread).
    age_file "$SERVER/Configuration/SimpleReports/top_0_a.rep" 9
    age_file "$SERVER/Configuration/SimpleReports/top_0_b.rep" 7
    age_file "$SERVER/ReportingServer/html/Veltor/license/max-1" 361
    age_file "$SERVER/ReportingServer/html/Veltor/license/max-2" 9000 24
    # Web reports (48 h by last write; *.temp by last access).
    age_file "$RESULTS/{Trashcan}/top_0_x.rep" 49
    age_file "$RESULTS/{Trashcan}/top_1_2_3.csv" 49
    age_file "$RESULTS/{Trashcan}/top_1_2.csv" 49      # too few underscores for either list
    age_file "$RESULTS/{Trashcan}/x.temp" 100 10       # read 10 hours ago: stays
    age_file "$RESULTS/{Trashcan}/y.temp" 100 49
    age_file "$RESULTS/{Trashcan}/notes.txt" 9000
    age_file "$RESULTS/{Temporary}/top_0_new.csv" 1
    # Locks: dangling ones go at any age, owned ones stay.
    age_file "$SERVER/Data/incoming/a.lock" 0
    age_file "$SERVER/Data/incoming/b.lock" 9000
    age_file "$SERVER/Data/incoming/b" 9000
    age_file "$SERVER/Data/database/t1/data.lock" 0
    age_file "$SERVER/Data/database/t1/data.lock.lnk" 0
    age_file "$SERVER/Data/database/t2/deep/idx.lock" 0
    age_file "$SERVER/Data/database/t2/deep/idx.lock.LNK" 0
    age_file "$SERVER/Data/database/t2/deep/idx" 0
    age_file "$SERVER/Data/database/t2/plain.lock" 0   # no shortcut: not this sweep's
    # License status: direct files by last write (24 h); empty subdirectories go.
    age_file "$SERVER/Data/license_status/old.dat" 25
    age_file "$SERVER/Data/license_status/new.dat" 1
    age_file "$SERVER/Data/license_status/sub/inner.dat" 9000
    mkdir -p "$SERVER/Data/license_status/empty" "$SERVER/Data/license_status/nested/inner"
}

SERVER_KEPT=(Log/temp/unread.tmp Log/temp/fresh.tmp Log/temp/flist-2 Log/temp/y.lock Log/temp/cgisess_new
    Log/temp/cgisess_short Log/core.log Configuration/SimpleReports/top_0_b.rep
    ReportingServer/html/Veltor/license/max-2 "Data/veltor_html_data/results/{Trashcan}/top_1_2.csv"
    "Data/veltor_html_data/results/{Trashcan}/x.temp" "Data/veltor_html_data/results/{Trashcan}/notes.txt"
    "Data/veltor_html_data/results/{Temporary}/top_0_new.csv" Data/incoming/b.lock Data/incoming/b
    Data/database/t2/deep/idx.lock Data/database/t2/deep/idx.lock.LNK Data/database/t2/deep/idx
    Data/database/t2/plain.lock Data/license_status/new.dat Data/license_status/sub/inner.dat)

case_server_default_cleaning() {
    make_install server
    server_files
    run_sorvik
    expect_code 0
    expect_output "$RUNNING

Unable to open file: $(shown "$LOGT")/cgisess_short"
    expect_tree "$SERVER" "${SERVER_KEPT[@]}"
    [ -d "$SERVER/Data/license_status/empty" ] && fail "empty license-status directory kept"
    [ -d "$SERVER/Data/license_status/nested" ] || fail "directory with a subdirectory removed"
}

server_dirs_verbose() {
    local s=$SERVER
    printf '%s' "
Directory: $(shown "$s")

Directory: $(shown "$s/Configuration")

Directory: $(shown "$s/Log")

Directory: $(shown "$s/Log/temp")

Directory: $(shown "$s/Data/veltor_html_data/results")

Directory: $(shown "$s/Data/veltor_html_data/results/{Trashcan}")

Directory: $(shown "$s/Data/veltor_html_data/results/{Temporary}")

Directory: $(shown "$s/ReportingServer/html/Veltor/license")

Directory: $(shown "$s/Configuration/SimpleReports")

Directory: $(shown "$s/Data/database")

Directory: $(shown "$s/Data/incoming")

Directory: $(shown "$s/Log/temp/Scheduler/finished")

Directory: $(shown "$s/Data/license_status")"
}

case_both_parts_verbose() {
    make_install both
    server_files
    age_file "$CLIENT/log/app-1.log" 25
    age_file "$CLIENT/log/temp/read.tmp" 2 1
    run_sorvik --verbose
    expect_code 0
    expect_output "$RUNNING

Installed: Veltor Client and Server

Directory: $(shown "$CLIENT")

Directory: $(shown "$CLIENT/conf")

Directory: $(shown "$CLIENT/log")

Directory: $(shown "$CLIENT/log/temp")
$(server_dirs_verbose)

***Clean Server files***

Unable to open file: $(shown "$LOGT")/cgisess_short

***Clean Client files***"
    expect_tree "$SERVER" "${SERVER_KEPT[@]}"
    expect_tree "$CLIENT"
}

# day_text SECONDS: the local day as the job logs name it (month without, day with a leading zero).
day_text() { date -d "@$1" +%Y-%-m-%d; }

case_finished_jobs_fold_into_day_logs() {
    make_install server
    local fj=$SERVER/Log/temp/Scheduler/finished d1 d2 t1 t2
    t1=$((NOW - 3 * 86400))
    t2=$((NOW - 86400))
    d1=$(day_text $t1)
    d2=$(day_text $t2)
    printf 'x\r\n\r\ny\r\n' >"$fj/job-a.spec"
    printf 'one\n' >"$fj/job-b.spec"
    printf 'later\r\nline two' >"$fj/job-c.spec"
    printf '\r\n\r\n' >"$fj/job-d.spec"
    printf 'not a job' >"$fj/other.txt"
    touch -d "@$t1" "$fj/job-a.spec" "$fj/job-b.spec"
    touch -d "@$t2" "$fj/job-c.spec" "$fj/job-d.spec"
    # A log of the first day left by an earlier run keeps its records.
    printf 'earlier;record\r\n' >"$fj/jobs-$d1.log"
    run_sorvik --process-fjobs
    expect_code 0
    expect_output "$RUNNING"
    expect_tree "$fj" "jobs-$d1.log" "jobs-$d2.log" other.txt
    [ "$(od -An -c "$fj/jobs-$d1.log" | tr -s ' \n' ' ')" = "$(printf 'earlier;record\r\nx;y\r\none\r\n' | od -An -c | tr -s ' \n' ' ')" ] ||
        fail "day log $d1: $(od -c "$fj/jobs-$d1.log")"
    [ "$(od -An -c "$fj/jobs-$d2.log" | tr -s ' \n' ' ')" = "$(printf 'later;line two\r\n\r\n' | od -An -c | tr -s ' \n' ' ')" ] ||
        fail "day log $d2: $(od -c "$fj/jobs-$d2.log")"
}

case_single_option_cleanings() {
    make_install server
    server_files
    run_sorvik --locks
    expect_code 0
    expect_gone "$SERVER/Data/incoming/a.lock"
    expect_exists "$SERVER/Data/incoming/b.lock" "$LOGT/read.tmp" "$SERVER/Data/database/t1/data.lock"
    run_sorvik --locks-recursive
    expect_gone "$SERVER/Data/database/t1/data.lock" "$SERVER/Data/database/t1/data.lock.lnk"
    expect_exists "$SERVER/Data/database/t2/deep/idx.lock" "$SERVER/Data/database/t2/plain.lock" "$LOGT/read.tmp"
    run_sorvik --web-reports P3D
    expect_exists "$RESULTS/{Trashcan}/top_0_x.rep" # 49 hours: younger than three days
    run_sorvik --web-reports P2D
    expect_gone "$RESULTS/{Trashcan}/top_0_x.rep" "$RESULTS/{Trashcan}/top_1_2_3.csv" "$RESULTS/{Trashcan}/y.temp"
    expect_exists "$RESULTS/{Trashcan}/x.temp" "$RESULTS/{Trashcan}/notes.txt" "$SERVER/Log/core-2026.log"
    run_sorvik --web-sessions PT48H30M
    expect_output "$RUNNING

Unable to open file: $(shown "$LOGT")/cgisess_short"
    expect_gone "$LOGT/cgisess_old"
    expect_exists "$LOGT/cgisess_new"
    run_sorvik --license-status PT30H
    expect_exists "$SERVER/Data/license_status/old.dat"
    expect_gone "$SERVER/Data/license_status/empty"
    run_sorvik --debug-logs PT26H
    expect_exists "$SERVER/Log/core-2026.log"
    run_sorvik --debug-logs ""
    expect_gone "$SERVER/Log/core-2026.log"
    expect_exists "$LOGT/read.tmp" "$SERVER/Data/license_status/old.dat"
    expect_output "$RUNNING"
}

# Lock owners and shortcuts at the edges of their patterns: a directory owns its lock, "*.lock" is
# case-sensitive and names nothing longer, and a shortcut goes even when its lock is already gone.
case_lock_owners_and_shortcuts() {
    make_install server
    local in=$SERVER/Data/incoming db=$SERVER/Data/database
    mkdir -p "$in/dir-owner"
    age_file "$in/dir-owner.lock" 0
    age_file "$in/b.lock.txt" 0
    age_file "$db/sub/gone.dat.lock.Lnk" 0
    age_file "$db/sub/other.txt.lnk" 0
    age_file "$db/sub/upper.LOCK.lnk" 0
    run_sorvik --locks
    expect_code 0
    run_sorvik --locks-recursive
    expect_code 0
    expect_output "$RUNNING"
    expect_tree "$in" dir-owner.lock b.lock.txt
    expect_tree "$db" sub/other.txt.lnk sub/upper.LOCK.lnk
}

# A web-report directory that the first report list alone empties is said to be empty; one whose
# report cannot be deleted is not.
case_web_reports_that_empty_a_directory_say_it() {
    make_install server
    local trash="$SERVER/Data/veltor_html_data/results/{Trashcan}"
    local temporary="$SERVER/Data/veltor_html_data/results/{Temporary}"
    age_file "$trash/top_0_ro.csv" 49
    chmod a-w "$trash/top_0_ro.csv"
    age_file "$temporary/top_0_a.csv" 49
    age_file "$temporary/top_0_b.data" 49
    run_sorvik --web-reports ""
    expect_code 0
    expect_output "$RUNNING

Directory: $(shown "$temporary") is empty"
    expect_tree "$SERVER/Data/veltor_html_data/results" "{Trashcan}/top_0_ro.csv"
    chmod u+w "$trash/top_0_ro.csv"
}

case_negative_age_ends_with_one() {
    make_install server
    server_files
    run_sorvik --web-sessions P-1D
    expect_code 1
    expect_output "$RUNNING

Error, You entered a negative number. Program will exit."
    expect_exists "$LOGT/cgisess_old"
    # The log has the run's last word although the process ends at once.
    run_sorvik --web-sessions P-1D --json --log "$(progpath "$SB/sorvik.log")"
    expect_code 1
    grep -q '"type":"summary".*"exit_status":1' "$SB/sorvik.log" || fail "the log lacks the summary of the run"
}

# A negative age given to one of these sweeps means that sweep's own default age.
case_negative_sweep_age_means_the_default() {
    make_install server
    local opt dir name hours
    for opt in "--debug-logs|Log|core-X.log|24" "--web-reports|Data/veltor_html_data/results/{Trashcan}|top_0_X.rep|48" \
        "--license-status|Data/license_status|X.dat|24"; do
        IFS='|' read -r opt dir name hours <<<"$opt"
        age_file "$SERVER/$dir/${name/X/old}" $((hours + 1))
        age_file "$SERVER/$dir/${name/X/young}" $((hours - 1))
        run_sorvik "$opt" P-1D
        expect_code 0
        expect_gone "$SERVER/$dir/${name/X/old}"
        expect_exists "$SERVER/$dir/${name/X/young}"
    done
}

case_web_reports_then_default_with_verbose() {
    make_install server
    server_files
    run_sorvik --web-reports P2D --verbose
    expect_code 0
    expect_contains "***Clean Server files***"
    # The default cleaning then runs with the 48 hours of the option: a day-old log stays.
    expect_tree "$SERVER" "${SERVER_KEPT[@]}" Log/core-2026.log Data/license_status/old.dat
}

case_install_dir_ending_in_separator() {
    INSTALL_SUFFIX=$(progpath /)
    [ "$TARGET" = windows ] && INSTALL_SUFFIX='\\'
    make_install server
    unset INSTALL_SUFFIX
    age_file "$SERVER/Data/database/t1/data.lock" 0
    age_file "$SERVER/Data/database/t1/data.lock.lnk" 0
    run_sorvik --locks-recursive
    expect_code 0
    expect_gone "$SERVER/Data/database/t1/data.lock" "$SERVER/Data/database/t1/data.lock.lnk"
}
