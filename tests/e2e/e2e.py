#!/usr/bin/env python3
"""End-to-end runs of baseline.exe under Wine, one case per invocation:

    e2e.py --exe baseline.exe --tool baselineconf.exe --prefixes DIR CASE

Each case runs the program in a throwaway working directory inside one of the
test prefixes, feeds it the operator's answers and checks the exit value and
every byte it printed. Configuration files are made there by baselineconf."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

BANNER = (
    b"Varnel Allowlist Creator v8.2\r\n"
    b"Copyright (c) 2026 Varnel. All rights reserved.\r\n"
    b"\r\n"
    b"This command line application discovers all installed applications and creates the "
    b"allowlist file.\r\n"
    b"\r\n"
)
TITLE_PROMPT = b"Please provide allowlist title: "
DESCRIPTION_PROMPT = b"Please provide allowlist description: "
PLEASE_WAIT = b"Please wait while the allowlist is being created...\r\n\r\n"

LINES = {
    14007: b"ERROR: Instance is already running.\r\n",
    14008: b"ERROR: Current OS is not supported, please refer user guide/admin guide.\r\n",
    14010: b"ERROR: Inputs are not provided appropriately.\r\n",
    14011: b"ERROR: Failed to discover and create allowlist file.\r\n",
    14013: b"ERROR: Failed to read baseline configuration.\r\n",
    14015: b"ERROR: Provided Title length exceeds 50 characters.\r\n",
    14016: b"ERROR: Provided Description length exceeds 110 characters.\r\n",
    14017: b"ERROR: Title should start with character.\r\n",
    14018: b"ERROR:  Title should not contain special character.\r\n",
}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what)


class Runner:
    def __init__(self, exe, tool, prefixes):
        self.exe = os.path.abspath(exe)
        self.tool = os.path.abspath(tool) if tool else None
        self.prefixes = os.path.abspath(prefixes)
        self.workdir = tempfile.mkdtemp(prefix="baseline-e2e-")

    def env(self, kind):
        env = dict(os.environ)
        env.update(WINEPREFIX=os.path.join(self.prefixes, kind), WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=", LANG="C.UTF-8")
        return env

    def command(self):
        # The program runs from its own folder, as an administrator would start it.
        local = os.path.join(self.workdir, "baseline.exe")
        if not os.path.exists(local):
            shutil.copy(self.exe, local)
        return ["wine", local]

    def run(self, kind, stdin_bytes, timeout=120):
        done = subprocess.run(self.command(), input=stdin_bytes, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, cwd=self.workdir, env=self.env(kind),
                              timeout=timeout)
        return done.returncode, done.stdout

    def configure(self, kind, json, no_check=False):
        """Makes baselineconf.dat from `json` with baselineconf encode, as an administrator would."""
        with open(os.path.join(self.workdir, "config.json"), "wb") as f:
            f.write(json)
        args = ["encode", "config.json", "-o", "baselineconf.dat", "--force"] + (["--no-check"] if no_check else [])
        done = subprocess.run(["wine", self.tool] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              cwd=self.workdir, env=self.env(kind), timeout=120)
        check(done.returncode == 0, "baselineconf encode %r: %d %r" % (json, done.returncode, done.stderr))

    def append_to_config(self, data):
        with open(os.path.join(self.workdir, "baselineconf.dat"), "ab") as f:
            f.write(data)

    def start(self, kind):
        return subprocess.Popen(self.command(), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, cwd=self.workdir, env=self.env(kind))

    def close(self):
        shutil.rmtree(self.workdir, ignore_errors=True)


def dialogue(after_title=True):
    out = BANNER + TITLE_PROMPT
    if after_title:
        out += DESCRIPTION_PROMPT
    return out


def expect_refused_at_checks(runner, title, description, code):
    lines = title + b"\n" + (description + b"\n" if description is not None else b"")
    rc, out = runner.run("win7", lines)
    check(rc == 1, "exit value 1 for status %d, got %d" % (code, rc))
    if code == 14010:
        expected = dialogue(title != b"") + LINES[code]
    else:  # both answers were read: an empty line follows them
        expected = dialogue() + b"\r\n" + LINES[code]
    check(out == expected, "output for status %d:\n%r\nexpected\n%r" % (code, out, expected))
    check(b"Press any key" not in out, "no key prompt after a failed check")


def case_accepted(runner, kind):
    rc, out = runner.run(kind, b"Title\nDescription\n")
    expected = dialogue() + b"\r\n" + PLEASE_WAIT + LINES[14013]
    check(rc == 1, "exit value 1 without a configuration, got %d" % rc)
    check(out == expected, "output in %s:\n%r" % (kind, out))


def case_refused(runner, kind):
    rc, out = runner.run(kind, b"Title\nDescription\n")
    check(rc == 1, "exit value 1 on %s, got %d" % (kind, rc))
    check(out == LINES[14008], "only the 14008 line on %s, got %r" % (kind, out))


CHECKS = {
    "title-50-accepted": (b"a" * 50, b"d", None),
    "title-51": (b"a" * 51, b"d", 14015),
    "title-51-before-trim": (b"   " + b"a" * 48, b"d", 14015),
    "description-110-accepted": (b"t", b"d" * 110, None),
    "description-111": (b"t", b"d" * 111, 14016),
    "empty-title": (b"", None, 14010),
    "empty-description": (b"title", b"", 14010),
    "digit-after-blank": (b" 1abc", b"d", 14017),
    "hyphen": (b"my-list", b"d", 14018),
    "ampersand": (b"this&that", b"d", 14018),
    "long-and-special": (b"-" * 51, b"d", 14015),
    "digit-and-special": (b"1-2", b"d", 14017),
    "crlf-line-ends": (b"title\r", b"description\r", None),
    "utf8-title-counts-code-units": ("\u00e9".encode() + b"a" * 49, b"d", None),
    "utf8-title-51-units": ("\u00e9".encode() + b"a" * 50, b"d", 14015),
    "codepage-title": (b"Caf\xe9", b"d", None),
    "special-description": (b"ok", b"1 <>?!\"'\\`", None),
}


def case_check(runner, name):
    title, description, code = CHECKS[name]
    if code is None:
        rc, out = runner.run("win7", title + b"\n" + description + b"\n")
        check(rc == 1 and out == dialogue() + b"\r\n" + PLEASE_WAIT + LINES[14013],
              "%s passes the checks, got %d %r" % (name, rc, out))
    else:
        expect_refused_at_checks(runner, title, description, code)


# Configurations and whether baseline.exe gets past loading them. Past the
# configuration step a run ends, for now, with the 14011 line.
CONFIGS = {
    "empty-object": (b"{}", False, b"", 14011),
    "custom-existing": (rb'{"paths_to_discover": ["%SYSTEMDRIVE%\\windows"]}', False, b"", 14011),
    "custom-missing": (rb'{"paths_to_discover": ["C:\\no such directory"]}', False, b"", 14013),
    "custom-file": (rb'{"paths_to_discover": ["C:\\windows\\notepad.exe"]}', False, b"", 14013),
    "missing-file": (None, False, b"", 14013),
    "empty-file": (b"", True, None, 14013),
    "trailing-lf": (b"{}", False, b"\n", 14013),
    "trailing-crlf": (b"{}", False, b"\r\n", 14013),
    "non-json": (b"this is not JSON", True, b"", 14013),
    "root-array": (b"[]", True, b"", 14013),
    "string-allow-app": (b'{"AllowAppIfPublisherAllowed": "true"}', True, b"", 14013),
}


def case_config(runner, detail):
    name, _, kind = detail.partition("@")
    kind = kind or "win7"
    json, no_check, suffix, code = CONFIGS[name]
    if name == "empty-file":
        open(os.path.join(runner.workdir, "baselineconf.dat"), "wb").close()
    elif json is not None:
        runner.configure(kind, json, no_check)
        runner.append_to_config(suffix)
    rc, out = runner.run(kind, b"Title\nDescription\n")
    expected = dialogue() + b"\r\n" + PLEASE_WAIT + LINES[code]
    check(rc == 1, "exit value 1, got %d" % rc)
    check(out == expected, "output for configuration %s in %s:\n%r\nexpected\n%r" % (name, kind, out, expected))


def case_example(runner, readme):
    """The README's example configuration, encoded as the README says, gets past loading."""
    text = open(readme, encoding="utf-8").read()
    start = text.index("```json\n") + len("```json\n")
    runner.configure("win7", text[start:text.index("```", start)].encode("utf-8"))
    rc, out = runner.run("win7", b"Title\nDescription\n")
    check(rc == 1 and out == dialogue() + b"\r\n" + PLEASE_WAIT + LINES[14011],
          "the README example loads, got %d %r" % (rc, out))


