#!/usr/bin/env python3
"""The release an administrator downloads, made by scripts/package:

    release.py reproducible --source DIR --objdump32 OBJDUMP --objdump64 OBJDUMP
        two fresh clones of the commit, in two folders, built and packaged one
        after the other, give the same zip, byte for byte; that zip holds what
        it must. Skipped (exit 77) where DIR is no checkout of its own.
    release.py signed --source DIR --out DIR --objdump32 OBJDUMP --objdump64 OBJDUMP
        packages this source tree signed with a certificate authority made
        now (dated by SOURCE_DATE_EPOCH, else the commit, else, in a tree
        without one, its scripts/package's time), unpacks it into
        DIR/release and checks every program's signature against that
        authority (and not against another).
    release.py creator --release DIR --arch x86|x64 --prefix PREFIX
        runs the unpacked release's creator as unzipped, from its folder with
        the shipped baselineconf.dat (the defaults: the system drive), then
        over the unpacked release: every program's version strings and its
        publisher are in the document.

Each mode exits 0 when every check holds and 1 otherwise, naming each failure."""

import argparse
import glob
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAMS = ("baseline.exe", "baselineconf.exe", "baselinedoc.exe")
FOLDERS = ("x86", "x64")
GUIDE = "ADMINISTRATORS-GUIDE.txt"
ZIP = "varnel-allowlist-8.2-windows.zip"
CONFIGURATION = "baselineconf.dat"
MEMBERS = sorted([GUIDE] + ["%s/%s" % (f, p) for f in FOLDERS for p in PROGRAMS + (CONFIGURATION,)]) + ["SHA256SUMS"]
# What the shipped configuration, {}, makes of a run: the system drive as the
# only root, and the built-in allowed directories.
DEFAULT_ALLOWED = {"%TEMP%", "%WINDIR%", "%SYSTEMDRIVE%\\Documents and Settings", "%SYSTEMDRIVE%\\Recovery",
                   "%SYSTEMDRIVE%\\System Volume Information"}
# A reason on the first line and exit 77, which CTest counts as skipped.
SKIPPED = 77
PUBLISHER = "Varnel Release Test"
AUTHORITY = "Varnel Release Test CA"
DESCRIPTIONS = {
    "baseline.exe": "Varnel Allowlist Creator: discovers installed applications and writes an allowlist",
    "baselineconf.exe": "Varnel Allowlist Creator configuration tool: writes and checks baselineconf.dat",
    "baselinedoc.exe": "Varnel Allowlist Creator document tool: checks, summarises, compares and renders allowlists",
}
COPYRIGHT = "Copyright (c) 2026 Varnel. All rights reserved."

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what)
    return condition


def run(command, **kwargs):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kwargs)


def package(source, env=None, extra=(), dist=None):
    """Runs scripts/package in `source`, into `dist` (its dist/ unless
    given); the zip's bytes, or None."""
    arguments = list(extra) + (["--dist", dist] if dist else [])
    dist = dist or os.path.join(source, "dist")
    started = time.monotonic()
    done = run([os.path.join(source, "scripts", "package")] + arguments, cwd=source, env=env)
    print("packaged in %s in %.0f s" % (source, time.monotonic() - started))
    if not check(done.returncode == 0, "scripts/package in %s: exit %d\n%s" % (source, done.returncode,
                                                                            done.stdout[-4000:])):
        return None
    check(os.listdir(dist) == [ZIP], "exactly one file in dist/: %r" % os.listdir(dist))
    with open(os.path.join(dist, ZIP), "rb") as f:
        return f.read()


def version_resource_value(data, key):
    """A string of the version resource: after its VS_VERSION_INFO (the same
    names are in the creator's code, which reads them), the UTF-16 key, its
    NUL, padding to four bytes, then the value up to its NUL."""
    start = data.find("VS_VERSION_INFO\0".encode("utf-16-le"))
    if start < 0:
        return None
    marker = (key + "\0").encode("utf-16-le")
    at = data.find(marker, start)
    if at < 0:
        return None
    at += len(marker)
    while at % 4:
        at += 1
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def check_program(path, objdump, what):
    """Optimised, stripped, no link time, system DLLs only, its version resource."""
    with open(path, "rb") as f:
        data = f.read()
    headers = run([objdump, "-p", "-h", "-t", path]).stdout
    check(re.search(r"^Time/Date\s+Thu Jan  1 00:00:00 1970$", headers, re.M) is not None,
          "%s: no link time in the PE header" % what)
    check(".debug" not in headers and "SizeOfImage" in headers, "%s: no debug sections" % what)
    check(re.search(r"^SYMBOL TABLE:\nno symbols$", headers, re.M) is not None, "%s: no symbol table" % what)
    dlls = sorted(name.lower() for name in re.findall(r"DLL Name: (\S+)", headers))
    check(set(dlls) <= {"kernel32.dll", "advapi32.dll", "msvcrt.dll"} and "kernel32.dll" in dlls,
          "%s: imports system DLLs only, got %r" % (what, dlls))
    name = os.path.basename(path)
    expected = {
        "CompanyName": "Varnel", "FileDescription": DESCRIPTIONS[name], "FileVersion": "8.2.0.0",
        "InternalName": name[:-4], "LegalCopyright": COPYRIGHT, "OriginalFilename": name,
        "ProductName": "Varnel Allowlist Creator", "ProductVersion": "8.2",
    }
    for key, value in expected.items():
        got = version_resource_value(data, key)
        check(got == value, "%s: version resource %s is %r, not %r" % (what, key, got, value))
    for folder in ("/work/", "/tmp/", "/build/"):
        check(folder.encode() not in data, "%s: no folder name %s compiled in" % (what, folder))


