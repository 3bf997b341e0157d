#!/usr/bin/env python3
"""No DLL planted beside the programs runs inside them:

    planted_dlls.py --exe baseline.exe --conf baselineconf.exe --planted DIR
                    --control imports_version.exe --prefix PREFIX --fixtures DIR

DIR holds a version.dll and a crypt32.dll that leave a marker file beside
themselves when loaded. Both are put beside the creator and the configuration
tool, Wine is told to prefer such native copies to its own (as Windows would
take them from the program's folder), and both programs run for real: the tool
encodes, checks and decodes a configuration, the creator walks a folder with a
signed, versioned program. No marker may appear, and the signer and version
strings must be read as usual. A control first shows that the marker works
here: a program that imports version.dll, run beside the same DLLs, leaves it."""

import argparse
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile

WINE_FOR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine", "wine-for")
PLANTED = ("version.dll", "crypt32.dll")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what)


def shown(data):
    """Bytes from a program or a marker, printable: controls and non-ASCII escaped."""
    return data.decode("utf-8", errors="replace").encode("ascii", "backslashreplace").decode("ascii")


class Folder:
    """A folder of programs with the planted DLLs beside them."""

    def __init__(self, root, name, planted, programs):
        self.path = os.path.join(root, name)
        os.makedirs(self.path)
        for dll in PLANTED:
            shutil.copy(os.path.join(planted, dll), os.path.join(self.path, dll))
        for program in programs:
            shutil.copy(program, os.path.join(self.path, os.path.basename(program)))

    def markers(self):
        return sorted(glob.glob(os.path.join(self.path, "*.loaded")))

    def marker_text(self):
        return "; ".join("%s: %s" % (os.path.basename(m), shown(open(m, "rb").read().decode("utf-16-le").encode()))
                         for m in self.markers())


class Runner:
    def __init__(self, prefix):
        self.prefix = os.path.abspath(prefix)
        self.env = dict(os.environ)
        # The prefix's own overrides stay; version and crypt32 are taken from
        # a native file first, as Windows takes a DLL from the program's folder.
        kept = os.environ.get("WINEDLLOVERRIDES") or "mscoree,mshtml="
        self.env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all", LANG="C.UTF-8",
                        WINEDLLOVERRIDES=kept + ";version,crypt32=n,b")

    def run(self, folder, program, args=(), stdin=b""):
        local = os.path.join(folder.path, os.path.basename(program))
        loader = subprocess.run([WINE_FOR, self.prefix, local], stdout=subprocess.PIPE,
                                check=True).stdout.decode().strip()
        done = subprocess.run([loader, local] + list(args), input=stdin, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, cwd=folder.path, env=self.env, timeout=180)
        return done.returncode, done.stdout, done.stderr


def main():
    parser = argparse.ArgumentParser()
    for name in ("--exe", "--conf", "--planted", "--control", "--prefix", "--fixtures"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    runner = Runner(args.prefix)
    work = tempfile.mkdtemp(prefix="baseline-planted-")
    tree = os.path.join(runner.prefix, "drive_c", "PlantedDll")
    try:
        control = Folder(work, "control", args.planted, [args.control])
        rc, out, err = runner.run(control, args.control)
        check(len(control.markers()) == 1 and "version.dll.loaded" in control.marker_text().lower(),
              "control: a program importing version.dll loads the planted copy (rc %d, markers %r)"
              % (rc, control.marker_text()))

        shutil.rmtree(tree, ignore_errors=True)
        os.makedirs(tree)
        shutil.copy(os.path.join(args.fixtures, "signed.exe"), os.path.join(tree, "tool.exe"))
        programs = Folder(work, "programs", args.planted, [args.exe, args.conf])
        with open(os.path.join(programs.path, "config.json"), "w") as f:
            json.dump({"paths_to_discover": ["C:\\PlantedDll"],
                       "allowed_directories": [{"allowed_dir": "%SystemDrive%\\PlantedDll", "mutable": True,
                                                "strict_pub": True}]}, f)
        conf = os.path.basename(args.conf)
        for command in (["encode", "config.json", "-o", "baselineconf.dat", "--force"],
                        ["check", "baselineconf.dat"], ["decode", "baselineconf.dat"]):
            rc, out, err = runner.run(programs, conf, command)
            check(rc == 0, "baselineconf %s: exit %d, %s" % (command[0], rc, shown(err)))
        check(b"PlantedDll" in out, "decode gives the configuration back: %s" % shown(out))

        rc, out, err = runner.run(programs, os.path.basename(args.exe), stdin=b"Planted\nPlanted DLL check\n")
        check(rc == 0, "baseline.exe: exit %d, %s" % (rc, shown(out)))
        documents = glob.glob(os.path.join(programs.path, "Planted_allowlist_*.json"))
        check(len(documents) == 1, "one document beside the program: %r" % documents)
        if len(documents) == 1:
            with open(documents[0], "rb") as f:
                document = json.loads(f.read().decode("utf-8"))
            entries = [e for e in document["inventory"]["files"] if e["fname"].lower() == "tool.exe"]
            check(len(entries) == 1, "one entry for tool.exe")
            if entries:
                entry = entries[0]
                for key, want in (("pubname", "Fixture Software Ltd"), ("issuer", "Fixture Code Signing CA"),
                                  ("cname", "Example Software Ltd"), ("fver", "2.4.1.0"),
                                  ("prodname", "Example Tool"), ("ofname", "tool.exe")):
                    check(entry.get(key) == want, "tool.exe %s: %r, expected %r" % (key, entry.get(key), want))
        check(programs.markers() == [], "no planted DLL loaded: %s" % programs.marker_text())
    finally:
        shutil.rmtree(tree, ignore_errors=True)
        shutil.rmtree(work, ignore_errors=True)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
