# Registry values and files that are wrong: a clear message, the documented exit code, nothing removed.

case_odd_install_values_clean_nothing_outside() {
    age_file "$SB/stray.tmp" 1000 1
    local long value
    long=$(printf 'x%.0s' $(seq 1 400))
    # Empty, separators only, a file, and a path too long to exist: nothing resolves, so the only cleaning
    # with something to say is the license-status sweep's missing directory. (Relative values are refused
    # with a message of their own: attacks_config.sh.)
    # The root itself is a directory: what is derived from it is missing, and that is no failure. The
    # others name no directory: the installation is not where the registry says.
    for value in "" "$(regpath //)" "$(regpath "$SB/stray.tmp")" "$(regpath "$SB/$long")"; do
        INSTALL_VALUE=$value make_install server
        run_sorvik
        if [ "$value" = "$(regpath //)" ]; then expect_code 0; else expect_code 7; fi
        expect_output "$RUNNING

Invalid directory "
    done
    expect_exists "$SB/stray.tmp"
}

case_resources_redirected_to_a_missing_key() {
    make_install client
    age_file "$CLIENT/log/app-1.log" 100
    VELTOR_ENV='SOFTWARE\Veltor\Missing' run_sorvik
    expect_code 4
    expect_output "$RUNNING
Could not find registry key \"HKEY_LOCAL_MACHINE\"->\"SOFTWARE\\Veltor\\Missing\""
    expect_exists "$CLIENT/log/app-1.log"
}

# POSIX: the registry file itself is broken.
case_broken_registry_files() {
    [ "$TARGET" = native ] || return 0
    make_install server
    age_file "$SERVER/Log/temp/old.tmp" 100 1
    : >"$SB/registry.reg"
    run_sorvik
    expect_code 4
    expect_contains "Unknown error when trying to get \"HKEY_LOCAL_MACHINE\"->\"SOFTWARE\\Veltor\"
File_Error: Registry file \"$SB/registry.reg\", line 1: the file is empty"
    head -c 300 /dev/urandom >"$SB/registry.reg"
    run_sorvik
    expect_code 4
    printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor\\CoreServer\\Install]\n"InstallDir"="/trunc' >"$SB/registry.reg"
    run_sorvik
    expect_code 4
    expect_contains "line 4"
    chmod 666 "$SB/registry.reg"
    run_sorvik
    expect_code 4
    expect_exists "$SERVER/Log/temp/old.tmp"
}