def check_zip(data, objdump32, objdump64, work):
    """The zip's members, their times and order, SHA256SUMS, and every program."""
    path = os.path.join(work, ZIP)
    with open(path, "wb") as f:
        f.write(data)
    with zipfile.ZipFile(path) as archive:
        infos = archive.infolist()
        check([i.filename for i in infos] == MEMBERS, "the zip's members in order: %r" %
              [i.filename for i in infos])
        check(len({i.date_time for i in infos}) == 1, "every member has one time, the commit's")
        unpacked = os.path.join(work, "unpacked")
        archive.extractall(unpacked)
    done = run(["sha256sum", "-c", "--strict", "SHA256SUMS"], cwd=unpacked)
    check(done.returncode == 0 and done.stdout.count(": OK") == len(MEMBERS) - 1,
          "sha256sum -c SHA256SUMS checks every other file:\n" + done.stdout)
    with open(os.path.join(unpacked, GUIDE), "rb") as f:
        guide = f.read()
    check(guide.count(b"\n") == guide.count(b"\r\n") and guide.startswith(b"Varnel Allowlist Creator 8.2"),
          "the guide is text with CR LF line ends, no byte order mark")
    for heading in (b"4. QUICK START", b"6. THE CONFIGURATION FILE, BASELINECONF.DAT", b"certutil -hashfile"):
        check(heading in guide, "the guide holds %r" % heading)
    with open(os.path.join(unpacked, "x86", CONFIGURATION), "rb") as a, \
            open(os.path.join(unpacked, "x64", CONFIGURATION), "rb") as b:
        check(a.read() == b.read(), "one default configuration in both folders")
    for folder, objdump in zip(FOLDERS, (objdump32, objdump64)):
        for program in PROGRAMS:
            check_program(os.path.join(unpacked, folder, program), objdump, folder + "/" + program)
    return unpacked


def fresh_clone(source, commit, where):
    """A copy of `commit` as anyone would get it, with the source caches of
    JsonCpp and libxlsxwriter, which scripts/setup would fetch."""
    run(["git", "clone", "--quiet", "--no-checkout", source, where], check=True)
    run(["git", "-C", where, "checkout", "--quiet", commit], check=True)
    for cached in ("jsoncpp", "libxlsxwriter"):
        shutil.copytree(os.path.join(source, ".cache", cached), os.path.join(where, ".cache", cached))


def commit_of(source):
    """The commit checked out in `source`, or None where it is no checkout of
    its own (a tree from git archive)."""
    top = run(["git", "-C", source, "rev-parse", "--show-toplevel"])
    if top.returncode != 0 or os.path.realpath(top.stdout.strip()) != os.path.realpath(source):
        return None
    return run(["git", "-C", source, "rev-parse", "HEAD"], check=True).stdout.strip()


