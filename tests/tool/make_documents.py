#!/usr/bin/env python3
"""Allowlist documents in the creator's byte layout, for baselinedoc's tests
and benchmark: a large tree of directories and executables, with options for
hostile names and for the changes a diff must find.

    make_documents.py --entries 100000 --out big.json [--variant changed]

As a module: `document(...)` returns the bytes."""

import argparse
import json
import sys

BUILT_IN = ["Morvane Technologies (Pvt) Ltd.", "Morvane Technologies Private Limited",
            "Morvane Technologies Limited", "Morvane Technologies (P) Ltd.", "Pellworth, LLC"]


def text(value):
    """A JSON string as the creator writes it: raw UTF-8, upper-case \\u escapes."""
    out = ['"']
    for ch in value:
        code = ord(ch)
        if ch == '"':
            out.append('\\"')
        elif ch == "\\":
            out.append("\\\\")
        elif ch in "\b\f\n\r\t":
            out.append({"\b": "\\b", "\f": "\\f", "\n": "\\n", "\r": "\\r", "\t": "\\t"}[ch])
        elif code < 0x20:
            out.append("\\u%04X" % code)
        else:
            out.append(ch)
    out.append('"')
    return "".join(out)


def value(v, depth):
    if isinstance(v, bool):
        return "true" if v else "false"
    if isinstance(v, int):
        return str(v)
    if isinstance(v, str):
        return text(v)
    if isinstance(v, list):
        pad = "\t" * depth
        items = []
        for item in v:
            items.append("\t" * (depth + 1) + block(item, depth + 1))
        return "\n" + pad + "[\n" + ",\n".join(items) + "\n" + pad + "]"
    raise TypeError(v)


def block(obj, depth=0):
    pad = "\t" * (depth + 1)
    members = []
    for key in sorted(obj):
        members.append(pad + text(key) + " : " + value(obj[key], depth + 1))
    return "{\n" + ",\n".join(members) + "\n" + "\t" * depth + "}"


def assemble(header, files, publishers, directories, misc, summary):
    parts = ['{"inventoryinfo" :', block(header), ',"inventory" : {"files" : [',
             ",".join(block(f) for f in files), '],"publishers" : [',
             ",".join(block(p) for p in publishers), '],"directories" : [',
             ",".join(block(d) for d in directories), '],"misc" : ', block(misc),
             ',"discoverysummary" : ', block(summary), "}}"]
    return "".join(parts).replace("\n", "\r\n").encode("utf-8")


def header(title="Reference", cdate=1765186425):
    return {"buildnumber": 19045, "cdate": cdate, "desc": "Reference image", "hostname": "PC-0001",
            "os": "Windows", "osdrive": "C:", "osdrivevar": "%SYSTEMDRIVE%", "osid": 50042,
            "osname": "Windows 10 64 bit", "osver": "10.0", "platform": "64-bit", "suite": 256, "title": title}


def directory_entry(ident, parent, path, name, allowed=1, mutable=False):
    return {"allowstate": allowed, "attr": 16, "default": True, "fname": name, "fpath": path,
            "ftype": "directory", "id": ident, "mtime": 1763626500, "mutable": mutable, "osdrive": 1,
            "pid": parent}


def executable_entry(ident, parent, path, name, publisher=None, version="1.0.0.0", mtime=1710410400,
                     mutable=False, serial="0a1b2c3d"):
    entry = {"allowstate": 1, "attr": 32, "default": True, "fname": name, "fpath": path,
             "ftype": "application", "id": ident, "mtime": mtime, "mutable": mutable, "osdrive": 1,
             "pid": parent}
    if publisher is not None:
        entry.update({"serialno": serial, "issuer": publisher + " CA", "pubname": publisher})
    if version is not None:
        entry.update({"cname": publisher or "", "fver": version, "ifname": name[:-4], "ofname": name,
                      "prodname": "Product " + name[:-4], "prodver": version})
    return entry


def tree(entries, hostile=False):
    """Directories of 20 executables each under one root, 1 in 10 unsigned,
    publishers taken in turn from a small set."""
    files = [directory_entry(0, -1, "C:\\", "Apps", allowed=0)]
    publishers = ["Example Software Ltd", "Northwind Tools", "Contoso Utilities", "Fabrikam Signing"]
    ident = 1
    directory = None
    while len(files) < entries:
        if directory is None or (ident % 21) == 0:
            name = "App%05d" % ident
            files.append(directory_entry(ident, 0, "C:\\Apps\\", name, mutable=(ident % 7 == 0)))
            directory = (ident, "C:\\Apps\\" + name + "\\")
        else:
            signed = ident % 10 != 3
            publisher = publishers[ident % len(publishers)] if signed else None
            files.append(executable_entry(ident, directory[0], directory[1], "tool%06d.exe" % ident,
                                          publisher=publisher, mutable=(ident % 13 == 0)))
        ident += 1
    if hostile:
        hostile_dir = ident
        files.append(directory_entry(ident, 0, "C:\\Apps\\", "<script>window.__hostile=1</script>"))
        ident += 1
        for name in HOSTILE_NAMES:
            files.append(executable_entry(ident, hostile_dir, "C:\\Apps\\<script>window.__hostile=1</script>\\",
                                          name, publisher="<b>Evil & Co</b>"))
            ident += 1
    return files, publishers


