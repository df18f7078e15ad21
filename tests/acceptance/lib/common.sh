# Helpers of the black-box suite: sandboxes, aged files, running the program, expectations.
# Expects TARGET (native|windows), PROGRAM and HERE (this suite's directory) to be set.

PASSED=0
FAILED=0
CASE=""
CASE_FAILED=0
NOW=$(date +%s)

fail() {
    echo "  FAIL [$CASE]: $*"
    CASE_FAILED=1
}

# A fresh sandbox per case: $SB holds everything, $ROOT the installation.
sandbox_new() {
    SB=$(mktemp -d "${TMPDIR:-/tmp}/sorvik-acc.XXXXXX")
    ROOT=$SB/root
    mkdir -p "$ROOT"
    SANDBOXES+=("$SB")
}

cleanup_sandboxes() {
    local d
    for d in "${SANDBOXES[@]:-}"; do
        [ -n "$d" ] && chmod -R u+rwx "$d" 2>/dev/null
        [ -n "$d" ] && rm -rf "$d"
    done
}
SANDBOXES=()
trap cleanup_sandboxes EXIT

# The path as the program sees and prints it: native as it is, under Wine on drive Z: with backslashes.
progpath() {
    if [ "$TARGET" = windows ]; then
        printf 'Z:%s' "${1//\//\\}"
    else
        printf '%s' "$1"
    fi
}

# The path as the program prints it after unifying separators (POSIX: '\' becomes '/').
shown() { progpath "$1"; }

# age_file PATH WRITE_HOURS [ACCESS_HOURS]: a file last written WRITE_HOURS ago and last read
# ACCESS_HOURS ago (default: when written). Fractional hours are allowed.
age_file() {
    local path=$1 write=$2 access=${3:-$2}
    mkdir -p "$(dirname "$path")"
    [ -e "$path" ] || printf 'data\n' >"$path"
    touch -m -d "@$(awk -v n="$NOW" -v h="$write" 'BEGIN{printf "%d", n - h * 3600}')" "$path"
    touch -a -d "@$(awk -v n="$NOW" -v h="$access" 'BEGIN{printf "%d", n - h * 3600}')" "$path"
}

# Runs the program with the sandbox registry; sets OUT (line ends normalised) and CODE. With
# ACCEPTANCE_PREVIEW_CHECK (the native suite), a dry run of the same command line goes first: it must
# change nothing, and what it shows (`Would remove:`, `Would fold:`) must be exactly what the real run
# then removes. Runs raced on purpose (run_sorvik_bounded), --log and --why runs and cases that set
# NO_PREVIEW_CHECK (another process holds what the run needs) are not compared.
run_sorvik() {
    if [ -n "${ACCEPTANCE_PREVIEW_CHECK:-}" ] && [ "$TARGET" = native ] && [ -z "${RUN_LIMIT:-}" ] &&
        [ -z "${NO_PREVIEW_CHECK:-}" ] && ! printf '%s\n' "$@" | grep -qx -e --dry-run -e --why -e --log -e --help -e '-?'; then
        preview_then_run "$@"
    else
        run_program "$@"
    fi
}

# The paths below the sandbox, one a line, leaving out the names the program prints escaped.
sandbox_paths() {
    find "$SB" -mindepth 1 ! -path "$SB/stderr" -print0 |
        perl -0ne 'chomp; print "$_\n" if !/[\x00-\x1f\x7f\\]/ && utf8::decode(my $c = $_) && $c !~ /[\x{80}-\x{9f}]/' |
        LC_ALL=C sort
}

# The preview of the run as JSON Lines: every line parses, and its events are the lines OUT shows.
json_is_the_preview() {
    # Files of this shell's own: a case may run the program from several at once.
    local json=$SB/preview.$BASHPID.json text=$SB/preview.$BASHPID.txt
    printf '%s\n' "$OUT" >"$text"
    (cd "$SB" && VELTOR_REGISTRY="$SB/registry.reg" ${run_as_nobody:+setpriv --reuid=65534 --regid=65534 --clear-groups} \
        "$PROGRAM" --dry-run --json "$@" </dev/null >"$json" 2>/dev/null)
    /usr/bin/python3 "$HERE/lib/json_lines.py" "$json" "$text" 2>&1 | sed 's/^/    /' | grep . &&
        fail "--json of '$*' is not the preview"
    rm -f "$json" "$text"
}

