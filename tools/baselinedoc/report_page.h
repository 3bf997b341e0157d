// The report page: fixed HTML, CSS and script. "@DATA@" is where the
// document's data goes, as JSON text escaped for a <script> element. The
// script never assigns document data to innerHTML: every value goes through
// textContent, and rows are made only for the part of a table on screen. A
// value that holds hidden characters comes as a one-element array: its text,
// each run of hidden characters as "`AD 2064`" (code points in hexadecimal),
// a backquote of its own as "``"; each code point is drawn as a visible
// "U+XXXX" mark; every cell is one line, cut where it overflows.
#pragma once

namespace baseline::doc {

inline constexpr const char* kReportPage = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; img-src 'none'; connect-src 'none'">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Allowlist report</title>
<style>
body { font: 13px/1.4 "DejaVu Sans", Arial, sans-serif; margin: 16px; color: #1d1d1f; background: #fafafa; }
h1 { font-size: 20px; margin: 0 0 4px; }
h2 { font-size: 15px; margin: 20px 0 6px; }
#sub { color: #555; margin-bottom: 10px; }
#findings { background: #fff0f0; border: 1px solid #d88; padding: 6px 10px; margin-bottom: 10px; display: none; }
#findings li { font-family: monospace; }
.facts { display: grid; grid-template-columns: repeat(auto-fill, minmax(190px, 1fr)); gap: 6px; margin-bottom: 6px; }
.fact { background: #fff; border: 1px solid #ddd; border-radius: 4px; padding: 4px 8px; }
.fact .k { color: #666; font-size: 11px; }
.fact .v { font-size: 15px; font-weight: bold; overflow-wrap: anywhere; }
.fact.warn .v { color: #b00; }
.toolbar { display: flex; gap: 8px; align-items: center; margin-bottom: 4px; }
.toolbar input { width: 280px; padding: 3px 6px; }
.count { color: #555; }
.grid { border: 1px solid #ccc; background: #fff; }
.head, .row { display: grid; height: 22px; align-items: center; }
.head { background: #eee; font-weight: bold; border-bottom: 1px solid #ccc; }
.head span { cursor: pointer; user-select: none; }
.head > span, .row > span { padding: 0 6px; white-space: nowrap; overflow: hidden; text-overflow: ellipsis; height: 22px; line-height: 22px; }
.mark { font: 10px/1 monospace; background: #fde68a; color: #7a2e00; border: 1px solid #d97706; border-radius: 3px; padding: 0 2px; margin: 0 1px; }
.row:nth-child(even) { background: #f5f7fb; }
.row.mut { color: #a40; }
.viewport { position: relative; overflow-y: auto; height: 286px; }
.viewport.tall { height: 440px; }
.rows { position: absolute; left: 0; right: 0; top: 0; }
</style>
</head>
<body>
<h1 id="title">Allowlist report</h1>
<div id="sub"></div>
<ul id="findings"></ul>
<div class="facts" id="facts"></div>
<div id="tables"></div>
<script type="application/json" id="data">@DATA@</script>
<script>
"use strict";
(function () {
  var ROW = 22;
  var data = JSON.parse(document.getElementById("data").textContent);
  function mark(hex) { return "U+" + ("000" + hex).slice(-Math.max(4, hex.length)); }
  function marked(v) { return Array.isArray(v); }
  // A marked value's pieces: text, then the code points of a run of hidden
  // characters, then text, and so on.
  function pieces(v) {
    var parts = v[0].split("`"), out = [""];
    for (var i = 0; i < parts.length; i++) {
      if (i % 2 === 0) out[out.length - 1] += parts[i];
      else if (parts[i] === "") out[out.length - 1] += "`";
      else out.push(parts[i].split(" "), "");
    }
    return out;
  }
  // A value as plain text, for titles, options, search and sorting: each
  // hidden character as its U+XXXX mark.
  function plain(v) {
    if (v === null || v === undefined) return "";
    if (!marked(v)) return String(v);
    return pieces(v).map(function (p, i) { return i % 2 ? p.map(mark).join("") : p; }).join("");
  }
  // One value's identity, to tell a marked value from a string of its marks.
  function same(a, b) { return JSON.stringify(a) === JSON.stringify(b); }
  // Puts the values of `parts` into `e`, a mark element for each hidden
  // character.
  function put(e, parts) {
    e.textContent = "";
    parts.forEach(function (v) {
      if (!marked(v)) { e.appendChild(document.createTextNode(v === null || v === undefined ? "" : String(v))); return; }
      pieces(v).forEach(function (p, i) {
        if (i % 2 === 0) { e.appendChild(document.createTextNode(p)); return; }
        p.forEach(function (hex) {
          var m = document.createElement("span");
          m.className = "mark";
          m.textContent = mark(hex);
          e.appendChild(m);
        });
      });
    });
  }
  function el(tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) put(e, [text]);
    return e;
  }
  var h = data.header, s = data.summary;
  document.title = "Allowlist " + plain(h.title) + " (" + plain(h.hostname) + ")";
  put(document.getElementById("title"), ["Allowlist: ", h.title]);
  put(document.getElementById("sub"), [h.desc, " \u2014 ", data.file]);
  if (data.findings.length) {
    var list = document.getElementById("findings");
    list.style.display = "block";
    list.appendChild(el("b", "", "This document is not complete (" + data.findings.length + " findings):"));
    data.findings.slice(0, 20).forEach(function (f) {
      var item = el("li");
      put(item, [f[0], ": ", f[1]]);
      list.appendChild(item);
    });
  }
  var facts = document.getElementById("facts");
  function fact(k, parts, warn) {
    var d = el("div", warn ? "fact warn" : "fact");
    d.appendChild(el("div", "k", k));
    var v = el("div", "v");
    put(v, parts);
    d.appendChild(v);
    facts.appendChild(d);
  }
  fact("Host", [h.hostname]);
  fact("System", [h.osname, " (", h.osver, " build ", h.buildnumber, ", ", h.platform, ")"]);
  fact("System drive", [h.osdrive]);
  fact("Created", [h.cdate]);
  fact("Run", s.present ? [s.starttime, " \u2013 ", s.endtime] : ["(no summary)"]);
  fact("Status", [s.present ? s.status : "(missing)"], s.status !== "succeed");
  fact("Discovered directories", [s.dircnt]);
  fact("Discovered files", [s.filecnt]);
  fact("Supported files", [s.supportedfilecnt]);
  fact("Allowed directories", [s.alloweddircnt]);
  fact("Allowed files", [s.allowedfilecnt]);
  fact("Allowed publishers", [s.allowedpubcnt]);
  fact("Global strict publisher", [s.globalstrictpub ? "yes" : "no"]);
  fact("Unsigned executables", [s.unsigned], s.unsigned > 0);
  fact("Mutable allowed executables", [s.mutableExecutables], s.mutableExecutables > 0);
  fact("Mutable allowed directories", [s.mutableDirectories], s.mutableDirectories > 0);
  fact("Names with hidden characters", [s.hiddenNames], s.hiddenNames > 0);

  function yes(v) { return v ? "yes" : "no"; }
  function allowed(v) { return v === -1 ? "(not listed)" : v ? "allowed" : "not allowed"; }
  function when(t) {
    var d = new Date(t * 1000);
    return isNaN(d.getTime()) ? String(t) : d.toISOString().replace("T", " ").replace(".000Z", " UTC");
  }

  function table(options) {
    var section = el("section");
    section.id = options.id;
    section.appendChild(el("h2", "", options.title + " (" + options.rows.length + ")"));
    var bar = el("div", "toolbar");
    var search = el("input");
    search.type = "search";
    search.id = options.id + "-search";
    search.placeholder = "Search " + options.title.toLowerCase();
    bar.appendChild(search);
    var select = null;
    if (options.filters) {
      select = el("select");
      select.id = options.id + "-filter";
      options.filters.forEach(function (f, i) { var o = el("option", "", f.label); o.value = String(i); select.appendChild(o); });
      bar.appendChild(select);
    }
    var count = el("span", "count");
    count.id = options.id + "-count";
    bar.appendChild(count);
    section.appendChild(bar);
    var grid = el("div", "grid");
    var template = options.columns.map(function (c) { return c.width; }).join(" ");
    var head = el("div", "head");
    head.style.gridTemplateColumns = template;
    var sortColumn = -1, ascending = true;
    options.columns.forEach(function (c, i) {
      var cell = el("span", "", c.title);
      cell.title = "Sort by " + c.title;
      cell.addEventListener("click", function () {
        ascending = sortColumn === i ? !ascending : true;
        sortColumn = i;
        head.querySelectorAll("span").forEach(function (x, j) {
          x.textContent = options.columns[j].title + (j === i ? (ascending ? " \u25B2" : " \u25BC") : "");
        });
        refilter();
      });
      head.appendChild(cell);
    });
    grid.appendChild(head);
    var viewport = el("div", options.tall ? "viewport tall" : "viewport");
    viewport.id = options.id + "-rows";
    var spacer = el("div");
    var rowsBox = el("div", "rows");
    viewport.appendChild(spacer);
    viewport.appendChild(rowsBox);
    grid.appendChild(viewport);
    section.appendChild(grid);
    document.getElementById("tables").appendChild(section);

    var texts = null;
    function searchText(i) {
      if (texts === null) texts = new Array(options.rows.length);
      var t = texts[i];
      if (t === undefined) {
        var r = options.rows[i];
        t = texts[i] = options.columns.map(function (c) { return plain(c.text(r)); }).join("\u0001").toLowerCase();
      }
      return t;
    }
    var view = [];
    function refilter() {
      var q = search.value.toLowerCase();
      var f = select ? options.filters[Number(select.value)].test : null;
      view = [];
      for (var i = 0; i < options.rows.length; ++i) {
        if (f && !f(options.rows[i])) continue;
        if (q && searchText(i).indexOf(q) < 0) continue;
        view.push(i);
      }
      if (sortColumn >= 0) {
        var key = options.columns[sortColumn].key;
        var keys = new Array(options.rows.length);
        view.forEach(function (i) { keys[i] = key(options.rows[i]); });
        var sign = ascending ? 1 : -1;
        view.sort(function (a, b) { var x = keys[a], y = keys[b]; return (x < y ? -1 : x > y ? 1 : a - b) * sign; });
      }
      count.textContent = view.length === options.rows.length ? view.length + " rows" : view.length + " of " + options.rows.length + " rows";
      spacer.style.height = view.length * ROW + "px";
      draw(true);
    }
    var pool = [];
    function draw(force) {
      var first = Math.max(0, Math.floor(viewport.scrollTop / ROW));
      var visible = Math.ceil((viewport.clientHeight || 440) / ROW) + 1;
      var last = Math.min(view.length, first + visible);
      rowsBox.style.top = first * ROW + "px";
      while (pool.length < last - first) {
        var row = el("div", "row");
        row.style.gridTemplateColumns = template;
        options.columns.forEach(function () { row.appendChild(el("span")); });
        rowsBox.appendChild(row);
        pool.push(row);
      }
      for (var k = 0; k < pool.length; ++k) {
        var rowEl = pool[k];
        if (first + k >= last) { rowEl.style.display = "none"; continue; }
        rowEl.style.display = "";
        var r = options.rows[view[first + k]];
        var cells = rowEl.children;
        for (var c = 0; c < options.columns.length; ++c) {
          var t = options.columns[c].text(r);
          put(cells[c], [t]);
          cells[c].title = plain(t);
        }
        rowEl.className = options.mutable && options.mutable(r) ? "row mut" : "row";
      }
    }
    viewport.addEventListener("scroll", function () { draw(false); });
    search.addEventListener("input", refilter);
    if (select) select.addEventListener("change", refilter);
    refilter();
    return { refilter: refilter };
  }
  function col(title, width, text, key) {
    return { title: title, width: width, text: text, key: key || function (r) { return plain(text(r)); } };
  }
  var hiddenInName = function (r) { return marked(r[0]); };
  function num(title, width, i) { return col(title, width, function (r) { return String(r[i]); }, function (r) { return r[i]; }); }

  var publisherFilters = [{ label: "All publishers", test: null }];
  data.publishers.forEach(function (p) {
    publisherFilters.push({ label: "Signed by " + plain(p[0]), test: function (r) { return same(r[1], p[0]); } });
  });
  var mutableAllowed = function (r) { return r[8] !== 0 && r[9]; };
  table({
    id: "executables", title: "Executables", tall: true, rows: data.executables,
    filters: [{ label: "All executables", test: null },
              { label: "Unsigned", test: function (r) { return r[1] === null; } },
              { label: "Allowed and mutable", test: mutableAllowed },
              { label: "Names with hidden characters", test: hiddenInName }].concat(publisherFilters.slice(1)),
    mutable: mutableAllowed,
    columns: [col("Path", "minmax(260px, 3fr)", function (r) { return r[0]; }),
              col("Publisher", "minmax(140px, 1.3fr)", function (r) { return r[1] === null ? "(unsigned)" : r[1]; }),
              col("File version", "110px", function (r) { return r[3]; }),
              col("Product", "minmax(100px, 1fr)", function (r) { return r[4]; }),
              col("Modified", "165px", function (r) { return when(r[7]); }, function (r) { return r[7]; }),
              col("Allowed", "70px", function (r) { return yes(r[8] !== 0); }, function (r) { return r[8]; }),
              col("Mutable", "70px", function (r) { return yes(r[9]); }, function (r) { return r[9] ? 1 : 0; })]
  });
  table({
    id: "publishers", title: "Publishers", rows: data.publishers,
    filters: [{ label: "All publishers", test: null }, { label: "Names with hidden characters", test: hiddenInName }],
    columns: [col("Publisher", "minmax(200px, 2fr)", function (r) { return r[0]; }),
              col("State", "100px", function (r) { return allowed(r[1]); }),
              col("Mutable", "70px", function (r) { return yes(r[2]); }, function (r) { return r[2] ? 1 : 0; }),
              num("Executables", "100px", 4),
              col("Certificates (issuer / serial)", "minmax(200px, 3fr)", function (r) { return r[5]; })]
  });
  var dirMutableAllowed = function (r) { return r[1] !== 0 && r[2]; };
  table({
    id: "directories", title: "Directories", rows: data.directories,
    filters: [{ label: "All directories", test: null },
              { label: "Allowed", test: function (r) { return r[1] !== 0; } },
              { label: "Allowed and mutable", test: dirMutableAllowed },
              { label: "Names with hidden characters", test: hiddenInName }],
    mutable: dirMutableAllowed,
    columns: [col("Path", "minmax(300px, 4fr)", function (r) { return r[0]; }),
              col("Allowed", "70px", function (r) { return yes(r[1] !== 0); }, function (r) { return r[1]; }),
              col("Mutable", "70px", function (r) { return yes(r[2]); }, function (r) { return r[2] ? 1 : 0; }),
              num("Attributes", "90px", 3), num("Id", "80px", 4), num("Parent", "80px", 5)]
  });
  table({
    id: "allowed", title: "Allowed directories", rows: data.allowed,
    filters: [{ label: "All", test: null }, { label: "Mutable", test: function (r) { return r[2]; } },
              { label: "Names with hidden characters", test: hiddenInName }],
    mutable: function (r) { return r[2]; },
    columns: [col("Directory", "minmax(300px, 4fr)", function (r) { return r[0]; }),
              col("Mutable", "70px", function (r) { return yes(r[2]); }, function (r) { return r[2] ? 1 : 0; }),
              col("Strict publisher", "120px", function (r) { return yes(r[3]); }, function (r) { return r[3] ? 1 : 0; }),
              col("Default", "70px", function (r) { return yes(r[4]); }, function (r) { return r[4] ? 1 : 0; })]
  });
  document.body.setAttribute("data-ready", "1");
})();
</script>
</body>
</html>
)PAGE";

}  // namespace baseline::doc
