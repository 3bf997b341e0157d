#!/usr/bin/env python3
"""End-to-end runs of baseline.exe under Wine, one case per invocation:

    e2e.py --exe baseline.exe --tool baselineconf.exe --prefixes DIR CASE

Each case runs the program in a throwaway working directory inside one of the
test prefixes, feeds it the operator's answers and checks the exit value and
every byte it printed. Configuration files are made there by baselineconf."""

import argparse
import ast
import json
import os
import re
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

# The line after a failure's fixed line: why, with the system's own reason.
CAUSE = rb"Cause: [^\r\n]+\r\n"
# No baselineconf.dat in the working directory, a throwaway folder on Z:.
NO_CONFIG = rb"Cause: baselineconf\.dat was not found in Z:\\[^\r\n]+ \(Windows error 2: [^\r\n]+\)\r\n"
DECODED = rb"Cause: baselineconf\.dat: the decoded JSON text, "
EVERY_FINDING = rb" \(baselineconf check baselineconf\.dat lists every finding\)\r\n"

failures = []
WINE_FOR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine", "wine-for")


def wine(prefix, program=None):
    """The Wine loader for `program` in `prefix`, or for the prefix's own programs."""
    return subprocess.run([WINE_FOR, prefix] + ([program] if program else []), stdout=subprocess.PIPE,
                          check=True).stdout.decode().strip()


def is_64bit_system(prefix):
    return os.path.isdir(os.path.join(prefix, "drive_c", "windows", "syswow64"))


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what)


def failed_with(out, head, cause=CAUSE):
    """`out` is `head` (up to and including the fixed line) and one cause line."""
    return out.startswith(head) and re.fullmatch(cause, out[len(head):]) is not None


