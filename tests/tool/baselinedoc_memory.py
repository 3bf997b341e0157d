#!/usr/bin/env python3
"""baselinedoc when memory runs out: every command, run under a ladder of
address-space limits from the least it starts in to more than it needs, must
either give its normal answer or say "not enough memory" with its failure
exit (1; diff: 2, since 1 there means "different"). Never an abort, a signal,
a half-written output file or a temporary file left beside it.

    baselinedoc_memory.py -- path/to/baselinedoc

The tool must be built without sanitizers: they reserve address space of
their own and cannot run under a limit."""

import os
import resource
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_documents  # noqa: E402
from tool_checks import check, verdict  # noqa: E402

MiB = 1 << 20


def run(command, workdir, limit=None):
    def limited():
        if limit is not None:
            resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    done = subprocess.run(command, cwd=workdir, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          preexec_fn=limited, timeout=300, env=dict(os.environ, LANG="C.UTF-8"))
    return done.returncode, done.stdout, done.stderr.decode("utf-8", "replace")


def ladder(low, high):
    limits, limit = [], low
    while limit < high:
        limits.append(int(limit))
        limit *= 1.2
    return limits + [high]


def main():
    tool = sys.argv[sys.argv.index("--") + 1:]
    tool[0] = os.path.abspath(tool[0])
    with tempfile.TemporaryDirectory() as workdir:
        with open(os.path.join(workdir, "real.json"), "wb") as f:
            f.write(make_documents.document(entries=20000))
        with open(os.path.join(workdir, "changed.json"), "wb") as f:
            f.write(make_documents.document(entries=20000, variant="changed"))
        with open(os.path.join(workdir, "zeros.json"), "wb") as f:
            f.write(b'{"inventoryinfo":{},"inventory":{"files":[' + b"0," * (16 * MiB) + b'0]}}')

        # The least limit the program starts in at all: below it the loader,
        # not the tool, is what fails.
        start = next((limit for limit in ladder(8 * MiB, 256 * MiB)
                      if run(tool + ["--help"], workdir, limit)[0] == 0), None)
        check(start is not None, "baselinedoc --help runs under some limit up to 256 MiB")
        if start is None:
            return 1
        print("baselinedoc starts in %.1f MiB of address space" % (start / MiB))

        # (arguments, what it writes, exit that means "out of memory")
        commands = [
            (["check", "real.json"], None, 1),
            (["summary", "real.json"], None, 1),
            (["report", "real.json", "-o", "out.html"], "out.html", 1),
            (["export", "real.json", "-o", "out.csv"], "out.csv", 1),
            (["export", "real.json", "-o", "out.xlsx"], "out.xlsx", 1),
            (["diff", "real.json", "changed.json"], None, 2),
            (["diff", "--json", "real.json", "changed.json"], None, 2),
            (["check", "zeros.json"], None, 1),
        ]
        for arguments, output, memory_exit in commands:
            what = "baselinedoc " + " ".join(arguments)
            expected = run(tool + arguments, workdir)
            expected_file = None
            if output:
                with open(os.path.join(workdir, output), "rb") as f:
                    expected_file = f.read()
                os.remove(os.path.join(workdir, output))
            check(expected[0] != memory_exit or "not enough memory" not in expected[2],
                  what + " without a limit does not run out")
            ran_out = answered = 0
            for limit in ladder(start, 1024 * MiB):
                code, out, err = run(tool + arguments, workdir, limit)
                at = "%s under %.1f MiB" % (what, limit / MiB)
                check(code >= 0, at + ": ends by itself, not by signal %d" % -code)
                check("terminate called" not in err and "Aborted" not in err, at + ": no abort: " + err[-200:])
                if "not enough memory" in err:
                    ran_out += 1
                    check(code == memory_exit, at + ": out of memory gives exit %d, not %d" % (memory_exit, code))
                    if output:
                        check(not os.path.exists(os.path.join(workdir, output)), at + ": no output file")
                else:
                    answered += 1
                    check((code, out) == expected[:2], at + ": the normal answer (exit %d, wanted %d)"
                          % (code, expected[0]))
                    if output:
                        path = os.path.join(workdir, output)
                        with open(path, "rb") as f:
                            check(f.read() == expected_file, at + ": the whole output file")
                        os.remove(path)
                left = [n for n in os.listdir(workdir) if n.endswith(".tmp")]
                check(not left, at + ": no temporary file left: %s" % left)
                for name in left:
                    os.remove(os.path.join(workdir, name))
            print("%s: ran out under %d limits, answered under %d" % (what, ran_out, answered))
            check(ran_out > 0, what + ": some limit is too small for it, so the failure path ran")
            check(answered > 0, what + ": the largest limit is enough")
    return verdict()


if __name__ == "__main__":
    sys.exit(main())
