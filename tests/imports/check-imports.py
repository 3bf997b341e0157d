#!/usr/bin/env python3
"""Every program of a Windows build imports KnownDLLs only:

    check-imports.py --objdump OBJDUMP --programs DIR --require NAME...
    check-imports.py --objdump OBJDUMP --self-test PROGRAM --expect-refused DLL...

The programs run elevated from folders others may write to. Windows looks for
a DLL that is not a KnownDLL in the program's own folder first, so a static
import of one (version.dll, crypt32.dll) runs whatever was planted there
before the program's first line. Such DLLs are loaded at run time from the
system directory instead. The import table is read with the cross
toolchain's objdump -p; every *.exe in DIR is checked, and each NAME must be
among them. --self-test proves that the check refuses PROGRAM, which imports
exactly the DLLs given."""

import argparse
import os
import re
import subprocess
import sys

# KnownDLLs on Windows 7, 10 and 11 alike (HKLM\SYSTEM\CurrentControlSet\
# Control\Session Manager\KnownDLLs; ntdll.dll is always loaded from the system
# directory). Adding a name here needs a reason: it must be a KnownDLL on
# every supported system.
KNOWN_DLLS = {
    "advapi32.dll",
    "comdlg32.dll",
    "gdi32.dll",
    "imagehlp.dll",
    "kernel32.dll",
    "msvcrt.dll",
    "ntdll.dll",
    "ole32.dll",
    "oleaut32.dll",
    "psapi.dll",
    "shell32.dll",
    "shlwapi.dll",
    "user32.dll",
    "ws2_32.dll",
}

DLL_NAME = re.compile(r"^\s*DLL Name: (\S+)\s*$", re.M)


def imports(objdump, program):
    """The DLL names of `program`'s import table, as written there."""
    done = subprocess.run([objdump, "-p", program], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if done.returncode != 0:
        raise RuntimeError("%s -p %s: %s" % (objdump, program, done.stderr.decode(errors="replace")))
    text = done.stdout.decode(errors="replace")
    if "The Import Tables" not in text and "DLL Name" not in text:
        raise RuntimeError("%s: no import table found by %s" % (program, objdump))
    return DLL_NAME.findall(text)


def refused(names):
    return sorted(name for name in names if name.lower() not in KNOWN_DLLS)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--programs")
    parser.add_argument("--require", nargs="*", default=[])
    parser.add_argument("--self-test")
    parser.add_argument("--expect-refused", nargs="*", default=[])
    args = parser.parse_args()

    if args.self_test:
        names = imports(args.objdump, args.self_test)
        got = refused(names)
        print("%s imports %s; refused: %s" % (os.path.basename(args.self_test), ", ".join(names), ", ".join(got)))
        want = sorted(args.expect_refused)
        if not want or got != want:
            print("FAIL: the check should refuse exactly %s" % ", ".join(want))
            return 1
        return 0

    programs = sorted(f for f in os.listdir(args.programs) if f.lower().endswith(".exe"))
    failed = False
    for required in args.require:
        if required not in programs:
            print("FAIL: %s is not in %s" % (required, args.programs))
            failed = True
    for program in programs:
        names = imports(args.objdump, os.path.join(args.programs, program))
        bad = refused(names)
        print("%s: %s" % (program, ", ".join(names)))
        if not names:
            print("FAIL: %s has no imports at all; is this the table?" % program)
            failed = True
        if bad:
            print("FAIL: %s imports %s, not KnownDLLs" % (program, ", ".join(bad)))
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
