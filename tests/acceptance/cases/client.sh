# The client part: dated startup logs and temporary files.

client_files() {
    age_file "$CLIENT/log/app-1.log" 25          # dated, older than 24 hours: goes
    age_file "$CLIENT/log/trace_2015.log" 23     # dated, younger: stays
    age_file "$CLIENT/log/server.log" 9000       # undated: never removed
    age_file "$CLIENT/log/_x.log" 9000           # one piece only: undated
    age_file "$CLIENT/log/notes-1.txt" 9000      # not a log
    age_file "$CLIENT/log/temp/read.tmp" 100 1   # read since written: goes at any age above the period
    age_file "$CLIENT/log/temp/unread.tmp" 100   # never read: stays until 168 hours
    age_file "$CLIENT/log/temp/stale.tmp" 169    # never read, older than 168 hours: goes
    age_file "$CLIENT/log/temp/keep.dat" 9000    # not a temporary file
}

case_client_default_cleaning() {
    make_install client
    client_files
    run_sorvik
    expect_code 0
    expect_output "$RUNNING"
    expect_tree "$CLIENT" log/trace_2015.log log/server.log log/_x.log log/notes-1.txt log/temp/unread.tmp \
        log/temp/keep.dat
}

case_client_verbose_with_period() {
    make_install client
    client_files
    run_sorvik --verbose --period P5D
    expect_code 0
    expect_output "$RUNNING

Installed: client

Directory: $(shown "$CLIENT")

Directory: $(shown "$CLIENT/conf")

Directory: $(shown "$CLIENT/log")

Directory: $(shown "$CLIENT/log/temp")

***Clean Client files***"
    # Five days: the logs and the read temporary file are younger now; the unread one is older than 168
    # hours only when stale.
    expect_tree "$CLIENT" log/app-1.log log/trace_2015.log log/server.log log/_x.log log/notes-1.txt \
        log/temp/read.tmp log/temp/unread.tmp log/temp/keep.dat
}

case_no_installation_found() {
    make_install none
    run_sorvik --verbose
    expect_code 0
    expect_output "$RUNNING

Installed: 

***Clean Client files***"
}

case_missing_product_key() {
    printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n' >"$SB/registry.reg"
    install_registry
    run_sorvik
    expect_code 4
    expect_output "$RUNNING
Could not find registry key \"HKEY_LOCAL_MACHINE\"->\"SOFTWARE\\Veltor\""
}

case_client_missing_value_and_directories() {
    make_install client
    age_file "$CLIENT/log/app-1.log" 100
    # A startup log directory that does not exist: nothing is derived from it.
    rm -rf "$CLIENT/log"
    mkdir -p "$SB/temp"
    age_file "$SB/temp/x.tmp" 1000 1
    run_sorvik --verbose
    # What the registry names is not there: the installation is not where the registry says.
    expect_code 7
    expect_output "$RUNNING

Installed: client

Directory: $(shown "$CLIENT")

Directory: $(shown "$CLIENT/conf")

Error: The following path is not a directory: $(progpath "$CLIENT/log")

Not cleaned: $(shown "$CLIENT/log") (the registry names it, but it does not exist)

Error: The following path is not a directory: /temp

***Clean Client files***"
    expect_exists "$SB/temp/x.tmp"
    # A value the installation calls for is missing: the registry's error ends the run before anything.
    grep -v StartupLogDir "$SB/registry.reg" >"$SB/r2" && mv "$SB/r2" "$SB/registry.reg"
    install_registry
    mkdir -p "$CLIENT/log/temp"
    age_file "$CLIENT/log/temp/old.tmp" 1000 1
    run_sorvik
    expect_code 4
    expect_output "$RUNNING
Could not find registry key \"HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor\\Resources\"->\"StartupLogDir\""
    expect_exists "$CLIENT/log/temp/old.tmp"
}
