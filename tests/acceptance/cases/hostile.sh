# Hostile file systems: links out of the installation, read-only files, odd names, deep and wide trees,
# unwritable day logs and two runs at once.

# A directory outside the installation full of old files that every sweep would take.
outside_victims() {
    OUTSIDE=$SB/outside
    local n
    for n in a.tmp flist-1 x.lock top_0_a.csv top_1_2_3.rep y.temp app-1.log max-1 top_0_b.rep old.dat \
        cgisess_1 data.lock data.lock.lnk job-1.spec; do
        age_file "$OUTSIDE/$n" 9000 9000
    done
    printf 'a=b=c=1,x' >"$OUTSIDE/cgisess_1"
    touch -d "@$((NOW - 9000 * 3600))" "$OUTSIDE/cgisess_1"
}

case_links_out_of_the_installation_are_not_followed() {
    make_install both
    outside_victims
    local d
    for d in "$SERVER/Log" "$SERVER/Log/temp" "$SERVER/Data/veltor_html_data/results/{Trashcan}" \
        "$SERVER/Data/veltor_html_data/results/{Temporary}" "$SERVER/ReportingServer/html/Veltor/license" \
        "$SERVER/Configuration/SimpleReports" "$SERVER/Data/incoming" "$SERVER/Data/database" \
        "$SERVER/Log/temp/Scheduler/finished" "$SERVER/Data/license_status" "$CLIENT/log" "$CLIENT/log/temp"; do
        ln -s "$OUTSIDE" "$d/escape"
    done
    # A link to an empty directory is no empty subdirectory of the license status.
    mkdir -p "$OUTSIDE/void"
    ln -s "$OUTSIDE/void" "$SERVER/Data/license_status/void"
    # A loop inside the database tree.
    mkdir -p "$SERVER/Data/database/a/b"
    ln -s "$SERVER/Data/database" "$SERVER/Data/database/a/b/loop"
    local before
    before=$(cd "$OUTSIDE" && find . -printf "%p %s %T@\n" | sort)
    run_sorvik --verbose
    expect_code 0
    [ "$before" = "$(cd "$OUTSIDE" && find . -printf "%p %s %T@\n" | sort)" ] || fail "the outside directory changed"
    run_sorvik --locks-recursive
    expect_code 0
    run_sorvik --license-status P1D
    expect_code 0
    [ "$before" = "$(cd "$OUTSIDE" && find . -printf "%p %s %T@\n" | sort)" ] || fail "the outside directory changed"
    expect_exists "$SERVER/Data/license_status/void"
}

case_read_only_old_files_stay_and_the_run_goes_on() {
    make_install server
    age_file "$SERVER/Log/temp/ro.tmp" 100 1
    age_file "$SERVER/Log/temp/rw.tmp" 100 1
    age_file "$SERVER/Data/license_status/ro.dat" 100
    age_file "$SERVER/Log/core-1.log" 100
    chmod a-w "$SERVER/Log/temp/ro.tmp" "$SERVER/Data/license_status/ro.dat"
    run_sorvik
    expect_code 0
    expect_output "$RUNNING"
    expect_exists "$SERVER/Log/temp/ro.tmp" "$SERVER/Data/license_status/ro.dat"
    expect_gone "$SERVER/Log/temp/rw.tmp" "$SERVER/Log/core-1.log"
}

case_odd_names() {
    make_install server
    local n
    for n in "with space.tmp" "-leading-dash.tmp" "100%.tmp" '$HOME.tmp' "$(printf 'caf\xc3\xa9.tmp')" \
        "$(printf 'raw\xe9.tmp')" "%PATH%.tmp"; do
        age_file "$SERVER/Log/temp/$n" 100 1
        age_file "$SERVER/Log/temp/keep $n.txt" 100 1
    done
    run_sorvik
    expect_code 0
    expect_output "$RUNNING"
    local left
    left=$(cd "$SERVER/Log/temp" && find . -maxdepth 1 -name '*.tmp' | LC_ALL=C sort | od -An -c | tr -s ' \n' ' ')
    # Under Wine too: with UTF-8 as its code page the program reaches even a name that is not UTF-8.
    [ -z "$left" ] || fail "odd .tmp names stayed: $left"
    [ "$(find "$SERVER/Log/temp" -maxdepth 1 -name 'keep *' | wc -l)" = 7 ] || fail "other files were touched"
}

case_deep_database_tree_and_long_paths() {
    make_install server
    local deep=$SERVER/Data/database i
    for i in $(seq 1 200); do deep=$deep/d$i; done
    mkdir -p "$deep"
    # Dangling locks with their shortcuts at the top and at the bottom of the tree.
    age_file "$SERVER/Data/database/d1/top.lock" 1
    age_file "$SERVER/Data/database/d1/top.lock.lnk" 1
    age_file "$deep/bottom.lock" 1
    age_file "$deep/bottom.lock.lnk" 1
    run_sorvik --locks-recursive
    expect_code 0
    expect_output "$RUNNING"
    expect_gone "$SERVER/Data/database/d1/top.lock" "$SERVER/Data/database/d1/top.lock.lnk" \
        "$deep/bottom.lock" "$deep/bottom.lock.lnk"
}

