#!/usr/bin/env python3
"""baselinedoc as an administrator runs it, natively or under Wine:

    baselinedoc_cli.py --source DIR [--documents DIR] -- COMMAND...

COMMAND is how to start the tool (for Windows: a Wine runner and
baselinedoc.exe). Every run happens in a fresh directory with relative file
names, so the same test serves both builds. Documents are made here in the
creator's byte layout (make_documents.py) and then damaged in every way that
check must name; --documents adds documents the creator itself wrote
(worked.json, failed.json, cut.json from baselinedoc_wine.py)."""

import argparse
import json
import os
import re
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_documents  # noqa: E402

from tool_checks import Tool, check, failures, passes, verdict  # noqa: E402,F401


def worked_example(source):
    """The worked example the creator's own tests reproduce byte for byte."""
    import ast
    text = open(os.path.join(source, "tests", "host", "worked_example.h"), encoding="utf-8").read()
    body = text[text.index("kWorkedExample = {"):]
    body = body[:body.index("};")]
    lines = [ast.literal_eval(l) for l in re.findall(r'^\s*("(?:[^"\\]|\\.)*"),?\s*$', body, re.M)]
    return "\r\n".join(lines).encode("utf-8")


def replace_once(data, old, new):
    assert old in data, old
    return data.replace(old, new, 1)


