#!/usr/bin/env python3
"""The parts of scripts/package that decide the zip's bytes, on their own:
the zip writer (order, times, attributes, whatever the time zone), the guide
taken from README.md, the version read from its header and the commit date.
    package_test.py SOURCE_DIR"""

import datetime
import importlib.machinery
import importlib.util
import io
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

source = os.path.abspath(sys.argv[1])
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

# The guide: the wanted sections with their subsections, nothing else, no
# maintainers' lines, Markdown made plain, CR LF.
readme = "\n".join([
    "# Product", "intro", "## On a fresh Debian 12 machine", "./scripts/test", "### Hosts", "hosts",
    "## On Windows", "Copy it.", "```", "baseline.exe", "```", "### Where to run it from", "from here",
    "<!-- maintainers -->", "./bench/run-x figures", "<!-- /maintainers -->", "after figures",
    "## Layout", "folders", "## For administrators: writing a configuration", "write JSON", ""])
lines = package.plain_text(package.readme_sections(readme, package.GUIDE_SECTIONS))
check(lines == ["On Windows", "==========", "Copy it.", "    baseline.exe", "Where to run it from",
                "--------------------", "from here", "after figures",
                "For administrators: writing a configuration", "=" * 43, "write JSON"],
      "the guide's sections as plain text: %r" % lines)
guide = package.guide_text("8.2", epoch, readme)
check(guide.count(b"\n") == guide.count(b"\r\n") and guide.endswith(b"write JSON\r\n"), "CR LF line ends")
check(b"Release of 2025-12-09." in guide and guide.startswith(b"Varnel Allowlist Creator 8.2"),
      "the guide's version and the commit's date")
check(b"./scripts" not in guide and b"./bench" not in guide and b"Layout" not in guide,
      "nothing for maintainers in the guide")
check(package.guide_text("8.2", epoch, readme + "## On Windows\ncaf\u00e9\n").startswith(b"\xef\xbb\xbf"),
      "a guide with text beyond ASCII starts with a UTF-8 byte order mark")
# The real README gives a guide with every administrators' part.
real = package.guide_text("8.2", epoch, open(os.path.join(source, "README.md"), encoding="utf-8").read())
for heading in package.GUIDE_SECTIONS + ("Where to run it from, and what it loads", "Interrupting a run"):
    check(("\r\n%s\r\n" % heading).encode() in real, "the README's guide has %r" % heading)
check(b"run-baselinedoc" not in real, "the README's maintainers' figures are left out")

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
