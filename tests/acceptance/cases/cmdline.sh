# Command lines: the frame's answers, parser errors and durations that clean nothing.

RUNNING='Running "Sorvik" (Sorvik)'

HELP='Usage: Sorvik [options]
Options:
  -?
    --help                  : Display this help text
  --version                 : Display version information
  --revision                : Display SVN revision information
  --debug <arg>             : Set debug level
  --period <arg>            : Specify allowed file age, see options below
  --verbose                 : Display additional information
  --process-fjobs           : Concatenate finished jobs to file 
  --locks                   : Remove dangling locks
  --locks-recursive         : Remove dangling locks recursively
  --web-reports <arg>       : Remove obsolete web reports*
  --web-sessions <arg>      : Remove obsolete web sessions*
  --license-status <arg>    : Remove obsolete license status data*
  --debug-logs <arg>        : Remove obsolete debug logs only*
  --dry-run                 : Show what would be removed, change nothing
  --list                    : List every action with its reason
  --log <arg>               : Also append the list to a file
  --why <arg>               : Explain what the run would do with a file
  --json                    : Report as JSON Lines
  --metrics <arg>           : Write the metrics of the run to a file
  --event-log               : Write the outcome to the Application event log

*Options:
  <default>	            : Remove obsolete logs based on
		              default  age
  <allowed age>	 	    : Allowed file age, e.g. PT10H, P1D
			      '

case_help_version_revision() {
    make_install client
    run_sorvik --help
    expect_code 0
    expect_output "$RUNNING
$HELP"
    run_sorvik -?
    expect_output "$RUNNING
$HELP"
    run_sorvik --help --version
    expect_code 0
    expect_output "$RUNNING
$HELP

Version=7.0.0.0"
    run_sorvik --revision
    expect_code 0
    expect_output "$RUNNING
Revision=14882"
}

# A client whose every file is old: whatever runs by mistake would show.
old_client_files() {
    age_file "$CLIENT/log/app-1.log" 1000
    age_file "$CLIENT/log/temp/a.tmp" 1000
}

# A command line that is not understood may hold a mistyped --dry-run: it cleans nothing and says so.
case_command_lines_not_understood_clean_nothing() {
    make_install client
    old_client_files
    local line
    for line in "--bogus|ERROR: Unknown option 'bogus'" \
        "--period|ERROR: Missing argument to 'period' option" \
        "period=PT1H|ERROR: Option 'period' must be option=value" \
        "--period=PT1H|ERROR: Unknown option 'period=PT1H'" \
        "plain|ERROR: Too many arguments" \
        "-x|ERROR: Unknown option 'x'"; do
        run_sorvik "${line%%|*}"
        expect_code 2
        expect_output "$RUNNING
${line#*|}
Nothing was cleaned."
    done
    run_sorvik -- --verbose
    expect_output "$RUNNING
ERROR: Too many arguments
Nothing was cleaned."
    local option
    for option in log metrics; do
        run_sorvik --list --$option ""
        expect_code 2
        expect_output "$RUNNING
ERROR: Empty argument to '$option' option
Nothing was cleaned."
    done
    # The typos of a preview: the options before the faulty token never start a real cleaning.
    local args
    for args in "--period P2D --dryrun|dryrun" "--verbose --dryrun|dryrun" "--period P2D --dry_run --list|dry_run" \
        "--web-reports P2D --bogus|bogus" "--dry-run --log|"; do
        # shellcheck disable=SC2086
        run_sorvik ${args%%|*}
        expect_code 2
        if [ -n "${args#*|}" ]; then
            expect_output "$RUNNING
ERROR: Unknown option '${args#*|}'
Nothing was cleaned."
        fi
    done
    local long
    long=$(printf 'x%.0s' $(seq 1 3000))
    run_sorvik "--$long"
    expect_output "$RUNNING
ERROR: Unknown option '$long'
Nothing was cleaned."
    run_sorvik '--"quoted\"' 'back\slash'
    expect_output "$RUNNING
ERROR: Unknown option '\"quoted\"'
Nothing was cleaned."
    expect_exists "$CLIENT/log/app-1.log" "$CLIENT/log/temp/a.tmp"
}

case_inert_command_lines_clean_nothing() {
    make_install client
    old_client_files
    local args
    for args in "--nodetach" "--debug info" "--" "-"; do
        # shellcheck disable=SC2086
        run_sorvik $args
        expect_code 0
    done
    for args in "--period PT0H" "--period 10H" "--locks --verbose2" "--verbose --period PT0H" \
        "--debug-logs PT0H --web-reports P2D"; do
        # shellcheck disable=SC2086
        run_sorvik $args
        expect_code 2
    done
    run_sorvik --period PT0H
    expect_output "$RUNNING
Error: Invalid period
Nothing was cleaned."
    run_sorvik --web-reports PT0H
    expect_output "$RUNNING
Error: Invalid period
Invalid option: PT0H
Type  --help for options.
Nothing was cleaned."
    run_sorvik ""
    expect_output "$RUNNING"
    expect_exists "$CLIENT/log/app-1.log" "$CLIENT/log/temp/a.tmp"
}
