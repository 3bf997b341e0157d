#!/usr/bin/env python3
"""baselineconf on the inputs that used to crash it, mislead it or lose a file:

    baselineconf_trust.py -- COMMAND...

COMMAND starts the tool (for Windows: the program under Wine). Each case runs
in a fresh directory with relative file names and prints one line: its name,
the exit value, the first line of each finding, and every file's hash before
and after. A case whose exit value, findings or files are not as expected
fails the script."""

import base64
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tool_checks import interrupted  # noqa: E402

failures = []
GOOD = b'{\n  "allowed_publishers": ["First Maker", "Second Maker", "Third Maker"],\n  "paths_to_discover": "osdrive"\n}\n'
DEEP = b"[" * 2000 + b"]" * 2000
# Base64 of 24 bytes that, deciphered with our key, end in a byte from 1 to 8:
# what a file made with another key looks like to a decoder that only looks at
# the pad.
OTHER_KEY = b"QVfuFUKOO4Swt51kBCNpuJ7RZkokiNm/"


def short_hash(data):
    return hashlib.sha256(data).hexdigest()[:10]


class Case:
    def __init__(self, command, windows, name):
        self.command, self.windows, self.name = command, windows, name
        self.dir = tempfile.mkdtemp(prefix="baselineconf-trust-")

    def write(self, name, data):
        with open(os.path.join(self.dir, name), "wb") as f:
            f.write(data)

    def read(self, name):
        path = os.path.join(self.dir, name)
        if os.path.islink(path) and not os.path.exists(path):
            return None
        if not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def files(self):
        out = {}
        for name in sorted(os.listdir(self.dir)):
            path = os.path.join(self.dir, name)
            if os.path.islink(path):
                out[name] = "link->" + os.readlink(path)
            elif os.path.isdir(path):
                out[name] = "dir"
            else:
                out[name] = short_hash(open(path, "rb").read())
        return out

    def run(self, *args, expect=None, finding=None, stdout_empty=False):
        before = self.files()
        launch = lambda: subprocess.run(self.command + list(args), cwd=self.dir, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, timeout=120,
                                        env=dict(os.environ, WINEDEBUG="-all", LANG="C.UTF-8"))
        done = launch()
        # Under Wine on a loaded machine a run now and then ends non-zero having
        # written nothing at all, not even to standard error, which the tool
        # never does. Such a run is tried once more, and said; a second silent
        # failure, or any run that printed something, is judged as it is.
        if self.windows and done.returncode != 0 and not done.stdout and not done.stderr:
            print("NOTE: %s: %s ended with %d and printed nothing; run once more" % (self.name, " ".join(args),
                                                                                  done.returncode))
            done = launch()
        text = lambda b: b.decode("utf-8", "replace").replace("\r\n", "\n")
        out, err = text(done.stdout), text(done.stderr)
        after = self.files()
        lines = [l for l in (out + err).splitlines() if ": error: " in l or ": warning: " in l or ": note: " in l]
        changes = []
        for name in sorted(set(before) | set(after)):
            if before.get(name) != after.get(name):
                changes.append("%s %s->%s" % (name, before.get(name, "-"), after.get(name, "-")))
        shown = lambda t: t.encode("ascii", "backslashreplace").decode("ascii")  # names may hold controls
        print("%-34s %-40s exit %d" % (self.name, shown(" ".join(args))[:40], done.returncode))
        for line in lines:
            print("    " + line[:150])
        if not lines and done.returncode != 0:
            for line in err.splitlines()[:2]:
                print("    " + line[:150])
        print("    files: " + shown(", ".join(changes) if changes else "unchanged (%s)" % ", ".join(
            "%s %s" % kv for kv in after.items())))
        if expect is not None and done.returncode != expect:
            failures.append("%s: exit %d, expected %d" % (self.name, done.returncode, expect))
        if finding is not None and finding not in out + err:
            failures.append("%s: %r not in %s%s" % (self.name, finding, out, err))
        if stdout_empty and done.stdout:
            failures.append("%s: wrote %d bytes to standard output" % (self.name, len(done.stdout)))
        if "terminate called" in err or "Json::RuntimeError" in err:
            failures.append("%s: crashed: %s" % (self.name, err))
        leftovers = [n for n in after if n.endswith(".tmp")]
        if leftovers:
            failures.append("%s: temporary files left: %s" % (self.name, leftovers))
        return done.returncode, done.stdout, out, err

    def expect(self, condition, what):
        if not condition:
            failures.append("%s: %s" % (self.name, what))

    def done(self):
        shutil.rmtree(self.dir, ignore_errors=True)


