#!/usr/bin/env python3
"""Runs a command and prints its wall-clock seconds and peak resident memory in KiB.

    measure.py OUTPUT COMMAND [ARGS...]
The command's standard output and error go to the file OUTPUT; its exit status is passed on.
The peak memory is the child's own ru_maxrss from wait4.
"""
import os
import sys
import time


def main():
    output, command = sys.argv[1], sys.argv[2:]
    out_fd = os.open(output, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    null_fd = os.open(os.devnull, os.O_RDONLY)
    start = time.perf_counter()
    pid = os.fork()
    if pid == 0:
        os.dup2(null_fd, 0)
        os.dup2(out_fd, 1)
        os.dup2(out_fd, 2)
        try:
            os.execvp(command[0], command)
        finally:
            os._exit(127)
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.perf_counter() - start
    print("%.6f %d" % (elapsed, usage.ru_maxrss))
    sys.exit(os.waitstatus_to_exitcode(status))


if __name__ == "__main__":
    main()
