# --why PATH: what the run the command line describes would do with one entry, and why.

# An installation with an entry of every kind of verdict.
why_install() {
    make_install both
    local t=$SERVER/Log/temp fj=$SERVER/Log/temp/Scheduler/finished
    age_file "$t/read.tmp" 50 1
    age_file "$t/unread.tmp" 100
    age_file "$t/young.tmp" 10 1
    age_file "$t/other.txt" 1000
    age_file "$t/ro.tmp" 100 1
    chmod a-w "$t/ro.tmp"
    printf 'a=b=c=%d,rest' $((NOW - 3 * 3600)) >"$t/cgisess_young"
    printf 'a=b=c=%d,rest' $((NOW - 30 * 86400)) >"$t/cgisess_old"
    age_file "$SERVER/Log/core-2026.log" 960
    age_file "$SERVER/Log/core-2027.log" 10
    age_file "$SERVER/Log/core.log" 960
    age_file "$SERVER/Data/incoming/gone.lock" 0
    age_file "$SERVER/Data/incoming/live.lock" 0
    age_file "$SERVER/Data/incoming/live" 0
    age_file "$SERVER/Data/veltor_html_data/results/{Trashcan}/top_0_x.rep" 30
    mkdir -p "$SERVER/Data/license_status/empty" "$SERVER/Data/other"
    age_file "$SERVER/Data/other/old.tmp" 1000
    printf 'job\r\n' >"$fj/job-1.spec"
    touch -d "@$((NOW - 7200))" "$fj/job-1.spec"
    printf 'job\r\n' >"$fj/job-2.spec"
    # What a killed run left, and a link planted among the files a rule judges.
    age_file "$fj/.jobs-2026-1-01.log.0123456789abcdef.tmp" 2
    age_file "$fj/.jobs-2026-1-02.log.0123456789abcdef.tmp" 0.5
    if [ "$TARGET" = native ]; then
        ln -s /etc/hostname "$t/planted.tmp"
        touch -h -d "@$((NOW - 100 * 3600))" "$t/planted.tmp"
    fi
}

# why PATH [OPTIONS...]: runs --why on PATH; VERDICT is the first line after the banner.
why() {
    local path=$1
    shift
    run_sorvik --why "$(progpath "$path")" "$@"
    VERDICT=$(printf '%s\n' "$OUT" | sed -n 2p)
}

