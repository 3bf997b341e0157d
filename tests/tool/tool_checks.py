"""What the tool tests share: a tally of named checks, and a tool run in a
working folder of its own with relative file names, so that one test serves
the Linux build and the Windows build under Wine alike."""

import os
import subprocess

failures = []
passes = []


def check(condition, what):
    (passes if condition else failures).append(what)
    if not condition:
        print("FAIL: " + what)


def verdict():
    """Prints the tally and returns the exit value of the test."""
    print("%d passed, %d failed" % (len(passes), len(failures)))
    return 1 if failures else 0


class Tool:
    def __init__(self, command, workdir):
        self.command, self.workdir = command, workdir

    def run(self, *args):
        done = subprocess.run(self.command + list(args), cwd=self.workdir, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=300,
                              env=dict(os.environ, WINEDEBUG="-all", LANG="C.UTF-8"))
        text = lambda b: b.decode("utf-8", "replace").replace("\r\n", "\n")
        return done.returncode, text(done.stdout), text(done.stderr)

    def path(self, name):
        return os.path.join(self.workdir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()
