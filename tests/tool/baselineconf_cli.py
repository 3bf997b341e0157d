#!/usr/bin/env python3
"""baselineconf as an administrator runs it, natively or under Wine:

    baselineconf_cli.py --configs DIR --readme docs/configuration.md -- COMMAND...

COMMAND is how to start the tool (for Windows: run-in-prefix PREFIX
baselineconf.exe). Every run happens in a fresh directory with relative file
names, so the same test serves both builds."""

import argparse
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tool_checks  # noqa: E402
from tool_checks import check, failures  # noqa: E402


class Tool(tool_checks.Tool):
    def run(self, *args):
        """Exit value, the output's bytes, and output and errors as text."""
        code, out, err = self.run_bytes(*args)
        return code, out, tool_checks.text(out), tool_checks.text(err)


def round_trips(tool, configs):
    for name in sorted(os.listdir(configs)):
        if not name.endswith(".json"):
            continue
        original = open(os.path.join(configs, name), "rb").read()
        local = "config-" + name
        tool.write(local, original)
        dat = local[:-5] + ".dat"
        rc, _, out, err = tool.run("encode", local, "-o", dat)
        check(rc == 0, "%s encodes, got %d %s%s" % (name, rc, out, err))
        written = tool.read(dat)
        check(written and b"\n" not in written and b"\r" not in written, "%s: one line, no line break" % name)
        rc, raw, _, err = tool.run("decode", dat)
        check(rc == 0 and raw == original, "%s: decode gives the same bytes back, got %d %r %s" % (name, rc, raw, err))
        rc, _, out, _ = tool.run("check", dat)
        check(rc == 0 and out.rstrip().endswith("the allowlist creator can load it (0 errors, %s)" %
                                                out.rstrip().rsplit(", ", 1)[-1][:-1]),
              "%s: check accepts what encode wrote, got %d %s" % (name, rc, out))
        rc, _, out, _ = tool.run("check", local)
        check(rc == 0, "%s: check accepts the JSON, got %d %s" % (name, rc, out))


