# Attacks on what the program trusts: the registry (its values, and natively its file) and the locks it
# shares with other runs. Each attack must be refused with a clear message, and nothing outside may change.

SERVER_INSTALL_KEY='HKEY_LOCAL_MACHINE\SOFTWARE\Veltor\CoreServer\Install'

# A fingerprint of everything below a directory (names; sizes and modification times of all but
# directories), leaving out the sandbox's registry file and the run's own output files.
tree_state() {
    (cd "$1" && find . \( -path ./registry.reg -o -path ./registry.new -o -path ./stderr -o -path ./out \) -prune \
        -o -type d -printf '%p/\n' -o -printf '%p %y %s %T@\n' | LC_ALL=C sort)
}

# The registry data of a REG_SZ value holding TEXT in UTF-16LE, as .reg hex bytes: hex(1):xx,xx,...
reg_sz_hex() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -t x1 | tr -s ' \n' ',' | sed 's/^,//; s/,$//'; }

# Replaces the server's InstallDir line of the sandbox registry by DATA (the part after '=') and installs it.
set_server_install_dir() {
    # Through the environment: awk would read escapes in a -v assignment.
    DATA=$1 awk '/^"InstallDir"=/ && section ~ /CoreServer\\Install\]$/ { print "\"InstallDir\"=" ENVIRON["DATA"]; next }
        /^\[/ { section = $0 } { print }' "$SB/registry.reg" >"$SB/registry.new" && mv "$SB/registry.new" "$SB/registry.reg"
    install_registry
}

# Cases that plant other users' files need the native program and root; elsewhere they say so and pass.
native_as_root() {
    [ "$TARGET" = native ] || return 1
    [ "$(id -u)" = 0 ] && return 0
    echo "  skip $CASE: needs root"
    return 1
}

refused_value() {
    printf '\nError: The registry value "InstallDir" of "%s" is refused, %s: "%s"' "$SERVER_INSTALL_KEY" "$1" "$2"
}

# A value whose text goes on after a NUL would show one path and let the system use the part before it.
case_config_directory_value_with_a_nul_inside() {
    make_install server
    age_file "$SERVER/Log/temp/old.tmp" 100 1
    age_file "$SERVER/Log/core-1.log" 1000
    local before nul_at_end
    before=$(tree_state "$SB")
    # The installation itself, then a NUL, then more text.
    set_server_install_dir "hex(1):$(reg_sz_hex "$(progpath "$SERVER")"),00,00,$(reg_sz_hex /elsewhere),00,00"
    run_sorvik
    expect_code 7
    expect_output "$RUNNING
$(refused_value "it holds a NUL character" "$(shown "$SERVER")\\x00/elsewhere")

Invalid directory "
    run_sorvik --verbose
    expect_code 7
    expect_contains "$(refused_value "it holds a NUL character" "$(shown "$SERVER")\\x00/elsewhere")"
    expect_contains "Error: The following path is not a directory: "
    [ "$before" = "$(tree_state "$SB")" ] || fail "files changed"
    # Terminating NULs are no part of the text: the same value ending in two of them is used.
    set_server_install_dir "hex(1):$(reg_sz_hex "$(progpath "$SERVER")"),00,00,00,00"
    run_sorvik
    expect_code 0
    expect_output "$RUNNING"
    expect_gone "$SERVER/Log/temp/old.tmp" "$SERVER/Log/core-1.log"
}

# A relative directory would be found below wherever the scheduler started the program.
case_config_relative_directory_values() {
    make_install server
    # What the values would name from the run's current directory ($SB): full server trees with old files.
    local base value values shown
    for base in "$SB" "$SB/data/server"; do
        mkdir -p "$base/Log/temp" "$base/Data/license_status"
        age_file "$base/Log/temp/old.tmp" 100 1
        age_file "$base/Log/core-1.log" 1000
        age_file "$base/Data/license_status/old.dat" 1000
    done
    values=(. .. data/server "data\\server" relative)
    if [ "$TARGET" = windows ]; then
        # Relative to the current directory of drive Z:, or to the root of the current drive.
        values+=("Z:data\\server" "$(progpath "$SB/data/server" | cut -c3-)")
    fi
    local before
    before=$(tree_state "$SB")
    for value in "${values[@]}"; do
        set_server_install_dir "\"${value//\\/\\\\}\""
        run_sorvik
        expect_code 7
        # Where a backslash can be part of a name, every message escapes it.
        shown=$value
        [ "$TARGET" = windows ] || shown=${shown//\\/\\\\}
        expect_output "$RUNNING
$(refused_value "it is not an absolute path" "$shown")

Invalid directory "
        run_sorvik --license-status P1D
        expect_code 7
    done
    [ "$before" = "$(tree_state "$SB")" ] || fail "files changed"
    # A client value too: nothing is derived from a refused start-up log directory.
    make_install client
    age_file "$SB/log/temp/old.tmp" 100 1
    age_file "$SB/log/app-1.log" 1000
    before=$(tree_state "$SB")
    sed -i 's/^"StartupLogDir"=.*/"StartupLogDir"="log"/' "$SB/registry.reg"
    install_registry
    run_sorvik
    expect_code 7
    expect_output "$RUNNING

Error: The registry value \"StartupLogDir\" of \"HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor\\Resources\" is refused, it is not an absolute path: \"log\""
    [ "$before" = "$(tree_state "$SB")" ] || fail "files changed"
}

# POSIX: the registry file is read only when no third user can replace it.
case_config_registry_file_others_could_replace() {
    native_as_root || return 0
    make_install server
    age_file "$SERVER/Log/temp/old.tmp" 100 1
    local before reg=$SB/registry.reg denied
    denied='Access denied when trying to get "HKEY_LOCAL_MACHINE"->"SOFTWARE\Veltor"'
    before=$(tree_state "$ROOT")

    chown nobody "$reg"
    run_sorvik
    expect_code 4
    expect_output "$RUNNING
$denied
File_Error: Registry file \"$reg\" is refused: it belongs to uid 65534, neither root nor the running user"
    chown root "$reg"

    chmod g+w "$SB"
    run_sorvik
    expect_code 4
    expect_output "$RUNNING
$denied
File_Error: Registry file \"$reg\" is refused: group or others may write the directory \"$SB\" (chmod go-w \"$SB\")"
    chmod g-w "$SB"

    # Reached through a link, the real path is judged: here a directory that anybody may write.
    mkdir -m 0777 "$SB/shared"
    mv "$reg" "$SB/shared/real.reg"
    ln -s "$SB/shared/real.reg" "$reg"
    run_sorvik
    expect_code 4
    expect_output "$RUNNING
$denied
File_Error: Registry file \"$reg\" (\"$SB/shared/real.reg\") is refused: group or others may write the directory \"$SB/shared\" (chmod go-w \"$SB/shared\")"
    # Whoever may write that directory chose the names the error shows: none acts on the terminal.
    local esc
    esc=$(printf '\033')
    mv "$SB/shared" "$SB/s$esc[2J"
    ln -sfn "$SB/s$esc[2J/real.reg" "$reg"
    run_sorvik
    expect_code 4
    expect_contains "(\"$SB/s\\x1B[2J/real.reg\") is refused"
    case $OUT in *"$esc"*) fail "an escape reached the terminal" ;; esac
    mv "$SB/s$esc[2J" "$SB/shared"
    ln -sfn "$SB/shared/real.reg" "$reg"
    # A FIFO would block a reader until someone writes it: refused without being opened.
    rm "$reg"
    mkfifo -m 0600 "$reg"
    run_sorvik_bounded 20
    expect_code 4
    expect_output "$RUNNING
$denied
File_Error: Registry file \"$reg\" is not a regular file"

    [ "$before" = "$(tree_state "$ROOT")" ] || fail "files changed"
    # The administrator's link to a registry in safe directories is followed.
    rm "$reg"
    chmod 0755 "$SB/shared"
    ln -s "$SB/shared/real.reg" "$reg"
    run_sorvik
    expect_code 0
    expect_output "$RUNNING"
    expect_gone "$SERVER/Log/temp/old.tmp"
}

# POSIX: the lock that keeps two runs from folding the same finished jobs twice lies where only root
# writes. Another user squatting the name it once had in the shared /run/lock changes nothing.
case_config_jobs_lock_cannot_be_squatted() {
    native_as_root || return 0
    make_install server
    local fj=$SERVER/Log/temp/Scheduler/finished day old holder
    day=$(date -d "@$((NOW - 86400))" +%Y-%-m-%d)
    printf 'one\r\n' >"$fj/job-1.spec"
    printf 'two\r\n' >"$fj/job-2.spec"
    touch -d "@$((NOW - 86400))" "$fj"/job-*.spec
    old=/run/lock/veltor-mutex-Global%5Csorvik-finished-jobs_${fj//\//_}
    as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
    # Another user holds a lock on a file at the old name, and cannot put anything where the lock is now.
    rm -rf "$old"
    as_nobody touch "$old" || fail "could not plant $old"
    as_nobody flock -n "$old" sleep 60 &
    holder=$!
    sleep 0.3
    as_nobody touch "/run/veltor/x" 2>/dev/null && fail "another user could write /run/veltor"
    # Bounded well below the 30 s a run waits for a busy lock.
    run_sorvik_bounded 20 --process-fjobs
    expect_code 0
    expect_output "$RUNNING"
    expect_tree "$fj" "jobs-$day.log"
    [ "$(tr -d '\r' <"$fj/jobs-$day.log" | sort | tr '\n' ' ')" = "one two " ] || fail "day log: $(cat "$fj/jobs-$day.log")"
    kill "$holder" 2>/dev/null
    wait "$holder" 2>/dev/null
    rm -f "$old"
    # A directory at the old name: the same.
    as_nobody mkdir "$old" || fail "could not plant $old"
    printf 'three\r\n' >"$fj/job-3.spec"
    touch -d "@$((NOW - 86400))" "$fj/job-3.spec"
    run_sorvik --process-fjobs
    expect_code 0
    expect_output "$RUNNING"
    expect_tree "$fj" "jobs-$day.log"
    rmdir "$old"
}
