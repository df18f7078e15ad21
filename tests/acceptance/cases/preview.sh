# --dry-run and --list: a preview that changes nothing and a report of what was done, with reasons.

# snapshot DIR: every entry below DIR with its type; files and links also with size and both stamps
# (a directory's own stamps change by being listed and are judged by no rule), to the microsecond.
# Contents are not read:
# reading would change the last access this is to compare, and no content changes without its stamp.
snapshot() {
    # Microseconds: Windows keeps stamps in 100 ns steps, so a stamp put back through a handle may lose
    # the nanoseconds the file system had.
    (cd "$1" && find . -printf '%P|%y\n' && find . \( -type f -o -type l \) -printf '%P|%s|%T@|%A@\n' |
        sed -E 's/\.([0-9]{6})[0-9]*/.\1/g') | sort
}

# The paths of the lines of OUT that start with PREFIX, as the file system names them, sorted.
action_paths() {
    printf '%s\n' "$OUT" | sed -n "s/^$1: \\(.*\\) (.*)\$/\\1/p; s/^$1: \\(.*\\) into .*\$/\\1/p" |
        if [ "$TARGET" = windows ]; then sed 's/^Z://; s|\\|/|g'; else cat; fi | sort
}

# A server and a client with something to do for every sweep, jobs included.
preview_install() {
    make_install both
    server_files
    age_file "$CLIENT/log/app-2026-01-01.log" 30
    age_file "$CLIENT/log/temp/c.tmp" 200
    local fj=$SERVER/Log/temp/Scheduler/finished
    printf 'job one\r\n' >"$fj/job-1.spec"
    printf 'job two\r\n' >"$fj/job-2.spec"
    touch -d "@$((NOW - 7200))" "$fj/job-1.spec" "$fj/job-2.spec"
}

case_dry_run_changes_nothing_and_list_does_what_it_showed() {
    preview_install
    local before after would removed folded summary
    before=$(snapshot "$ROOT")
    run_sorvik --dry-run
    expect_code 0
    after=$(snapshot "$ROOT")
    [ "$before" = "$after" ] || {
        fail "the dry run changed the tree"
        diff <(printf '%s\n' "$before") <(printf '%s\n' "$after") | head -20 | sed 's/^/    /'
    }
    would=$(action_paths 'Would remove')
    folded=$(action_paths 'Would fold')
    summary=$(printf '%s\n' "$OUT" | sed -n 's/^Dry run: would remove \(.*\); would fold \(.*\); kept 0, failed 0$/\1|\2/p')
    [ -n "$would" ] && [ -n "$folded" ] && [ -n "$summary" ] || fail "the preview showed nothing"
    [ "$(printf '%s\n' "$folded" | wc -l)" = 2 ] || fail "job files to fold: $folded"

    run_sorvik --list
    expect_code 0
    removed=$(action_paths 'Removed')
    [ "$would" = "$removed" ] || {
        fail "the real run removed other files than the preview showed"
        diff <(printf '%s\n' "$would") <(printf '%s\n' "$removed") | sed 's/^/    /'
    }
    [ "$folded" = "$(action_paths 'Folded')" ] || fail "the real run folded other job files"
    local path
    while IFS= read -r path; do expect_gone "$path"; done <<<"$removed$(printf '\n%s' "$folded")"
    # Everything else is as it was, but for the day log the folding wrote.
    after=$(snapshot "$ROOT" | grep -v 'Scheduler/finished/jobs-')
    local kept
    kept=$(printf '%s\n' "$before" | grep -v -F -f <(printf '%s\n' $(printf '%s\n' "$removed" "$folded" |
        sed "s|^$ROOT/||") | sed 's/$/|/'))
    [ "$(printf '%s\n' "$kept" | grep -v '|d$' | sort)" = "$(printf '%s\n' "$after" | grep -v '|d$' | sort)" ] ||
        fail "the real run changed files it did not report"
    expect_contains "Summary: removed ${summary%%|*}; folded ${summary#*|}; kept 0, failed 0"
}