def no_crash(case):
    case.write("deep.json", DEEP)
    case.run("check", "deep.json", expect=1, finding="deep.json: error: the JSON text cannot be parsed")
    case.run("encode", "deep.json", "-o", "deep.dat", expect=1, finding="not encoded")
    case.expect(case.read("deep.dat") is None, "nothing written for deep.json")
    case.run("encode", "deep.json", "-o", "deep.dat", "--no-check", expect=0)
    case.run("check", "deep.dat", expect=1, finding="deep.dat (decrypted JSON): error: the JSON text cannot be parsed")
    case.write("deep-member.json", b'{"allowed_publishers": ' + b"[" * 1500 + b"]}")
    case.run("check", "deep-member.json", expect=1, finding="cannot be parsed")


def arguments(case):
    case.write("x.json", GOOD)
    case.run("encode", "x.json", "-o", "help", expect=0, finding="help: written")
    case.expect(case.read("help") and b"{" not in case.read("help"), "a file named help holds the .dat")
    case.run("encode", "x.json", "-o", "-h", expect=0, finding="-h: written")
    case.expect(case.read("-h") == case.read("help"), "a file named -h holds the .dat")
    case.write("help", GOOD)
    case.run("check", "help", expect=0, finding="help: the allowlist creator can load it")
    case.run("encode", "x.json", "-o", "a.dat", "-o", "b.dat", expect=2, finding="the output is given twice")
    case.expect(case.read("a.dat") is None and case.read("b.dat") is None, "nothing written after a repeated -o")
    case.run("encode", "x.json", "-o", "a.dat", "--force", "--force", expect=2, finding="--force is given twice")
    case.run("decode", "help", "--force", expect=2, finding="decode --force writes only to a file")
    _, _, out, _ = case.run("--help", expect=0, finding="Exit values:")
    case.expect("  2  usage error" in out, "the help lists the exit values")
    case.run("check", "x.json", "--help", expect=2, finding="unknown option --help")


def machine(case):
    case.write("missing.json", b'{"paths_to_discover": ["C:\\\\No Such Folder\\\\Here"]}')
    if case.windows:
        case.run("check", "missing.json", expect=1,
                 finding="missing.json:1:24: error: \"paths_to_discover\" entry 1 \"C:\\No Such Folder\\Here\" "
                         "is not an existing, accessible directory")
        case.run("encode", "missing.json", "-o", "m.dat", expect=1, finding="not encoded")
        case.expect(case.read("m.dat") is None, "nothing written for a missing custom path on Windows")
    else:
        case.run("check", "missing.json", expect=0,
                 finding="here; Windows paths cannot be looked at on this system, and the creator refuses the file")


def damaged(case):
    case.write("good.json", GOOD)
    case.run("encode", "good.json", "-o", "good.dat", expect=0)
    dat = bytearray(case.read("good.dat"))
    middle = len(dat) // 2
    dat[middle] = ord("A") if dat[middle] != ord("A") else ord("B")
    case.write("damaged.dat", bytes(dat))
    case.run("check", "damaged.dat", expect=1, finding="damaged.dat: error: the file is damaged or was made with another key")
    case.run("decode", "damaged.dat", expect=1, finding="damaged.dat: cannot be decoded", stdout_empty=True)
    case.run("decode", "damaged.dat", "-o", "recovered.json", expect=1, finding="cannot be decoded")
    case.expect(case.read("recovered.json") is None, "decode without --force writes nothing")
    case.run("decode", "damaged.dat", "-o", "recovered.json", "--force", expect=0, finding="for recovery")
    recovered = case.read("recovered.json") or b""
    case.expect(len(recovered) == len(GOOD) and recovered[:8] == GOOD[:8], "--force wrote the deciphered text")
    case.write("otherkey.dat", OTHER_KEY)
    case.run("check", "otherkey.dat", expect=1, finding="otherkey.dat: error: the file is damaged or was made with another key")
    case.run("decode", "otherkey.dat", expect=1, finding="cannot be decoded", stdout_empty=True)


