#!/usr/bin/env python3
"""baselinedoc export as an administrator uses it, natively or under Wine:

    baselinedoc_export.py [--soffice PATH] -- COMMAND...

A document holding hostile names (formulas, controls, quotes and commas,
a right-to-left override) is exported; the CSV is read back with Python's
csv module, field by field against the document, and converted by
LibreOffice headless to xlsx, whose cells must all be text: no formula.
A control run over the same file without the apostrophes proves that the
conversion would show a formula if one got through."""

import argparse
import csv
import datetime
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_documents  # noqa: E402

from tool_checks import Tool, check, failures, interrupted, leftover, passes, verdict  # noqa: E402,F401


HYPERLINK = '=HYPERLINK("http://evil.example/","click").exe'
# Names a scanned machine could hold, and text in the version strings that
# check lets through (controls, quotes and slashes live there, not in file
# names).
HOSTILE = [
    {"fname": "=cmd.exe", "ofname": HYPERLINK, "pubname": '@Evil, "Co"', "issuer": '@Evil, "Co" CA'},
    {"fname": "+1.exe", "prodname": "-2"},
    {"fname": "-2.exe", "cname": "@SUM(A1)"},
    {"fname": "@x.exe", "fver": "=1+1"},
    {"fname": "invoice\u202Egpj.exe"},
    {"fname": "comma,both.exe", "prodname": "tab\tinside \"quoted\"", "cname": "cr\rinside"},
    {"fname": "lines.exe", "fver": "one\ntwo\r\nthree", "prodver": "\t=1+1", "ofname": "\r=2+2"},
    {"fname": "escape.exe", "ifname": "\x1b]0;pwned\x07\x1b[2J", "cname": "zero\u200bwidth\ufeff"},
    {"fname": "Ünïcödé 名前.exe", "prodname": "'already quoted"},
]

HIDDEN = set(range(0x00, 0x20)) | set(range(0x7F, 0xA0)) | {0x061C, 0x200B, 0x200C, 0x200D, 0x200E, 0x200F,
                                                             0x2028, 0x2029, 0x202A, 0x202B, 0x202C, 0x202D,
                                                             0x202E, 0x2060, 0x2066, 0x2067, 0x2068, 0x2069,
                                                             0xFEFF}


def visible(text):
    return "".join("\\u%04X" % ord(c) if ord(c) in HIDDEN else c for c in text)


def cell(text):
    """What the CSV must hold for a text of the document."""
    shown = visible(text)
    return "'" + shown if shown[:1] in ("=", "+", "-", "@", "\t", "\r") else shown


def iso(seconds):
    return (datetime.datetime(1970, 1, 1) + datetime.timedelta(seconds=seconds)).strftime("%Y-%m-%dT%H:%M:%SZ")


def yes(value):
    return "yes" if value else "no"


def records(data):
    """The CSV's records as raw bytes, after checking the framing: a byte
    order mark, CR LF after every record and nowhere else, every field in
    quotes."""
    check(data.startswith(b"\xef\xbb\xbf"), "the CSV starts with a UTF-8 byte order mark")
    body = data[3:]
    check(body.endswith(b"\r\n"), "the last record ends with CR LF")
    lines = body[:-2].split(b"\r\n")
    check(all(b"\r" not in l and b"\n" not in l for l in lines), "no CR or LF but between records")
    field = rb'"(?:[^"]|"")*"'
    bad = [l for l in lines if not re.fullmatch(field + rb"(?:," + field + rb")*", l)]
    check(not bad, "every field is quoted, quotes doubled: %r" % bad[:2])
    return lines


def read_csv(data):
    rows = list(csv.reader(io.StringIO(data.decode("utf-8-sig"), newline=""), strict=True))
    return rows[0], [dict(zip(rows[0], r)) for r in rows[1:]], rows


