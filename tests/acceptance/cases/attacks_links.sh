# Links on the way to a directory the program cleans: followed where only root can have made them (an
# administrator's relocation), refused where another user can write the directory that holds them, the
# directories the registry names included. POSIX only, as root: the rule looks at who may write, so the
# attacker's steps are done as another user. The outside tree and its helpers are attacks.sh's.

# links_as UID COMMAND...: COMMAND run as the unprivileged user UID.
links_as() { setpriv --reuid="$1" --regid="$1" --clear-groups "${@:2}"; }

links_as_root() {
    native_as_root || return 1
    command -v setpriv >/dev/null || { echo "  skip $CASE: needs setpriv"; return 1; }
}

# Whoever may write a registry-named directory swaps the registry-named directory inside it for a link:
# the client's log directory inside its installation, and a server installed inside the client's.
case_links_nested_registry_directories_swapped() {
    links_as_root || return 0
    local layout inner target
    for layout in client-log server-inside-client; do
        sandbox_new
        chmod 755 "$SB"
        if [ $layout = client-log ]; then
            make_install client
            inner=$CLIENT/log
        else
            INSTALL_VALUE=$(regpath "$ROOT/client/server") make_install both
            mv "$SERVER" "$CLIENT/server"
            SERVER=$CLIENT/server
            inner=$SERVER
        fi
        outside_tree
        target=$OUTSIDE
        if [ $layout = server-inside-client ]; then
            target=$OUTSIDE/srv
            age_file "$target/Log/core-2020.log" 9000
            age_file "$target/Log/temp/a.tmp" 9000
            OUTSIDE_BEFORE=$(outside_state)
        fi
        # The suite's account owns its installation and swaps the inner directory.
        chown -R 65534:65534 "$CLIENT"
        links_as 65534 sh -c 'rm -rf "$1" && ln -s "$2" "$1"' - "$inner" "$target" || fail "$layout: no swap"
        run_sorvik
        expect_code 7
        expect_contains "Not cleaned: $inner (a link in a directory others can write)"
        [ "$(printf '%s\n' "$OUT" | grep -c '^Not cleaned: ')" = 1 ] || fail "$layout: not one refusal"
        expect_outside_unchanged
    done
}

# Root's links in directories only root writes are followed, to an absolute or a relative target; in
# root's sticky directory only root's own link is.
case_links_administrators_relocations_are_followed() {
    links_as_root || return 0
    make_install server
    local disk=$ROOT/disk
    age_file "$SERVER/Log/core-2026.log" 25
    age_file "$SERVER/Log/temp/read.tmp" 50 1
    age_file "$SERVER/Data/database/t1/data.lock" 0
    age_file "$SERVER/Data/database/t1/data.lock.lnk" 0
    age_file "$SERVER/Data/incoming/a.lock" 0
    mkdir -p "$disk"
    mv "$SERVER/Log" "$SERVER/Data/database" "$SERVER/Data/incoming" "$disk/"
    chmod 755 "$SERVER"
    chmod 1777 "$SERVER/Data"
    ln -s "$disk/Log" "$SERVER/Log"
    ln -s ../../disk/database "$SERVER/Data/database"
    chmod 755 "$SB"
    links_as 65534 ln -s "$disk/incoming" "$SERVER/Data/incoming" || fail "no link planted"
    run_sorvik
    expect_code 7
    expect_output "$RUNNING

Not cleaned: $SERVER/Data/incoming (a link in a directory others can write)"
    expect_gone "$disk/Log/core-2026.log" "$disk/Log/temp/read.tmp" "$disk/database/t1/data.lock" \
        "$disk/database/t1/data.lock.lnk"
    expect_exists "$disk/incoming/a.lock"
}

# A non-root run's lock directory ("veltor" in its runtime directory) that another user made first is
# refused, named, and the job files wait.
case_links_lock_directory_taken_by_another_user() {
    links_as_root || return 0
    links_as 65534 "$PROGRAM" --version >/dev/null 2>&1 || { echo "  skip $CASE: $PROGRAM out of reach"; return 0; }
    make_install server
    local fj=$SERVER/Log/temp/Scheduler/finished
    printf 'one\r\n' >"$fj/job-1.spec"
    touch -d "@$((NOW - 86400))" "$fj/job-1.spec"
    chown -R 65534:65534 "$SB"
    chmod 755 "$SB"
    mkdir -m 1777 "$SB/run"
    links_as 65533 mkdir "$SB/run/veltor" || fail "could not take the lock directory"
    # A preview takes no lock, so it cannot know that the run will not have it.
    XDG_RUNTIME_DIR=$SB/run run_as_nobody=1 NO_PREVIEW_CHECK=1 run_sorvik --process-fjobs
    expect_code 7
    expect_output "$RUNNING

Finished jobs not folded: the lock of $fj could not be had (The lock directory \"$SB/run/veltor\" is refused: it belongs to uid 65533, not to the running user)"
    expect_exists "$fj/job-1.spec"
}

# Each way another account may write the directory that holds a link makes the link untrusted, alone:
# its group (the service account's, 0775, the usual layout), others, an ACL entry (which shows in the
# group bits as the ACL's mask), the directory's owner.
case_links_each_writer_of_the_holder_is_untrusted() {
    links_as_root || return 0
    local way data disk
    for way in group others acl owner; do
        [ $way = acl ] && ! command -v setfacl >/dev/null && { echo "  skip $CASE: acl: no setfacl"; continue; }
        sandbox_new
        chmod 755 "$SB" "$ROOT"
        make_install server
        data=$SERVER/Data
        disk=$ROOT/disk
        age_file "$disk/incoming/a.lock" 0
        rm -rf "$data/incoming"
        chmod 755 "$data" "$SERVER"
        case $way in
        group) chgrp 65534 "$data" && chmod 775 "$data" ;;
        others) chmod 757 "$data" ;;
        acl) setfacl -m u:65534:rwx "$data" ;;
        owner) chown 65534 "$data" ;;
        esac
        links_as 65534 ln -s "$disk/incoming" "$data/incoming" || { fail "$way: no link planted"; continue; }
        run_sorvik --locks
        expect_code 7
        expect_contains "Not cleaned: $data/incoming (a link in a directory others can write)"
        expect_exists "$disk/incoming/a.lock"
    done
}