def mode_reproducible(args):
    source = os.path.abspath(args.source)
    commit = commit_of(source)
    if commit is None:
        print("SKIPPED: %s is not a git checkout, and this test builds two clones of its commit" % source)
        return SKIPPED
    work = tempfile.mkdtemp(prefix="varnel-reproducible-")
    try:
        # Folders of different names and depths; the second build starts
        # minutes after the first, under another time zone and umask.
        first = os.path.join(work, "first")
        second = os.path.join(work, "another", "place", "for", "the", "second")
        zips = []
        for where, zone, mask in ((first, "UTC", 0o022), (second, "Pacific/Auckland", 0o077)):
            fresh_clone(source, commit, where)
            env = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
            env["TZ"] = zone
            old = os.umask(mask)
            try:
                zips.append(package(where, env))
            finally:
                os.umask(old)
            if zips[-1] is None:
                return
            print("zip from %s: %d bytes, SHA-256 %s" % (where, len(zips[-1]), hashlib.sha256(zips[-1]).hexdigest()))
        if not check(zips[0] == zips[1], "the two zips are byte for byte the same"):
            with zipfile.ZipFile(os.path.join(first, "dist", ZIP)) as a, \
                    zipfile.ZipFile(os.path.join(second, "dist", ZIP)) as b:
                for name in a.namelist():
                    if name in b.namelist() and a.read(name) != b.read(name):
                        print("  differs: " + name)
        check_zip(zips[0], args.objdump32, args.objdump64, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def make_authority(where, organisation, common_name):
    os.makedirs(where)
    key, cert = os.path.join(where, "ca.key"), os.path.join(where, "ca.pem")
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
         "-days", "30", "-subj", "/O=%s/CN=%s" % (organisation, common_name)], check=True)
    return key, cert


def mode_signed(args):
    source, out = os.path.abspath(args.source), os.path.abspath(args.out)
    shutil.rmtree(out, ignore_errors=True)
    pki = os.path.join(out, "pki")
    ca_key, ca_cert = make_authority(os.path.join(pki, "authority"), "Varnel Release Test Authority", AUTHORITY)
    _, other_cert = make_authority(os.path.join(pki, "other"), "Unrelated Authority", "Unrelated CA")
    with open(os.path.join(pki, "leaf.cnf"), "w") as f:
        f.write("basicConstraints = CA:FALSE\nkeyUsage = critical, digitalSignature\n"
                "extendedKeyUsage = codeSigning\n")
    leaf_key, leaf_csr, leaf_cert = (os.path.join(pki, n) for n in ("leaf.key", "leaf.csr", "leaf.pem"))
    run(["openssl", "req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", leaf_key, "-out", leaf_csr,
         "-subj", "/O=%s/CN=%s" % (PUBLISHER, PUBLISHER)], check=True)
    run(["openssl", "x509", "-req", "-in", leaf_csr, "-CA", ca_cert, "-CAkey", ca_key, "-set_serial", "0x5EED",
         "-days", "30", "-extfile", os.path.join(pki, "leaf.cnf"), "-out", leaf_cert], check=True)
    chain = os.path.join(pki, "chain.pem")
    with open(chain, "w") as f:
        f.write(open(leaf_cert).read() + open(ca_cert).read())

    dist = os.path.join(out, "dist")
    env = None
    if commit_of(source) is None and "SOURCE_DATE_EPOCH" not in os.environ:
        # No commit to date the release by: the packaging's own script, as
        # the tree was unpacked, stands in for it.
        epoch = int(os.stat(os.path.join(source, "scripts", "package")).st_mtime)
        print("no commit in %s: SOURCE_DATE_EPOCH=%d" % (source, epoch))
        env = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch))
    data = package(source, env=env, extra=["--sign-cert", chain, "--sign-key", leaf_key], dist=dist)
    if data is None:
        return
    unpacked = check_zip(data, args.objdump32, args.objdump64, out)
    for folder in FOLDERS:
        for program in PROGRAMS:
            path = os.path.join(unpacked, folder, program)
            done = run(["osslsigncode", "verify", "-CAfile", ca_cert, "-in", path])
            check(done.returncode == 0 and "Signature verification: ok" in done.stdout
                  and "Subject: /O=%s/CN=%s" % (PUBLISHER, PUBLISHER) in done.stdout,
                  "%s/%s: signed by the test publisher, verified against the test authority:\n%s"
                  % (folder, program, done.stdout[-2000:]))
            done = run(["osslsigncode", "verify", "-CAfile", other_cert, "-in", path])
            check(done.returncode != 0, "%s/%s: not verified against an unrelated authority" % (folder, program))
    os.replace(unpacked, os.path.join(out, "release"))


