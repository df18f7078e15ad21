#!/usr/bin/env python3
"""Runs a command and prints its wall-clock seconds and peak resident memory in KiB.

    measure.py [--stderr ERRORS] OUTPUT COMMAND [ARGS...]
The command's standard output and error go to the file OUTPUT (with --stderr its standard error to
the file ERRORS instead, so that two streams written at once stay whole); its exit status is passed on.
The clock runs from just before the start to the end of the wait. The peak memory comes from
/usr/bin/time, which starts the command: a child of this interpreter would inherit the interpreter's
own resident size in its peak. Both commands of a comparison pay the same for that extra start.
"""
import os
import sys
import tempfile
import time


def main():
    args = sys.argv[1:]
    errors = None
    if args[0] == "--stderr":
        errors, args = args[1], args[2:]
    output, command = args[0], args[1:]
    with tempfile.NamedTemporaryFile("r", prefix="measure.", suffix=".rss") as rss:
        actions = [
            (os.POSIX_SPAWN_OPEN, 0, os.devnull, os.O_RDONLY, 0),
            (os.POSIX_SPAWN_OPEN, 1, output, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
            (os.POSIX_SPAWN_OPEN, 2, errors, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644) if errors else
            (os.POSIX_SPAWN_DUP2, 1, 2),
        ]
        argv = ["/usr/bin/time", "-f", "%M", "-o", rss.name, "--"] + command
        start = time.perf_counter()
        pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=actions)
        _, status, _ = os.wait4(pid, 0)
        elapsed = time.perf_counter() - start
        lines = rss.read().split()
    print("%.6f %s" % (elapsed, lines[-1] if lines else "0"))
    sys.exit(os.waitstatus_to_exitcode(status))


if __name__ == "__main__":
    main()
