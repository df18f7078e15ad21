#!/usr/bin/env python3
"""Fills one directory with files for a benchmark scenario and sets their stamps.

    maketree.py KIND DIR COUNT OLD NOW
KIND  tmp: names "export-NNNNNNN.tmp";
      reports: names of the 22 web-report patterns and "*.temp", in turn;
      jobs: finished-job files "job-N.spec" of a few lines each, all written and last read two hours
      ago, old enough to be folded (OLD does not apply).
OLD   half: every second file is old, the others fresh; none: all fresh.
NOW   the reference time in seconds since 1970.

An old "tmp" file was last written 50 hours ago and read an hour ago (read since written); an old
report was written and last read 50 hours ago. A fresh file was written an hour ago and not read since.
The same arguments always give the same tree, so two copies made this way are identical.
"""
import os
import sys

REPORT_ENDINGS = [".csv", ".vbs", ".rep", ".seek", ".pres", ".data", ".desc", ".ps", ".conf",
                  ".conf.shtml", ".shtml"]


def names(kind, count):
    if kind == "jobs":
        for i in range(count):
            yield "job-%d.spec" % (i + 1)
        return
    if kind == "tmp":
        for i in range(count):
            yield "export-%07d.tmp" % i
        return
    kinds = len(REPORT_ENDINGS) * 2 + 1
    for i in range(count):
        k = i % kinds
        if k < len(REPORT_ENDINGS):
            yield "top_0_host%07d%s" % (i, REPORT_ENDINGS[k])
        elif k < 2 * len(REPORT_ENDINGS):
            yield "top_%d_cpu_daily%07d%s" % (1 + i % 9, i, REPORT_ENDINGS[k - len(REPORT_ENDINGS)])
        else:
            yield "report%07d.temp" % i


def main():
    kind, directory, count, old, now = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], int(sys.argv[5])
    if kind not in ("tmp", "reports", "jobs") or old not in ("half", "none"):
        sys.exit(__doc__)
    hour = 3600 * 10**9
    now_ns = now * 10**9
    fresh = (now_ns - hour, now_ns - hour)
    old_stamps = (now_ns - hour, now_ns - 50 * hour) if kind == "tmp" else (now_ns - 50 * hour, now_ns - 50 * hour)
    if kind == "jobs":
        fresh = (now_ns - 2 * hour, now_ns - 2 * hour)
    os.makedirs(directory, exist_ok=True)
    dir_fd = os.open(directory, os.O_RDONLY | os.O_DIRECTORY)
    try:
        flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL
        for i, name in enumerate(names(kind, count)):
            fd = os.open(name, flags, 0o644, dir_fd=dir_fd)
            if kind == "jobs":
                # The few lines the scheduler writes at the end of a job; the folding joins them.
                os.write(fd, b"job=%d\r\ntask=export-%07d\r\nresult=finished\r\nexit=0\r\n" % (i + 1, i))
            # (access, write) in nanoseconds
            os.utime(fd, ns=old_stamps if kind != "jobs" and old == "half" and i % 2 == 0 else fresh)
            os.close(fd)
    finally:
        os.close(dir_fd)


if __name__ == "__main__":
    main()