preview_then_run() {
    local before shown gone
    before=$(sandbox_paths)
    run_program --dry-run "$@"
    if [ "$CODE" != 2 ] && [ "$CODE" != 4 ]; then
        [ -n "$START_LINE" ] && json_is_the_preview "$@"
        [ "$before" = "$(sandbox_paths)" ] || fail "the dry run of '$*' changed the tree"
        shown=$(printf '%s\n' "$OUT" | sed -n -e 's/^Would remove: \(.*\) ([^()]*)$/\1/p' \
            -e 's/^Would fold: \(.*\) into .*$/\1/p' | LC_ALL=C grep -v '\\' | LC_ALL=C sort -u)
    fi
    run_program "$@"
    [ "$CODE" = 2 ] || [ "$CODE" = 4 ] && return 0
    gone=$(LC_ALL=C comm -23 <(printf '%s\n' "$before") <(sandbox_paths) | sed '/^$/d')
    [ "$shown" = "$gone" ] || {
        fail "the dry run of '$*' showed other removals than the run made (< shown, > made)"
        diff <(printf '%s\n' "$shown") <(printf '%s\n' "$gone") | sed 's/^/    /' | head -20
    }
}

run_program() {
    local raw
    if [ "$TARGET" = windows ]; then
        raw=$(cd "$SB" && ${ACCEPTANCE_TIMEOUT:+timeout "$ACCEPTANCE_TIMEOUT"} \
            "$HERE/../../cmake/wine-run" --bits="$WINE_BITS" "$PROGRAM" "$@" </dev/null 2>"$SB/stderr")
        CODE=$?
    elif [ -n "${run_as_nobody:-}" ]; then
        raw=$(cd "$SB" && VELTOR_REGISTRY="$SB/registry.reg" setpriv --reuid=65534 --regid=65534 --clear-groups \
            "$PROGRAM" "$@" </dev/null 2>"$SB/stderr")
        CODE=$?
    else
        raw=$(cd "$SB" && VELTOR_REGISTRY="$SB/registry.reg" ${RUN_LIMIT:+timeout -s KILL "$RUN_LIMIT"} \
            "$PROGRAM" "$@" </dev/null 2>"$SB/stderr")
        CODE=$?
    fi
    OUT=$(printf '%s' "$raw" | tr -d '\r')
    # The run's start line of --list and --dry-run right after the banner: checked here, then kept in
    # START_LINE and out of OUT, so that the cases compare what does not change with the clock.
    START_LINE=$(printf '%s\n' "$OUT" | sed -n '2{/^Started: /p}')
    if [ -n "$START_LINE" ]; then
        printf '%s\n' "$START_LINE" | grep -Eqx 'Started: [0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[+-][0-9]{2}:[0-9]{2} \(sorvik [0-9.]+\)' ||
            fail "malformed start line: $START_LINE"
        OUT=$(printf '%s\n' "$OUT" | sed '2d')
    fi
}

# run_sorvik_bounded SECONDS ARGS...: as run_sorvik, killed after SECONDS (a hang shows as exit 137).
run_sorvik_bounded() {
    local limit=$1
    shift
    RUN_LIMIT=$limit run_sorvik "$@"
    [ "$CODE" = 137 ] && fail "the run hung and was stopped after $limit s"
}

expect_code() { [ "$CODE" = "$1" ] || fail "exit code $CODE, expected $1"; }

# expect_output TEXT: the whole console output (the trailing newline of the output is not compared).
expect_output() {
    local expected
    expected=$(printf '%s' "$1")
    if [ "$OUT" != "$expected" ]; then
        fail "console output differs"
        diff <(printf '%s\n' "$expected") <(printf '%s\n' "$OUT") | sed 's/^/    /' | head -40
    fi
}

expect_contains() {
    case "$OUT" in *"$1"*) ;; *) fail "output lacks: $1"; printf '%s\n' "$OUT" | sed 's/^/    | /' | head -40 ;; esac
}

expect_exists() { local p; for p in "$@"; do [ -e "$p" ] || [ -L "$p" ] || fail "missing: ${p#$SB/}"; done; }
expect_gone() { local p; for p in "$@"; do { [ -e "$p" ] || [ -L "$p" ]; } && fail "still there: ${p#$SB/}"; done; return 0; }

# expect_tree DIR LIST: exactly these entries (relative paths of files, sorted) remain below DIR.
expect_tree() {
    local dir=$1 expected actual
    expected=$(printf '%s\n' "${@:2}" | sed '/^$/d' | sort)
    actual=$(cd "$dir" && find . -type f -o -type l | sed 's|^\./||' | sort)
    if [ "$expected" != "$actual" ]; then
        fail "files below ${dir#$SB/} differ"
        diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") | sed 's/^/    /' | head -40
    fi
}

run_case() {
    CASE=$1
    CASE_FAILED=0
    local case_started=$SECONDS
    sandbox_new
    "$1"
    if [ $CASE_FAILED -eq 0 ]; then
        PASSED=$((PASSED + 1))
        echo "  ok   $1 ($((SECONDS - case_started)) s)"
    else
        FAILED=$((FAILED + 1))
    fi
}
