#!/usr/bin/env python3
"""Figures for baselinedoc over documents of 100,000 entries: the time and
peak resident set of check, summary, report, diff and the exports to CSV and
to a workbook (the median of --repeat runs), and how long the report takes to open and to answer a typed
search in headless Chromium (when it is installed).

    baselinedoc_bench.py --tool build/host/baselinedoc --work DIR [--repeat N]"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "tool"))
import make_documents  # noqa: E402

TARGET = 2.0  # seconds, for each command but the workbook
# The workbook: every table and the certificates in one file.
WORKBOOK_TARGET, WORKBOOK_MIB = 5.0, 300.0


def timed(command):
    """Wall time, processor time (user and system), peak resident set (MiB)
    and exit value of one run. Other work on the machine stretches the wall
    time but hardly the processor time, so both are shown."""
    started = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    return (time.monotonic() - started, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0,
            os.waitstatus_to_exitcode(status))


def browser_figures(report, work):
    import baselinedoc_browser as b
    chromium = shutil.which("chromium")
    if chromium is None:
        return None
    browser = b.Browser(chromium, os.path.join(work, "profile"))
    try:
        tools = browser.page()
        tools.call("Page.enable")
        ready, seconds = b.open_report(tools, report)
        if not ready:
            return ready, seconds, float("nan")
        started = time.time()
        b.type_search(tools, "executables-search", "tool099")
        tools.evaluate("document.getElementById('executables-count').textContent")
        return ready, seconds, time.time() - started
    finally:
        browser.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--entries", type=int, default=100000)
    args = parser.parse_args()
    args.work = os.path.abspath(args.work)
    os.makedirs(args.work, exist_ok=True)
    old, new = os.path.join(args.work, "old.json"), os.path.join(args.work, "new.json")
    # Made by another process: a child's peak resident set counts its parent's
    # pages from before exec, so this one stays small.
    for path, variant in ((old, []), (new, ["--variant", "changed"])):
        subprocess.run([sys.executable, make_documents.__file__, "--entries", str(args.entries), "--out", path] + variant,
                       check=True)
    report = os.path.join(args.work, "report.html")
    tool = os.path.abspath(args.tool)
    workbook, table = os.path.join(args.work, "export.xlsx"), os.path.join(args.work, "export.csv")
    # (name, command, exit value, seconds, MiB)
    commands = [("check", [tool, "check", old], 0), ("summary", [tool, "summary", old], 0),
                ("report", [tool, "report", old, "-o", report, "--force"], 0),
                ("diff", [tool, "diff", old, new], 1), ("diff --json", [tool, "diff", "--json", old, new], 1),
                ("export csv", [tool, "export", old, "-o", table, "--force"], 0),
                ("export xlsx", [tool, "export", old, "-o", workbook, "--force"], 0, WORKBOOK_TARGET, WORKBOOK_MIB)]
    print("baselinedoc, %d entries (%.1f MiB each), median of %d runs; target under %.1f s each"
          % (args.entries, os.path.getsize(old) / 1048576.0, args.repeat, TARGET))
    print("load average before: %.2f (%d processors)" % (os.getloadavg()[0], os.cpu_count()))
    print("%-12s %9s %9s %9s %10s  %s" % ("command", "median s", "worst s", "cpu s", "peak MiB", ""))
    slow = []
    for name, command, code, *limits in commands:
        seconds, mib = limits if limits else (TARGET, float("inf"))
        runs = [timed(command) for _ in range(args.repeat)]
        bad = [r[3] for r in runs if r[3] != code]
        median, peak = statistics.median(r[0] for r in runs), max(r[2] for r in runs)
        print("%-12s %9.2f %9.2f %9.2f %10.1f  %s" % (name, median, max(r[0] for r in runs),
                                                    statistics.median(r[1] for r in runs), peak,
                                              "exit %s, expected %d" % (bad, code) if bad else
                                              ("ok" if median < seconds and peak < mib else
                                               "OVER TARGET (%.1f s%s)" % (seconds, "" if mib == float("inf")
                                                                           else ", %.0f MiB" % mib))))
        if bad or median >= seconds or peak >= mib:
            slow.append(name)
    print("workbook: %.1f MiB" % (os.path.getsize(workbook) / 1048576.0) if os.path.exists(workbook) else
          "workbook: not written")
    figures = browser_figures(report, args.work)
    if figures is None:
        print("browser: chromium is not installed")
    else:
        ready, seconds, search = figures
        print("browser: the report opens in %.2f s%s; a typed search of its executables answers in %.2f s"
              % (seconds, "" if ready else " (NOT READY)", search))
    return 1 if slow else 0


if __name__ == "__main__":
    sys.exit(main())
