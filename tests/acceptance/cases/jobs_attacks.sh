# The finished-jobs directory belongs to the suite's account, and whoever writes it attacks the folding:
# lines appended while a run works, day logs of their own, files whose size lies about their data,
# planted temporary names. The run is root, as in service; the attacker's steps run as nobody. POSIX
# only: Wine cannot give files away, make holes or switch users.

attacker() { setpriv --reuid=65534 --regid=65534 --clear-groups env PATH=/usr/bin:/bin "$@"; }

# A server installation whose finished-jobs directory $FJ nobody owns. False (the case is skipped) where
# the suite cannot act as two users.
jobs_attack_setup() {
    [ "$TARGET" = native ] && [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null || return 1
    make_install server
    FJ=$SERVER/Log/temp/Scheduler/finished
    chmod 755 "$SB"
    chown 65534:65534 "$FJ"
}

# Every line an appender wrote ends up in a day log or a job file still waiting, however the appends
# fall between a run's reading and its deleting.
case_jobs_appended_while_folded_lose_no_line() {
    jobs_attack_setup || return 0
    # The moment between the last look at a job file and its deletion, stretched to two seconds: a line
    # appended then comes back as a job file.
    if command -v strace >/dev/null; then
        attacker sh -c "printf 'first\n' >'$FJ/job-9.spec' && touch -d @$((NOW - 7200)) '$FJ/job-9.spec'"
        (sleep 1 && attacker sh -c "printf 'late\n' >>'$FJ/job-9.spec'") &
        (cd "$SB" && VELTOR_REGISTRY="$SB/registry.reg" strace -f -qq -o /dev/null -e trace=unlinkat \
            -e inject=unlinkat:delay_enter=2000000 "$PROGRAM" --process-fjobs >/dev/null 2>&1)
        wait
        [ "$(cat "$FJ"/job-9*.spec 2>/dev/null)" = "$(printf 'first\nlate')" ] || fail "the line appended meanwhile is lost"
        rm -f "$FJ"/job-9*.spec "$FJ"/jobs-*.log
    fi
    attacker python3 - "$FJ" $((NOW - 7200)) "$SB/stop" >"$SB/appended" <<'PY' &
import os, sys, time
d, old, stop = sys.argv[1], int(sys.argv[2]), sys.argv[3]
i, end = 0, time.time() + 50
while time.time() < end and not os.path.exists(stop):
    i += 1
    p = os.path.join(d, "job-%d.spec" % (i % 3))
    fd = os.open(p, os.O_WRONLY | os.O_APPEND | os.O_CREAT, 0o644)
    os.write(fd, b"L%d\n" % i)
    os.close(fd)
    try:
        os.utime(p, (old, old))  # settled at once: every run reads it
    except FileNotFoundError:
        pass  # folded meanwhile
    time.sleep(0.001)
print(i)
PY
    local appender=$! run started=$SECONDS
    for run in $(seq 1 20); do
        [ $((SECONDS - started)) -ge 40 ] && break
        sleep 0.1
        run_sorvik_bounded 30 --process-fjobs
    done
    : >"$SB/stop"
    wait $appender
    local written left
    written=$(cat "$SB/appended")
    left=$(cat "$FJ"/jobs-*.log "$FJ"/job-*.spec 2>/dev/null | tr ';\r' '\n\n' | grep '^L' | sort -u | wc -l)
    [ -n "$written" ] && [ "$written" -gt 100 ] || fail "the appender wrote ${written:-nothing}"
    [ "$left" = "$written" ] || fail "of $written lines, $left are left"
    grep -q '^L' "$FJ"/jobs-*.log || fail "nothing was folded"
}

# A day log keeps who may read it; temporary names planted in advance do not stop the folding; what a
# killed run left behind goes with the next run, and only that.
case_jobs_day_logs_keep_owners_and_leftovers_go() {
    jobs_attack_setup || return 0
    local t=$((NOW - 86400)) d e i
    d=$(day_text $t)
    e=$(day_text $((t - 86400)))
    printf 'earlier\r\n' >"$FJ/jobs-$d.log"
    chown 65534:4343 "$FJ/jobs-$d.log"
    chmod 0604 "$FJ/jobs-$d.log"
    attacker sh -c "
        cd '$FJ' && printf 'one\r\n' >job-1.spec && printf 'two\r\n' >job-2.spec &&
        touch -d @$t job-1.spec && touch -d @$((t - 86400)) job-2.spec &&
        for i in \$(seq 1 100); do ln -s /etc/passwd .jobs-$d.log.\$i.0.0.tmp; ln -s /etc/passwd .jobs-$e.log.\$i.0.\$i.tmp; done &&
        printf x >.jobs-$d.log.0123456789abcdef.tmp && printf x >.jobs-$d.log.77.1.0.tmp &&
        printf x >.jobs-$d.log.fedcba9876543210.tmp && printf x >.jobs-$d.log.0123.tmp &&
        touch -d @$((NOW - 7200)) .jobs-$d.log.0123456789abcdef.tmp .jobs-$d.log.77.1.0.tmp .jobs-$d.log.0123.tmp"
    run_sorvik --list --process-fjobs
    expect_code 0
    expect_contains "Removed: $FJ/.jobs-$d.log.0123456789abcdef.tmp (leftover of an interrupted run, 2 h old)
Removed: $FJ/.jobs-$d.log.77.1.0.tmp (leftover of an interrupted run, 2 h old)"
    expect_contains "Folded: $FJ/job-1.spec into $FJ/jobs-$d.log"
    expect_contains "Folded: $FJ/job-2.spec into $FJ/jobs-$e.log"
    [ "$(cat "$FJ/jobs-$d.log")" = "$(printf 'earlier\r\none\r')" ] || fail "day log: $(od -c "$FJ/jobs-$d.log" | head -3)"
    [ "$(stat -c '%u:%g %a' "$FJ/jobs-$d.log" "$FJ/jobs-$e.log")" = "$(printf '65534:4343 604\n65534:65534 640')" ] ||
        fail "owners and modes: $(stat -c '%n %u:%g %a' "$FJ"/jobs-*.log)"
    expect_gone "$FJ/.jobs-$d.log.0123456789abcdef.tmp" "$FJ/.jobs-$d.log.77.1.0.tmp"
    expect_exists "$FJ/.jobs-$d.log.fedcba9876543210.tmp" "$FJ/.jobs-$d.log.0123.tmp" "$FJ/.jobs-$d.log.5.0.0.tmp"
    [ "$(find "$FJ" -name '.jobs-*' | wc -l)" = 202 ] || fail "temporary names left: $(find "$FJ" -name '.jobs-*' | wc -l)"
}

# Sizes that lie: a sparse day log of 1 GiB and a sparse job file of 4 GiB on a 64 MiB file system are
# neither copied nor read: memory stays below 64 MiB and the file system below half full. A real log
# too large for the free space waits as well, and the preview says so alike.
case_jobs_of_hostile_size_stay_bounded() {
    jobs_attack_setup || return 0
    mount -t tmpfs -o size=64m,mode=0755,uid=65534,gid=65534 sorvik-acc "$FJ" || { fail "no tmpfs"; return; }
    trap 'umount "$FJ"; cleanup_sandboxes' EXIT
    local t=$((NOW - 7200)) d raw
    d=$(day_text $t)
    attacker sh -c "cd '$FJ' && truncate -s 1G jobs-$d.log && truncate -s 4G job-big.spec &&
        printf 'one\r\n' >job-1.spec && touch -d @$t job-1.spec job-big.spec"
    # The address-space bound holds the program to 64 MiB; a sanitizer's shadow memory alone needs more,
    # so an instrumented build runs unbounded (the native build checks the bound).
    local limit=(prlimit --as=$((64 << 20)))
    grep -qa __asan_init "$PROGRAM" && limit=()
    raw=$(cd "$SB" && VELTOR_REGISTRY="$SB/registry.reg" "${limit[@]}" "$PROGRAM" --list --process-fjobs </dev/null)
    CODE=$?
    OUT=$raw
    expect_code 7
    expect_contains "Not folded: $FJ/job-big.spec is larger than 16 MiB
Not folded: $FJ/jobs-$d.log is sparse"
    expect_contains "folded 0 job files into 0 day logs; kept 0, failed 2"
    [ "$(df --output=pcent "$FJ" | tail -1 | tr -dc 0-9)" -lt 50 ] || fail "the file system filled: $(df -h "$FJ" | tail -1)"
    attacker sh -c "cd '$FJ' && head -c 40M /dev/zero | tr '\\0' x >jobs-$d.log && touch -d @$t job-1.spec"
    local args
    for args in --dry-run --list; do
        run_sorvik "$args" --process-fjobs
        expect_code 7
        expect_contains "Not folded: $FJ/jobs-$d.log: not enough free space"
    done
    expect_exists "$FJ/job-1.spec" "$FJ/job-big.spec"
    umount "$FJ"
    trap cleanup_sandboxes EXIT
}

# The preview folds exactly what the run folds and shows the same refusals: an immutable job file, a
# day log that is a link, a job file too large. A preview by a user who does not own the files says that
# reading them may have moved their last access.
case_jobs_preview_is_the_run() {
    jobs_attack_setup || return 0
    local i lines=() preview
    for i in 1 2 3 4; do printf 'job %d\r\n' "$i" >"$FJ/job-$i.spec"; done
    truncate -s 17M "$FJ/job-3.spec"
    for i in 1 2 3 4; do touch -d @$((NOW - i * 86400)) "$FJ/job-$i.spec"; done
    ln -s "$SB/registry.reg" "$FJ/jobs-$(day_text $((NOW - 2 * 86400))).log"
    lines=("Not folded: $FJ/jobs-$(day_text $((NOW - 2 * 86400))).log is a link or not a plain file"
        "Not folded: $FJ/job-3.spec is larger than 16 MiB")
    # Where the file system has the flag.
    chattr +i "$FJ/job-4.spec" 2>/dev/null &&
        lines+=("Error: Couldn't delete job file: $FJ/job-4.spec (win-error#5); its record waits for a later run")
    run_sorvik --dry-run --process-fjobs
    expect_code 7
    for i in "${lines[@]}"; do expect_contains "$i"; done
    preview=$(printf '%s\n' "$OUT" | sed -n 's/^Would fold: //p')
    run_sorvik --list --process-fjobs
    expect_code 7
    for i in "${lines[@]}"; do expect_contains "$i"; done
    [ -n "$preview" ] && [ "$preview" = "$(printf '%s\n' "$OUT" | sed -n 's/^Folded: //p')" ] ||
        fail "previewed: $preview; folded: $(printf '%s\n' "$OUT" | sed -n 's/^Folded: //p')"
    chattr -i "$FJ/job-4.spec" 2>/dev/null
    # A day log that cannot take its name (the rename fails): its job files stay, and the run says so.
    if command -v strace >/dev/null; then
        rm -f "$FJ"/job-*.spec "$FJ"/jobs-*.log
        printf 'job 7\r\n' >"$FJ/job-7.spec"
        touch -d @$((NOW - 7200)) "$FJ/job-7.spec"
        (cd "$SB" && ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 VELTOR_REGISTRY="$SB/registry.reg" \
            strace -f -qq -o /dev/null -e trace=renameat,renameat2 -e inject=renameat,renameat2:error=EIO \
            "$PROGRAM" --process-fjobs >"$SB/out" 2>&1)
        i=$?
        [ "$i" = 7 ] && grep -q "^Unable to create file: " "$SB/out" || fail "a day log not written: exit $i"
        [ "$(ls -A "$FJ")" = job-7.spec ] || fail "a day log not written left: $(ls -A "$FJ" | tr '\n' ' ')"
    fi
    # Root's files in nobody's directory: a preview by nobody cannot keep their last access.
    rm -f "$FJ"/job-*.spec
    attacker "$PROGRAM" --version >/dev/null 2>&1 || return 0
    chmod 644 "$SB/registry.reg"
    for i in 5 6; do
        printf 'job %d\r\n' "$i" >"$FJ/job-$i.spec"
        touch -d @$((NOW - 7200)) "$FJ/job-$i.spec"
    done
    run_as_nobody=1 run_sorvik --dry-run --process-fjobs
    expect_code 0
    # Each file whose last access may have moved is named.
    [ "$(printf '%s\n' "$OUT" | grep -c '^Note: reading ')" = 2 ] || fail "not a note for each job file read"
    for i in 5 6; do
        expect_contains "Note: reading $FJ/job-$i.spec may have updated last-access times (only the owner or root can read without)"
    done
}

# A writer that keeps its job file open and writes to it at any moment after the run read it: the file
# waits while the writer holds it (the run says so), no line is ever lost, and once the writer lets go
# the next run folds it. Bounded: a handful of rounds of a few runs each.
case_jobs_held_open_wait_and_lose_nothing() {
    jobs_attack_setup || return 0
    local delay round
    for delay in 0 0.03 0.1 0.5; do
        round=$delay
        # The writer opens the file, lets the run start, writes after the delay, keeps it open a moment.
        attacker python3 - "$FJ/job-$round.spec" $((NOW - 7200)) "$delay" <<'PY' &
import os, sys, time
path, old, delay = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
fd = os.open(path, os.O_WRONLY | os.O_APPEND | os.O_CREAT, 0o644)
os.write(fd, b"first %s\n" % path.encode()[-8:])
os.utime(path, (old, old))
open(path + ".ready", "w").close()
time.sleep(delay)
os.write(fd, b"late %s\n" % path.encode()[-8:])
os.utime(path, (old, old))
time.sleep(1.5)
os.close(fd)
PY
        local writer=$!
        while [ ! -e "$FJ/job-$round.spec.ready" ]; do sleep 0.01; done
        NO_PREVIEW_CHECK=1 run_sorvik_bounded 30 --list --process-fjobs
        expect_contains "Waits: $FJ/job-$round.spec (held open by another process)"
        [ "$CODE" = 0 ] || fail "held open ($delay s): exit code $CODE"
        wait $writer
        rm -f "$FJ/job-$round.spec.ready"
    done
    run_sorvik_bounded 30 --process-fjobs
    expect_code 0
    local folded
    folded=$(cat "$FJ"/jobs-*.log | tr -d '\r')
    for delay in 0 0.03 0.1 0.5; do
        printf '%s\n' "$folded" | grep -qx "first ${delay: -8};late ${delay: -8}" 2>/dev/null ||
            printf '%s\n' "$folded" | grep -q "late" || fail "lines of the writer of $delay s are lost"
    done
    [ "$(printf '%s\n' "$folded" | grep -c 'late')" = 4 ] || fail "folded: $folded"
    [ -z "$(ls "$FJ"/job-*.spec 2>/dev/null)" ] || fail "job files left: $(ls "$FJ")"
}

# A job file opened by a writer at the moment of its deletion, whose name another file takes before the
# deleted one can come back: it comes back under a fresh name, a long name cut to fit the file system.
case_jobs_put_back_under_a_fresh_name_that_fits() {
    jobs_attack_setup || return 0
    command -v strace >/dev/null || return 0
    local name late
    name="job-$(printf 'n%.0s' $(seq 1 241)).spec" # 250 bytes
    attacker sh -c "printf 'first\n' >'$FJ/$name' && touch -d @$((NOW - 7200)) '$FJ/$name'"
    # The deletion waits a second before it starts, the pause after it a second and a half: time for one
    # writer to open the file (the open waits for the lease) and for another to take the name.
    (cd "$SB" && ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 VELTOR_REGISTRY="$SB/registry.reg" \
        strace -f -qq -o /dev/null -e trace=unlinkat,nanosleep,clock_nanosleep -e inject=unlinkat:delay_enter=1000000 \
        -e inject=nanosleep:delay_exit=1500000 -e inject=clock_nanosleep:delay_exit=1500000 \
        "$PROGRAM" --list --process-fjobs >"$SB/out" 2>&1) &
    local run=$!
    sleep 0.5
    attacker sh -c "printf 'late\n' >>'$FJ/$name'" &
    local writer=$!
    sleep 0.8
    attacker sh -c "printf 'other\n' >'$FJ/$name.new' && mv '$FJ/$name.new' '$FJ/$name'"
    wait $run
    wait $writer
    late=$(grep -l late "$FJ"/job-*.spec 2>/dev/null | head -1)
    [ -n "$late" ] || fail "the late line is lost: $(cat "$SB/out")"
    [ "$(cat "$late" 2>/dev/null)" = "$(printf 'first\nlate')" ] || fail "put back: $(cat "$late")"
    [ "$(basename "$late" | wc -c)" -le 256 ] || fail "a name beyond 255 bytes"
    [ "$(cat "$FJ/$name")" = other ] || fail "the other file under the name changed"
    grep -q "Couldn't put back" "$SB/out" && fail "not put back: $(cat "$SB/out")"
    return 0
}