def commands(tool):
    rc, _, out, _ = tool.run("--help")
    check(rc == 0 and "Usage:" in out and "encode CONFIG.json -o baselineconf.dat" in out, "--help: %d %s" % (rc, out))
    rc, _, _, err = tool.run()
    check(rc == 2 and "no command given" in err and "Usage:" in err, "no arguments: %d %s" % (rc, err))
    rc, _, _, err = tool.run("frobnicate", "x")
    check(rc == 2 and "unknown command frobnicate" in err, "unknown command: %d %s" % (rc, err))
    rc, _, _, err = tool.run("encode", "a.json")
    check(rc == 2 and "-o" in err, "encode without -o: %d %s" % (rc, err))
    rc, _, _, err = tool.run("check", "a.json", "--force")
    check(rc == 2, "check takes no options: %d %s" % (rc, err))

    tool.write("good.json", b'{"allowed_publishers": ["First Maker"]}')
    rc, _, out, err = tool.run("encode", "good.json", "-o", "baselineconf.dat")
    check(rc == 0 and "baselineconf.dat: written" in out, "encode: %d %s %s" % (rc, out, err))
    first = tool.read("baselineconf.dat")
    tool.write("other.json", b'{"allowed_publishers": ["Second Maker"]}')
    rc, _, _, err = tool.run("encode", "other.json", "-o", "baselineconf.dat")
    check(rc == 1 and "baselineconf.dat: already exists; use --force to replace it" in err,
          "no overwrite without --force: %d %s" % (rc, err))
    check(tool.read("baselineconf.dat") == first, "the existing file is untouched")
    rc, _, _, err = tool.run("encode", "other.json", "-o", "baselineconf.dat", "--force")
    check(rc == 0 and tool.read("baselineconf.dat") != first, "--force replaces: %d %s" % (rc, err))
    rc, raw, _, _ = tool.run("decode", "baselineconf.dat")
    check(raw == b'{"allowed_publishers": ["Second Maker"]}', "decode after --force: %r" % raw)

    # "/" is a Base64 character as well as the start of a JSON comment: this
    # text's .dat begins with it, and is still a .dat, whatever its name.
    tool.write("slash.json", b'{"n": 17}')
    rc, _, _, err = tool.run("encode", "slash.json", "-o", "slash.dat")
    check(rc == 0 and tool.read("slash.dat").startswith(b"/"), "a .dat that begins with a slash: %d %s" % (rc, err))
    tool.write("slash", tool.read("slash.dat"))
    for name in ("slash.dat", "slash"):
        rc, raw, _, err = tool.run("decode", name)
        check(rc == 0 and raw == b'{"n": 17}', "decode of %s: %d %r %s" % (name, rc, raw, err))
        rc, _, out, err = tool.run("check", name)
        check(rc == 0, "check of %s: %d %s" % (name, rc, err))

    tool.write("broken.json", b'{\n  "paths_to_discover": [\n}\n')
    rc, _, _, err = tool.run("encode", "broken.json", "-o", "broken.dat")
    check(rc == 1 and "broken.json:3:1: error:" in err and "broken.json: not encoded" in err,
          "encode refuses a syntax error with its place: %d %s" % (rc, err))
    check(not os.path.exists(tool.path("broken.dat")), "nothing written for a refused input")

    rc, _, _, err = tool.run("encode", "missing.json", "-o", "x.dat")
    check(rc == 1 and "missing.json: cannot be opened (no such file)" in err, "missing input: %d %s" % (rc, err))
    rc, _, _, err = tool.run("decode", "missing.dat")
    check(rc == 1 and "missing.dat" in err, "decode of a missing file: %d %s" % (rc, err))
    rc, out, _, err = tool.run("check", "missing.dat")
    check(rc == 1 and "missing.dat: cannot be opened" in err, "check of a missing file: %d %s" % (rc, err))

    # An editor's mistakes: check names each as its one error, decode as why it cannot.
    for name, data, said in [
            ("newline.dat", first + b"\r\n", "newline.dat:1:%d: error: a line break (CR LF) after the text at offset %d"
             % (len(first) + 1, len(first))),
            ("bom.dat", b"\xef\xbb\xbf" + first, "bom.dat: error: a UTF-8 byte order mark (EF BB BF) stands before"),
            ("plain.dat", b'{"allowed_publishers": []}\r\n',
             "plain.dat: error: this is a JSON file; encode it with baselineconf encode")]:
        tool.write(name, data)
        rc, _, out, _ = tool.run("check", name)
        check(rc == 1 and said in out and out.rstrip().endswith("cannot load it (1 error, 0 warnings)"),
              "check names the mistake in %s: %d %s" % (name, rc, out))
        rc, _, _, err = tool.run("decode", name)
        check(rc == 1 and said.split("error: ")[1] in err, "decode says why %s cannot be: %d %s" % (name, rc, err))

    tool.write("root.json", b"[]")
    rc, _, _, err = tool.run("encode", "root.json", "-o", "root.dat", "--no-check")
    check(rc == 0, "--no-check encodes what the creator refuses: %d %s" % (rc, err))
    rc, _, out, _ = tool.run("check", "root.dat")
    check(rc == 1 and "root.dat (decrypted JSON):1:1: error: the configuration is an array" in out,
          "check of an encoded root array: %d %s" % (rc, out))

    tool.write("warn.json", b'{"paths_to_discover": "everything",\n "colour": 1}')
    rc, _, out, _ = tool.run("check", "warn.json")
    check(rc == 0 and "warn.json:2:12: warning: unknown key \"colour\" is ignored" in out
          and "the allowlist creator can load it (0 errors, 2 warnings)" in out, "warnings only: %d %s" % (rc, out))

    # The kind of file is told by its name or, without a known extension, by its content.
    shutil.copy(tool.path("baselineconf.dat"), tool.path("config.txt"))
    rc, _, out, _ = tool.run("check", "config.txt")
    check(rc == 0, "a .dat by content: %d %s" % (rc, out))
    shutil.copy(tool.path("good.json"), tool.path("config.cfg"))
    rc, _, out, _ = tool.run("check", "config.cfg")
    check(rc == 0, "a .json by content: %d %s" % (rc, out))

    name = "konfig-\u00e9\u6f22.json"
    tool.write(name, b'{"allowed_publishers": ["\xc3\xa9"]}')
    rc, _, out, err = tool.run("encode", name, "-o", "konfig-\u00e9.dat")
    check(rc == 0 and os.path.exists(tool.path("konfig-\u00e9.dat")), "non-ASCII file names: %d %s %s" % (rc, out, err))
    rc, raw, _, _ = tool.run("decode", "konfig-\u00e9.dat")
    check(raw == b'{"allowed_publishers": ["\xc3\xa9"]}', "non-ASCII file names decode: %r" % raw)


def readme_example(readme, configs):
    text = open(readme, encoding="utf-8").read()
    example = open(os.path.join(configs, "example.json"), encoding="utf-8").read()
    check("```json\n" + example + "```" in text, "the configuration guide shows tests/configs/example.json as its example")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--configs", required=True)
    parser.add_argument("--readme", required=True)
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()
    workdir = tempfile.mkdtemp(prefix="baselineconf-cli-")
    try:
        tool = Tool([os.path.abspath(c) if os.path.exists(c) else c for c in args.command], workdir)
        commands(tool)
        round_trips(tool, args.configs)
        readme_example(args.readme, args.configs)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    print("baselineconf cli: %s" % ("failed" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