case_why_tells_each_verdict() {
    why_install
    local t=$SERVER/Log/temp s SEP=/
    [ "$TARGET" = windows ] && SEP='\'

    s=$(shown "$t")
    why "$t/read.tmp"
    expect_code 0
    [ "$VERDICT" = "Would remove: $s$SEP""read.tmp (last write 50 h ago, limit 48 h)" ] || fail "read.tmp: $VERDICT"
    expect_contains "Rule: $s *.tmp: last write older than 48 h, and if never read since written, older than 168 h"
    expect_contains ": read since written, so the 48 h limit on the last write applies: over it"
    # As JSON Lines: the explanation names the entry it explains.
    why "$t/read.tmp" --json
    printf '%s\n' "$OUT" | /usr/bin/python3 -c 'import json, sys
told = [json.loads(line) for line in sys.stdin if line.startswith("{")]
said = [o for o in told if o["type"] == "explanation"]
sys.exit(not (said and said[0]["path"] == sys.argv[1] and said[0]["lines"][0].startswith("Would remove: ")))' \
        "$(progpath "$t/read.tmp")" || fail "the JSON explanation does not name read.tmp"
    why "$t/unread.tmp"
    [ "$VERDICT" = "Stays: $s$SEP""unread.tmp (never read since written 100 h ago, limit 168 h)" ] || fail "unread.tmp: $VERDICT"
    expect_contains "limit for unread files apply: over the first, within the second"
    why "$t/young.tmp"
    [ "$VERDICT" = "Stays: $s$SEP""young.tmp (last write 10 h ago, limit 48 h)" ] || fail "young.tmp: $VERDICT"
    why "$t/other.txt"
    [ "$VERDICT" = "Stays: $s$SEP""other.txt (its name matches no rule)" ] || fail "other.txt: $VERDICT"
    expect_contains "The name matches no pattern of the cleanings of its directory (patterns: *.tmp, flist*, *.lock, cgisess_*)"
    why "$t/ro.tmp"
    [ "$VERDICT" = "Stays: $s$SEP""ro.tmp (kept: read-only)" ] || fail "ro.tmp: $VERDICT"
    why "$t/cgisess_young"
    expect_contains "Stays: $s$SEP""cgisess_young (session recorded at "
    expect_contains ", 3 h ago, limit 48 h)"
    why "$t/cgisess_old"
    [ "$VERDICT" = "Would remove: $s$SEP""cgisess_old (session expired 30 d ago, limit 48 h)" ] || fail "cgisess_old: $VERDICT"
    why "$SERVER/Data/incoming/gone.lock"
    [ "$VERDICT" = "Would remove: $(shown "$SERVER/Data/incoming/gone.lock") (dangling lock: no Data${SEP}incoming${SEP}gone)" ] ||
        fail "gone.lock: $VERDICT"
    why "$SERVER/Log/core-2027.log"
    [ "$VERDICT" = "Stays: $(shown "$SERVER/Log/core-2027.log") (last write 10 h ago, limit 24 h)" ] || fail "core-2027: $VERDICT"
    why "$SERVER/Log/core.log"
    [ "$VERDICT" = "Stays: $(shown "$SERVER/Log/core.log") (no dated log name)" ] || fail "core.log: $VERDICT"
    why "$SERVER/Data/incoming/live.lock"
    [ "$VERDICT" = "Stays: $(shown "$SERVER/Data/incoming/live.lock") (lock of an existing Data${SEP}incoming${SEP}live)" ] ||
        fail "live.lock: $VERDICT"
    why "$SERVER/Data/other/old.tmp"
    [ "$VERDICT" = "Stays: $(shown "$SERVER/Data/other/old.tmp") (no cleaning looks at it)" ] || fail "other: $VERDICT"
    expect_contains "No cleaning looks at $(shown "$SERVER/Data/other"): it is none of the directories Sorvik cleans (they are: "
    local fj=$SERVER/Log/temp/Scheduler/finished
    why "$fj/job-1.spec"
    [ "$VERDICT" = "Would fold: $(shown "$fj")/job-1.spec into $(shown "$fj")/jobs-$(day_text $((NOW - 7200))).log" ] ||
        fail "job-1: $VERDICT"
    why "$fj/job-2.spec"
    case "$VERDICT" in "Waits: $(shown "$fj/job-2.spec") (written "*" s ago; job files wait a minute)") ;;
        *) fail "job-2: $VERDICT" ;; esac
    why "$fj/.jobs-2026-1-01.log.0123456789abcdef.tmp"
    [ "$VERDICT" = "Would remove: $(shown "$fj/.jobs-2026-1-01.log.0123456789abcdef.tmp") (leftover of an interrupted run, 2 h old)" ] ||
        fail "leftover: $VERDICT"
    # A path longer than the system takes at once is found all the same.
    if [ "$TARGET" = native ]; then
        local deep=$SB/deep i long
        long=$(printf 'd%.0s' $(seq 1 200))
        for i in $(seq 1 25); do deep=$deep/$long; done
        # Made one name at a time: no call of the system takes the whole path.
        (mkdir "$SB/deep" && cd "$SB/deep" && for i in $(seq 1 25); do mkdir "$long" && cd "$long" || exit 1; done && touch f.tmp) ||
            fail "no deep tree"
        why "$deep/f.tmp"
        [ "$VERDICT" = "Stays: $deep/f.tmp (no cleaning looks at it)" ] || fail "a long path: ${VERDICT: -60}"
    fi
    why "$SERVER/Data/nothing"
    expect_code 0
    [ "$VERDICT" = "Stays: $(shown "$SERVER/Data/nothing") (no such file)" ] || fail "nothing: $VERDICT"
    # The rest of the command line sets the run explained: a single cleaning with its own age.
    local rep=$SERVER/Data/veltor_html_data/results/{Trashcan}/top_0_x.rep
    why "$rep"
    expect_contains "Stays: $(shown "$rep") (last write 30 h ago, limit 48 h)"
    why "$rep" --web-reports P1D
    [ "$VERDICT" = "Would remove: $(shown "$rep") (last write 30 h ago, limit 24 h)" ] || fail "--web-reports P1D: $VERDICT"
    why "$t/read.tmp" --web-reports P1D
    [ "$VERDICT" = "Stays: $s$SEP""read.tmp (no cleaning looks at it)" ] || fail "read.tmp with --web-reports: $VERDICT"
    why "$t/read.tmp" --bogus
    expect_code 2
    [ "$TARGET" = windows ] && return 0
    # A directory on the way swapped for a link by whoever can write its parent: nothing looks there.
    chmod 755 "$SB" "$ROOT" "$SERVER"
    chmod 777 "$SERVER/Log"
    mv "$t" "$SB/elsewhere"
    setpriv --reuid=65534 --regid=65534 --clear-groups ln -s "$SB/elsewhere" "$t" || fail "no link planted"
    why "$t/read.tmp"
    [ "$VERDICT" = "Stays: $s$SEP""read.tmp (no cleaning looks at it)" ] || fail "behind a link: $VERDICT"
    expect_contains "Not cleaned: $s (a link in a directory others can write)"
}

# Over every entry of a whole installation: --why says Would remove or Would fold exactly for what the
# dry run lists, and asking changes nothing.
case_why_agrees_with_the_dry_run() {
    why_install
    local before listed path verdict acts
    before=$(snapshot "$ROOT")
    run_sorvik --dry-run
    listed=$(printf '%s\n' "$OUT" | sed -n -e 's/^Would remove: \(.*\) ([^()]*)$/\1/p' -e 's/^Would fold: \(.*\) into .*$/\1/p' | sort)
    acts=""
    while IFS= read -r path; do
        why "$path"
        verdict=$(printf '%s\n' "$VERDICT" | sed -n -e 's/^Would remove: \(.*\) ([^()]*)$/\1/p' -e 's/^Would fold: \(.*\) into .*$/\1/p')
        [ -n "$verdict" ] && acts+="$verdict"$'\n'
    done < <(find "$ROOT" -mindepth 1 | sort)
    [ "$(printf '%s' "$acts" | sort)" = "$listed" ] || {
        fail "--why and --dry-run disagree (< --why, > --dry-run)"
        diff <(printf '%s' "$acts" | sort) <(printf '%s\n' "$listed") | sed 's/^/    /' | head -20
    }
    [ "$before" = "$(snapshot "$ROOT")" ] || fail "--why changed the tree"
}