def writes(case):
    case.write("good.json", GOOD)
    case.write("other.json", b'{"allowed_publishers": ["Second Maker"]}')
    case.run("encode", "good.json", "-o", "out.dat", expect=0)
    first = case.read("out.dat")
    case.run("encode", "other.json", "-o", "out.dat", expect=1, finding="already exists; use --force")
    case.expect(case.read("out.dat") == first, "no replacement without --force")
    case.run("encode", "other.json", "-o", "out.dat", "--force", expect=0)
    case.expect(case.read("out.dat") not in (None, first), "--force replaced the file")
    case.run("encode", "good.json", "-o", "good.json", "--force", expect=1, finding="is the input file")
    case.expect(case.read("good.json") == GOOD, "the input is untouched")
    os.symlink("target.dat", os.path.join(case.dir, "dangling.dat"))
    case.run("encode", "good.json", "-o", "dangling.dat", expect=1, finding="dangling.dat: is a symbolic link")
    case.run("encode", "good.json", "-o", "dangling.dat", "--force", expect=1, finding="is a symbolic link")
    case.expect(not os.path.exists(os.path.join(case.dir, "target.dat")), "the link's target is not created")
    os.mkdir(os.path.join(case.dir, "folder.dat"))
    case.run("encode", "good.json", "-o", "folder.dat", "--force", expect=1, finding="folder.dat: is a directory")
    case.run("decode", "out.dat", "-o", "out.dat", "--force", expect=1, finding="is the input file")


def editors(case):
    case.write("notepad.txt", b"\xef\xbb\xbf" + GOOD)
    case.run("check", "notepad.txt", expect=0, finding="notepad.txt: the allowlist creator can load it (0 errors, 0 warnings)")
    case.run("encode", "notepad.txt", "-o", "bom.dat", expect=0,
             finding="notepad.txt: note: the UTF-8 byte order mark at its start is left out of the .dat")
    _, raw, _, _ = case.run("decode", "bom.dat", expect=0)
    case.expect(raw == GOOD, "the .dat holds the text without the byte order mark")
    case.run("encode", "bom.dat", "-o", "twice.dat", expect=1, finding="bom.dat: is a baselineconf.dat")
    case.write("saved-by-notepad.dat", b"\xef\xbb\xbf" + GOOD)
    case.run("check", "saved-by-notepad.dat", expect=0,
             finding="saved-by-notepad.dat: the allowlist creator can load it (0 errors, 0 warnings)")
    case.run("decode", "notepad.txt", expect=1, finding="notepad.txt: is a JSON configuration, not a baselineconf.dat",
             stdout_empty=True)


