#!/usr/bin/env python3
"""baselinedoc's HTML report in a real browser: headless Chromium driven over
its DevTools protocol (a websocket spoken by hand, standard library only).

    baselinedoc_browser.py --out DIR [--screenshot FILE] -- BASELINEDOC...

It writes a report of a document with hostile names and checks that the page
loads with no request beyond the file itself, that the counters and tables are
there, that a search typed into the box filters the rows, that hostile names
show as text and that no script of theirs ran (no dialog, no marker, no
element made from a name). It then opens the report of a 100,000-entry
document, searches it and prints how long both took. Exit 77 (skipped) when
Chromium is not installed."""

import argparse
import base64
import json
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_documents  # noqa: E402

failures = []
passes = []


def check(condition, what):
    print(("ok: " if condition else "FAIL: ") + what)
    (passes if condition else failures).append(what)


class DevTools:
    """One page's DevTools websocket: commands with ids, events queued."""

    def __init__(self, url):
        match = re.match(r"ws://([^/:]+):(\d+)(/.*)", url)
        host, port, path = match.group(1), int(match.group(2)), match.group(3)
        self.sock = socket.create_connection((host, port), timeout=60)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall(("GET %s HTTP/1.1\r\nHost: %s:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                           "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n\r\n"
                           % (path, host, port, key)).encode())
        response = b""
        while b"\r\n\r\n" not in response:
            response += self.sock.recv(1)
        if b" 101 " not in response.split(b"\r\n")[0]:
            raise RuntimeError("websocket refused: %r" % response[:200])
        self.next_id = 0
        self.events = []

    def _send(self, text):
        data = text.encode()
        header = bytes([0x81])
        mask = os.urandom(4)
        if len(data) < 126:
            header += bytes([0x80 | len(data)])
        elif len(data) < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", len(data))
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", len(data))
        self.sock.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

    def _exactly(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise RuntimeError("the browser closed the connection")
            data += chunk
        return data

    def _receive(self):
        message = b""
        while True:
            first, second = self._exactly(2)
            length = second & 0x7F
            if length == 126:
                length = struct.unpack(">H", self._exactly(2))[0]
            elif length == 127:
                length = struct.unpack(">Q", self._exactly(8))[0]
            payload = self._exactly(length)
            if first & 0x0F == 0x8:
                raise RuntimeError("the browser closed the websocket")
            message += payload
            if first & 0x80:
                return json.loads(message.decode())

    def call(self, method, **params):
        self.next_id += 1
        wanted = self.next_id
        self._send(json.dumps({"id": wanted, "method": method, "params": params}))
        while True:
            message = self._receive()
            if message.get("id") == wanted:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"]))
                return message.get("result", {})
            if "method" in message:
                self.events.append(message)

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in result:
            raise RuntimeError("script failed: %s" % result["exceptionDetails"])
        return result["result"].get("value")

    def wait_for(self, expression, seconds):
        deadline = time.time() + seconds
        while time.time() < deadline:
            if self.evaluate(expression):
                return True
            time.sleep(0.05)
        return False


class Browser:
    def __init__(self, chromium, profile):
        self.process = subprocess.Popen(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + profile, "--remote-debugging-address=127.0.0.1",
             "--remote-debugging-port=0", "--window-size=1400,1100", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.port = None
        deadline = time.time() + 60
        while time.time() < deadline and self.port is None:
            line = self.process.stderr.readline().decode("utf-8", "replace")
            if not line and self.process.poll() is not None:
                raise RuntimeError("chromium ended before it listened")
            match = re.search(r"DevTools listening on ws://127\.0\.0\.1:(\d+)/", line)
            if match:
                self.port = int(match.group(1))
        if self.port is None:
            raise RuntimeError("chromium did not open its DevTools port")

    def page(self):
        with urllib.request.urlopen("http://127.0.0.1:%d/json/list" % self.port, timeout=30) as response:
            targets = json.loads(response.read().decode())
        page = next(t for t in targets if t["type"] == "page")
        return DevTools(page["webSocketDebuggerUrl"])

    def close(self):
        self.process.kill()
        self.process.wait()


def open_report(tools, path):
    tools.events.clear()
    started = time.time()
    tools.call("Page.navigate", url="file://" + path)
    ready = tools.wait_for("document.body && document.body.getAttribute('data-ready') === '1'", 60)
    return ready, time.time() - started


def type_search(tools, box, text):
    tools.evaluate("document.getElementById(%s).focus()" % json.dumps(box))
    tools.call("Input.insertText", text=text)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--screenshot")
    parser.add_argument("tool", nargs="+")
    args = parser.parse_args()
    chromium = shutil.which("chromium")
    if chromium is None:
        print("skipped: chromium is not installed (scripts/setup installs it)")
        return 77
    os.makedirs(args.out, exist_ok=True)
    work = tempfile.mkdtemp(dir=args.out)
    hostile_doc = os.path.join(work, "hostile.json")
    hostile_bytes = make_documents.document(300, hostile=True)
    # A name that reverses itself and one that would retitle a terminal.
    for plain, hidden in ((b'"tool000002.exe"', b'"invoice\\u202egpj.exe"'), (b'"tool000003.exe"', b'"esc\\u001b[2J.exe"')):
        assert plain in hostile_bytes, plain
        hostile_bytes = hostile_bytes.replace(plain, hidden, 1)
    with open(hostile_doc, "wb") as f:
        f.write(hostile_bytes)
    hostile_report = os.path.join(work, "hostile.html")
    subprocess.run(args.tool + ["report", hostile_doc, "-o", hostile_report], check=True)
    big_doc = os.path.join(work, "big.json")
    with open(big_doc, "wb") as f:
        f.write(make_documents.document(100000))
    big_report = os.path.join(work, "big.html")
    subprocess.run(args.tool + ["report", big_doc, "-o", big_report], check=True)

    browser = Browser(chromium, os.path.join(work, "profile"))
    try:
        tools = browser.page()
        tools.call("Page.enable")
        tools.call("Network.enable")
        tools.call("Runtime.enable")
        ready, seconds = open_report(tools, hostile_report)
        check(ready, "the report of hostile names loads")
        requests = [e["params"]["request"]["url"] for e in tools.events if e["method"] == "Network.requestWillBeSent"]
        check(requests == ["file://" + hostile_report], "the page asks for nothing but itself: %s" % requests)
        dialogs = [e for e in tools.events if e["method"] == "Page.javascriptDialogOpening"]
        check(not dialogs, "no dialog opened")
        check(tools.evaluate("window.__hostile === undefined"), "no script from a name ran")
        # The hostile names are no names Windows allows, so the report heads its
        # page with check's findings, in a <b> of its own; the tables make none.
        check(tools.evaluate("document.querySelectorAll('img, #tables b, #facts b').length") == 0,
              "no element was made from a name")
        check(tools.evaluate("document.scripts.length") == 2, "the page has only its own two scripts")
        facts = tools.evaluate("document.getElementById('facts').textContent")
        check("Discovered directories" in facts and "Unsigned executables" in facts, "the counters are shown")
        for table in ("executables", "publishers", "directories", "allowed"):
            rows = tools.evaluate("document.querySelectorAll('#%s-rows .row:not([style*=none])').length" % table)
            check(rows > 0, "the %s table shows rows (%s)" % (table, rows))

        type_search(tools, "executables-search", "onerror")
        count = tools.evaluate("document.getElementById('executables-count').textContent")
        check(count.startswith("1 of "), "a typed search filters the executables to one: %r" % count)
        first = tools.evaluate("document.querySelector('#executables-rows .row span').textContent")
        expected = "C:\\Apps\\<script>window.__hostile=1</script>\\<img src=x onerror=alert(1)>.exe"
        check(first == expected, "the hostile name shows as text: %r" % first)
        type_search(tools, "publishers-search", "<b>")
        publisher = tools.evaluate("document.querySelector('#publishers-rows .row span').textContent")
        check(publisher == "<b>Evil & Co</b>", "a hostile publisher shows as text: %r" % publisher)
        tools.evaluate("var s = document.getElementById('executables-filter'); s.value = '1';"
                       "s.dispatchEvent(new Event('change'))")
        unsigned = tools.evaluate("document.getElementById('executables-count').textContent")
        check(unsigned.startswith("0 of "), "unsigned and 'onerror' together match nothing: %r" % unsigned)
        check(tools.evaluate("window.__hostile === undefined"), "still no script from a name after searching")

        # Hidden characters: drawn as marks, never raw; a filter finds them.
        tools.evaluate("var b = document.getElementById('executables-search'); b.value = '';"
                       "b.dispatchEvent(new Event('input'));"
                       "var s = document.getElementById('executables-filter');"
                       "s.value = String([].findIndex.call(s.options, function (o) {"
                       "  return o.textContent === 'Names with hidden characters'; }));"
                       "s.dispatchEvent(new Event('change'))")
        hidden_count = tools.evaluate("document.getElementById('executables-count').textContent")
        check(hidden_count.startswith("5 of "), "the filter shows the five names with hidden characters: %r" % hidden_count)
        shown_paths = tools.evaluate("[].map.call(document.querySelectorAll('#executables-rows .row:not([style*=none])'),"
                                     " function (r) { return r.children[0].textContent; })")
        check(any(p.endswith("\\invoiceU+202Egpj.exe") for p in shown_paths)
              and any(p.endswith("\\escU+001B[2J.exe") for p in shown_paths)
              and any(p.endswith("\\ctlU+001FU+0001.exe") for p in shown_paths)
              and any(p.endswith("\\lineU+2028sepU+2029.exe") for p in shown_paths)
              and any(p.endswith("\\quote\"back\\slashU+0009tab.exe") for p in shown_paths),
              "each hidden character shows as its U+XXXX mark: %r" % shown_paths)
        raw = tools.evaluate("(function () { var t = document.body.innerText; return /[\\u0000-\\u0008\\u000B-\\u001F"
                             "\\u007F-\\u009F\\u061C\\u200B-\\u200F\\u2028-\\u202E\\u2060\\u2066-\\u2069\\uFEFF]/"
                             ".test(t); })()")
        check(raw is False, "the page's text holds no raw control, bidirectional or invisible character")
        marks = tools.evaluate("document.querySelectorAll('#executables-rows .row:not([style*=none]) .mark').length")
        check(marks >= 7, "the marks are elements of their own, styled apart (%s)" % marks)
        heights = tools.evaluate("[].map.call(document.querySelectorAll('#executables-rows .row:not([style*=none]) > span'),"
                                 " function (c) { return c.getBoundingClientRect().height; })")
        check(heights and all(h == 22 for h in heights), "every cell is one line of the row's height: %r" % set(heights))
        tools.evaluate("var s = document.getElementById('executables-filter'); s.value = '0';"
                       "s.dispatchEvent(new Event('change'))")

        if args.screenshot:
            tools.evaluate("var s = document.getElementById('executables-filter'); s.value = '0';"
                           "s.dispatchEvent(new Event('change'));"
                           "var b = document.getElementById('executables-search'); b.value = '';"
                           "b.dispatchEvent(new Event('input'))")
            shot = tools.call("Page.captureScreenshot", format="png")
            data = base64.b64decode(shot["data"])
            with open(args.screenshot, "wb") as f:
                f.write(data)
            check(data[:8] == b"\x89PNG\r\n\x1a\n" and len(data) > 10000, "a screenshot was taken: " + args.screenshot)

        ready, seconds = open_report(tools, big_report)
        check(ready, "the report of 100,000 entries loads")
        total = tools.evaluate("document.getElementById('executables-count').textContent")
        check(total.endswith(" rows"), "its executables are counted: %r" % total)
        rows = tools.evaluate("document.querySelectorAll('#executables-rows .row').length")
        check(0 < rows < 100, "only the rows on screen are built (%s)" % rows)
        started = time.time()
        type_search(tools, "executables-search", "tool099")
        count = tools.evaluate("document.getElementById('executables-count').textContent")
        search_seconds = time.time() - started
        shown = tools.evaluate("document.querySelector('#executables-rows .row span').textContent")
        matched = int(count.split(" ")[0]) if " of " in count else -1
        check(0 < matched < 95237 and "tool099" in shown, "a search of 100,000 rows filters them: %r, %r" % (count, shown))
        tools.evaluate("document.querySelector('#executables .head span').click()")
        tools.evaluate("document.querySelector('#executables .head span').click()")
        last = tools.evaluate("document.querySelector('#executables-rows .row span').textContent")
        check(last.endswith("tool099999.exe") or "tool0999" in last, "sorting by path, descending, puts the last first: %r" % last)
        print("figures: 100,000-entry report ready in %.2f s, a typed search answered in %.2f s" % (seconds, search_seconds))
    finally:
        browser.close()
    shutil.rmtree(work, ignore_errors=True)
    print("%d passed, %d failed" % (len(passes), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
