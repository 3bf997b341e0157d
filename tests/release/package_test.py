#!/usr/bin/env python3
"""The parts of scripts/package that decide the zip's bytes, on their own:
the zip writer (order, times, attributes, whatever the time zone), the
guide's text and the default configuration as the zip holds them, the
version read from its header and the commit date.
    package_test.py SOURCE_DIR BASELINECONF (this tree's Linux tool)"""

import datetime
import hashlib
import importlib.machinery
import importlib.util
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

source = os.path.abspath(sys.argv[1])
baselineconf = os.path.abspath(sys.argv[2])
loader = importlib.machinery.SourceFileLoader("package", os.path.join(source, "scripts", "package"))
spec = importlib.util.spec_from_loader("package", loader)
package = importlib.util.module_from_spec(spec)
loader.exec_module(package)

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what)


work = tempfile.mkdtemp(prefix="package-test-")
members = [("x64/baseline.exe", b"MZ" + bytes(range(256)) * 40), ("A-GUIDE.txt", b"guide\r\n"), ("SHA256SUMS", b"")]
epoch = 1765272600  # 2025-12-09 09:30:00 UTC

# One zip whatever the time zone and the umask of the one who makes it.
zips = []
for zone, mask in (("UTC", 0o022), ("Pacific/Kiritimati", 0o077), ("America/St_Johns", 0o000)):
    os.environ["TZ"] = zone
    time.tzset()
    old = os.umask(mask)
    path = os.path.join(work, "z-%d.zip" % len(zips))
    package.write_zip(path, members, epoch)
    os.umask(old)
    zips.append(open(path, "rb").read())
check(zips[0] == zips[1] == zips[2], "the zip does not depend on the time zone or the umask")
with zipfile.ZipFile(io.BytesIO(zips[0])) as archive:
    infos = archive.infolist()
    check([i.filename for i in infos] == [m[0] for m in members], "members in the order given")
    check(all(i.date_time == (2025, 12, 9, 9, 30, 0) for i in infos), "every member has the commit's time (UTC)")
    check(all(i.create_system == 0 and i.external_attr == 0x20 for i in infos), "fixed attributes, no Unix mode")
    check(all(i.compress_type == zipfile.ZIP_DEFLATED for i in infos), "deflated")
    check([archive.read(m[0]) for m in members] == [m[1] for m in members], "contents kept")
    check(not os.path.exists(os.path.join(work, "z-0.zip.tmp")), "no temporary file left")
# A commit date before 1980 (zip cannot say it) is the earliest zip time.
package.write_zip(os.path.join(work, "old.zip"), members[:1], 0)
with zipfile.ZipFile(os.path.join(work, "old.zip")) as archive:
    check(archive.infolist()[0].date_time == (1980, 1, 1, 0, 0, 0), "1970 becomes 1980-01-01")
# A different commit time gives a different zip: the times are really in it.
package.write_zip(os.path.join(work, "later.zip"), members, epoch + 2)
check(open(os.path.join(work, "later.zip"), "rb").read() != zips[0], "the commit time is in the zip")

# The guide as the zip holds it, in a release of stand-in programs and the
# real defaults that this tree's baselineconf encodes.
template = open(os.path.join(source, package.GUIDE_SOURCE), encoding="utf-8").read()
configuration = package.default_configuration(baselineconf)
programs = [("%s/%s" % (f, p), f.encode() + b"MZ" + p.encode()) for f in ("x64", "x86") for p in package.PROGRAMS]
package.write_zip(os.path.join(work, "release.zip"),
                  package.release_members("8.2", epoch, programs, configuration, template), epoch)
with zipfile.ZipFile(os.path.join(work, "release.zip")) as archive:
    names = archive.namelist()
    guide = archive.read("ADMINISTRATORS-GUIDE.txt")
    sums = archive.read("SHA256SUMS").decode("ascii")
    dats = [archive.read(f + "/baselineconf.dat") if f + "/baselineconf.dat" in names else None
            for f in ("x86", "x64")]
check(names[-1] == "SHA256SUMS" and names[:-1] == sorted(names[:-1]), "members sorted, checksums last: %r" % names)
check(not guide.startswith(b"\xef\xbb\xbf"), "the guide has no byte order mark")
try:
    text = guide.decode("utf-8")
except UnicodeDecodeError as e:
    text = ""
    check(False, "the guide is UTF-8: %s" % e)
check(guide.endswith(b"\r\n") and guide.count(b"\n") == guide.count(b"\r\n") and b"\r\r" not in guide,
      "every line of the guide ends CR LF")
lines = text.split("\r\n")[:-1]
check(all(len(line) <= 100 for line in lines),
      "guide lines of at most 100 characters: %r" % [n + 1 for n, line in enumerate(lines) if len(line) > 100])
