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

    def run_bytes(self, *args):
        """Exit value, standard output and standard error as bytes."""
        done = subprocess.run(self.command + list(args), cwd=self.workdir, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=300,
                              env=dict(os.environ, WINEDEBUG="-all", LANG="C.UTF-8"))
        return done.returncode, done.stdout, done.stderr

    def run(self, *args):
        """Exit value, standard output and standard error as text, CR LF as LF."""
        code, out, err = self.run_bytes(*args)
        return code, text(out), text(err)

    def path(self, name):
        return os.path.join(self.workdir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()


def text(data):
    return data.decode("utf-8", "replace").replace("\r\n", "\n")