class Reader(threading.Thread):
    def __init__(self, stream):
        super().__init__(daemon=True)
        self.stream, self.data = stream, b""

    def run(self):
        for chunk in iter(lambda: self.stream.read1(4096), b""):
            self.data += chunk


def wait_for(predicate, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if predicate():
            return True
        time.sleep(0.2)
    return False


def case_second_instance(runner):
    first = runner.start("win7")
    reader = Reader(first.stdout)
    reader.start()
    try:
        check(wait_for(lambda: reader.data.endswith(TITLE_PROMPT), 60),
              "first instance reaches the title prompt, got %r" % reader.data)
        rc, out = runner.run("win7", b"Other\nInstance\n")
        check(rc == 1, "second instance exits with 1, got %d" % rc)
        check(out == LINES[14007], "second instance prints only the 14007 line, got %r" % out)
        first.stdin.write(b"First\nDescription\n")
        first.stdin.close()
        check(first.wait(60) == 1, "first instance goes on and ends")
        reader.join(10)
        check(reader.data == dialogue() + b"\r\n" + PLEASE_WAIT + LINES[14013],
              "first instance is not disturbed, got %r" % reader.data)
        # Once the first has ended, the next instance runs normally.
        rc, out = runner.run("win7", b"Third\nRun\n")
        check(out.endswith(LINES[14013]), "a later instance runs, got %r" % out)
    finally:
        if first.poll() is None:
            first.kill()


def tmux(*args):
    return subprocess.run(["tmux", "-L", "baseline-e2e"] + list(args), stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, env=dict(os.environ, LANG="C.UTF-8"),
                          check=False).stdout.decode("utf-8", "replace")


def case_terminal(runner):
    """As an operator would: in a terminal, typing a title with non-ASCII letters."""
    if shutil.which("tmux") is None:
        check(False, "tmux is installed")
        return
    session = "run%d" % os.getpid()
    env = runner.env("win7")
    command = "cd %s && env WINEPREFIX=%s WINEDEBUG=-all LANG=C.UTF-8 %s; echo EXITCODE=$?; sleep 60" % (
        runner.workdir, env["WINEPREFIX"], " ".join(runner.command()))
    tmux("new-session", "-d", "-s", session, "-x", "200", "-y", "50", command)
    pane = lambda: tmux("capture-pane", "-p", "-t", session)
    try:
        check(wait_for(lambda: "Please provide allowlist title:" in pane(), 60),
              "banner and title prompt appear:\n" + pane())
        check("Varnel Allowlist Creator v8.2" in pane(), "banner shown")
        # 50 UTF-16 units but 51 UTF-8 bytes: accepted only if the console
        # line is read as UTF-16.
        title = "\u00c9" + "t\u00e9" * 24 + "x"
        tmux("send-keys", "-t", session, "-l", title)
        tmux("send-keys", "-t", session, "Enter")
        check(wait_for(lambda: "Please provide allowlist description:" in pane(), 30),
              "description prompt appears:\n" + pane())
        tmux("send-keys", "-t", session, "-l", "Descripci\u00f3n f\u00fcr alle")
        tmux("send-keys", "-t", session, "Enter")
        check(wait_for(lambda: "ERROR: Failed to read baseline configuration." in pane(), 30),
              "run reaches the configuration step:\n" + pane())
        check(title in pane(), "typed title is echoed intact")
        time.sleep(2)
        check("EXITCODE=" not in pane(), "program waits for a key press:\n" + pane())
        tmux("send-keys", "-t", session, "q")
        check(wait_for(lambda: "EXITCODE=1" in pane(), 30), "exits with 1 after a key:\n" + pane())
    finally:
        tmux("kill-session", "-t", session)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--tool")
    parser.add_argument("--readme")
    parser.add_argument("--prefixes", required=True)
    parser.add_argument("case")
    args = parser.parse_args()
    runner = Runner(args.exe, args.tool, args.prefixes)
    try:
        kind, _, detail = args.case.partition(":")
        if kind == "accepted":
            case_accepted(runner, detail)
        elif kind == "refused":
            case_refused(runner, detail)
        elif kind == "check":
            case_check(runner, detail)
        elif kind == "config":
            case_config(runner, detail)
        elif kind == "readme-example":
            case_example(runner, args.readme)
        elif kind == "second-instance":
            case_second_instance(runner)
        elif kind == "terminal":
            case_terminal(runner)
        else:
            check(False, "known case " + args.case)
    finally:
        runner.close()
    print("%s: %s" % (args.case, "failed" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