case_unwritable_day_log_keeps_the_job_files() {
    make_install server
    local fj=$SERVER/Log/temp/Scheduler/finished t d
    t=$((NOW - 2 * 86400))
    d=$(day_text $t)
    printf 'job one\r\n' >"$fj/job-1.spec"
    printf 'fresh\r\n' >"$fj/job-2.spec"
    touch -d "@$t" "$fj/job-1.spec"
    # Finished a few minutes ago: settled, so folded (a file written in the last minute would wait).
    touch -d "@$((NOW - 300))" "$fj/job-2.spec"
    # A directory in the place of the day log: it can be neither created nor written.
    mkdir "$fj/jobs-$d.log"
    run_sorvik --process-fjobs
    expect_code 7
    expect_output "$RUNNING

Unable to create file: $(shown "$fj")/jobs-$d.log"
    expect_exists "$fj/job-1.spec" "$fj/jobs-$(day_text $((NOW - 300))).log"
    expect_gone "$fj/job-2.spec"
    [ -d "$fj/jobs-$d.log" ] || fail "the blocking directory changed"
}

case_two_runs_at_once_write_each_job_once() {
    make_install server
    local fj=$SERVER/Log/temp/Scheduler/finished i count
    count=400
    [ "$TARGET" = windows ] && count=150
    for i in $(seq 1 $count); do printf 'record %d\r\n' "$i" >"$fj/job-$i.spec"; done
    touch -d "@$((NOW - 86400))" "$fj"/job-*.spec
    ( run_sorvik --process-fjobs; echo "$CODE" >"$SB/code1" ) &
    ( run_sorvik --process-fjobs; echo "$CODE" >"$SB/code2" ) &
    wait
    [ "$(cat "$SB/code1")" = 0 ] && [ "$(cat "$SB/code2")" = 0 ] || fail "a run failed"
    local log=$fj/jobs-$(day_text $((NOW - 86400))).log
    expect_exists "$log"
    [ "$(tr -d '\r' <"$log" | sort | uniq -d | wc -l)" = 0 ] || fail "records written twice"
    [ "$(tr -d '\r' <"$log" | wc -l)" = "$count" ] || fail "$(tr -d '\r' <"$log" | wc -l) records, expected $count"
    [ "$(find "$fj" -name 'job-*.spec' | wc -l)" = 0 ] || fail "job files left"
}

case_wide_directory() {
    # A hundred thousand entries natively; under Wine a tenth, for time.
    local count=100000
    [ "$TARGET" = windows ] && count=10000
    make_install server
    python3 - "$SERVER/Log/temp" "$count" "$NOW" <<'PY'
import os, sys
d, n, now = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for i in range(n):
    p = os.path.join(d, "f%06d.tmp" % i)
    open(p, "w").close()
    old = now - 50 * 3600
    os.utime(p, (now - 3600, old) if i % 2 == 0 else (now, now))
PY
    run_sorvik
    expect_code 0
    expect_output "$RUNNING"
    [ "$(find "$SERVER/Log/temp" -maxdepth 1 -name '*.tmp' | wc -l)" = $((count / 2)) ] || fail "wrong number of files left"
}

# POSIX only: directories the program may not read inside the trees it walks are skipped and the run
# goes on. Root reads every directory, so the program runs as an unprivileged user here.
case_unreadable_directories_are_skipped() {
    [ "$TARGET" = native ] || return 0
    if [ "$(id -u)" = 0 ]; then
        # Skipped where the unprivileged user cannot reach the program (a private checkout).
        command -v setpriv >/dev/null || return 0
        setpriv --reuid=65534 --regid=65534 --clear-groups "$PROGRAM" --version >/dev/null 2>&1 || return 0
    fi
    make_install server
    age_file "$SERVER/Data/license_status/old.dat" 100
    mkdir -p "$SERVER/Data/license_status/closed" "$SERVER/Data/database/closed" "$SERVER/Data/database/open"
    age_file "$SERVER/Data/license_status/closed/inner.dat" 100
    age_file "$SERVER/Data/database/closed/x.lock" 1
    age_file "$SERVER/Data/database/closed/x.lock.lnk" 1
    age_file "$SERVER/Data/database/open/y.lock" 1
    age_file "$SERVER/Data/database/open/y.lock.lnk" 1
    if [ "$(id -u)" = 0 ]; then
        chown -R 65534:65534 "$SB"
        chmod 755 "$SB"
    fi
    chmod 000 "$SERVER/Data/license_status/closed" "$SERVER/Data/database/closed"
    if [ "$(id -u)" = 0 ]; then
        run_as_nobody=1 run_sorvik --license-status P1D
    else
        run_sorvik --license-status P1D
    fi
    # What cannot be looked into is not cleaned, and the status says so.
    expect_code 7
    expect_gone "$SERVER/Data/license_status/old.dat"
    if [ "$(id -u)" = 0 ]; then
        run_as_nobody=1 run_sorvik --locks-recursive
    else
        run_sorvik --locks-recursive
    fi
    expect_code 7
    expect_gone "$SERVER/Data/database/open/y.lock" "$SERVER/Data/database/open/y.lock.lnk"
    chmod 755 "$SERVER/Data/license_status/closed" "$SERVER/Data/database/closed"
    expect_exists "$SERVER/Data/license_status/closed/inner.dat" "$SERVER/Data/database/closed/x.lock"
}