case_each_reason_in_its_own_words() {
    make_install both
    local fj=$SERVER/Log/temp/Scheduler/finished d bytes
    age_file "$SERVER/Log/temp/read.tmp" 50 1
    age_file "$SERVER/Log/temp/unread.tmp" 170
    age_file "$SERVER/Log/temp/flist-1" 100 25
    age_file "$SERVER/Log/temp/ro.tmp" 100 1
    chmod a-w "$SERVER/Log/temp/ro.tmp"
    printf 'a=b=c=%d,rest' $((NOW - 30 * 86400)) >"$SERVER/Log/temp/cgisess_x"
    age_file "$SERVER/Log/core-2026.log" 960
    age_file "$SERVER/Data/incoming/batch7.lock" 0
    age_file "$SERVER/Data/database/t1/data.lock" 0
    age_file "$SERVER/Data/database/t1/data.lock.lnk" 0
    mkdir -p "$SERVER/Data/license_status/empty"
    printf 'job\r\n' >"$fj/job-1.spec"
    touch -d "@$((NOW - 7200))" "$fj/job-1.spec"
    d=$(day_text $((NOW - 7200)))
    bytes=$((5 * 7 + $(stat -c %s "$SERVER/Log/temp/cgisess_x")))
    local s i l
    s=$(shown "$SERVER")
    i='Data/incoming/batch7' l='Data/database/t1/data'
    [ "$TARGET" = windows ] && { i='Data\incoming\batch7' l='Data\database\t1\data'; s="$s"; }
    local sep=/
    [ "$TARGET" = windows ] && sep='\'
    local lines="$s${sep}Log${sep}temp${sep}read.tmp (last write 50 h ago, limit 48 h)
$s${sep}Log${sep}temp${sep}unread.tmp (never read since written 170 h ago, limit 168 h)
$s${sep}Log${sep}temp${sep}flist-1 (last access 25 h ago, limit 24 h)
$s${sep}Log${sep}temp${sep}cgisess_x (session expired 30 d ago, limit 48 h)
$s${sep}Log${sep}core-2026.log (dated log 40 d old, limit 24 h)
$s${sep}Data${sep}incoming${sep}batch7.lock (dangling lock: no $i)
$s${sep}Data${sep}database${sep}t1${sep}data.lock (dangling lock: no $l)
$s${sep}Data${sep}database${sep}t1${sep}data.lock.lnk (shortcut of dangling lock data.lock)
$s${sep}Data${sep}license_status${sep}empty (empty directory)"
    local fold="$s${sep}Log${sep}temp${sep}Scheduler${sep}finished/job-1.spec into $s${sep}Log${sep}temp${sep}Scheduler${sep}finished/jobs-$d.log"
    local mode verb
    for mode in --dry-run --list; do
        run_sorvik "$mode"
        expect_code 0
        verb='Would remove'
        [ "$mode" = --list ] && verb='Removed'
        local expected
        expected=$(printf '%s\n' "$lines" | sed "s/^/$verb: /"
            echo "Kept: $s${sep}Log${sep}temp${sep}ro.tmp (read-only)"
            if [ "$mode" = --dry-run ]; then
                echo "Would fold: $fold"
                echo "Dry run: would remove 8 files and 1 directory, $bytes bytes; would fold 1 job file into 1 day log; kept 1, failed 0"
            else
                echo "Folded: $fold"
                echo "Summary: removed 8 files and 1 directory, $bytes bytes; folded 1 job file into 1 day log; kept 1, failed 0"
            fi)
        local actual
        actual=$(printf '%s\n' "$OUT" | grep -E '^(Would remove|Removed|Kept|Would fold|Folded|Dry run|Summary): ' | sort)
        [ "$(printf '%s\n' "$expected" | sort)" = "$actual" ] || {
            fail "lines of $mode differ"
            diff <(printf '%s\n' "$expected" | sort) <(printf '%s\n' "$actual") | sed 's/^/    /'
        }
    done
    expect_exists "$SERVER/Log/temp/ro.tmp"
    chmod u+w "$SERVER/Log/temp/ro.tmp"
}

case_names_that_would_break_a_line_are_escaped() {
    [ "$TARGET" = windows ] && return 0 # no such names there
    make_install client
    age_file "$CLIENT/log/temp/two"$'\n'"lines.tmp" 200
    age_file "$CLIENT/log/temp/tab"$'\t'"and"$'\377'".tmp" 200
    run_sorvik --list
    expect_contains "Removed: $CLIENT/log/temp/two\\nlines.tmp (never read since written 200 h ago, limit 168 h)"
    expect_contains "Removed: $CLIENT/log/temp/tab\\tand\\xFF.tmp (never read since written 200 h ago, limit 168 h)"
    expect_tree "$CLIENT"
}