def mode_creator(args):
    release = os.path.abspath(args.release)
    if not check(os.path.isfile(os.path.join(release, "SHA256SUMS")),
                 "no unpacked signed release in %s: run release_signed first" % release):
        return
    # A copy of its own, so that the two programs' runs never meet; the
    # document goes next to the program, outside the tree that is walked.
    work = tempfile.mkdtemp(prefix="varnel-release-%s-" % args.arch)
    try:
        tree = os.path.join(work, "release")
        shutil.copytree(release, tree)
        program_folder = os.path.join(work, "run")
        os.makedirs(program_folder)
        for program in ("baseline.exe", "baselineconf.exe"):
            shutil.copy(os.path.join(tree, args.arch, program), program_folder)
        env = dict(os.environ, WINEPREFIX=args.prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                   LANG="C.UTF-8")
        wine_for = os.path.join(HERE, "..", "wine", "wine-for")

        def windows(program, *arguments, stdin=None, cwd=program_folder):
            loader = run([wine_for, args.prefix, program], check=True).stdout.strip()
            return subprocess.run([loader, program] + list(arguments), input=stdin, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, cwd=cwd, env=env, timeout=300)

        # First as unzipped: the folder's own creator, started there, loads
        # the shipped defaults and writes its document beside itself.
        unzipped = os.path.join(tree, args.arch)
        done = windows(os.path.join(unzipped, "baseline.exe"), stdin=b"Unzipped\nAs shipped\n", cwd=unzipped)
        written = re.search(rb"created successfully at location (.*)\r\n", done.stdout)
        documents = glob.glob(os.path.join(unzipped, "Unzipped_allowlist_*.json"))
        if check(done.returncode == 0 and written is not None and len(documents) == 1,
                 "the unzipped %s\\baseline.exe runs with its baselineconf.dat: exit %d, %r, %r"
                 % (args.arch, done.returncode, done.stdout[-1500:], documents)):
            check(written[1].decode().lower() == ("Z:" + documents[0].replace("/", "\\")).lower(),
                  "the document is where the console says: %r" % written[1])
            with open(documents[0], "rb") as f:
                document = json.loads(f.read().decode("utf-8"))
            roots = [(e["fpath"], e["fname"]) for e in document["inventory"]["files"] if e.get("pid") == -1]
            allowed = {d["dirpath"] for d in document["inventory"]["directories"]}
            print("as unzipped: roots %r, %d entries, allowed %r" % (roots, len(document["inventory"]["files"]),
                                                                     sorted(allowed)))
            check(roots == [("", "C:")] and DEFAULT_ALLOWED <= allowed,
                  "the defaults were loaded: the system drive only, the built-in allowed directories")
            os.remove(documents[0])

        root = "Z:" + tree.replace("/", "\\")
        with open(os.path.join(program_folder, "config.json"), "w") as f:
            json.dump({"paths_to_discover": [root]}, f)
        done = windows(os.path.join(program_folder, "baselineconf.exe"), "encode", "config.json",
                       "-o", "baselineconf.dat")
        if not check(done.returncode == 0, "the release's baselineconf encode: %r" % (done.stdout + done.stderr)):
            return
        done = windows(os.path.join(program_folder, "baseline.exe"), stdin=b"Release\nThe unpacked release\n")
        check(done.returncode == 0 and done.stdout.startswith(b"Varnel Allowlist Creator v8.2\r\n"),
              "the release's creator runs: exit %d\n%r" % (done.returncode, done.stdout[-2000:]))
        documents = glob.glob(os.path.join(program_folder, "Release_allowlist_*.json"))
        if not check(len(documents) == 1, "one document next to the program: %r" % documents):
            return
        with open(documents[0], "rb") as f:
            document = json.loads(f.read().decode("utf-8"))
        entries = {(e["fpath"] + e["fname"]).lower(): e for e in document["inventory"]["files"]}
        for folder in FOLDERS:
            for program in PROGRAMS:
                path = (root + "\\" + folder + "\\" + program).lower()
                entry = entries.get(path)
                if not check(entry is not None, "the document lists %s" % path):
                    continue
                expected = {"cname": "Varnel", "fver": "8.2.0.0", "ifname": program[:-4], "ofname": program,
                            "prodname": "Varnel Allowlist Creator", "prodver": "8.2", "pubname": PUBLISHER,
                            "issuer": AUTHORITY}
                got = {key: entry.get(key) for key in expected}
                print("%s\\%s: %s" % (folder, program, json.dumps(got)))
                check(got == expected, "%s\\%s in the document: %r" % (folder, program, got))
        publishers = json.dumps(document["inventory"].get("publishers", document["inventory"]))
        check(PUBLISHER in publishers, "the publisher is in the document's publishers")
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=("reproducible", "signed", "creator"))
    parser.add_argument("--source")
    parser.add_argument("--out")
    parser.add_argument("--objdump32", default="i686-w64-mingw32-objdump")
    parser.add_argument("--objdump64", default="x86_64-w64-mingw32-objdump")
    parser.add_argument("--release")
    parser.add_argument("--arch", choices=FOLDERS)
    parser.add_argument("--prefix")
    args = parser.parse_args()
    # CTest's log shows each step as it ends, not all of them at the end.
    sys.stdout.reconfigure(line_buffering=True)
    if {"reproducible": mode_reproducible, "signed": mode_signed, "creator": mode_creator}[args.mode](args) == SKIPPED:
        return SKIPPED
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
