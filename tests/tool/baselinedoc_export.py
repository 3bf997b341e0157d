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
                       (("export", "doc.json", "-o", "x.csv", "--json"), "export needs DOC and -o FILE.csv"),
                       (("export", "doc.json", "-o", "x.xlsx", "--table", "publishers"), "a workbook holds every table"),
                       (("export", "doc.json", "-o", "x.csv", "--format", "ods"), "unknown format ods")]:
        rc, out, err = tool.run(*args)
        check(rc == 2 and text in err and not os.path.exists(tool.path("x.csv")) and not os.path.exists(tool.path("x.xlsx")),
              "%s: usage error %r, got %d %s" % (args, text, rc, err.splitlines()[:1]))
    # A cell holds 32767 UTF-16 units; one more and nothing is written.
    for name, text, fits in [("a" * 32767, "32767 letters", True), ("a" * 32768, "32768 letters", False),
                             ("\U0001F600" * 16384, "16384 characters of two units", False)]:
        tool.write("long.json", make_documents.document(30, extra=[{"prodname": name}]))
        rc, out, err = tool.run("export", "long.json", "-o", "long.xlsx", "--force")
        check((rc == 0) == fits and os.path.exists(tool.path("long.xlsx")) == fits
              and (fits or "at most 32767" in err), "a product name of %s: %d %s" % (text, rc, err[-200:]))
        if fits:
            os.remove(tool.path("long.xlsx"))


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


# Text a spreadsheet would take for a number, a date, a boolean or a formula
# if it guessed; in a workbook each must come back as the same string.
LOOKALIKE = ["1.10", "2.0", "0012345", "1E3", "10/11/12", "3-4", "1,5", "007", "=1+1", "+1", "-2", "@SUM(A1)",
             "TRUE", " 12 ", "_x0041_", "12\u202e34"]
# Certificates of one publisher, with "; " inside a name: the CSV's joined
# cells cannot tell them apart, the Certificates sheet must.
CERTIFICATES = [{"issuer": "North; South CA", "serialno": "0012345"}, {"issuer": "East CA; 2", "serialno": "1E3"},
                {"issuer": "=West CA", "serialno": "007"}]


def workbook_document():
    """The hostile document with one executable per look-alike value (in
    every text column but the names) and a publisher of several certificates."""
    extra = [dict({"ofname": h["fname"]}, **h) for h in HOSTILE]
    extra += [{"fver": v, "prodver": v, "serialno": v, "issuer": v, "cname": v, "ifname": v} for v in LOOKALIKE]
    doc = json.loads(make_documents.document(300, extra=extra))
    inv = doc["inventory"]
    inv["publishers"][0]["certinfo"] = CERTIFICATES
    return make_documents.assemble(doc["inventoryinfo"], inv["files"], inv["publishers"], inv["directories"],
                                   inv["misc"], inv["discoverysummary"])


def read_workbook(path):
    """{sheet: (header, rows as dicts of cells)}, and the sheets' order."""
    import openpyxl
    book = openpyxl.load_workbook(path)
    sheets = {}
    for ws in book.worksheets:
        rows = list(ws.iter_rows())
        header = [c.value for c in rows[0]]
        check(ws.freeze_panes == "A2" and ws.auto_filter.ref == "A1:%s%d" % (rows[0][-1].column_letter, len(rows)),
              "%s: header row frozen, autofilter over every row: %s %s" % (ws.title, ws.freeze_panes, ws.auto_filter.ref))
        sheets[ws.title] = (header, [dict(zip(header, r)) for r in rows[1:]])
    return sheets, book.sheetnames