class Runner:
    def __init__(self, exe, tool, prefixes, fixtures=None):
        self.exe = os.path.abspath(exe)
        self.tool = os.path.abspath(tool) if tool else None
        self.prefixes = os.path.abspath(prefixes)
        self.fixtures = os.path.abspath(fixtures) if fixtures else None
        self.workdir = tempfile.mkdtemp(prefix="baseline-e2e-")
        self.threads = None  # BASELINE_THREADS for the creator's runs; None leaves it to the machine

    def prefix(self, kind):
        return os.path.join(self.prefixes, kind)

    def env(self, kind):
        env = dict(os.environ)
        env.update(WINEPREFIX=self.prefix(kind), WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=", LANG="C.UTF-8")
        env.pop("BASELINE_THREADS", None)
        if self.threads:
            env["BASELINE_THREADS"] = self.threads
        return env

    def command(self, kind):
        # The program runs from its own folder, as an administrator would start it.
        local = os.path.join(self.workdir, "baseline.exe")
        if not os.path.exists(local):
            shutil.copy(self.exe, local)
        return [wine(self.prefix(kind), local), local]

    def system(self, kind, *args):
        """Runs one of the prefix's own programs (cmd, reg) and waits for it."""
        subprocess.run([wine(self.prefix(kind))] + list(args), env=self.env(kind),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)

    def run(self, kind, stdin_bytes, timeout=120):
        done = subprocess.run(self.command(kind), input=stdin_bytes, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, cwd=self.workdir, env=self.env(kind),
                              timeout=timeout)
        return done.returncode, done.stdout

    def configure(self, kind, json, no_check=False):
        """Makes baselineconf.dat from `json` with baselineconf encode, as an administrator would."""
        with open(os.path.join(self.workdir, "config.json"), "wb") as f:
            f.write(json)
        args = ["encode", "config.json", "-o", "baselineconf.dat", "--force"] + (["--no-check"] if no_check else [])
        done = subprocess.run([wine(self.prefix(kind), self.tool), self.tool] + args,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              cwd=self.workdir, env=self.env(kind), timeout=120)
        check(done.returncode == 0, "baselineconf encode %r: %d %r" % (json, done.returncode, done.stderr))

    def append_to_config(self, data, before=b""):
        path = os.path.join(self.workdir, "baselineconf.dat")
        with open(path, "rb") as f:
            data = before + f.read() + data
        with open(path, "wb") as f:
            f.write(data)

    def start(self, kind):
        return subprocess.Popen(self.command(kind), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
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
    written = [n for n in os.listdir(runner.workdir) if n.endswith(".json")]
    check(written == [], "no document after a refused title: %r" % written)


def case_accepted(runner, kind):
    rc, out = runner.run(kind, b"Title\nDescription\n")
    expected = dialogue() + b"\r\n" + PLEASE_WAIT + LINES[14013]
    check(rc == 1, "exit value 1 without a configuration, got %d" % rc)
    check(failed_with(out, expected, NO_CONFIG), "output in %s:\n%r" % (kind, out))


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
    # Control characters are special: a NUL would cut the document's name.
    "control-in-title": (b"ab\x01cd", b"d", 14018),
    "tab-in-title": (b"ab\tcd", b"d", 14018),
    "nul-in-title": (b"ab\x00cd", b"d", 14018),
}


def case_check(runner, name):
    title, description, code = CHECKS[name]
    if code is None:
        rc, out = runner.run("win7", title + b"\n" + description + b"\n")
        check(rc == 1 and failed_with(out, dialogue() + b"\r\n" + PLEASE_WAIT + LINES[14013], NO_CONFIG),
              "%s passes the checks, got %d %r" % (name, rc, out))
    else:
        expect_refused_at_checks(runner, title, description, code)


# Configurations and whether baseline.exe gets past loading them; None means
# the whole run succeeds. A failure's cause line must match the last value.
CONFIGS = {
    "empty-object": (b"{}", False, b"", None, None),
    "custom-existing": (rb'{"paths_to_discover": ["%SYSTEMDRIVE%\\windows"]}', False, b"", None, None),
    # baselineconf.exe refuses these on the machine where they fail, as the
    # creator does, so they are encoded without its check.
    "custom-missing": (rb'{"paths_to_discover": ["C:\\no such directory"]}', True, b"", 14013,
                       DECODED + rb'line 1, column 24: "paths_to_discover" entry 1 '
                       rb'"C:\\no such directory" is not an existing, accessible directory' + EVERY_FINDING),
    "custom-file": (rb'{"paths_to_discover": ["C:\\windows\\notepad.exe"]}', True, b"", 14013,
                    DECODED + rb'line 1, column 24: "paths_to_discover" entry 1 '
                    rb'"C:\\windows\\notepad\.exe" is not an existing, accessible directory' + EVERY_FINDING),
    "missing-file": (None, False, b"", 14013, NO_CONFIG),
    "empty-file": (b"", True, None, 14013, rb"Cause: baselineconf\.dat: the file is empty\r\n"),
    "trailing-lf": (b"{}", False, b"\n", 14013, None),
    "trailing-crlf": (b"{}", False, b"\r\n", 14013, None),
    "byte-order-mark": (b"{}", False, b"", 14013, None),
    "json-file": (b"{}\r\n", False, b"", 14013, None),
    "non-json": (b"this is not JSON", True, b"", 14013,
                 DECODED + rb"line 1, column 1: Syntax error: value, object or array expected\."
                 + EVERY_FINDING),
    "root-array": (b"[]", True, b"", 14013,
                   DECODED + rb"line 1, column 1: the configuration is an array; it must be a JSON "
                   rb"object" + EVERY_FINDING),
    "string-allow-app": (b'{"AllowAppIfPublisherAllowed": "true"}', True, b"", 14013,
                         DECODED + rb'line 1, column 32: "AllowAppIfPublisherAllowed" is a string; '
                         rb'it must be true or false' + EVERY_FINDING),
    "syntax-error": (b'{\n  "allowed_publishers": [\n    "A" "B"\n  ]\n}', True, b"", 14013,
                     DECODED + rb"line 3, column 9: Missing ',' or '\]' in array declaration"
                     + EVERY_FINDING),
}


# An editor's mistakes in the file itself, which the creator still refuses and
# names; the CR of a CR LF is one its text-mode reading never sees.
FORM_MISTAKES = {"trailing-lf": b"a line break (LF) after the text at offset 12: an encoded configuration ends",
                 "trailing-crlf": b"a line break (CR LF) after the text at offset 12",
                 "byte-order-mark": b"a UTF-8 byte order mark (EF BB BF) stands before the text",
                 "json-file": b"this is a JSON file; encode it with baselineconf encode"}


def case_config(runner, detail):
    name, _, kind = detail.partition("@")
    kind = kind or "win7"
    json, no_check, suffix, code, cause = CONFIGS[name]
    mistake = FORM_MISTAKES.get(name)
    if mistake:
        cause = rb"Cause: baselineconf\.dat: " + re.escape(mistake) + rb"[^\r\n]*\r\n"
    if name in ("empty-file", "json-file"):
        with open(os.path.join(runner.workdir, "baselineconf.dat"), "wb") as f:
            f.write(json)
    elif json is not None:
        runner.configure(kind, json, no_check)
        runner.append_to_config(suffix, b"\xef\xbb\xbf" if name == "byte-order-mark" else b"")
    rc, out = runner.run(kind, b"Title\nDescription\n")
    if code is None:
        expect_success(runner, kind, rc, out)
        return
    expected = dialogue() + b"\r\n" + PLEASE_WAIT + LINES[code]
    check(rc == 1, "exit value 1, got %d" % rc)
    check(failed_with(out, expected, cause),
          "output for configuration %s in %s:\n%r\nexpected\n%r and %r" % (name, kind, out, expected, cause))


def case_example(runner, readme):
    """The documented example configuration, encoded as documented, gets past loading."""
    text = open(readme, encoding="utf-8").read()
    start = text.index("```json\n") + len("```json\n")
    runner.configure("win7", text[start:text.index("```", start)].encode("utf-8"))
    rc, out = runner.run("win7", b"Title\nDescription\n")
    expect_success(runner, "win7", rc, out)


SUMMARY = re.compile(
    rb"Allowlist result summary: \r\n"
    rb"\tStart time: (?P<starttime>[^\r]*)\r\n"
    rb"\tFinished time: (?P<endtime>[^\r]*)\r\n"
    rb"\tDiscovered total directories: (?P<dircnt>\d+)\r\n"
    rb"\tDiscovered total files: (?P<filecnt>\d+)\r\n"
    rb"\tDiscovered total supported files: (?P<supportedfilecnt>\d+)\r\n"
    rb"\tAllowed total directories: (?P<alloweddircnt>\d+)\r\n"
    rb"\tAllowed total files: (?P<allowedfilecnt>\d+)\r\n"
    rb"\tAllowed total publishers: (?P<allowedpubcnt>\d+)\r\n"
    rb"\r\n"
    rb"Allowlist file has been created successfully at location (?P<path>[^\r]*)\r\n"
    rb"\r\n"
    rb"Press any key to Exit..\r\n")


def unix_path(runner, kind, windows_path):
    """Where a path that baseline.exe printed lies on this machine."""
    drive, rest = windows_path[:2].upper(), windows_path[2:].replace("\\", "/")
    if drive == "Z:":
        return rest
    return os.path.join(runner.prefixes, kind, "drive_" + drive[0].lower()) + rest


class Document:
    def __init__(self, path, local, data):
        self.path, self.local, self.data = path, local, data
        self.json = json.loads(data.decode("utf-8"))

    def files(self):
        return self.json["inventory"]["files"]

    def entry(self, path):
        """The file entry of `path`, letter case ignored, or None."""
        for e in self.files():
            if (e["fpath"] + e["fname"]).lower() == path.lower():
                return e
        return None

    def directories(self):
        return [d["dirpath"] for d in self.json["inventory"]["directories"]]


def expect_success(runner, kind, rc, out, title=b"Title"):
    """A complete run: exit 0, the summary, and a document that agrees with it."""
    check(rc == 0, "exit value 0 after a complete run, got %d" % rc)
    head = dialogue() + b"\r\n" + PLEASE_WAIT
    match = SUMMARY.fullmatch(out[len(head):]) if out.startswith(head) else None
    if match is None:
        check(False, "summary after the run:\n%r" % out)
        return None
    path = match["path"].decode("utf-8")
    name = re.escape(title.decode("utf-8")) + r"_allowlist_\d{8}_\d{4}\.json"
    check(re.fullmatch(r".*\\" + name, path) is not None, "document name %r" % path)
    local = unix_path(runner, kind, path)
    check(os.path.dirname(local) == runner.workdir, "document next to the program: %r" % local)
    with open(local, "rb") as f:
        data = f.read()
    check(data.endswith(b"}}}") and b"\n" in data and b"\r\n" in data and data.count(b"\n") == data.count(b"\r\n"),
          "CR LF line ends and three closing braces")
    document = Document(path, local, data)
    summary = document.json["inventory"]["discoverysummary"]
    check(summary["status"] == "succeed", "summary status %r" % summary["status"])
    for key in ("dircnt", "filecnt", "supportedfilecnt", "alloweddircnt", "allowedfilecnt", "allowedpubcnt"):
        check(summary[key] == int(match[key]), "console and document agree on %s: %s vs %s"
              % (key, match[key], summary[key]))
    for key in ("starttime", "endtime"):
        check(summary[key] == match[key].decode(), "console and document agree on %s" % key)
    return document


def worked_example(source_root):
    """The small worked example the host tests reproduce, as its lines."""
    with open(os.path.join(source_root, "tests", "host", "worked_example.h"), encoding="utf-8") as f:
        text = f.read()
    block = text[text.index("kWorkedExample = {"):]
    block = block[:block.index("\n};")]
    return [ast.literal_eval(m) for m in re.findall(r'^\s*(".*"),$', block, re.M)]


def substitute(expected, actual, keys):
    """Takes the values of `keys` from the actual lines, which must line up."""
    key = re.compile(r'^\t+"([a-z]+)" : ')
    merged = []
    for want, got in zip(expected, actual):
        a, b = key.match(want), key.match(got)
        merged.append(got if a and b and a[1] == b[1] and a[1] in keys else want)
    return merged + expected[len(actual):]


def case_worked_example(runner, kind, source_root):
    """One custom root with one signed application: the document byte for byte."""
    tools = os.path.join(runner.prefixes, kind, "drive_c", "Tools")
    shutil.rmtree(tools, ignore_errors=True)
    os.makedirs(tools)
    try:
        shutil.copy(os.path.join(runner.fixtures, "signed.exe"), os.path.join(tools, "tool.exe"))
        # The system attribute keeps the configured directory's entry immutable
        # while the application below it stays mutable.
        runner.system(kind, "cmd", "/c", "attrib", "+s", "C:\\Tools")
        runner.configure(kind, json.dumps({
            "paths_to_discover": ["C:\\Tools"],
            "allowed_directories": [{"allowed_dir": "%SystemDrive%\\Tools", "mutable": True, "strict_pub": True}],
        }).encode())
        rc, out = runner.run(kind, b"Finance\nFinance desktops\n")
        document = expect_success(runner, kind, rc, out, b"Finance")
        if document is None:
            return
        actual = document.data.decode("utf-8").split("\r\n")
        expected = [line.replace('"pubname" : "Example Software Ltd"', '"pubname" : "Fixture Software Ltd"')
                        .replace("Example Code Signing CA", "Fixture Code Signing CA")
                    for line in worked_example(source_root)]
        # What belongs to this machine and this moment is taken as it came.
        expected = substitute(expected, actual, {"buildnumber", "cdate", "hostname", "osid", "osname",
                                                 "osver", "platform", "suite", "mtime", "starttime",
                                                 "endtime"})
        check(actual == expected, "the worked example:\n%s\nexpected\n%s"
              % ("\n".join(actual), "\n".join(expected)))
        header = document.json["inventoryinfo"]
        check(header["hostname"] != "" and header["osid"] in (50041, 50042, 50032, 50033, 50048, 50049),
              "header from this machine: %r" % header)
        check(document.entry("C:\\Tools\\tool.exe")["mtime"] == int(os.stat(os.path.join(tools, "tool.exe")).st_mtime),
              "mtime is the file's last-write time")
    finally:
        shutil.rmtree(tools, ignore_errors=True)


def case_system_drive(runner, kind):
    """Mode osdrive over the prefix's C: drive with the default configuration,
    with applications placed in both Program Files directories and, on a
    64-bit system, one only the native system32 holds."""
    drive_c = os.path.join(runner.prefixes, kind, "drive_c")
    placed = []
    def place(relative):
        target = os.path.join(drive_c, *relative.split("\\"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy(os.path.join(runner.fixtures, "signed.exe"), target)
        placed.append(target)
    is64 = is_64bit_system(runner.prefix(kind))
    try:
        place("Program Files\\NativeApp\\native.exe")
        if is64:
            place("Program Files (x86)\\WowApp\\wow.exe")
            place("windows\\system32\\baseline-native-marker.exe")
        # The defaults name both Program Files directories, for the 32-bit
        # program too, to which %PROGRAMFILES% is the x86 one.
        runner.configure(kind, b"{}")
        rc, out = runner.run(kind, b"Title\nDescription\n")
        document = expect_success(runner, kind, rc, out)
        if document is None:
            return
        header = document.json["inventoryinfo"]
        check(header["platform"] == ("64-bit" if is64 else "32-bit"), "platform %r" % header["platform"])
        check(header["osdrive"] == "C:" and header["osdrivevar"] == "%SYSTEMDRIVE%", "system drive in the header")
        for program_files in ["C:\\Program Files"] + (["C:\\Program Files (x86)"] if is64 else []):
            e = document.entry(program_files)
            check(e is not None and e["allowstate"] == 0, "%s recorded, never allowed: %r" % (program_files, e))
        wanted = ["%SYSTEMDRIVE%\\Program Files\\NativeApp"]
        if is64:
            wanted.append("%SYSTEMDRIVE%\\Program Files (x86)\\WowApp")
        lowered = [d.lower() for d in document.directories()]
        for directory in wanted:
            check(directory.lower() in lowered, "directory entry %s in %r" % (directory, document.directories()))
        native = document.entry("C:\\Program Files\\NativeApp\\native.exe")
        check(native is not None and native["pubname"] == "Fixture Software Ltd" and native["osdrive"] == 1,
              "the application with its signer: %r" % native)
        if is64:
            marker = document.entry("C:\\windows\\system32\\baseline-native-marker.exe")
            check(marker is not None and marker.get("cname") == "Example Software Ltd",
                  "the native system32 is listed through disabled redirection: %r" % marker)
        ids = [e["id"] for e in document.files()]
        check(ids == sorted(ids) and len(set(ids)) == len(ids) and ids[0] == 0, "ids rise from 0")
        check(document.files()[0]["pid"] == -1 and document.files()[0]["fname"] == "C:", "the root comes first")
    finally:
        for target in placed:
            os.remove(target)
            parent = os.path.dirname(target)
            if not parent.lower().endswith("system32") and not os.listdir(parent):
                os.rmdir(parent)


def case_same_minute(runner, kind):
    """A second run with the same title in the same minute leaves the first document alone."""
    runner.configure(kind, rb'{"paths_to_discover": ["%SYSTEMDRIVE%\\windows\\system32\\drivers"]}')
    for attempt in range(3):
        # A fresh title each attempt: the attempt before may have left a
        # document of its own title in this very minute.
        title = b"Title%d" % attempt
        rc, out = runner.run(kind, title + b"\nDescription\n")
        first = expect_success(runner, kind, rc, out, title)
        if first is None:
            return
        rc, out = runner.run(kind, title + b"\nDescription\n")
        if rc == 0:  # the minute turned between the runs: try again
            continue
        check(rc == 1, "exit value 1 for the second run, got %d" % rc)
        taken = (rb"Cause: " + re.escape(first.path.encode()) +
                 rb" already exists \(Windows error 80: [^\r\n]+\); it was not touched\r\n")
        check(failed_with(out, dialogue() + b"\r\n" + PLEASE_WAIT + LINES[14011], taken),
              "the 14011 line and the taken name as its cause: %r" % out)
        with open(first.local, "rb") as f:
            check(f.read() == first.data, "the first document is unchanged")
        return
    check(False, "two runs within one minute")


def case_long_path(runner, kind):
    """A tree nested beyond 260 characters is listed and its application read."""
    top = os.path.join(runner.workdir, "Deep")
    path = top
    while len(path) < 400:
        path = os.path.join(path, "a directory with a rather long name")
    os.makedirs(path)
    shutil.copy(os.path.join(runner.fixtures, "signed.exe"), os.path.join(path, "deep.exe"))
    windows_top = "Z:" + top.replace("/", "\\")
    runner.configure(kind, json.dumps({"paths_to_discover": [windows_top]}).encode())
    rc, out = runner.run(kind, b"Title\nDescription\n")
    document = expect_success(runner, kind, rc, out)
    if document is None:
        return
    deep = document.entry("Z:" + os.path.join(path, "deep.exe").replace("/", "\\"))
    check(deep is not None and len(deep["fpath"]) > 260, "the deep application is recorded")
    if deep is not None:
        check(deep.get("pubname") == "Fixture Software Ltd" and deep.get("serialno") == "0a1b2c3d4e5f60718293a4b5c6d7e8f9",
              "its signer is read: %r" % deep)
        check(deep.get("cname") == "Example Software Ltd" and deep.get("fver") == "2.4.1.0",
              "its version strings are read: %r" % deep)
        check(deep["mtime"] > 0, "its last-write time is read")


def case_same_document(runner, kind, exe32):
    """On one 64-bit system the 32-bit program (under WOW64) and the native
    64-bit program load the same configurations, walk the same tree and write
    the same documents, byte for byte but for the run's times: with System32
    as a root, with a root and an allowed directory that only the native
    System32 holds, with %PROGRAMFILES% in every path key, with the default
    first-level list written out, and with an exclusion under System32 beside
    an application last written in 1960. The two largest walks also run
    with one worker and with sixteen: the document never depends on it."""
    drive_c = os.path.join(runner.prefix(kind), "drive_c")
    placed = []
    def place(relative, fixture):
        target = os.path.join(drive_c, *relative.split("\\"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy(os.path.join(runner.fixtures, fixture), target)
        placed.append(target)
    other = Runner(exe32, runner.tool, runner.prefixes, runner.fixtures)
    old = os.path.join(runner.workdir, "Old")
    os.makedirs(old)
    shutil.copy(os.path.join(runner.fixtures, "signed.exe"), os.path.join(old, "old.exe"))
    os.utime(os.path.join(old, "old.exe"), (-315619200, -315619200))  # 1 January 1960
    made = ["Program Files\\NativeApp", "Program Files (x86)\\WowApp", "Program Files\\Common Files\\NativeShared",
            "windows\\system32\\baseline-only-native", "windows\\system32\\baseline-native-allowed"]
    configurations = [
        ("A", {"paths_to_discover": ["C:\\Program Files", "C:\\Program Files (x86)", "%WINDIR%\\system32"]}),
        ("B", {"paths_to_discover": ["%WINDIR%\\system32\\baseline-only-native"],
               "allowed_directories": [{"allowed_dir": "%WINDIR%\\system32\\baseline-native-allowed",
                                        "mutable": True}]}),
        ("C", {"paths_to_discover": ["%PROGRAMFILES%", "%COMMONPROGRAMFILES%"],
               "paths_excluded_from_discovery": ["%ProgramFiles%\\NativeApp\\bin"],
               "allowed_first_level_subdirectories": ["%PROGRAMFILES%"],
               "allowed_directories": [{"allowed_dir": "%PROGRAMFILES%\\NativeApp", "mutable": True},
                                       {"allowed_dir": "%COMMONPROGRAMFILES%\\NativeShared", "strict_pub": False}]}),
        ("D", {"allowed_first_level_subdirectories": ["%SYSTEMDRIVE%", "%PROGRAMFILES%", "%PROGRAMFILES(X86)%"],
               "paths_to_discover": ["C:\\Program Files", "C:\\Program Files (x86)"]}),
        ("E", {"paths_to_discover": ["%WINDIR%\\system32", z_path(old)],
               "paths_excluded_from_discovery": ["%WINDIR%\\system32\\drivers", "%WINDIR%\\system32\\wbem"]}),
    ]
    try:
        place("Program Files\\NativeApp\\native.exe", "signed.exe")
        place("Program Files\\NativeApp\\bin\\helper.exe", "version_default.exe")
        place("Program Files\\Common Files\\NativeShared\\shared.exe", "signed.exe")
        place("Program Files (x86)\\WowApp\\wow.exe", "signed.exe")
        place("windows\\system32\\baseline-compare-marker.exe", "signed.exe")
        place("windows\\system32\\baseline-only-native\\tool.exe", "signed.exe")
        os.makedirs(os.path.join(drive_c, "windows", "system32", "baseline-native-allowed"), exist_ok=True)
        run_times = re.compile(rb'^\t"(cdate|starttime|endtime)" : .*$', re.M)
        for letter, configuration in configurations:
            title = b"Same" + letter.encode()
            documents = []
            runs = [(program, threads) for threads in ((None, "1", "16") if letter in "AE" else (None,))
                    for program in (runner, other)]
            for program, threads in runs:
                program.configure(kind, json.dumps(configuration).encode())
                program.threads = threads
                rc, out = program.run(kind, title + b"\nOne tree, one configuration\n", timeout=300)
                program.threads = None
                document = expect_success(program, kind, rc, out, title)
                if document is None:
                    break
                documents.append(document)
                # The next run of this program in the same minute would find the name taken.
                os.remove(document.local)
            if len(documents) != len(runs):
                check(False, "configuration %s: every program and worker count writes a document" % letter)
                continue
            native = run_times.sub(rb'\t"\1" : <run time>', documents[0].data)
            for (program, threads), document in zip(runs[1:], documents[1:]):
                other_bytes = run_times.sub(rb'\t"\1" : <run time>', document.data)
                check(native == other_bytes, "configuration %s, %s, workers %s: the documents differ:\n%s" % (
                    letter, "32-bit" if program is other else "64-bit", threads or "all", "\n".join(
                        "64: %r\n?: %r" % pair for pair in zip(native.split(b"\n"), other_bytes.split(b"\n"))
                        if pair[0] != pair[1])))
            wow64 = documents[1]
            lowered = [d.lower() for d in wow64.directories()]
            if letter == "A":
                for directory in ("%SYSTEMDRIVE%\\Program Files\\NativeApp", "%SYSTEMDRIVE%\\Program Files (x86)\\WowApp"):
                    check(directory.lower() in lowered, "directory entry %s in %r" % (directory, wow64.directories()))
                check(wow64.entry("C:\\windows\\system32\\baseline-compare-marker.exe") is not None,
                      "the 32-bit program lists the native system32")
            elif letter == "B":
                check(wow64.entry("C:\\windows\\system32\\baseline-only-native\\tool.exe") is not None,
                      "the 32-bit program walks a root only the native system32 holds")
                check(wow64.json["inventory"]["directories"][0]["mutable"] is True,
                      "an allowed directory only in the native system32 exists for the 32-bit program")
            elif letter == "C":
                check(wow64.entry("C:\\Program Files\\NativeApp\\native.exe") is not None
                      and wow64.entry("C:\\Program Files\\Common Files\\NativeShared\\shared.exe") is not None,
                      "%PROGRAMFILES% and %COMMONPROGRAMFILES% are the native folders")
                check(wow64.entry("C:\\Program Files\\NativeApp\\bin\\helper.exe") is None,
                      "the exclusion written with %ProgramFiles% holds")
                check(wow64.entry("C:\\Program Files (x86)\\WowApp\\wow.exe") is None, "the x86 folder is not walked")
                check("%programfiles%\\nativeapp" in lowered, "the document keeps the path as configured")
            elif letter == "E":
                entry = wow64.entry(z_path(os.path.join(old, "old.exe")))
                check(entry is not None and entry["mtime"] == -315619200,
                      "a time before 1970 on a short path: %r" % (entry and entry["mtime"]))
                check(not any((e["fpath"] + e["fname"]).lower().startswith("c:\\windows\\system32\\drivers\\")
                              for e in wow64.files()), "nothing under the excluded drivers")
    finally:
        other.close()
        for target in placed:
            os.remove(target)
        for directory in made:
            shutil.rmtree(os.path.join(drive_c, *directory.split("\\")), ignore_errors=True)


UNPRIVILEGED = "baseline-e2e"


def case_unreadable(runner, kind):
    """A directory that the user running the program may not read is named
    after the summary with the system's reason; the run goes on and succeeds.
    Permission bits deny nothing to root, so the program runs as an
    unprivileged user of its own, in a prefix of that user's."""
    if os.geteuid() == 0:
        if subprocess.run(["id", UNPRIVILEGED], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
            made = subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin",
                                   UNPRIVILEGED], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            if made.returncode != 0:
                print("SKIPPED: no unprivileged user could be made: %s" % made.stdout.decode(errors="replace"))
                sys.exit(77)
        as_user = ["runuser", "-u", UNPRIVILEGED, "--"]
    else:
        as_user = []
    bits = "64" if kind == "win64" else "32"
    base = "/tmp/baseline-unreadable-" + bits
    shutil.rmtree(base + "/work", ignore_errors=True)
    shutil.rmtree(base + "/tree", ignore_errors=True)
    os.makedirs(base, exist_ok=True)
    os.chmod(base, 0o755)
    home, prefix, work, tree = (os.path.join(base, d) for d in ("home", "prefix", "work", "tree"))
    for directory in (home, work, prefix):
        os.makedirs(directory, exist_ok=True)
    make_tree(tree, ["open/seen.exe", "locked/inner/hidden.exe"], os.path.join(runner.fixtures, "signed.exe"))
    for program in (runner.exe, runner.tool):
        shutil.copy(program, work)
    if as_user:
        # Wine works only in a prefix its user owns.
        subprocess.run(["chown", "-R", UNPRIVILEGED, home, work, prefix], check=True)
    subprocess.run(["chmod", "-R", "a+rX", tree], check=True)
    os.chmod(os.path.join(tree, "locked"), 0)
    env = dict(os.environ, HOME=home, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
               LANG="C.UTF-8", WINEARCH="win64" if bits == "64" else "win32")
    loader = "/usr/lib/wine/wine64" if bits == "64" else "/usr/lib/wine/wine"
    def user(*args, data=None):
        return subprocess.run(as_user + ["env"] + ["%s=%s" % item for item in env.items()
                                                   if item[0].startswith(("WINE", "HOME", "LANG"))] + list(args),
                              input=data, stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=work, timeout=300)
    try:
        if not os.path.isfile(os.path.join(prefix, "system.reg")):
            user(loader, "wineboot", "-i")
            user("wineserver", "-w")
        with open(os.path.join(work, "config.json"), "w") as f:
            json.dump({"paths_to_discover": [z_path(tree)]}, f)
        encoded = user(loader, os.path.join(work, "baselineconf.exe"), "encode", "config.json", "-o",
                       "baselineconf.dat", "--force")
        check(encoded.returncode == 0, "baselineconf encode as the user: %r" % encoded.stderr)
        done = user(loader, os.path.join(work, "baseline.exe"), data=b"Unreadable\nA folder the user may not read\n")
        out = done.stdout
        print(out.decode("utf-8", "replace"))
        check(done.returncode == 0, "the run succeeds, got %d" % done.returncode)
        told = re.search(rb"\r\n\r\nDirectories that could not be listed: 1\r\n\t" +
                         re.escape(z_path(os.path.join(tree, "locked")).encode()) +
                         rb": [^\r\n]+ \(Windows error 5\)\r\n\r\nPress any key to Exit\.\.\r\n$", out)
        check(told is not None, "the unreadable directory is named with its reason after the summary: %r" % out[-400:])
        documents = [n for n in os.listdir(work) if n.endswith(".json") and n.startswith("Unreadable")]
        check(len(documents) == 1, "one document: %r" % documents)
        if documents:
            with open(os.path.join(work, documents[0]), "rb") as f:
                data = f.read()
            check(b"seen.exe" in data and b"hidden.exe" not in data, "the document holds what could be seen")
    finally:
        os.chmod(os.path.join(tree, "locked"), 0o755)
        user("wineserver", "-k")


def make_tree(top, relatives, fixture):
    for relative in relatives:
        target = os.path.join(top, *relative.split("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy(fixture, target)


def z_path(path):
    return "Z:" + path.replace("/", "\\")


def case_trailing_backslash(runner, kind):
    """A custom root written with a trailing backslash gives its children a
    doubled separator; an excluded subdirectory still leaves nothing below it."""
    top = os.path.join(runner.workdir, "Data")
    signed = os.path.join(runner.fixtures, "signed.exe")
    make_tree(top, ["Keep/keep.exe", "Skip/skip.exe", "Skip/Deep/deep.exe"], signed)
    runner.configure(kind, json.dumps({
        "paths_to_discover": [z_path(top) + "\\"],
        "paths_excluded_from_discovery": [z_path(os.path.join(top, "Skip"))],
    }).encode())
    rc, out = runner.run(kind, b"Title\nDescription\n")
    document = expect_success(runner, kind, rc, out)
    if document is None:
        return
    paths = [e["fpath"] + e["fname"] for e in document.files()]
    check(not [p for p in paths if "skip" in p.lower()], "nothing below the excluded directory: %r" % paths)
    check(document.entry(z_path(top) + "\\\\Keep\\keep.exe") is not None,
          "the rest is recorded with the path as built: %r" % paths)


def case_empty_allowed_dir(runner, kind):
    """An allowed directory without a path allows nothing."""
    top = os.path.join(runner.workdir, "Tree")
    make_tree(top, ["A/B/b.exe", "C/c.exe"], os.path.join(runner.fixtures, "signed.exe"))
    runner.configure(kind, json.dumps({
        "paths_to_discover": [z_path(top)],
        "allowed_directories": [{"allowed_dir": ""}, {"allowed_dir": None, "mutable": True}],
    }).encode())
    rc, out = runner.run(kind, b"Title\nDescription\n")
    document = expect_success(runner, kind, rc, out)
    if document is None:
        return
    directories = [e for e in document.files() if e["ftype"] == "directory" and e["pid"] != -1]
    check(len(directories) == 3, "three directories below the root: %r" % directories)
    check(all(e["allowstate"] == 0 for e in directories),
          "no directory is allowed: %r" % [(e["fname"], e["allowstate"]) for e in directories])
    check(all(e["mutable"] for e in directories), "nor made immutable")
    check(document.json["inventory"]["directories"] == [], "no directory entry without a path")


def case_full_disk(runner, kind):
    """The program and its document on a small disk that fills up: every run
    either succeeds with a complete document or fails with the 14011 line."""
    disk = os.path.join(runner.workdir, "disk")
    os.makedirs(disk)
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16m", "tmpfs", disk],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if mounted.returncode != 0:
        print("SKIPPED: cannot mount a small tmpfs here: %s" % mounted.stdout.decode(errors="replace").strip())
        sys.exit(77)
    try:
        top = os.path.join(runner.workdir, "Tree")
        make_tree(top, ["Dir%02d/app%02d.exe" % (n, n) for n in range(24)], os.path.join(runner.fixtures, "signed.exe"))
        # The allowed directories are written after the last flush of the
        # walk and reach the disk with "misc" and the summary, so that a disk
        # that fills there fails the finishing step itself.
        allowed = [{"allowed_dir": "C:\\Allowed directory number %02d of the full disk test" % n}
                   for n in range(22)]
        runner.configure(kind, json.dumps({"paths_to_discover": [z_path(top)],
                                           "allowed_directories": allowed}).encode())
        program = os.path.join(disk, "baseline.exe")
        shutil.copy(runner.exe, program)
        shutil.copy(os.path.join(runner.workdir, "baselineconf.dat"), disk)
        filler = os.path.join(disk, "filler")
        loader = wine(runner.prefix(kind), program)
        outcomes = {0: 0, 1: 0}
        causes = set()
        page = 4096
        for pages in range(0, 12):
            for name in os.listdir(disk):
                if name.endswith(".json") or name == "filler":
                    os.remove(os.path.join(disk, name))
            free = os.statvfs(disk).f_bavail * os.statvfs(disk).f_frsize
            with open(filler, "wb") as f:
                f.write(b"\0" * max(0, free - pages * page))
            title = b"Disk%02d" % pages
            done = subprocess.run([loader, program], input=title + b"\nDescription\n", stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, cwd=disk, env=runner.env(kind), timeout=120)
            written = [n for n in os.listdir(disk) if n.endswith(".json")]
            outcomes[done.returncode] = outcomes.get(done.returncode, 0) + 1
            if done.returncode == 0:
                check(len(written) == 1, "%d pages: one document: %r" % (pages, written))
                try:
                    with open(os.path.join(disk, written[0]), "rb") as f:
                        summary = json.loads(f.read().decode("utf-8"))["inventory"]["discoverysummary"]
                    check(summary["status"] == "succeed", "%d pages: a complete document" % pages)
                except (ValueError, KeyError, IndexError) as error:
                    check(False, "%d pages: exit 0 with a broken document (%s)" % (pages, error))
            else:
                at = done.stdout.rfind(LINES[14011])
                # The system's reason where it gave one; a write it took only
                # in part comes with none.
                full = (rb"Cause: (writing|closing) [^\r\n]+\.json failed(: [^\r\n]+ \(Windows error 112\)|"
                        rb", and the system gave no reason \(a full disk is the usual one\))\r\n")
                check(done.returncode == 1 and at >= 0 and failed_with(done.stdout[at:], LINES[14011], full),
                      "%d pages: exit 1 with the 14011 line and the full disk as its cause, got %d %r"
                      % (pages, done.returncode, done.stdout[-300:]))
                if at >= 0:
                    causes.add(done.stdout[at + len(LINES[14011]):].strip())
        print("full disk: %d runs succeeded, %d failed" % (outcomes.get(0, 0), outcomes.get(1, 0)))
        for cause in sorted(causes):
            print("full disk: %s" % cause.decode("utf-8", "replace"))
        check(outcomes.get(0, 0) > 0 and outcomes.get(1, 0) > 0, "both outcomes met: %r" % outcomes)
    finally:
        subprocess.run(["wineserver", "-k"], env=runner.env(kind), stderr=subprocess.DEVNULL)
        subprocess.run(["umount", disk], stderr=subprocess.DEVNULL)


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
        check(failed_with(reader.data, dialogue() + b"\r\n" + PLEASE_WAIT + LINES[14013], NO_CONFIG),
              "first instance is not disturbed, got %r" % reader.data)
        # Once the first has ended, the next instance runs normally.
        rc, out = runner.run("win7", b"Third\nRun\n")
        check(re.search(re.escape(LINES[14013]) + NO_CONFIG + rb"$", out) is not None,
              "a later instance runs, got %r" % out)
    finally:
        if first.poll() is None:
            first.kill()


def tmux(*args):
    return subprocess.run(["tmux", "-L", "baseline-e2e"] + list(args), stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, env=dict(os.environ, LANG="C.UTF-8"),
                          check=False).stdout.decode("utf-8", "replace")


def case_terminal(runner):
    """As an operator would: in a terminal, typing a title with non-ASCII letters,
    through the whole run to the final key press."""
    if shutil.which("tmux") is None:
        check(False, "tmux is installed")
        return
    session = "run%d" % os.getpid()
    env = runner.env("win7")
    runner.configure("win7", rb'{"paths_to_discover": ["%SYSTEMDRIVE%\\windows\\system32\\drivers"]}')
    command = "cd %s && env WINEPREFIX=%s WINEDEBUG=-all LANG=C.UTF-8 %s; echo EXITCODE=$?; sleep 60" % (
        runner.workdir, env["WINEPREFIX"], " ".join(runner.command("win7")))
    tmux("new-session", "-d", "-s", session, "-x", "250", "-y", "50", command)
    pane = lambda: tmux("capture-pane", "-p", "-J", "-t", session)
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
        check(wait_for(lambda: "Press any key to Exit.." in pane(), 60), "the run completes:\n" + pane())
        check(title in pane(), "typed title is echoed intact")
        # The title reaches the document's name and the printed path unchanged.
        check(re.search(re.escape(title) + r"_allowlist_\d{8}_\d{4}\.json", pane()) is not None,
              "the printed path carries the title:\n" + pane())
        written = [n for n in os.listdir(runner.workdir) if n.startswith(title + "_allowlist_")]
        check(len(written) == 1, "the document is named after the title: %r" % os.listdir(runner.workdir))
        if written:
            with open(os.path.join(runner.workdir, written[0]), encoding="utf-8") as f:
                header = json.load(f)["inventoryinfo"]
            check(header["title"] == title and header["desc"] == "Descripci\u00f3n f\u00fcr alle",
                  "title and description stored as typed: %r" % header)
        time.sleep(2)
        check("EXITCODE=" not in pane(), "program waits for a key press:\n" + pane())
        # The mutex is gone before the final wait: a new instance runs normally.
        rc, out = runner.run("win7", b"Next\nInstance\n")
        check(rc == 0 and b"Allowlist file has been created successfully" in out,
              "an instance started during the final wait runs, got %r" % out)
        tmux("send-keys", "-t", session, "q")
        check(wait_for(lambda: "EXITCODE=0" in pane(), 30), "exits with 0 after a key:\n" + pane())
    finally:
        tmux("kill-session", "-t", session)


PROGRESS = re.compile(r"Found (\d+) directories, (\d+) files, (\d+) executables; listing (.*)")
INTERRUPTED = ("ERROR: Allowlist creation was interrupted; the allowlist file marked as failed is at "
               "location ")


def big_tree(runner, source):
    """A tree of 110,000 entries beside the prefixes, made once: directories of
    19 files, some of them executables (hard links to the fixtures), so that
    the walk under Wine lasts seconds. Its Windows path."""
    sys.path.insert(0, os.path.join(source, "bench"))
    from discovery_bench import make_tree
    root = os.path.join(os.path.dirname(runner.prefixes), "trees", "walk110k")
    make_tree(root, 110000, runner.fixtures, exe_share=0.03, signed_share=0.005)
    return "Z:" + root.replace("/", "\\")


class Terminal:
    """baseline.exe in a tmux pane of the given width, started in the runner's
    working directory; the shell prints EXITCODE= when it ends."""
    def __init__(self, runner, kind, width):
        self.session = "run%d_%d" % (os.getpid(), width)
        command = "cd %s && env WINEPREFIX=%s WINEDEBUG=-all LANG=C.UTF-8 %s; echo EXITCODE=$?; sleep 60" % (
            runner.workdir, runner.prefix(kind), " ".join(runner.command(kind)))
        tmux("new-session", "-d", "-s", self.session, "-x", str(width), "-y", "50", command)

    def pane(self):
        return tmux("capture-pane", "-p", "-J", "-t", self.session)

    def lines(self):
        return self.pane().rstrip("\n").split("\n")

    def keys(self, *keys):
        tmux("send-keys", "-t", self.session, *keys)

    def answer(self, title, description):
        check(wait_for(lambda: "Please provide allowlist title:" in self.pane(), 60),
              "the title prompt appears:\n" + self.pane())
        self.keys("-l", title)
        self.keys("Enter")
        check(wait_for(lambda: "Please provide allowlist description:" in self.pane(), 30),
              "the description prompt appears:\n" + self.pane())
        self.keys("-l", description)
        self.keys("Enter")

    def progress(self):
        """The counts on the progress line now, or None."""
        for line in self.lines():
            match = PROGRESS.fullmatch(line.rstrip())
            if match:
                return line.rstrip(), tuple(int(match[k]) for k in (1, 2, 3))
        return None

    def close(self):
        tmux("kill-session", "-t", self.session)


def case_progress(runner, kind, source):
    """In a terminal the walk shows one progress line that changes while it
    runs and leaves nothing behind; redirected to a file, the output is what it
    always was."""
    if shutil.which("tmux") is None:
        check(False, "tmux is installed")
        return
    tree = big_tree(runner, source)
    runner.configure(kind, json.dumps({"paths_to_discover": [tree]}).encode())
    width = 120
    terminal = Terminal(runner, kind, width)
    try:
        terminal.answer("Progress", "Walk of a big tree")
        check(wait_for(lambda: terminal.progress() is not None, 60), "a progress line appears:\n" + terminal.pane())
        first = terminal.progress()
        time.sleep(1)
        second = terminal.progress()
        check(first is not None and second is not None and first[1] != second[1],
              "the counts change within a second: %r then %r" % (first, second))
        for seen in (first, second):
            if seen is not None:
                check(len(seen[0]) <= width - 1, "the line fits the window: %r" % seen[0])
        # Only one such line, ever: it is rewritten in place.
        check(sum(1 for line in terminal.lines() if PROGRESS.fullmatch(line.rstrip())) <= 1,
              "one progress line:\n" + terminal.pane())
        check(wait_for(lambda: "Press any key to Exit.." in terminal.pane(), 240), "the run completes:\n" + terminal.pane())
        lines = [line.rstrip() for line in terminal.lines()]
        wait = lines.index("Please wait while the allowlist is being created...")
        check(lines[wait + 1:wait + 3] == ["", "Allowlist result summary:"],
              "the summary follows the empty line as before:\n" + terminal.pane())
        check(not any(line.startswith("Found ") for line in lines), "no trace of the progress line:\n" + terminal.pane())
        terminal.keys("q")
        check(wait_for(lambda: "EXITCODE=0" in terminal.pane(), 30), "exits with 0 after a key:\n" + terminal.pane())
    finally:
        terminal.close()
    # The same walk with standard output in a file: the bytes of a run without
    # a console, checked whole.
    output = os.path.join(runner.workdir, "output.txt")
    with open(output, "wb") as out:
        done = subprocess.run(runner.command(kind), input=b"Redirected\nWalk of a big tree\n", stdout=out,
                              stderr=subprocess.DEVNULL, cwd=runner.workdir, env=runner.env(kind), timeout=240)
    with open(output, "rb") as f:
        data = f.read()
    check(b"Found " not in data and b"\r" not in data.replace(b"\r\n", b""), "no progress bytes in the file")
    expect_success(runner, kind, done.returncode, data, b"Redirected")


def case_interrupt(runner, kind, source):
    """Ctrl+C at the prompts ends the program and leaves nothing; Ctrl+C in the
    middle of the walk leaves a finished document marked as failed, named on
    the console's last line, and the exit value 1."""
    if shutil.which("tmux") is None:
        check(False, "tmux is installed")
        return
    tree = big_tree(runner, source)
    runner.configure(kind, json.dumps({"paths_to_discover": [tree]}).encode())
    documents = lambda: [n for n in os.listdir(runner.workdir) if n.endswith(".json") and "_allowlist_" in n]
    terminal = Terminal(runner, kind, 200)
    try:
        check(wait_for(lambda: "Please provide allowlist title:" in terminal.pane(), 60), "the title prompt appears")
        terminal.keys("C-c")
        check(wait_for(lambda: "EXITCODE=" in terminal.pane(), 30), "Ctrl+C at the prompt ends the program:\n" + terminal.pane())
        check("EXITCODE=1" in terminal.pane(), "with exit value 1, as every run that wrote nothing:\n" + terminal.pane())
        check("Please wait" not in terminal.pane() and documents() == [], "nothing is left: %r" % documents())
    finally:
        terminal.close()

    terminal = Terminal(runner, kind, 200)
    try:
        terminal.answer("Interrupted", "Walk of a big tree")
        check(wait_for(lambda: terminal.progress() is not None and terminal.progress()[1][0] > 1000, 90),
              "the walk is under way:\n" + terminal.pane())
        terminal.keys("C-c")
        check(wait_for(lambda: INTERRUPTED in terminal.pane(), 30), "the interruption is reported:\n" + terminal.pane())
        lines = [line.rstrip() for line in terminal.lines() if line.strip()]
        at = next((i for i, line in enumerate(lines) if line.startswith(INTERRUPTED)), len(lines))
        last = lines[at] if at < len(lines) else ""
        check(last.endswith(".json"), "a line names the document: %r" % last)
        # The cause may wrap over the terminal's rows.
        cause = "".join(lines[at + 1:])
        check(cause.startswith("Cause: the run was interrupted (Ctrl+C, Ctrl+Break or a close of the console) "
                               "while listing Z:\\"), "the cause follows it: %r" % cause)
        check(lines[at - 1:at] == ["Please wait while the allowlist is being created..."],
              "no progress line is left above it:\n" + terminal.pane())
        written = documents()
        check(len(written) == 1 and last.endswith("\\" + written[0]), "the named document is there: %r" % written)
        if written:
            with open(os.path.join(runner.workdir, written[0]), "rb") as f:
                data = f.read()
            try:
                document = Document(last[len(INTERRUPTED):], None, data)
            except ValueError as error:
                check(False, "the document parses as JSON: %s" % error)
                document = None
            if document is not None:
                check_interrupted_document(document, tree)
        # The program still waits for a key, as after every failure; the key
        # Ctrl+C itself may already have been taken as that key.
        if not wait_for(lambda: "EXITCODE=" in terminal.pane(), 2):
            terminal.keys("q")
        check(wait_for(lambda: "EXITCODE=1" in terminal.pane(), 30), "exits with 1:\n" + terminal.pane())
    finally:
        terminal.close()


def check_interrupted_document(document, tree):
    summary = document.json["inventory"]["discoverysummary"]
    files = document.files()
    check(summary["status"] == "failed", "status failed: %r" % summary["status"])
    check("publishers" not in document.json["inventory"], "the walk did not reach the publishers")
    directories = [e for e in files if e["ftype"] == "directory"]
    applications = [e for e in files if e["ftype"] == "application"]
    check(0 < len(files) < 110000, "stopped in the middle: %d entries" % len(files))
    check(summary["supportedfilecnt"] == summary["allowedfilecnt"] == len(applications),
          "executables counted as recorded: %r, %d entries" % (summary, len(applications)))
    check(summary["filecnt"] >= summary["supportedfilecnt"], "files include the executables")
    # Breadth-first: directories are listed in the order they were recorded,
    # each adding its "." and "..". The last entry's directory is being listed,
    # all before it are done. Those after it that hold nothing the walk
    # records leave only their dots: the walk may have passed them all (with
    # workers it stops while awaiting a later entry's facts), and begun the next.
    order = [e["id"] for e in directories]
    listing = order.index(files[-1]["pid"]) if files[-1]["pid"] in order else 0

    def records_nothing(entry):
        # The tree's Windows path is Z: and its Linux path.
        inside = (entry["fpath"] + entry["fname"])[len(tree) + 1:]
        folder = os.path.join(tree[2:].replace("\\", "/"), *inside.split("\\"))
        return not any(name.lower().endswith(".exe") or os.path.isdir(os.path.join(folder, name))
                       for name in os.listdir(folder))

    passed = 0
    while listing + 1 + passed < len(directories) and records_nothing(directories[listing + 1 + passed]):
        passed += 1
    low, high = len(directories) + 2 * listing, len(directories) + 2 * (listing + 2 + passed)
    check(low <= summary["dircnt"] <= high, "directories counted as recorded: %d, expected %d to %d"
          % (summary["dircnt"], low, high))
    ids = [e["id"] for e in files]
    check(ids == sorted(ids) and len(set(ids)) == len(ids), "ids rise without repeats")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--tool")
    parser.add_argument("--readme")
    parser.add_argument("--prefixes", required=True)
    parser.add_argument("--fixtures")
    parser.add_argument("--source")
    parser.add_argument("--exe32", help="the 32-bit program, for comparing it with --exe")
    parser.add_argument("case")
    args = parser.parse_args()
    runner = Runner(args.exe, args.tool, args.prefixes, args.fixtures)
    try:
        kind, _, detail = args.case.partition(":")
        cases = {
            "accepted": lambda: case_accepted(runner, detail),
            "refused": lambda: case_refused(runner, detail),
            "check": lambda: case_check(runner, detail),
            "config": lambda: case_config(runner, detail),
            "readme-example": lambda: case_example(runner, args.readme),
            "worked-example": lambda: case_worked_example(runner, detail, args.source),
            "system-drive": lambda: case_system_drive(runner, detail),
            "same-minute": lambda: case_same_minute(runner, detail),
            "long-path": lambda: case_long_path(runner, detail),
            "same-document": lambda: case_same_document(runner, detail, args.exe32),
            "trailing-backslash": lambda: case_trailing_backslash(runner, detail),
            "empty-allowed-dir": lambda: case_empty_allowed_dir(runner, detail),
            "full-disk": lambda: case_full_disk(runner, detail),
            "second-instance": lambda: case_second_instance(runner),
            "terminal": lambda: case_terminal(runner),
            "progress": lambda: case_progress(runner, detail, args.source),
            "interrupt": lambda: case_interrupt(runner, detail, args.source),
            "unreadable": lambda: case_unreadable(runner, detail),
        }
        if kind in cases:
            cases[kind]()
        else:
            check(False, "known case " + args.case)
    finally:
        runner.close()
    print("%s: %s" % (args.case, "failed" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
