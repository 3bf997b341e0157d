#!/usr/bin/env python3
"""baselinedoc over documents the allowlist creator wrote under Wine:

    baselinedoc_wine.py --exe baseline.exe --conf baselineconf.exe --prefixes DIR
        --fixtures DIR --kind KIND --out DIR -- COMMAND...

It runs the creator in the prefix KIND three ways (the worked example's
configuration, a walk that fails after the header is written, and the
default walk of the prefix's system drive), keeps the documents in --out
(worked.json, failed.json, real.json, and cut.json, a copy of worked.json cut
in the middle), then checks, summarises, compares and reports them with
COMMAND (how to start baselinedoc)."""

import argparse
import glob
import os
import shutil
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
sys.path.insert(0, os.path.join(here, "..", "e2e"))
import baselinedoc_cli  # noqa: E402
import e2e  # noqa: E402


def written(runner, title):
    found = glob.glob(os.path.join(runner.workdir, title + "_allowlist_*.json"))
    return found[0] if len(found) == 1 else None


def make_documents(runner, kind, out):
    """The creator's documents, kept in `out`. Returns the names made."""
    made = []
    tools = os.path.join(runner.prefixes, kind, "drive_c", "Tools")
    shutil.rmtree(tools, ignore_errors=True)
    os.makedirs(tools)
    try:
        shutil.copy(os.path.join(runner.fixtures, "signed.exe"), os.path.join(tools, "tool.exe"))
        shutil.copy(os.path.join(runner.fixtures, "unsigned.exe"), os.path.join(tools, "plain.exe"))
        runner.configure(kind, b'{"paths_to_discover": ["C:\\\\Tools"], "allowed_directories": '
                               b'[{"allowed_dir": "%SystemDrive%\\\\Tools", "mutable": true, "strict_pub": true}]}')
        rc, console = runner.run(kind, b"Worked\nWorked example under Wine\n")
        e2e.check(rc == 0, "the worked example's run succeeds: %d %r" % (rc, console[-300:]))
        path = written(runner, "Worked")
        if path:
            shutil.copy(path, os.path.join(out, "worked.json"))
            with open(path, "rb") as f:
                data = f.read()
            with open(os.path.join(out, "cut.json"), "wb") as f:
                f.write(data[:len(data) // 2])
            made += ["worked.json", "cut.json"]

        # A mode name the creator does not know passes the configuration
        # check only with --no-check, and makes the walk fail after the header.
        runner.configure(kind, b'{"paths_to_discover": "everywhere"}', no_check=True)
        rc, console = runner.run(kind, b"Failed\nA walk that fails\n")
        e2e.check(rc == 1 and b"ERROR: Failed to discover and create allowlist file." in console,
                  "the failing run says so: %d %r" % (rc, console[-300:]))
        path = written(runner, "Failed")
        e2e.check(path is not None, "the failing run leaves its document")
        if path:
            shutil.copy(path, os.path.join(out, "failed.json"))
            made.append("failed.json")

        runner.configure(kind, b"{}")
        rc, console = runner.run(kind, b"Real\nThe prefix's system drive\n", timeout=600)
        e2e.check(rc == 0, "the system drive's run succeeds: %d %r" % (rc, console[-300:]))
        path = written(runner, "Real")
        if path:
            shutil.copy(path, os.path.join(out, "real.json"))
            made.append("real.json")
    finally:
        shutil.rmtree(tools, ignore_errors=True)
    return made


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--conf", required=True)
    parser.add_argument("--prefixes", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--kind", default="win7")
    parser.add_argument("--out", required=True)
    parser.add_argument("--host-tool", help="the Linux baselinedoc too, when it has been built")
    parser.add_argument("tool", nargs="+")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    runner = e2e.Runner(args.exe, args.conf, args.prefixes, args.fixtures)
    try:
        made = make_documents(runner, args.kind, args.out)
    finally:
        runner.close()
    e2e.check(made == ["worked.json", "cut.json", "failed.json", "real.json"], "the creator wrote every document: %s" % made)

    work = tempfile.mkdtemp(prefix="baselinedoc-wine-")
    tool = baselinedoc_cli.Tool(args.tool, work)
    try:
        if len(made) == 4:
            baselinedoc_cli.case_creator_documents(tool, args.out)
            shutil.copy(os.path.join(args.out, "real.json"), os.path.join(work, "real.json"))
            rc, out, err = tool.run("check", "real.json")
            baselinedoc_cli.check(rc == 0, "the creator's walk of a whole drive is complete: %d %s%s" % (rc, out[-2000:], err))
            rc, out, err = tool.run("summary", "real.json")
            baselinedoc_cli.check(rc == 0 and "status succeed" in out, "its summary: %d %s" % (rc, out))
            print(out)
            rc, out, err = tool.run("diff", "worked.json", "real.json")
            baselinedoc_cli.check(rc == 1 and "Executables added" in out, "two different runs differ: %d %s" % (rc, err))
            rc, out, err = tool.run("summary", "worked.json")
            baselinedoc_cli.check("  1\tunsigned executables (no signer)" in out.splitlines(),
                                  "the unsigned fixture is counted:\n" + out)
        if len(made) == 4 and args.host_tool and os.path.exists(args.host_tool):
            print("the Linux baselinedoc over the same documents")
            baselinedoc_cli.case_creator_documents(baselinedoc_cli.Tool([args.host_tool], work), args.out)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    failures = e2e.failures + baselinedoc_cli.failures
    print("%d passed, %d failed" % (len(baselinedoc_cli.passes), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