def case_workbook(tool, host_tool):
    from openpyxl.utils.escape import unescape
    doc = json.loads(tool.read("doc.json"))
    rc, out, err = tool.run("export", "doc.json", "-o", "doc.xlsx")
    check(rc == 0 and "doc.xlsx: written" in out, "export to a workbook: %d %s%s" % (rc, out, err))
    data = tool.read("doc.xlsx")
    # A folder and a name beyond ASCII: the library opens files by narrow name.
    os.makedirs(tool.path("Jos\u00e9"), exist_ok=True)
    rc, out, err = tool.run("export", "doc.json", "-o", "Jos\u00e9/Pr\u00fcfung.xlsx")
    check(rc == 0 and tool.read("Jos\u00e9/Pr\u00fcfung.xlsx") == data and os.listdir(tool.path("Jos\u00e9")) == ["Pr\u00fcfung.xlsx"],
          "a workbook in a folder beyond ASCII is the same and leaves no scratch file: %d %s%s" % (rc, out, err))
    sheets, order = read_workbook(tool.path("doc.xlsx"))
    check(order == ["Summary", "Executables", "Directories", "Publishers", "Allowed directories", "Certificates"],
          "the sheets: %r" % order)
    cells = [c for _, rows in sheets.values() for r in rows for c in r.values()]
    check(not any(c.data_type == "f" for c in cells), "no cell is a formula")
    raw = [c.value for c in cells if isinstance(c.value, str) and any(ord(ch) in HIDDEN for ch in c.value)]
    check(not raw, "no hidden character raw in any cell: %r" % raw[:3])

    def string(c):
        return unescape(c.value) if c.data_type == "s" and c.value is not None else c.value
    header, rows = sheets["Executables"]
    rows = {r["Id"].value: r for r in rows}
    apps = [f for f in doc["inventory"]["files"] if f["ftype"] == "application"]
    check(len(rows) == len(apps) and header[11:13] == ["Modified (UTC)", "Modified (seconds since 1970)"],
          "one row per executable, the time as a date beside its number: %r" % header[11:13])
    columns = {"Publisher": "pubname", "Issuer": "issuer", "Serial number": "serialno", "File version": "fver",
               "Product version": "prodver", "Company": "cname", "Internal name": "ifname"}
    wrong = [(f["id"], k, rows[f["id"]][k].value) for f in apps for k, key in columns.items()
             if key in f and f[key] and string(rows[f["id"]][k]) != visible(f[key])]
    wrong += [(f["id"], "Modified", rows[f["id"]]["Modified (UTC)"].value) for f in apps
              if rows[f["id"]]["Modified (UTC)"].value != datetime.datetime(1970, 1, 1) + datetime.timedelta(seconds=f["mtime"])
              or rows[f["id"]]["Modified (seconds since 1970)"].value != f["mtime"]]
    wrong += [(f["id"], "Attributes") for f in apps if rows[f["id"]]["Attributes"].value != f["attr"]]
    check(not wrong, "every text cell the document's string, every number and date its value: %r" % wrong[:4])
    lookalike = {v: rows[f["id"]] for v in LOOKALIKE for f in apps if f.get("fver") == v}
    for v, r in lookalike.items():
        check(all(r[k].data_type == "s" and string(r[k]) == visible(v) for k in columns if k != "Publisher"),
              "%r stays the string %r in every column" % (v, visible(v)))
    check(lookalike["12‮34"]["Hidden characters"].value == "yes", "a hidden character marks its row")

    certs = [(r["Publisher"].value, r["Certificate"].value, r["Issuer"].value, r["Serial number"].value)
             for r in sheets["Certificates"][1] if r["Source"].value == "publishers list"]
    first = doc["inventory"]["publishers"][0]["pubname"]
    check([c for c in certs if c[0] == first] == [(first, i + 1, c["issuer"], c["serialno"])
                                                  for i, c in enumerate(CERTIFICATES)],
          "each certificate of a publisher on its own row, issuer beside serial: %r" % certs[:4])
    signed = [r for r in sheets["Certificates"][1] if r["Source"].value == "executable"]
    check(len(signed) == sum(1 for f in apps if "pubname" in f), "one row per signed executable's certificate")
    summary = {r["Item"].value: r for r in sheets["Summary"][1]}
    cdate = doc["inventoryinfo"]["cdate"]
    check(summary["Title"]["Value"].value == doc["inventoryinfo"]["title"]
          and summary["Created"]["Value"].value == cdate
          and summary["Created"]["Date (UTC)"].value == datetime.datetime(1970, 1, 1) + datetime.timedelta(seconds=cdate)
          and summary["Executables listed"]["Value"].value == len(apps),
          "the summary: title, time as number and date, counts as numbers")
    with zipfile.ZipFile(io.BytesIO(data)) as z:
        core = z.read("docProps/core.xml").decode()
        stamps = {i.date_time for i in z.infolist()}
    check(iso(cdate) in core and stamps == {(1980, 1, 1, 0, 0, 0)},
          "the workbook's dates are the document's, not the clock's: %r" % stamps)
    rc, out, err = tool.run("export", "doc.json", "--format", "xlsx", "-o", "again.bin")
    check(rc == 0 and tool.read("again.bin") == data, "--format xlsx writes the same bytes again")
    rc, out, err = tool.run("export", "doc.json", "-o", "again.bin")
    check(rc == 1 and "already exists" in err and tool.read("again.bin") == data, "and keeps them without --force")
    if host_tool and os.path.exists(host_tool):
        other = Tool([host_tool], tool.workdir)
        rc, out, err = other.run("export", "doc.json", "-o", "host.xlsx")
        check(rc == 0 and other.read("host.xlsx") == data, "the Linux tool writes the same bytes as this one")
    elif host_tool:
        print("skipped: no Linux tool at %s to compare bytes with" % host_tool)


