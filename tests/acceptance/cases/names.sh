# Names in every language: files, owners and installation directories named in Latin with accents,
# Cyrillic, Greek, Japanese and with a character beyond the Basic Multilingual Plane are judged and
# removed exactly as their ASCII twin. On Windows that holds because the program's code page is UTF-8
# (its manifest); the Windows code pages of old could not even name most of them.

NAMES=(ascii "café" "тест" "Ελλάδα" "日本" "😀")

# An installation below a directory named in two languages, with the registry naming it.
names_install() {
    ROOT=$SB/Données/Сервер
    mkdir -p "$ROOT"
    make_install "$1"
}

# For each name: the files of each kind that must go, and their twins that must stay (listed in KEPT,
# relative to $ROOT).
names_files() {
    local n s=$SERVER r=$SERVER/Data/veltor_html_data/results t=$SERVER/Log/temp db=$SERVER/Data/database
    KEPT=()
    for n in "${NAMES[@]}"; do
        # Rule table (*.tmp, 48, 168, 1) and the client's temporary files.
        age_file "$t/$n.tmp" 50 1
        age_file "$t/$n-fresh.tmp" 47 1
        age_file "$CLIENT/log/temp/$n.tmp" 169
        age_file "$CLIENT/log/temp/$n-unread.tmp" 100
        # Dated logs of the server and the client (24 hours by last write).
        age_file "$s/Log/$n-1.log" 25
        age_file "$s/Log/$n-2.log" 23
        age_file "$CLIENT/log/$n-1.log" 25
        # Web reports (48 hours by last write).
        age_file "$r/{Trashcan}/top_0_$n.rep" 49
        age_file "$r/{Trashcan}/top_0_$n-new.rep" 47
        age_file "$r/{Temporary}/top_1_2_$n.csv" 49
        age_file "$r/{Temporary}/top_1_2_$n-new.csv" 47
        # Web sessions: the time recorded inside.
        printf 'a=b=c=%d,%s' $((NOW - 49 * 3600)) "$n" >"$t/cgisess_$n"
        printf 'a=b=c=%d,%s' $((NOW - 47 * 3600)) "$n" >"$t/cgisess_$n-new"
        # Locks of the incoming data: dangling at any age, kept while their owner is there.
        age_file "$s/Data/incoming/$n.lock" 0
        age_file "$s/Data/incoming/$n-owned.lock" 9000
        age_file "$s/Data/incoming/$n-owned" 9000
        # Locks below the database, found through their shortcuts, in directories named alike.
        age_file "$db/$n/$n.lock" 0
        age_file "$db/$n/$n.lock.lnk" 0
        age_file "$db/$n/$n-owned.lock" 0
        age_file "$db/$n/$n-owned.lock.lnk" 0
        age_file "$db/$n/$n-owned" 0
        KEPT+=("server/Log/temp/$n-fresh.tmp" "client/log/temp/$n-unread.tmp" "server/Log/$n-2.log"
            "server/Data/veltor_html_data/results/{Trashcan}/top_0_$n-new.rep"
            "server/Data/veltor_html_data/results/{Temporary}/top_1_2_$n-new.csv" "server/Log/temp/cgisess_$n-new"
            "server/Data/incoming/$n-owned.lock" "server/Data/incoming/$n-owned"
            "server/Data/database/$n/$n-owned.lock" "server/Data/database/$n/$n-owned.lock.lnk"
            "server/Data/database/$n/$n-owned")
    done
}

case_names_in_every_language_are_cleaned() {
    names_install both
    names_files
    run_sorvik
    expect_code 0
    expect_output "$RUNNING"
    expect_tree "$ROOT" "${KEPT[@]}"
}

case_names_in_every_language_fold_into_day_logs() {
    names_install server
    local fj=$SERVER/Log/temp/Scheduler/finished n t d
    t=$((NOW - 86400))
    d=$(day_text $t)
    for n in "${NAMES[@]}"; do
        printf '%s\r\nline two' "$n" >"$fj/job-$n.spec"
        printf '%s;line two\r\n' "$n" >>"$SB/expected"
    done
    touch -d "@$t" "$fj"/job-*.spec
    run_sorvik --process-fjobs
    expect_code 0
    expect_output "$RUNNING"
    expect_tree "$fj" "jobs-$d.log"
    # One record per job whatever the order in which the directory listed them.
    local log
    log=$(LC_ALL=C sort <"$fj/jobs-$d.log" | od -An -c | tr -s ' \n' ' ')
    [ "$log" = "$(LC_ALL=C sort <"$SB/expected" | od -An -c | tr -s ' \n' ' ')" ] ||
        fail "day log: $(od -c "$fj/jobs-$d.log" | head -20)"
}

# What the program prints about such an installation: UTF-8 bytes into a pipe; on Windows, when standard
# output is a console, the same text shown as it is in the console's own code page.
case_names_in_every_language_are_printed() {
    names_install server
    run_sorvik --verbose
    expect_code 0
    expect_contains "
Directory: $(shown "$SERVER")
"
    [ "$TARGET" = windows ] || return 0
    command -v script >/dev/null || { fail "script (util-linux) is needed to give Wine a console"; return; }
    # A terminal makes Wine give the program a console; its console passes the text on to the terminal
    # as UTF-8, moving the cursor for spaces and breaking lines at the terminal's width. UTF-8 bytes
    # written to that console as bytes would come out in its OEM code page instead.
    local raw expected
    raw=$(cd "$SB" && LC_ALL=C.UTF-8 script -qec "$(printf '%q ' "$HERE/../../cmake/wine-run" --bits="$WINE_BITS" \
        "$PROGRAM" --verbose)" /dev/null </dev/null 2>"$SB/stderr")
    OUT=$(printf '%s' "$raw" | sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' | tr -d '\r\n ')
    expected="Directory: $(shown "$SERVER")"
    expect_contains "${expected// /}"
}

# Past 260 characters below the database: the dangling lock goes where the system reaches such paths
# (Linux; Windows with long paths enabled; Wine); elsewhere the run goes on with the rest.
case_names_beyond_260_characters() {
    names_install server
    local deep=$SERVER/Data/database i=0
    # Counted in UTF-16 units, as Windows counts.
    while [ "$(printf '%s' "$deep" | iconv -f UTF-8 -t UTF-16LE | wc -c)" -lt 600 ]; do
        deep=$deep/${NAMES[i % ${#NAMES[@]}]}-$i
        i=$((i + 1))
    done
    age_file "$deep/deep.lock" 0
    age_file "$deep/deep.lock.lnk" 0
    age_file "$SERVER/Data/database/top.lock" 0
    age_file "$SERVER/Data/database/top.lock.lnk" 0
    run_sorvik --locks-recursive
    expect_code 0
    expect_output "$RUNNING"
    expect_gone "$deep/deep.lock" "$deep/deep.lock.lnk" "$SERVER/Data/database/top.lock"
}

# The Windows program carries the manifest that makes its code page UTF-8 and lets it reach long paths.
case_names_manifest_is_embedded() {
    [ "$TARGET" = windows ] || return 0
    local manifest
    manifest=$(python3 "$HERE/lib/pe_manifest.py" "$PROGRAM") || { fail "no manifest in $PROGRAM"; return; }
    manifest=$(printf '%s' "$manifest" | sed 's/<!--/\n&/; /<!--/,/-->/d' | tr -d '\n')
    local setting
    for setting in '<activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8</activeCodePage>' \
        '<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>'; do
        case "$manifest" in *"$setting"*) ;; *) fail "manifest lacks $setting" ;; esac
    done
}
