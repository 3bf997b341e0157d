#!/usr/bin/env python3
"""baselineconf or baselinedoc replacing a file on a full disk (a 64 KiB tmpfs):

    baselineconf_full_disk.py [--baselinedoc] -- COMMAND...

COMMAND starts the tool (for Windows: the program under Wine). baselineconf's
encode --force and decode --force -o, or baselinedoc's report -o --force, must
fail with exit 1 and leave the old file byte for byte as it was, with no
temporary file behind. Mounting needs root; where it is not permitted the
script exits 77, which CTest counts as skipped."""

import hashlib
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_documents  # noqa: E402

SKIPPED = 77
failures = []


def sha(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def fill(folder, leave):
    """Fills the file system of `folder` until at most `leave` bytes are free."""
    stats = os.statvfs(folder)
    free = stats.f_bavail * stats.f_frsize
    path = os.path.join(folder, "filler-%d" % len(os.listdir(folder)))
    try:
        with open(path, "wb", buffering=0) as f:
            if free > leave:
                f.write(b"\0" * (free - leave))
            while leave == 0:
                f.write(b"\0" * 512)
    except OSError:
        pass


def run(command, cwd, *args):
    done = subprocess.run(command + list(args), cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120,
                          env=dict(os.environ, WINEDEBUG="-all", LANG="C.UTF-8"))
    return done.returncode, (done.stdout + done.stderr).decode("utf-8", "replace").replace("\r\n", "\n")


def report_on_full_disk(command, mount):
    with open(os.path.join(mount, "small.json"), "wb") as f:
        f.write(make_documents.document(20))
    rc, out = run(command, mount, "report", "small.json", "-o", "report.html")
    if rc != 0:
        print("FAIL: the first report: %d %s" % (rc, out))
        return 1
    old = sha(os.path.join(mount, "report.html"))
    os.remove(os.path.join(mount, "small.json"))
    # The new report is larger than what is left, its document is not.
    with open(os.path.join(mount, "big.json"), "wb") as f:
        f.write(make_documents.document(60))
    for leave in (8192, 0):
        fill(mount, leave)
        rc, out = run(command, mount, "report", "big.json", "-o", "report.html", "--force")
        print("report --force with %d bytes left: exit %d: %s" % (leave, rc, out.strip().splitlines()[-1] if out.strip() else ""))
        if rc != 1:
            failures.append("report --force on a full disk: exit %d %s" % (rc, out))
        if sha(os.path.join(mount, "report.html")) != old:
            failures.append("the old report changed (free space %d)" % leave)
        leftovers = [n for n in os.listdir(mount) if n.endswith(".tmp")]
        if leftovers:
            failures.append("temporary files left: %s" % leftovers)
    for failure in failures:
        print("FAIL: " + failure)
    print("baselinedoc full disk: %s" % ("failed" if failures else "passed"))
    return 1 if failures else 0


def main():
    if "--" not in sys.argv:
        print(__doc__)
        return 2
    command = [os.path.abspath(c) if os.path.exists(c) else c for c in sys.argv[sys.argv.index("--") + 1:]]
    mount = tempfile.mkdtemp(prefix="baselineconf-full-")
    done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", mount], stderr=subprocess.PIPE)
    if done.returncode != 0:
        os.rmdir(mount)
        print("skipped: a tmpfs cannot be mounted here (%s)" % done.stderr.decode(errors="replace").strip())
        return SKIPPED
    try:
        if "--baselinedoc" in sys.argv[:sys.argv.index("--")]:
            return report_on_full_disk(command, mount)
        small = {"allowed_publishers": ["First Maker"]}
        big = {"allowed_publishers": ["Publisher number %05d" % i for i in range(800)]}
        with open(os.path.join(mount, "small.json"), "w") as f:
            json.dump(small, f)
        with open(os.path.join(mount, "big.json"), "w") as f:
            json.dump(big, f)
        rc, out = run(command, mount, "encode", "small.json", "-o", "baselineconf.dat")
        if rc != 0:
            failures.append("encoding the first file: %d %s" % (rc, out))
            return 1
        rc, out = run(command, mount, "decode", "baselineconf.dat", "-o", "decoded.json")
        old_dat, old_json = sha(os.path.join(mount, "baselineconf.dat")), sha(os.path.join(mount, "decoded.json"))
        big_size = os.path.getsize(os.path.join(mount, "big.json"))
        for leave in (8192, 0):
            fill(mount, leave)
            stats = os.statvfs(mount)
            print("free: %d bytes (the new .dat needs about %d)" % (stats.f_bavail * stats.f_frsize, big_size * 4 // 3))
            rc, out = run(command, mount, "encode", "big.json", "-o", "baselineconf.dat", "--force")
            print("encode --force: exit %d: %s" % (rc, out.strip().splitlines()[-1] if out.strip() else ""))
            if rc != 1:
                failures.append("encode --force on a full disk: exit %d %s" % (rc, out))
            if sha(os.path.join(mount, "baselineconf.dat")) != old_dat:
                failures.append("the old baselineconf.dat changed (free space %d)" % leave)
            rc, out = run(command, mount, "decode", "baselineconf.dat", "-o", "decoded.json", "--force")
            print("decode -o --force over the same text: exit %d: %s" % (rc, out.strip().splitlines()[-1] if out.strip() else ""))
            if sha(os.path.join(mount, "decoded.json")) != old_json:
                failures.append("decoded.json changed (free space %d)" % leave)
            leftovers = [n for n in os.listdir(mount) if n.endswith(".tmp")]
            if leftovers:
                failures.append("temporary files left: %s" % leftovers)
        print("old baselineconf.dat: %s, byte for byte as before: %s" %
              (old_dat[:16], sha(os.path.join(mount, "baselineconf.dat")) == old_dat))
    finally:
        subprocess.run(["umount", mount])
        os.rmdir(mount)
    for failure in failures:
        print("FAIL: " + failure)
    print("baselineconf full disk: %s" % ("failed" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