check(lines[:4] == ["Varnel Allowlist Creator 8.2: administrators' guide", "=" * 51, "", "Release of 2025-12-09."],
      "the guide's title, underline and the release's date: %r" % lines[:4])
check("@" not in text and "Creator v8.2" in text and "varnel-allowlist-8.2-windows.zip" in text,
      "the version filled in everywhere")
# Windows paths and commands only: nothing of the machine that builds it,
# and no Markdown for Notepad to show raw.
for banned in (r"\bwine\b", r"\blinux\b", r"\bdebian\b", r"build/", r"\bctest\b", r"\.cpp\b", r"\bREADME\b",
               r"\./scripts", r"sha256sum\b", r"`", r"\*\*", r"\|", r"(?m)^\s*#", r"\]\("):
    found = re.search(banned, text, re.I)
    check(found is None, "the guide holds no %r: %r" % (banned, found and text[found.start() - 30:found.end() + 30]))
for needed in ("QUICK START", "SUPPORTED SYSTEMS", "baselineconf.exe encode", "baselineconf.exe check",
               "this is a JSON file; encode it with baselineconf encode", "Ctrl+C", "baselinedoc.exe export",
               "certutil -hashfile", "signtool verify /pa", "Digital Signatures", "please refer user guide/admin guide",
               "x64\\baselineconf.dat"):
    check(needed in text, "the guide tells of %r" % needed)
# Each folder's baselineconf.dat: listed in SHA256SUMS with its digest, and
# the defaults as the creator will load them.
for folder, data in zip(("x86", "x64"), dats):
    check(data == configuration and "%s  %s/baselineconf.dat\n" % (hashlib.sha256(data or b"").hexdigest(), folder)
          in sums, "%s/baselineconf.dat is in the zip and in SHA256SUMS" % folder)
with open(os.path.join(work, "baselineconf.dat"), "wb") as f:
    f.write(configuration)
decoded = subprocess.run([baselineconf, "decode", os.path.join(work, "baselineconf.dat")], stdout=subprocess.PIPE)
checked = subprocess.run([baselineconf, "check", os.path.join(work, "baselineconf.dat")], stdout=subprocess.PIPE)
check(decoded.stdout == b"{}" and checked.returncode == 0 and b"(0 errors, 0 warnings)" in checked.stdout,
      "the shipped configuration is {} and loads: %r %r" % (decoded.stdout, checked.stdout))
check(len(sums.splitlines()) == len(names) - 1, "SHA256SUMS has a line for every other member")
# The guide's example configuration is one that loads.
example = re.search(r"\r\n    \{\r\n.*?\r\n    \}\r\n", text, re.S)
if check(example is not None, "the guide has a worked example"):
    with open(os.path.join(work, "example.json"), "w") as f:
        f.write(example[0])
    checked = subprocess.run([baselineconf, "check", os.path.join(work, "example.json")], stdout=subprocess.PIPE)
    check(checked.returncode == 0 and b"(0 errors, 0 warnings)" in checked.stdout,
          "the guide's worked example loads: %r" % checked.stdout)
# Filled in the same whatever the text's line ends; a name left unfilled
# stops the package.
check(package.guide_text("8.2", epoch, "T @VERSION@\r\n@UNDERLINE@\r\ncaf\u00e9\n") ==
      "T 8.2\r\n=====\r\ncaf\u00e9\r\n".encode(), "the template's fill-in, CR LF, no byte order mark")
try:
    package.guide_text("8.2", epoch, "T\n@VERSOIN@\n")
    check(False, "a misspelt placeholder is refused")
except SystemExit as e:
    check(e.code == 1, "a misspelt placeholder is refused with exit 1")

# The commit dates the release only where the tree is a checkout of its
# own: not a folder inside one (nor a tree unpacked there from git archive).
check(package.commit_time(os.path.join(source, "docs")) is None and package.commit_time(work) is None,
      "no commit time for a folder that is not a checkout's top")
# The version comes from its one header; the date from SOURCE_DATE_EPOCH.
check(package.product_version(source) == "8.2", "version 8.2 from product_version.h")
os.environ["SOURCE_DATE_EPOCH"] = "1700000000"
check(package.source_date_epoch() == 1700000000, "SOURCE_DATE_EPOCH is the release's date")
# Refused before anything is built.
done = subprocess.run([sys.executable, os.path.join(source, "scripts", "package"), "--dist", work],
                      env=dict(os.environ, SOURCE_DATE_EPOCH="yesterday"), stdout=subprocess.PIPE,
                      stderr=subprocess.PIPE, text=True)
check(done.returncode == 1 and "SOURCE_DATE_EPOCH is not a number" in done.stderr,
      "a SOURCE_DATE_EPOCH that is no number is refused: %r" % done.stderr)

shutil.rmtree(work, ignore_errors=True)
if failures:
    print("%d check(s) failed" % len(failures))
    sys.exit(1)
print("all checks passed")