# --dry-run and --list are no tokens for the decisions that count them: each previews exactly the run
# the same command line without them would do.
case_preview_options_keep_the_single_option_rules() {
    preview_install
    local args count
    for args in "--locks|1" "--locks-recursive|2" "--process-fjobs|0" "--web-reports P2D|3" "--license-status P1D|2"; do
        run_sorvik --dry-run ${args%|*}
        expect_code 0
        count=$(printf '%s\n' "$OUT" | grep -c '^Would remove: ')
        [ "$count" = "${args#*|}" ] || fail "--dry-run ${args%|*}: $count removals shown"
        [ "${args%|*}" = --process-fjobs ] && { printf '%s\n' "$OUT" | grep -q '^Would fold: ' || fail "no folding shown"; }
    done
    # Alone, or with --verbose, the default cleaning; --list with --dry-run is the dry run.
    run_sorvik --list --dry-run --verbose
    expect_contains "***Clean Server files***"
    expect_contains "Dry run: would remove "
    [ "$(printf '%s\n' "$OUT" | grep -c '^Would fold: ')" = 2 ] || fail "the verbose preview folds no jobs"
    expect_exists "$SERVER/Data/incoming/a.lock" "$SERVER/Log/temp/Scheduler/finished/job-1.spec"
    run_sorvik --locks --list
    expect_output "$RUNNING

Removed: $(shown "$SERVER/Data/incoming/a.lock") (dangling lock: no $([ "$TARGET" = windows ] && printf 'Data\\incoming\\a' || printf 'Data/incoming/a'))
Summary: removed 1 file and 0 directories, 5 bytes; folded 0 job files into 0 day logs; kept 0, failed 0"
}

# A preview moves no stamp: not of the files it reads, not of the links on its way, an administrator's
# followed or one planted by another account and refused, and not with --why through such a link.
case_previews_move_no_stamp() {
    [ "$TARGET" = native ] && [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null || return 0
    make_install server
    server_files
    local fj=$SERVER/Log/temp/Scheduler/finished old=$((NOW - 208 * 86400)) stamps
    printf 'job\r\n' >"$fj/job-1.spec"
    touch -d "@$((NOW - 7200))" "$fj/job-1.spec"
    mkdir -p "$ROOT/disk"
    mv "$SERVER/Log/temp/Scheduler" "$ROOT/disk/"
    ln -s "$ROOT/disk/Scheduler" "$SERVER/Log/temp/Scheduler"
    chmod 755 "$SB" "$ROOT"
    chmod 777 "$SERVER/Data"
    mv "$SERVER/Data/incoming" "$SB/elsewhere"
    setpriv --reuid=65534 --regid=65534 --clear-groups ln -s "$SB/elsewhere" "$SERVER/Data/incoming"
    touch -h -a -d "@$old" "$SERVER/Log/temp/Scheduler" "$SERVER/Data/incoming"
    # Files and links, to the nanosecond; a directory's own stamps change by being listed.
    stamps() { find "$ROOT" "$SB/elsewhere" ! -type d -printf '%p %A@ %T@\n' | sort; }
    local before
    before=$(stamps)
    run_sorvik --dry-run
    expect_code 7
    expect_contains "Would fold: $SERVER/Log/temp/Scheduler/finished/job-1.spec into "
    run_sorvik --why "$SERVER/Data/incoming/a.lock"
    run_sorvik --why "$SERVER/Log/temp/Scheduler/finished/job-1.spec"
    printf '%s\n' "$OUT" | grep -q '^Would fold: ' || fail "--why through the relocation: $OUT"
    [ "$before" = "$(stamps)" ] || {
        fail "a preview moved stamps"
        diff <(printf '%s\n' "$before") <(stamps) | head -10 | sed 's/^/    /'
    }
    # Another account's preview cannot keep the last access of root's sessions: it names each one.
    chmod 644 "$SB/registry.reg"
    run_as_nobody=1 run_sorvik --dry-run --web-sessions P2D
    local n
    for n in old new short; do
        expect_contains "Note: reading $SERVER/Log/temp/cgisess_$n may have updated last-access times"
    done
    run_as_nobody=1 run_sorvik --why "$SERVER/Log/temp/cgisess_old"
    expect_contains "Note: reading $SERVER/Log/temp/cgisess_old may have updated last-access times"
}