HOSTILE_NAMES = ["<img src=x onerror=alert(1)>.exe", "</script><script>window.__hostile=2</script>.exe",
                 "quote\"back\\slash\ttab.exe", "line\u2028sep\u2029.exe", "ctl\u001f\u0001.exe",
                 "Ünïcödé 名前.exe", "&amp;&lt;.exe"]


def document(entries=1000, title="Reference", cdate=1765186425, hostile=False, variant=None, extra=()):
    """`extra`: executables added in a folder of their own, each a dict of
    keys that replace those of an ordinary signed entry."""
    files, names = tree(entries, hostile)
    if extra:
        folder = files[-1]["id"] + 1
        files.append(directory_entry(folder, 0, "C:\\Apps\\", "Extra"))
        for n, keys in enumerate(extra):
            entry = executable_entry(folder + 1 + n, folder, "C:\\Apps\\Extra\\", "extra%d.exe" % n,
                                     publisher="Example Software Ltd")
            entry.update(keys)
            files.append(entry)
    seen = []
    for f in files:
        if "pubname" in f and f["pubname"] not in seen:
            seen.append(f["pubname"])
    publishers = []
    for name in seen:
        publishers.append({"allowstate": 1, "certinfo": [{"issuer": name + " CA", "serialno": "0a1b2c3d"}],
                           "mutable": False, "pubname": name, "type": 1})
    for name in BUILT_IN:
        publishers.append({"allowstate": 0, "mutable": False, "pubname": name, "type": 0})
    directories = [{"allowstate": 1, "default": True, "dirpath": "%WINDIR%", "mutable": False,
                    "strictpub": False, "type": 1},
                   {"allowstate": 1, "default": True, "dirpath": "%SYSTEMDRIVE%\\Tools", "mutable": True,
                    "strictpub": True, "type": 1}]
    start, end = "Mon Dec  8 09:33:45 2025", "Mon Dec  8 09:41:02 2025"
    if variant == "changed":
        cdate += 86400
        start, end = "Tue Dec  9 09:33:45 2025", "Tue Dec  9 09:41:02 2025"
        change(files, publishers, directories)
    apps = sum(1 for f in files if f["ftype"] == "application")
    dirs = sum(1 for f in files if f["ftype"] == "directory")
    summary = {"alloweddircnt": len(directories), "allowedfilecnt": apps, "allowedpubcnt": len(seen),
               "dircnt": dirs + 2, "endtime": end, "filecnt": apps + 5, "starttime": start,
               "status": "succeed", "supportedfilecnt": apps}
    return assemble(header(title, cdate), files, publishers, directories, {"globalstrictpub": False}, summary)


def change(files, publishers, directories):
    """One change of every kind the diff reports, at known places."""
    apps = [f for f in files if f["ftype"] == "application"]
    dirs = [f for f in files if f["ftype"] == "directory" and f["pid"] != -1]
    apps[0]["pubname"] = "Replacement Signer"        # signer changed
    apps[0]["issuer"] = "Replacement Signer CA"
    apps[1]["fver"] = "9.9.9.9"                      # version changed
    apps[2]["mtime"] += 3600                         # modification time changed
    apps[3]["fname"] = apps[3]["fname"].upper()      # only the letter case: the same file
    files.remove(apps[4])                            # executable removed
    last = files[-1]
    files.append(executable_entry(last["id"] + 1, dirs[0]["id"], dirs[0]["fpath"] + dirs[0]["fname"] + "\\",
                                  "added.exe", publisher="Example Software Ltd"))   # executable added
    dirs[1]["mutable"] = not dirs[1]["mutable"]      # directory state changed
    dirs[2]["allowstate"] = 0
    files.append(directory_entry(last["id"] + 2, 0, "C:\\Apps\\", "NewDir"))         # directory added
    publishers.insert(0, {"allowstate": 1, "certinfo": [{"issuer": "Replacement Signer CA",
                                                         "serialno": "0a1b2c3d"}],
                          "mutable": False, "pubname": "Replacement Signer", "type": 1})  # publisher added
    for p in publishers:
        if p["pubname"] == "Northwind Tools":
            p["certinfo"].append({"issuer": "Northwind Tools CA 2", "serialno": "ffee"})  # certificate added
    publishers[:] = [p for p in publishers if p["pubname"] != "Pellworth, LLC"]       # publisher removed
    directories[1]["mutable"] = False                 # allowed directory's state changed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--entries", type=int, default=1000)
    parser.add_argument("--out", required=True)
    parser.add_argument("--variant", choices=["changed"])
    parser.add_argument("--hostile", action="store_true")
    args = parser.parse_args()
    with open(args.out, "wb") as f:
        f.write(document(args.entries, hostile=args.hostile, variant=args.variant))


if __name__ == "__main__":
    main()