def damaged(base):
    """(name, bytes, what check must say) for every kind of fault."""
    entry = base.index(b'"ftype" : "application"')
    failed_run = base[:base.index(b'],"publishers"')] + (
        b',"misc" : {\r\n\t"globalstrictpub" : false\r\n},"discoverysummary" : {\r\n\t"alloweddircnt" : 0,'
        b'\r\n\t"allowedfilecnt" : 3,\r\n\t"allowedpubcnt" : 0,\r\n\t"dircnt" : 5,\r\n\t"endtime" : "x",'
        b'\r\n\t"filecnt" : 3,\r\n\t"starttime" : "y",\r\n\t"status" : "failed",\r\n\t"supportedfilecnt" : 3\r\n}}}')
    return [
        ("empty", b"", "holds no JSON value"),
        ("not-utf8", replace_once(base, b"tool000002.exe", b"tool\xff00002.exe"), "not valid UTF-8"),
        ("cut-off", base[:len(base) // 2], "cut off after"),
        ("failed-run", failed_run, "the run failed"),
        ("missing-key", replace_once(base, b'\t"mtime" : 1710410400,\r\n', b""), 'key "mtime" is missing'),
        ("wrong-type", replace_once(base, b'"mtime" : 1710410400', b'"mtime" : "1710410400"'),
         "mtime: must be an integer, not a string"),
        ("fraction", replace_once(base, b'"mtime" : 1710410400', b'"mtime" : 1710410400.5'),
         "mtime: must be an integer"),
        ("unknown-key", replace_once(base, b'"attr" : 32,', b'"attr" : 32,\r\n\t"extra" : 1,'), 'unknown key "extra"'),
        ("duplicate-key", replace_once(base, b'"attr" : 32,', b'"attr" : 32,\r\n\t"attr" : 32,'), 'key "attr" appears twice'),
        ("duplicate-id", replace_once(base, b'"id" : 2,', b'"id" : 1,'), "id 1 is used twice"),
        ("parent-is-file", replace_once(base, b'"pid" : 1,', b'"pid" : 2,'), "names no earlier directory entry"),
        ("parent-later", replace_once(base, b'"pid" : 1,', b'"pid" : 999999,'), "parent id 999999 names no earlier"),
        ("bad-ftype", replace_once(base, b'"ftype" : "application"', b'"ftype" : "program"'), 'not "program"'),
        ("osdrive-2", replace_once(base, b'"osdrive" : 1,', b'"osdrive" : 2,'), "out of range for the system-drive flag"),
        ("half-signer", replace_once(base[:entry] + base[entry:].replace(b'\t"issuer" : "Contoso Utilities CA",\r\n', b"", 1),
                                     b"", b""), '"serialno", "issuer" and "pubname" come together'),
        ("directory-signed", replace_once(base, b'"ftype" : "directory",', b'"ftype" : "directory",\r\n\t"pubname" : "X",'),
         "a directory entry carries signer or version keys"),
        ("count-mismatch", re.sub(rb'"supportedfilecnt" : (\d+)', lambda m: b'"supportedfilecnt" : %d' % (int(m.group(1)) + 1), base),
         "supportedfilecnt: %d should be equal to the"),
        ("status-failed", replace_once(base, b'"status" : "succeed"', b'"status" : "failed"'), 'the run failed ("status" : "failed")'),
        ("bad-status", replace_once(base, b'"status" : "succeed"', b'"status" : "done"'), 'must be "succeed" or "failed"'),
        ("bad-platform", replace_once(base, b'"platform" : "64-bit"', b'"platform" : "ARM"'), 'must be "64-bit" or "32-bit"'),
        ("missing-section", replace_once(base, b',"misc" : {\r\n\t"globalstrictpub" : false\r\n}', b""), 'key "misc" is missing'),
        ("trailing", base + b"}", "after the end of the document"),
        ("comment", b"// note\r\n" + base, "expected a value"),
        ("duplicate-publisher", replace_once(base, b'"pubname" : "Pellworth, LLC"', b'"pubname" : "Morvane Technologies Limited"'),
         "is listed twice"),
        # The creator collects a certificate once: the same serial twice under one publisher is refused,
        # another issuer's certificate of another serial is not.
        ("duplicate-certificate",
         replace_once(base, b'"serialno" : "0a1b2c3d"\r\n\t\t}', b'"serialno" : "0a1b2c3d"\r\n\t\t},\r\n\t\t{\r\n\t\t\t'
                      b'"issuer" : "Other CA",\r\n\t\t\t"serialno" : "ffff"\r\n\t\t},\r\n\t\t{\r\n\t\t\t'
                      b'"issuer" : "Other CA",\r\n\t\t\t"serialno" : "0a1b2c3d"\r\n\t\t}'),
         'publishers[0].certinfo[2].serialno: serial number "0a1b2c3d" is listed twice under this publisher '
         "(first as certinfo[0])"),
        ("duplicate-directory", replace_once(base, b'"dirpath" : "%SYSTEMDRIVE%\\\\Tools"', b'"dirpath" : "%windir%\\\\"'),
         "is listed twice"),
        ("deep", b"[" * 100 + b"]" * 100, "nested more than 64 levels deep"),
        ("root-array", b"[]", "the document must be an object"),
    ]


def case_check(tool, base):
    tool.write("good.json", base)
    rc, out, err = tool.run("check", "good.json")
    check(rc == 0 and "good.json: a complete allowlist document" in out and not err,
          "a document in the creator's layout is complete: %d %s%s" % (rc, out, err))
    for name, data, expected in damaged(base):
        if "%d" in expected:
            count = int(re.search(rb'"supportedfilecnt" : (\d+)', data).group(1))
            expected = expected % count
        tool.write(name + ".json", data)
        rc, out, err = tool.run("check", name + ".json")
        findings = [l for l in out.splitlines() if l.startswith(name + ".json: error: ")]
        check(rc == 1 and any(expected in l for l in findings) and out.rstrip().endswith(")")
              and "not a complete allowlist document" in out.splitlines()[-1],
              "check %s: exit 1 and %r among the findings, got %d:\n%s%s" % (name, expected, rc, out, err))
        where = [l for l in findings if expected in l]
        check(all(re.match(re.escape(name) + r"\.json: error: line \d+", l) for l in where),
              "check %s: the finding names its line: %s" % (name, where))


def case_creator_documents(tool, documents):
    expectations = {"worked.json": (0, "a complete allowlist document"),
                    "failed.json": (1, "the run failed"),
                    "cut.json": (1, "cut off after")}
    for name, (code, text) in expectations.items():
        shutil.copy(os.path.join(documents, name), os.path.join(tool.workdir, name))
        rc, out, err = tool.run("check", name)
        check(rc == code and text in out, "the creator's %s: exit %d and %r, got %d:\n%s%s" % (name, code, text, rc, out, err))
        rc, out, err = tool.run("summary", name)
        check(rc == 0 and "Allowlist " + name in out, "summary of the creator's %s: %d %s%s" % (name, rc, out, err))
        rc, out, err = tool.run("report", name, "-o", name + ".html", "--force")
        check(rc == 0 and b"<script type=\"application/json\" id=\"data\">" in tool.read(name + ".html"),
              "report of the creator's %s: %d %s%s" % (name, rc, out, err))
    rc, out, err = tool.run("diff", "worked.json", "worked.json")
    check(rc == 0 and "the same but for the run's times" in out, "the creator's document against itself: %d %s%s" % (rc, out, err))


def case_summary(tool, source):
    tool.write("worked.json", worked_example(source))
    rc, out, err = tool.run("summary", "worked.json")
    for line in ["  Title:        Finance", "  Description:  Finance desktops",
                 "  Created:      2025-12-08 09:33:45 UTC",
                 "  Run:          Mon Dec  8 09:33:45 2025 to Mon Dec  8 09:41:02 2025, status succeed",
                 "  Discovered:   3 directories, 1 files, 1 supported files",
                 "  Allowed:      1 directories, 1 files, 6 publishers",
                 "  1\tExample Software Ltd  (allowed, mutable, 1 certificate)",
                 "  0\tunsigned executables (no signer)",
                 "  executables:           1 of 1 allowed"]:
        check(rc == 0 and line in out.splitlines(), "summary of the worked example shows %r:\n%s%s" % (line, out, err))
    check(len(out.splitlines()) <= 40, "the summary fits one screen (%d lines)" % len(out.splitlines()))
    tool.write("hostile.json", make_documents.document(300, hostile=True))
    rc, out, err = tool.run("summary", "hostile.json")
    check(rc == 0 and "  7\t<b>Evil & Co</b>  (allowed, 1 certificate)" in out.splitlines(),
          "a hostile publisher is counted and printed as it is:\n" + out)
    check(re.search(r"^  (\d+)\tunsigned executables", out, re.M).group(1) == "28", "unsigned executables are counted:\n" + out)


def case_diff(tool):
    tool.write("old.json", make_documents.document(3000))
    tool.write("new.json", make_documents.document(3000, variant="changed"))
    rc, out, err = tool.run("diff", "old.json", "new.json")
    check(rc == 1, "documents that differ: exit 1, got %d %s" % (rc, err))
    sections = {
        "Executables added (1):": ["  + \"C:\\Apps\\App00001\\added.exe\""],
        "Executables removed (1):": ["  - \"C:\\Apps\\App00001\\tool000006.exe\""],
        "Executables changed (4):": ["      pubname: \"Contoso Utilities\" -> \"Replacement Signer\"",
                                     "      fver: \"1.0.0.0\" -> \"9.9.9.9\"",
                                     "      mtime: 2024-03-14 10:00:00 UTC (1710410400) -> 2024-03-14 11:00:00 UTC (1710414000)",
                                     "  ~ \"C:\\Apps\\App00001\\TOOL000005.EXE\""],
        "Directories added (1):": ["  + \"C:\\Apps\\NewDir\""],
        "Directories changed (2):": ["      mutable: true -> false", "      allowstate: 1 -> 0"],
        "Publishers added (1):": ["  + \"Replacement Signer\""],
        "Publishers removed (1):": ["  - \"Pellworth, LLC\""],
        "Certificates added (2):": ["      certificate: issuer \"Northwind Tools CA 2\", serial \"ffee\""],
        "Allowed directories changed (1):": ["  ~ \"%SYSTEMDRIVE%\\Tools\""],
    }
    lines = out.splitlines()
    for title, expected in sections.items():
        check(title in lines and all(e in lines for e in expected), "diff shows %s %s:\n%s" % (title, expected, out))
    check("Executables removed" in out and "TOOL000005" not in out.split("Executables removed")[1].split("\n\n")[0],
          "a change of letter case alone is no removal")
    check("cdate" not in out and "starttime" not in out, "the run's times are not differences")

    rc, out, err = tool.run("diff", "--json", "old.json", "new.json")
    data = json.loads(out) if rc == 1 else {}
    check(data.get("same") is False and [e["path"] for e in data["executables"]["added"]] == ["C:\\Apps\\App00001\\added.exe"]
          and [p["pubname"] for p in data["publishers"]["removed"]] == ["Pellworth, LLC"]
          and {"field": "fver", "old": "1.0.0.0", "new": "9.9.9.9"} in
          [c for item in data["executables"]["changed"] for c in item["changes"]],
          "diff --json carries the same changes: %d %s" % (rc, out[:400]))
    check(all(ord(c) < 0x7F for c in out), "diff --json is ASCII: every other character a \\u escape")
    check_diff_json(data, json.loads(tool.read("old.json")), json.loads(tool.read("new.json")))

    tool.write("later.json", make_documents.document(3000, cdate=1765286425))
    later = tool.read("later.json").replace(b"Mon Dec  8 09:33:45 2025", b"Tue Dec  9 10:00:00 2025")
    tool.write("later.json", later)
    rc, out, err = tool.run("diff", "old.json", "later.json")
    check(rc == 0 and "the same but for the run's times" in out, "only the run's times differ: exit 0, got %d %s%s" % (rc, out, err))
    rc, out, err = tool.run("diff", "--json", "old.json", "later.json")
    check(rc == 0 and json.loads(out)["same"] is True, "diff --json of the same: exit 0, same true")

    tool.write("cut.json", tool.read("old.json")[:5000])
    rc, out, err = tool.run("diff", "old.json", "cut.json")
    check(rc == 2 and "cut.json: not a complete allowlist document; not compared" in err,
          "a cut-off document is trouble, not a difference: %d %s" % (rc, err))
    rc, out, err = tool.run("diff", "old.json", "missing.json")
    check(rc == 2 and "missing.json: cannot be opened (no such file)" in err, "a missing document: exit 2, got %d %s" % (rc, err))


# What the diff compares in a file entry, as the document names it.
ENTRY_FIELDS = ["pubname", "issuer", "serialno", "fver", "prodver", "prodname", "cname", "ifname", "ofname",
                "mtime", "allowstate", "mutable", "attr", "default", "osdrive"]


def same(x, y):
    """Equal with types: in Python 0 == False, in JSON they differ."""
    return json.dumps(x, sort_keys=True) == json.dumps(y, sort_keys=True)


def check_diff_json(data, old, new):
    """diff --json field by field against the two documents themselves."""
    def entries(doc, directories):
        return {(f["fpath"] + f["fname"]).lower(): f for f in doc["inventory"]["files"]
                if (f["ftype"] == "directory") == directories}

    def state(f):
        item = {"path": f["fpath"] + f["fname"], "allowstate": f["allowstate"], "mutable": f["mutable"]}
        if f["ftype"] == "application":
            item.update({k: f.get(k) for k in ("pubname", "issuer", "serialno", "fver")})
        return item

    for kind, directories in (("executables", False), ("directories", True)):
        a, b = entries(old, directories), entries(new, directories)
        got = data[kind]
        check(same(got["added"], [state(b[k]) for k in b if k not in a]),
              "%s added: each with its state, in the new document's order: %r" % (kind, got["added"]))
        check(same(got["removed"], [state(a[k]) for k in a if k not in b]), "%s removed with their state" % kind)
        expected = {}
        for k in b:
            if k not in a:
                continue
            x, y = a[k], b[k]
            changes = [{"field": f, "old": x[f], "new": y[f]} for f in ENTRY_FIELDS if f in x and x.get(f) != y.get(f)]
            if x["fpath"] + x["fname"] != y["fpath"] + y["fname"]:
                changes.append({"field": "path", "old": x["fpath"] + x["fname"], "new": y["fpath"] + y["fname"]})
            if changes:
                expected[y["fpath"] + y["fname"]] = changes
        reported = {item["name"]: item["changes"] for item in got["changed"]}
        check(reported.keys() == expected.keys(), "%s changed: the paired entries that differ: %r" % (kind, list(reported)))
        for name, changes in expected.items():
            # Each change holds the document's own values: numbers as
            # numbers, mtime in seconds, booleans as booleans.
            check(same(sorted(reported.get(name, []), key=lambda c: c["field"]), sorted(changes, key=lambda c: c["field"])),
                  "%s %s: %r, expected %r" % (kind, name, reported.get(name), changes))
    summary_old, summary_new = old["inventory"]["discoverysummary"], new["inventory"]["discoverysummary"]
    counters = [{"field": k, "old": summary_old[k], "new": summary_new[k]} for k in summary_old
                if k not in ("starttime", "endtime") and summary_old[k] != summary_new[k]]
    check(same(sorted(data["counters"], key=lambda c: c["field"]), counters),
          "counters as numbers: %r" % data["counters"])
    header = [{"field": k, "old": old["inventoryinfo"][k], "new": new["inventoryinfo"][k]} for k in old["inventoryinfo"]
              if k != "cdate" and old["inventoryinfo"][k] != new["inventoryinfo"][k]]
    check(same(data["header"], header), "the header: only the run's time differs: %r" % data["header"])
    pa = {p["pubname"]: p for p in old["inventory"]["publishers"]}
    pb = {p["pubname"]: p for p in new["inventory"]["publishers"]}
    publisher = lambda p: dict({"certinfo": []}, **p)
    check(same(data["publishers"]["added"], [publisher(pb[n]) for n in pb if n not in pa])
          and same(data["publishers"]["removed"], [publisher(pa[n]) for n in pa if n not in pb]),
          "publishers added and removed, each as its block in the document: %r" % data["publishers"])
    certificates = {n: [c for c in pb[n].get("certinfo", []) if c not in pa.get(n, {}).get("certinfo", [])] for n in pb}
    check(same({item["name"]: [c["new"] for c in item["changes"]] for item in data["certificates"]["added"]},
               {n: c for n, c in certificates.items() if c})
          and all(c["field"] == "certificate" and "old" not in c for item in data["certificates"]["added"] for c in item["changes"]),
          "certificates added as objects with issuer and serialno: %r" % data["certificates"]["added"])
    da = [d for d in old["inventory"]["directories"]]
    db = [d for d in new["inventory"]["directories"]]
    changed = [{"name": y["dirpath"], "changes": [{"field": f, "old": x[f], "new": y[f]} for f in
                                                   ("allowstate", "mutable", "strictpub", "default", "type", "dirpath") if x[f] != y[f]]}
               for x, y in zip(da, db) if x != y]
    check(same(data["alloweddirectories"]["changed"], changed), "allowed directories changed: %r" % data["alloweddirectories"])


def unmarked(value):
    """A value with hidden characters: [text with "`AD 2064`" for each run, "``" for a backquote]."""
    if not isinstance(value, list):
        return value
    parts = value[0].split("`")
    return "".join(p if i % 2 == 0 else "`" if p == "" else "".join(chr(int(c, 16)) for c in p.split(" "))
                   for i, p in enumerate(parts))



def case_report(tool):
    tool.write("hostile.json", make_documents.document(300, hostile=True))
    rc, out, err = tool.run("report", "hostile.json", "-o", "report.html")
    page = tool.read("report.html").decode("utf-8")
    check(rc == 0 and "report.html: written (308 entries)" in out, "report written: %d %s%s" % (rc, out, err))
    data_text = page.split('<script type="application/json" id="data">')[1].split("</script>")[0]
    check("<" not in data_text and ">" not in data_text and "&" not in data_text and "\u2028" not in data_text,
          "the embedded data holds no <, >, & or U+2028")
    data = json.loads(data_text)

    paths = [unmarked(row[0]) for row in data["executables"]]
    for name in make_documents.HOSTILE_NAMES:
        check(any(p.endswith("\\" + name) for p in paths), "the hostile name %r travels unchanged" % name)
    hidden = [unmarked(row[0]) for row in data["executables"] if isinstance(row[0], list)]
    check(len(hidden) == 3 and all(any(p.endswith("\\" + n) for p in hidden)
                                   for n in ("quote\"back\\slash\ttab.exe", "line\u2028sep\u2029.exe", "ctl\u001f\u0001.exe")),
          "exactly the names with hidden characters come in pieces: %r" % hidden)
    check(data["summary"]["hiddenNames"] == 3, "the page counts them: %r" % data["summary"]["hiddenNames"])
    check(page.count("<script") == 2 and "http://" not in page and "https://" not in page and "src=" not in page.replace("src=x", ""),
          "the page loads nothing from elsewhere")
    check("innerHTML" not in page, "the page's script never uses innerHTML")
    rc, out, err = tool.run("report", "hostile.json", "-o", "report.html")
    check(rc == 1 and "already exists; use --force" in err, "an existing report is kept: %d %s" % (rc, err))
    rc, out, err = tool.run("report", "hostile.json", "-o", "report.html", "--force")
    check(rc == 0, "--force replaces a report")
    # Never through a link, never over the input, never into a folder.
    source = tool.read("hostile.json")
    rc, out, err = tool.run("report", "hostile.json", "-o", "hostile.json", "--force")
    check(rc == 1 and "hostile.json: is the input file" in err and tool.read("hostile.json") == source,
          "the input is never replaced by its report: %d %s" % (rc, err))
    os.symlink("nowhere.html", os.path.join(tool.workdir, "dangling.html"))
    for extra in ((), ("--force",)):
        rc, out, err = tool.run("report", "hostile.json", "-o", "dangling.html", *extra)
        check(rc == 1 and "dangling.html: is a symbolic link that points to nothing" in err
              and not os.path.exists(os.path.join(tool.workdir, "nowhere.html")),
              "a dangling link is not followed %s: %d %s" % (extra, rc, err))
    tool.write("kept.txt", b"kept")
    os.symlink("kept.txt", os.path.join(tool.workdir, "link.html"))
    rc, out, err = tool.run("report", "hostile.json", "-o", "link.html", "--force")
    if any(c.lower().endswith(".exe") for c in tool.command):
        # Wine shows a Unix link to a file as that file: the report takes the
        # link's name, as on Windows, and the file it pointed to stays.
        check(tool.read("kept.txt") == b"kept", "a link's target is not overwritten: %d %s" % (rc, err))
    else:
        check(rc == 1 and "link.html: is a symbolic link" in err and tool.read("kept.txt") == b"kept",
              "a link's target is not overwritten: %d %s" % (rc, err))
    os.symlink("hostile.json", os.path.join(tool.workdir, "input-link.html"))
    rc, out, err = tool.run("report", "hostile.json", "-o", "input-link.html", "--force")
    check(rc == 1 and tool.read("hostile.json") == source, "a link to the input is refused: %d %s" % (rc, err))
    os.mkdir(os.path.join(tool.workdir, "folder.html"))
    rc, out, err = tool.run("report", "hostile.json", "-o", "folder.html", "--force")
    check(rc == 1 and "folder.html: is a directory" in err, "a folder is not an output: %d %s" % (rc, err))
    check(not [n for n in os.listdir(tool.workdir) if n.endswith(".tmp")], "no temporary file is left behind")
    tool.write("cut.json", tool.read("hostile.json")[:20000])
    rc, out, err = tool.run("report", "cut.json", "-o", "cut.html")
    data = json.loads(tool.read("cut.html").decode().split('id="data">')[1].split("</script>")[0])
    check(rc == 0 and "not a complete allowlist document" in err and data["findings"]
          and any("cut off" in f[1] for f in data["findings"]),
          "a cut-off document's report lists why it is incomplete: %d %s" % (rc, err))


def hidden_code_points(source):
    """Every code point of the generated table that UTF-8 can carry (no surrogates)."""
    with open(os.path.join(source, "baseline", "platform", "hidden_table.cpp"), encoding="utf-8") as f:
        ranges = re.findall(r"\{0x([0-9A-F]+), 0x([0-9A-F]+)\}", f.read())
    return [c for a, b in ranges for c in range(int(a, 16), int(b, 16) + 1) if not 0xD800 <= c <= 0xDFFF]


def case_every_hidden_character(tool, source):
    """One executable and one publisher per hidden code point: no output shows one raw."""
    codes = hidden_code_points(source)
    hidden = set(map(chr, codes))
    check(len(codes) > 4000 and all(chr(c) in hidden for c in (0xAD, 0x115F, 0x2064, 0xFE0F, 0xE0041, 0x3000)),
          "the table holds the characters a screen does not show: %d" % len(codes))
    # check refuses a NUL anywhere and controls in a file's name: the creator cannot write them.
    codes = [c for c in codes if c != 0]
    control = lambda c: c < 0x20 or 0x7F <= c <= 0x9F
    extra = [{"fname": "h%X`%s.exe" % (c, "" if control(c) else chr(c)), "pubname": "Northwind Tools" + chr(c)}
             for c in codes]
    names = len(codes) + sum(1 for c in codes if not control(c))
    tool.write("plain.json", make_documents.document(40))
    tool.write("hidden.json", make_documents.document(40, extra=extra))

    def raw(data, allowed="\n\t"):
        # A CR LF is a line end (the Windows tools' text to a pipe); a CR alone is not.
        text = data.replace(b"\r\n", b"\n").decode("utf-8", "replace")
        return sorted({"%04X" % ord(ch) for ch in text if ch in hidden and ch not in allowed})

    outputs = {}
    for name, args in (("summary", ["summary", "hidden.json"]), ("diff", ["diff", "plain.json", "hidden.json"]),
                       ("diff --json", ["diff", "--json", "plain.json", "hidden.json"])):
        rc, out, err = tool.run_bytes(*args)
        outputs[name] = out
        check(rc in (0, 1) and raw(out) == [] and raw(err) == [] and len(out) > 1000,
              "%s shows no hidden character raw: %d %r %r" % (name, rc, raw(out)[:10], err[:200]))
    check(re.search(rb"Hidden characters: %d names" % names, outputs["summary"]) is not None,
          "summary counts every hidden name")
    check(b"Northwind Tools\\u00AD" in outputs["diff"] and b"Northwind Tools\\uDB40\\uDC41" in outputs["diff"],
          "diff shows escapes, past U+FFFF one per unit")
    for table in ("executables", "publishers"):
        rc, out, err = tool.run("export", "hidden.json", "--table", table, "-o", table + ".csv", "--force")
        data = tool.read(table + ".csv")
        rows = data.decode("utf-8").splitlines()[1:]
        marked = [r for r in rows if r.endswith('"yes"') or r.endswith(",yes")]
        check(rc == 0 and data.startswith(b"\xef\xbb\xbf") and raw(data[3:], "\r\n") == [] and len(marked) == len(codes),
              "the %s CSV escapes and flags every hidden name: %d %r %s" % (table, len(marked), raw(data[3:], "\r\n")[:10], err))
    rc, out, err = tool.run("report", "hidden.json", "-o", "hidden.html", "--force")
    page = tool.read("hidden.html")
    data_text = page.split(b'<script type="application/json" id="data">')[1].split(b"</script>")[0]
    data = json.loads(data_text)
    check(rc == 0 and raw(page) == [] and data["summary"]["hiddenNames"] == names,
          "the report holds no hidden character raw and counts them: %r" % raw(page)[:10])
    runs = [row[1] for row in data["executables"] if isinstance(row[1], list)]
    check(len(runs) == len(codes) and all(len(r) == 1 and r[0].startswith("Northwind Tools`") for r in runs)
          and {int(r[0][16:-1], 16) for r in runs} == set(codes), "each signer comes as its text and one mark")
    paths = {unmarked(row[0]) for row in data["executables"]}
    check(all("C:\\Apps\\Extra\\" + e["fname"] in paths for e in extra), "every hidden name travels unchanged")
    # Long names, hidden characters alone and in runs, backquotes of their own:
    # the report stays within twice the document.
    name = "x\u00ad" * 100 + "\u200b" * 100 + "`\u2064``\U000E0041"
    long_names = [{"fname": name + "%d.exe" % n, "pubname": name + str(n)} for n in range(300)]
    tool.write("long.json", make_documents.document(40, extra=long_names))
    rc, out, err = tool.run("report", "long.json", "-o", "long.html", "--force")
    page, document = tool.read("long.html"), tool.read("long.json")
    data = json.loads(page.split(b'<script type="application/json" id="data">')[1].split(b"</script>")[0])
    check(rc == 0 and len(page) <= 2 * len(document) and raw(page) == []
          and {unmarked(row[0]) for row in data["executables"]} >= {"C:\\Apps\\Extra\\" + e["fname"] for e in long_names},
          "a report of long hidden names is at most twice the document: %d bytes, document %d (%.2f times)"
          % (len(page), len(document), len(page) / len(document)))
    print("report of long hidden names: %d bytes, document %d bytes (%.2f times)"
          % (len(page), len(document), len(page) / len(document)))


def case_usage(tool):
    for args, code, text in [((), 2, "no command given"), (("frobnicate", "x"), 2, "unknown command frobnicate"),
                             (("check",), 2, "check takes one document"), (("check", "a", "b"), 2, "check takes one document"),
                             (("diff", "a"), 2, "diff takes OLD and NEW"), (("report", "a"), 2, "report needs DOC and -o"),
                             (("check", "--bogus", "a"), 2, "unknown option --bogus"),
                             (("check", "nothing.json"), 1, "nothing.json: cannot be opened (no such file)"),
                             (("summary", "."), 1, ".: is a directory"),
                             # After "--" every argument is a file; help is asked for only first.
                             (("check", "--", "-h.json"), 1, "-h.json: cannot be opened (no such file)"),
                             (("check", "help"), 1, "help: cannot be opened (no such file)"),
                             (("check", "x", "--help"), 2, "unknown option --help"),
                             (("check", "--\x1b[2J"), 2, "unknown option --\\u001B[2J"),
                             (("report", "a", "-o", "x", "-o", "y"), 2, "the output is given twice")]:
        rc, out, err = tool.run(*args)
        check(rc == code and text in err, "%s: exit %d and %r, got %d %s" % (args, code, text, rc, err))
    rc, out, err = tool.run("--help")
    check(rc == 0 and all(c in out for c in ("baselinedoc check DOC", "baselinedoc summary DOC",
                                              "baselinedoc diff [--json] OLD NEW", "baselinedoc report DOC -o REPORT.html")),
          "--help lists the four commands")


def case_line_ends(tool):
    """Text to a pipe ends its lines as the platform's tools expect (CR LF from
    the Windows tool, LF from the Linux one); JSON is data and keeps its bytes."""
    windows = any(c.lower().endswith(".exe") for c in tool.command)
    tool.write("old.json", make_documents.document(300))
    tool.write("new.json", make_documents.document(300, variant="changed"))
    for args, stream, is_text in [(("summary", "old.json"), 1, True), (("check", "old.json"), 1, True),
                                  (("diff", "old.json", "new.json"), 1, True), (("frobnicate",), 2, True),
                                  (("diff", "--json", "old.json", "new.json"), 1, False)]:
        data = tool.run_bytes(*args)[stream]
        lone = data.replace(b"\r\n", b"").count(b"\n")
        pairs = data.count(b"\r\n")
        want_crlf = windows and is_text
        check(data.count(b"\n") > 0 and (lone == 0 if want_crlf else pairs == 0),
              "%s: %s line ends on a pipe, got %d CR LF and %d LF" % (args, "CR LF" if want_crlf else "LF", pairs, lone))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--documents")
    parser.add_argument("tool", nargs="+")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="baselinedoc-")
    tool = Tool(args.tool, work)
    try:
        case_usage(tool)
        case_line_ends(tool)
        case_check(tool, make_documents.document(60))
        case_summary(tool, args.source)
        case_diff(tool)
        case_report(tool)
        case_every_hidden_character(tool, args.source)
        if args.documents:
            case_creator_documents(tool, args.documents)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return verdict()


if __name__ == "__main__":
    sys.exit(main())
