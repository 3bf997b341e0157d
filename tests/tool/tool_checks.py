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


def interrupted(command, workdir, target, seconds=3.0):
    """Runs `command` in `workdir` with its fsync held back by strace, sends the
    tool SIGINT while its temporary file for `target` is on disk, and returns
    (exit value, names of temporary files seen during the run, names left)."""
    import signal
    import time
    pattern = "." + target + "."
    temporaries = lambda: sorted(n for n in os.listdir(workdir) if n.startswith(pattern) and n.endswith(".tmp"))
    before = set(temporaries())
    tracer = subprocess.Popen(["strace", "-f", "-qq", "-o", os.devnull, "-e", "trace=fsync",
                               "-e", "inject=fsync:delay_enter=%d" % int(seconds * 1e6)] + list(command),
                              cwd=workdir, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seen = []
    deadline = time.monotonic() + 60
    while not seen and tracer.poll() is None and time.monotonic() < deadline:
        seen = [n for n in temporaries() if n not in before]
        time.sleep(0.01)
    children = []
    try:
        with open("/proc/%d/task/%d/children" % (tracer.pid, tracer.pid)) as f:
            children = [int(p) for p in f.read().split()]
    except OSError:
        pass
    for child in children:
        os.kill(child, signal.SIGINT)
    code = tracer.wait(timeout=60)
    return code, seen, [n for n in temporaries() if n not in before]


def leftover(workdir, target):
    """A temporary file of `target` as a killed run leaves it, an hour old."""
    name = "." + target + ".123456.tmp"
    path = os.path.join(workdir, name)
    with open(path, "wb") as f:
        f.write(b"partial")
    old = os.path.getmtime(path) - 3600
    os.utime(path, (old, old))
    return name