def case_executables(tool, doc):
    rc, out, err = tool.run("export", "doc.json", "-o", "exe.csv")
    check(rc == 0 and "exe.csv: written" in out, "export of executables: %d %s%s" % (rc, out, err))
    data = tool.read("exe.csv")
    lines = records(data)
    header, rows, raw = read_csv(data)
    check(all(len(r) == len(header) for r in raw), "every record has as many fields as the header")
    check(header[0] == "Path" and header[-1] == "Hidden characters", "the header row: %r" % header)
    apps = [f for f in doc["inventory"]["files"] if f["ftype"] == "application"]
    check(len(rows) == len(apps) and len(lines) == len(apps) + 1, "one row per executable: %d of %d" % (len(rows), len(apps)))
    by_id = {int(r["Id"]): r for r in rows}
    keys = {"Path": None, "Publisher": "pubname", "Issuer": "issuer", "Serial number": "serialno",
            "File version": "fver", "Product": "prodname", "Product version": "prodver", "Company": "cname",
            "Original file name": "ofname", "Internal name": "ifname", "Parent directory": "fpath"}
    mismatches = []
    for f in apps:
        r = by_id.get(f["id"], {})
        expected = {k: cell(f["fpath"] + f["fname"] if key is None else f.get(key, "")) for k, key in keys.items()}
        expected.update({"Signed": yes("pubname" in f), "Modified (UTC)": iso(f["mtime"]),
                         "Allowed": yes(f["allowstate"] != 0), "Mutable": yes(f["mutable"]),
                         "Default": yes(f["default"]), "Attributes": str(f["attr"]),
                         "System drive": yes(f["osdrive"] != 0), "Parent id": str(f["pid"]),
                         "Hidden characters": yes(any(visible(v) != v for v in f.values() if isinstance(v, str)))})
        for k, v in expected.items():
            if r.get(k) != v:
                mismatches.append((f["fname"], k, r.get(k), v))
    check(not mismatches, "every field of every executable as the document holds it: %r" % mismatches[:5])
    hostile = {r["Original file name"]: r for r in rows if r["Parent directory"] == "C:\\Apps\\Extra\\"}
    check(hostile.get("'" + HYPERLINK, {}).get("Hidden characters") == "no"
          and hostile["'" + HYPERLINK]["Path"] == "C:\\Apps\\Extra\\=cmd.exe",
          "=HYPERLINK(...) stays text behind an apostrophe, and is no hidden character: %r" % list(hostile))
    check(hostile.get("'+1.exe", {}).get("Product") == "'-2" and hostile.get("'-2.exe", {}).get("Company") == "'@SUM(A1)",
          "+, - and @ get their apostrophe")
    check(hostile.get("invoice\\u202Egpj.exe", {}).get("Hidden characters") == "yes",
          "a right-to-left override is shown as \\u202E and marks its row")
    check("\u202e" not in data.decode("utf-8-sig") and "\x1b" not in data.decode("utf-8-sig"),
          "no raw override or ESC anywhere in the CSV")
    check(hostile.get("Ünïcödé 名前.exe", {}).get("Product") == "'already quoted",
          "non-ASCII letters and an apostrophe of the document's own stay as they are")


def case_other_tables(tool, doc):
    inv = doc["inventory"]
    signers = {f["pubname"] for f in inv["files"] if "pubname" in f}
    listed = [p["pubname"] for p in inv["publishers"]]
    expected = {"directories": [f["fpath"] + f["fname"] for f in inv["files"] if f["ftype"] == "directory"],
                "publishers": listed + sorted(signers - set(listed)),
                "allowed-directories": [d["dirpath"] for d in inv["directories"]]}
    for table, names in expected.items():
        rc, out, err = tool.run("export", "doc.json", "--table", table, "-o", table + ".csv")
        data = tool.read(table + ".csv") if rc == 0 else b""
        records(data)
        header, rows, raw = read_csv(data)
        check(rc == 0 and [r[header[0]] for r in rows] == [cell(n) for n in names],
              "--table %s: one row per item in the document's order: %d %s" % (table, rc, err))
    rc, out, err = tool.run("export", "doc.json", "--table", "publishers", "-o", "p.csv")
    header, rows, raw = read_csv(tool.read("p.csv"))
    evil = [r for r in rows if r["Publisher"] == '\'@Evil, "Co"']
    check(evil and evil[0]["Certificates"] == "1" and evil[0]["Issuer"] == '\'@Evil, "Co" CA'
          and evil[0]["Allowed"] == "yes", "a publisher's certificate and state: %r" % evil)