def case_libreoffice_workbook(tool, soffice):
    """LibreOffice opens the workbook; its CSV of the Executables sheet holds
    every look-alike value as it stands."""
    profile = "file://" + os.path.join(tool.workdir, "lo-profile")
    done = subprocess.run([soffice, "-env:UserInstallation=" + profile, "--headless", "--convert-to",
                           "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,2",
                           "--outdir", tool.path("lo-book"), tool.path("doc.xlsx")],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=180)
    out = tool.path("lo-book/doc-Executables.csv")
    check(done.returncode == 0 and os.path.exists(out), "LibreOffice converts the workbook: %s" % done.stdout[-300:])
    if not os.path.exists(out):
        return
    with open(out, encoding="utf-8", newline="") as f:
        rows = list(csv.reader(f))
    header, rows = rows[0], [dict(zip(rows[0], r)) for r in rows[1:]]
    expected = {visible(v) for v in LOOKALIKE}
    # The look-alike rows hold their value as internal name too.
    found = {r["File version"]: r for r in rows if r["File version"] in expected and r["Internal name"] == r["File version"]}
    keys = ["Product version", "Serial number", "Issuer", "Company"]
    wrong = [(v, [r[k] for k in keys]) for v, r in found.items() if any(r[k] != v for k in keys)]
    check(set(found) == expected and not wrong,
          "LibreOffice keeps every look-alike value in every column: %r %r" % (expected - set(found), wrong[:3]))
    check(all(r["Modified (UTC)"].startswith("2024-03-14") for r in rows[:5]), "and shows the dates as dates")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--soffice", default="soffice")
    parser.add_argument("--host-tool", help="the Linux baselinedoc, whose workbook must have the same bytes")
    parser.add_argument("tool", nargs="+")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="baselinedoc-export-")
    tool = Tool(args.tool, work)
    try:
        # The original file name is the name the file was built under: the
        # same hostile text, where no folder comes in front of it.
        data = workbook_document()
        tool.write("doc.json", data)
        rc, out, err = tool.run("check", "doc.json")
        check(rc == 0, "the hostile document is complete: %s" % out[-500:])
        doc = json.loads(data)
        case_executables(tool, doc)
        case_other_tables(tool, doc)
        case_refusals(tool)
        case_workbook(tool, args.host_tool)
        case_interrupted(tool)
        soffice = shutil.which(args.soffice)
        check(soffice is not None, "LibreOffice (%s) is installed; ./scripts/setup installs it" % args.soffice)
        if soffice:
            case_libreoffice(tool, soffice)
            case_libreoffice_workbook(tool, soffice)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return verdict()


if __name__ == "__main__":
    sys.exit(main())