def warnings(case):
    table = [
        ("tab.json", b'{"paths_excluded_from_discovery": ["C:\\temp"]}',
         'tab.json:1:36: warning: "paths_excluded_from_discovery" entry 1 holds a tab at byte 3'),
        ("newline.json", b'{"allowed_directories": [{"allowed_dir": "C:\\new", "mutable": true}]}',
         'newline.json:1:42: warning: "allowed_directories" entry 1 "allowed_dir" holds a line feed at byte 3'),
        ("trailing.json", b'{}\n{"paths_to_discover": "all"}\n',
         "trailing.json:2:1: warning: the creator ignores the rest of the text"),
        ("ansi.json", b'{"allowed_publishers": ["Soci\xe9t\xe9 Exemple"]}',
         "ansi.json:1:30: warning: byte 0xE9 is not UTF-8"),
        ("custom.json", b'{"paths_to_discover": "custom"}',
         'custom.json:1:23: warning: "paths_to_discover" "custom" given as a string names no directory'),
        ("emptydir.json", b'{"allowed_directories": [{"allowed_dir": ""}]}',
         'emptydir.json:1:42: warning: "allowed_directories" entry 1 "allowed_dir" is empty; an entry without a path has no effect'),
    ]
    for name, data, finding in table:
        case.write(name, data)
        case.run("check", name, expect=0, finding=finding)
    case.run("encode", "ansi.json", "-o", "ansi.dat", expect=1, finding="ansi.json:1:30: error: byte 0xE9 is neither UTF-8")
    case.expect(case.read("ansi.dat") is None, "ANSI text is not encoded")


def hostile_names(case):
    """A file's name cannot forge a verdict, and decode shows C1 and bidirectional controls escaped."""
    # Windows allows no controls in a name; a bidirectional override it does.
    names = [("site\u202enosj.json", "site\\u202Enosj.json")]
    if not case.windows:
        names.append(("x\x1b[8m.json", "x\\u001B[8m.json"))
    for name, shown in names:
        case.write(name, GOOD)
        _, raw, out, err = case.run("check", name, expect=0, finding=shown + ": the allowlist creator can load it")
        case.expect("\x1b" not in out + err and "\u202e" not in out + err, "check shows %r escaped" % name)
        case.run("encode", name, "-o", name + ".dat", expect=0, finding=shown + ".dat: written")
    config = '{"allowed_publishers": ["Tools\u0085\u009b8m", "Maker\u202e\u2066", "caf\u00e9 \\u0041"]}\n'
    case.write("c1.json", config.encode("utf-8"))
    case.run("encode", "c1.json", "-o", "c1.dat", expect=0)
    _, raw, out, _ = case.run("decode", "c1.dat", expect=0)
    case.expect(all(c not in out for c in "\u0085\u009b\u202e\u2066") and "\\u0085\\u009B" in out
                and "caf\u00e9" in out and out.endswith("]}\n"), "decode escapes C1 and bidirectional controls: %r" % out)
    case.expect(json.loads(raw) == json.loads(config), "the escaped JSON is the same value")
    case.run("decode", "c1.dat", "-o", "back.json", expect=0)
    case.expect(case.read("back.json") == config.encode("utf-8"), "decode -o keeps the file's exact bytes")


def interruption(case):
    """Ctrl+C while the .dat is being written leaves neither it nor its temporary file."""
    if case.windows or not shutil.which("strace"):
        return
    case.write("good.json", GOOD)
    code, seen, left = interrupted(case.command + ["encode", "good.json", "-o", "stopped.dat"], case.dir, "stopped.dat")
    print("%-34s %-40s exit %d, temporary files seen %r, left %r" % (case.name, "encode (SIGINT)", code, seen, left))
    case.expect(code != 0 and len(seen) == 1 and left == [] and case.read("stopped.dat") is None,
                "an interrupted encode removes its temporary file: exit %d, seen %r, left %r" % (code, seen, left))


def main():
    if "--" not in sys.argv:
        print(__doc__)
        return 2
    command = sys.argv[sys.argv.index("--") + 1:]
    command = [os.path.abspath(c) if os.path.exists(c) else c for c in command]
    windows = any(c.lower().endswith(".exe") for c in command)
    for name, body in [("no crash", no_crash), ("arguments", arguments), ("machine", machine),
                       ("damaged", damaged), ("writes", writes), ("editors", editors), ("warnings", warnings),
                       ("hostile names", hostile_names), ("interruption", interruption)]:
        case = Case(command, windows, name)
        try:
            body(case)
        finally:
            case.done()
    for failure in failures:
        print("FAIL: " + failure)
    print("baselineconf trust (%s): %s" % ("Windows" if windows else "Linux", "failed" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