def case_refusals(tool):
    before = tool.read("exe.csv")
    rc, out, err = tool.run("export", "doc.json", "-o", "exe.csv")
    check(rc == 1 and "already exists" in err and tool.read("exe.csv") == before,
          "an existing CSV is kept without --force: %d %s" % (rc, err))
    rc, out, err = tool.run("export", "doc.json", "--table", "directories", "-o", "exe.csv", "--force")
    check(rc == 0 and tool.read("exe.csv") != before and tool.read("exe.csv").startswith(b'\xef\xbb\xbf"Path","Allowed"'),
          "--force replaces it: %d %s" % (rc, err))
    document = tool.read("doc.json")
    rc, out, err = tool.run("export", "doc.json", "-o", "doc.json", "--force")
    check(rc == 1 and tool.read("doc.json") == document, "the input is never replaced: %d %s" % (rc, err))
    tool.write("cut.json", document[:len(document) // 2])
    rc, out, err = tool.run("export", "cut.json", "-o", "cut.csv")
    check(rc == 1 and "not a complete allowlist document; not exported" in err and not os.path.exists(tool.path("cut.csv")),
          "an incomplete document is not exported: %d %s" % (rc, err))
    for args, text in [(("export", "doc.json"), "export needs DOC and -o FILE.csv"),
                       (("export", "doc.json", "-o", "x.csv", "--table", "files"), "unknown table files"),
                       (("export", "doc.json", "-o", "x.csv", "--table"), "--table"),
                       (("report", "doc.json", "-o", "x.html", "--table", "publishers"), "--table belongs to export"),
                       (("export", "doc.json", "-o", "x.csv", "--json"), "export needs DOC and -o FILE.csv")]:
        rc, out, err = tool.run(*args)
        check(rc == 2 and text in err and not os.path.exists(tool.path("x.csv")),
              "%s: usage error %r, got %d %s" % (args, text, rc, err.splitlines()[:1]))


def case_interrupted(tool):
    """Ctrl+C while the CSV is being written leaves neither it nor its temporary
    file; a temporary file a killed run left is named, and kept."""
    if os.name != "posix" or any(c.lower().endswith(".exe") for c in tool.command) or not shutil.which("strace"):
        return
    code, seen, left = interrupted(tool.command + ["export", "doc.json", "-o", "stopped.csv"], tool.workdir, "stopped.csv")
    check(code != 0 and len(seen) == 1 and left == [] and not os.path.exists(tool.path("stopped.csv")),
          "an interrupted export removes its temporary file: exit %d, seen %r, left %r" % (code, seen, left))
    stale = leftover(tool.workdir, "stale.csv")
    rc, out, err = tool.run("export", "doc.json", "-o", "stale.csv")
    check(rc == 0 and "stale.csv: note: %s beside it is left from a run that was stopped" % stale in err
          and os.path.exists(tool.path(stale)), "a leftover is named and kept: %d %s" % (rc, err))


def sheet_cells(xlsx):
    """(reference, type, formula or None, text) for every cell of the first sheet."""
    ns = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main"}
    with zipfile.ZipFile(xlsx) as z:
        shared = [("".join(t.text or "" for t in si.iter("{%s}t" % ns["m"])))
                  for si in ET.fromstring(z.read("xl/sharedStrings.xml")).findall("m:si", ns)]
        sheet = ET.fromstring(z.read("xl/worksheets/sheet1.xml"))
    cells = []
    for c in sheet.iter("{%s}c" % ns["m"]):
        f, v = c.find("m:f", ns), c.find("m:v", ns)
        kind = c.get("t", "n")
        text = shared[int(v.text)] if kind == "s" and v is not None else (v.text if v is not None else "")
        cells.append((c.get("r"), kind, None if f is None else (f.text or ""), text))
    return cells


def convert(soffice, work, name):
    """LibreOffice's own reading of a CSV (UTF-8, comma, double quote),
    saved as xlsx; its own profile so that runs never share one."""
    profile = "file://" + os.path.join(work, "lo-profile")
    done = subprocess.run([soffice, "-env:UserInstallation=" + profile, "--headless", "--infilter=CSV:44,34,76,1",
                           "--convert-to", "xlsx", "--outdir", os.path.join(work, "lo"), os.path.join(work, name)],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=180)
    out = os.path.join(work, "lo", os.path.splitext(name)[0] + ".xlsx")
    check(done.returncode == 0 and os.path.exists(out), "LibreOffice converts %s: %s" % (name, done.stdout[-300:]))
    return out if os.path.exists(out) else None


def case_libreoffice(tool, soffice):
    tool.run("export", "doc.json", "-o", "sheet.csv")
    xlsx = convert(soffice, tool.workdir, "sheet.csv")
    if xlsx is None:
        return
    cells = sheet_cells(xlsx)
    formulas = [c for c in cells if c[2] is not None]
    check(not formulas, "LibreOffice reads no formula from the export: %r" % formulas[:3])
    texts = {c[3] for c in cells if c[1] in ("s", "str", "inlineStr")}
    for expected in ["'" + HYPERLINK, "'@SUM(A1)", "'=1+1", "'-2", "'+1.exe", "invoice\\u202Egpj.exe"]:
        check(expected in texts, "LibreOffice's cell holds the text %r" % expected)
    # The same file with the apostrophes taken out: now LibreOffice must see
    # the formula, or the check above proves nothing.
    tool.write("control.csv", tool.read("sheet.csv").replace(b"\"'", b"\""))
    control = convert(soffice, tool.workdir, "control.csv")
    if control is not None:
        found = [c for c in sheet_cells(control) if c[2] is not None and c[2].startswith("HYPERLINK")]
        check(found, "without the apostrophe the same cell is a formula to LibreOffice (the check can fail)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--soffice", default="soffice")
    parser.add_argument("tool", nargs="+")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="baselinedoc-export-")
    tool = Tool(args.tool, work)
    try:
        # The original file name is the name the file was built under: the
        # same hostile text, where no folder comes in front of it.
        extra = [dict({"ofname": h["fname"]}, **h) for h in HOSTILE]
        data = make_documents.document(300, extra=extra)
        tool.write("doc.json", data)
        rc, out, err = tool.run("check", "doc.json")
        check(rc == 0, "the hostile document is complete: %s" % out[-500:])
        doc = json.loads(data)
        case_executables(tool, doc)
        case_other_tables(tool, doc)
        case_refusals(tool)
        case_interrupted(tool)
        soffice = shutil.which(args.soffice)
        check(soffice is not None, "LibreOffice (%s) is installed; ./scripts/setup installs it" % args.soffice)
        if soffice:
            case_libreoffice(tool, soffice)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return verdict()


if __name__ == "__main__":
    sys.exit(main())
