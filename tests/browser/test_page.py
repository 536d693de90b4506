#!/usr/bin/env python3
"""Browser tests of the run's HTML page, in headless Chromium.

    test_page.py windows|figures|names|large|family --kelto BUILD/kelto --data tests/data

Each test records a run (--json), builds its page with `kelto html`, opens it
in headless Chromium (cdp.py) and checks what the page's script shows against
the record. What the page writer embeds (data, escaping, no external
reference) is tested in C++ (test_html.cpp). A missing Chromium is a
failure, never a skip.
"""

import argparse
import base64
import decimal
import json
import math
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import urllib.parse
import xml.etree.ElementTree as ET
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cdp  # noqa: E402

BLUE, VERMILLION = (0, 114, 178), (213, 94, 0)
TOOLTIP = re.compile(r"position (\d+)\npair A: (\S) (\S)  score (-?\d+)\npair B: (\S) (\S)  score (-?\d+)\n"
                     r"C\(k\)12 = (-?\d+)")


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def js_fixed(x, digits=4):
    """x as Number.prototype.toFixed writes it: the exact double rounded half
    away from zero (Python's format rounds half to even)."""
    return str(decimal.Decimal(x).quantize(decimal.Decimal(1).scaleb(-digits), rounding=decimal.ROUND_HALF_UP))


def page_p(p):
    """A p-value as the page shows it."""
    if p is None:
        return "\u2013"
    if p < 0.001:
        mantissa, exponent = f"{p:.2e}".split("e")
        return f"{mantissa}e{int(exponent)}"
    return js_fixed(p)


def page_score(x):
    """A scan window's Z or score as the page shows it: written to its data
    with 4 decimals, shown with toFixed(4) (which has no negative zero)."""
    return js_fixed(float(f"{x:.4f}") + 0.0)


def file_url(path, fragment=""):
    return "file://" + urllib.parse.quote(os.path.abspath(path)) + fragment


def run_program(kelto, args):
    done = subprocess.run([kelto, *args], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    check(done.returncode == 0, f"kelto {' '.join(args)} ended with status {done.returncode}: "
                                f"{done.stderr.decode(errors='replace')}")


def record_and_page(kelto, directory, input_path, t="20", options=()):
    """Records a run of input_path and builds its page; returns both paths."""
    record, page = os.path.join(directory, "run.jsonl"), os.path.join(directory, "page.html")
    run_program(kelto, ["--quiet", "--seed", "1", "--matrix", "2", *options, "--json", record, input_path, os.devnull, t])
    run_program(kelto, ["html", record, input_path, page])
    return record, page


def quartet_windows(quartet):
    """The final windows of a quartet line as the page marks them, in order."""
    return sorted([kind, w["start"], w["end"], "true" if w["eliminated"] else "false"]
                  for kind in ("max", "min") for w in quartet["final_" + kind])


# Each window of the chosen quartet's plot, from the bands' members (a band
# holds one window or several near-duplicate ones).
BANDS = """[...document.querySelectorAll('#profile-plot .window')].flatMap(e => e.dataset.members.split(' ').map(m =>
  [e.dataset.kind, ...m.split('-').map(Number), e.dataset.eliminated]))"""


def page_windows(browser):
    return sorted(browser.evaluate(BANDS))


def open_page(browser, url):
    browser.navigate("about:blank")
    browser.navigate(url)
    browser.wait_for("document.documentElement.dataset.state === 'ready'", what="the page to be drawn")


def chosen(browser):
    return browser.evaluate("document.getElementById('quartet-section').dataset.chosen")


def choose(browser, q):
    browser.evaluate(f"location.hash = '#q={q}'")
    browser.wait_for(f"document.getElementById('quartet-section').dataset.chosen === '{q}'", what=f"quartet {q}")


def check_no_errors(browser):
    errors = browser.console_errors()
    check(not errors, "console errors: " + "; ".join(errors))


def set_control(browser, element_id, value, event):
    browser.evaluate(f"(() => {{ const e = document.getElementById('{element_id}'); e.value = {json.dumps(value)};"
                     f" e.dispatchEvent(new Event('{event}')); }})()")


# The chosen quartet's plot: its bars, and each window's marks, the bars
# whose centres it covers, its distance outside the bars (above them for a
# maximum window, below for a minimum one), fill and stroke.
PLOT = """(() => { const p = document.getElementById('profile-plot'), box = e => e.getBoundingClientRect();
  const bars = [...p.querySelectorAll('.bar')].map(box), centres = bars.map(b => (b.left + b.right) / 2);
  const top = Math.min(...bars.map(b => b.top)), bottom = Math.max(...bars.map(b => b.bottom));
  return {bars: centres.length, windows: [...p.querySelectorAll('.window')].map(e => { const r = box(e);
    return {kind: e.dataset.kind, eliminated: e.dataset.eliminated, members: e.dataset.members.split(' ').map(m => m.split('-').map(Number)),
            count: [...p.querySelectorAll('.window-count')].filter(t => { const b = box(t);
              return r.top < (b.top + b.bottom) / 2 && (b.top + b.bottom) / 2 < r.bottom && b.left < r.right + 20 && b.right > r.left; }).map(t => t.textContent),
            covers: centres.flatMap((c, k) => r.left < c && c < r.right ? [k + 1] : []),
            side: e.dataset.kind === 'max' ? top - r.bottom : r.top - bottom, height: r.height,
            fill: e.getAttribute('fill'), stroke: e.getAttribute('stroke').toUpperCase()}; })}; })()"""


def check_plot(browser, q, n):
    """The plot of the chosen quartet `q` draws its recorded windows."""
    where = f"quartet {q['quartet']}"
    check(page_windows(browser) == quartet_windows(q), f"{where}: windows drawn {page_windows(browser)}, "
                                                       f"recorded {quartet_windows(q)}")
    plot = browser.evaluate(PLOT)
    check(plot["bars"] == n, f"{where}: {plot['bars']} bars for N_minimum {n}")
    # No two bands of one kind could be one: some of their windows are further apart.
    for j, a in enumerate(plot["windows"]):
        for b in plot["windows"][j + 1:]:
            check([a["kind"], a["eliminated"]] != [b["kind"], b["eliminated"]] or
                  any(abs(x[0] - y[0]) > 2 or abs(x[1] - y[1]) > 2 for x in a["members"] for y in b["members"]),
                  f"{where}: near-duplicate windows in two bands {a['members']} and {b['members']}")
    for drawn in plot["windows"]:
        kind, eliminated, members = drawn["kind"], drawn["eliminated"], drawn["members"]
        start, end = min(m[0] for m in members), max(m[1] for m in members)
        what = f"{where}, {kind} band {members}"
        check(drawn["covers"] == list(range(start, end + 1)), f"{what}: over the bars {drawn['covers']}")
        # Near-duplicates: a band's windows start and end within 2 positions of each other, marked "×n".
        check(all(abs(a[0] - b[0]) <= 2 and abs(a[1] - b[1]) <= 2 for a in members for b in members) and
              drawn["count"] == ([f"\u00d7{len(members)}"] if len(members) > 1 else []), f"{what}: count {drawn['count']}")
        # Maximum windows lie above every bar, minimum ones below.
        check(drawn["side"] >= 0 and drawn["height"] > 5, f"{what}: not on its side of the bars: {drawn}")
        check((drawn["fill"] == "none") == (eliminated == "true"), f"{what}: filled {drawn['fill']}")
        check(drawn["stroke"] == ("#0072B2" if kind == "max" else "#D55E00"), f"{what}: drawn in {drawn['stroke']}")
    rows = browser.evaluate("[...document.querySelectorAll('#window-rows tr[data-kind]')]"
                            ".map(tr => [...tr.cells].map(c => c.textContent))")
    recorded = [[name, str(w["size"]), f"{w['start']}\u2013{w['end']}", str(w["value"]), str(w["count"]),
                 js_fixed(w["percent"]) + " %", js_fixed(w["average"]), js_fixed(w["err"]),
                 "yes" if w["eliminated"] else "no", page_p(w["p_value"]), page_p(w["p_family"]),
                 "\u2013".join(map(str, w["columns"])),
                 ", ".join("\u2013".join(map(str, span)) for span in w["residues"])]
                for name, key in (("maximum", "final_max"), ("minimum", "final_min")) for w in q[key]]
    check(rows == recorded, f"{where}: window table {rows}, recorded {recorded}")
    mean = browser.evaluate("[...document.querySelectorAll('#quartet-facts .k')]"
                            ".find(e => e.textContent === 'Mean of C(k)12').nextSibling.textContent")
    check(mean == js_fixed(q["mean"]), f"{where}: mean shown {mean}, recorded {q['mean']}")


def check_profile(browser, q, records):
    """Pointing at every bar shows its residues and scores; the C(k)12 shown
    sum to the windows' recorded values and average to the recorded mean."""
    texts = browser.evaluate(
        "(() => { const p = document.getElementById('profile-plot'), t = document.getElementById('tooltip');"
        " return [...p.querySelectorAll('.bar')].map(b => { const r = b.getBoundingClientRect();"
        " p.dispatchEvent(new MouseEvent('mousemove', {clientX: (r.left + r.right) / 2, clientY: r.top}));"
        " return getComputedStyle(t).display === 'none' ? null : t.textContent; }); })()")
    a, b = 2 * q["pair_a"], 2 * q["pair_b"]
    diff = []
    for position, text in enumerate(texts, start=1):
        match = TOOLTIP.fullmatch(text or "")
        check(match, f"position {position}: tooltip {text!r}")
        got = match.groups()
        residues = [records[r][position - 1] for r in (a, a + 1, b, b + 1)]
        check(int(got[0]) == position and list(got[1:3] + got[4:6]) == residues,
              f"position {position}: tooltip {got}, residues {residues}")
        check(int(got[7]) == int(got[3]) - int(got[6]), f"position {position}: C(k)12 is not A - B: {got}")
        diff.append(int(got[7]))
    for w in q["final_max"] + q["final_min"]:
        check(sum(diff[w["start"] - 1:w["end"]]) == w["value"], f"window {w['start']}-{w['end']}: the page's profile"
                                                                 f" sums to {sum(diff[w['start'] - 1:w['end']])}")
    check(abs(sum(diff) / len(diff) - q["mean"]) < 1e-12, "the page's profile has another mean than the record")


def test_windows(args, chromium, tmp):
    """A run with windows of both kinds, eliminated ones and an identical quartet."""
    input_path = os.path.join(tmp, "in.txt")
    shutil.copy(os.path.join(args.data, "page_run.txt"), input_path)
    record, page = record_and_page(args.kelto, tmp, input_path)
    lines = [json.loads(line) for line in open(record, encoding="utf-8")]
    quartets = [line for line in lines if line["type"] == "quartet"]
    windows = [w for q in quartets for w in quartet_windows(q)]
    check(any(w[0] == "max" for w in windows) and any(w[0] == "min" for w in windows) and
          any(w[3] == "true" for w in windows) and any(q["identical"] for q in quartets),
          "page_run.txt no longer gives windows of both kinds, an eliminated one and an identical quartet")
    data = json.loads(re.search(r'<script type="application/json" id="kelto-data">(.*?)</script>',
                                open(page, encoding="utf-8").read(), re.S).group(1))
    n = lines[0]["n_minimum"]

    with cdp.Browser(chromium) as browser:
        open_page(browser, file_url(page))
        check(chosen(browser) == "0", f"without a fragment quartet {chosen(browser)} is chosen")
        for q in quartets:
            choose(browser, q["quartet"])
            check_plot(browser, q, n)

        # Opened with a fragment: the quartet with the most windows.
        busiest = max(quartets, key=lambda q: (len(quartet_windows(q)), -q["quartet"]))
        k = busiest["quartet"]
        check(k != 0, "the busiest quartet should not be the default one")
        open_page(browser, file_url(page, f"#q={k}"))
        check(chosen(browser) == str(k) and page_windows(browser) == quartet_windows(busiest),
              f"opened with #q={k}, quartet {chosen(browser)} shown")
        check_profile(browser, busiest, data["records"])

        # Sorted by family p-value, the list shows each quartet's p and its
        # Benjamini-Hochberg q over the run's quartets.
        tested = sorted((q["p_family"], q["quartet"]) for q in quartets if q["p_family"] is not None)
        q_value, running = {}, 1.0
        for rank in range(len(tested), 0, -1):
            running = min(running, tested[rank - 1][0] * len(tested) / rank)
            q_value[tested[rank - 1][1]] = running
        browser.evaluate("(() => { const s = document.getElementById('sort'); s.value = 'family';"
                         " s.dispatchEvent(new Event('change')); })()")
        listed = browser.evaluate("[...document.querySelectorAll('#quartet-rows tr')]"
                                  ".map(tr => [tr.dataset.q, tr.cells[6].textContent, tr.cells[7].textContent])")
        expected = [[str(k), page_p(p), page_p(q_value[k])] for p, k in tested][:len(listed)]
        check(len(listed) > 1 and listed[:len(expected)] == expected, f"sorted by family p: {listed}, expected {expected}")

        # Pixels: the plot, the overview in both colours, the page not blank.
        plot = browser.screenshot("#profile-plot")
        check(plot["not_white"] > plot["pixels"] * 0.05, f"the profile plot is (nearly) blank: {plot}")
        overview = browser.screenshot("#overview", colours=(BLUE, VERMILLION))
        check(min(overview["near"]) > 100, f"the overview lacks windows of a kind: {overview}")
        whole = browser.screenshot(scale=0.25)
        check(whole["not_white"] > whole["pixels"] * 0.03, f"the page looks blank: {whole}")

        # The save button: the same plot as a file, without script or hover marker.
        name, text = browser.evaluate(
            "new Promise(done => { let blob; const create = URL.createObjectURL;"
            " URL.createObjectURL = b => { blob = b; return create(b); };"
            " HTMLAnchorElement.prototype.click = function () { blob.text().then(t => done([this.download, t])); };"
            " document.getElementById('save-svg').click(); })")
        check(name == f"kelto-quartet-{k}.svg", f"the plot is saved as {name}")
        saved = ET.fromstring(text.encode())
        svg = "{http://www.w3.org/2000/svg}"
        classes = [e.get("class") for e in saved.iter()]
        check(saved.tag == svg + "svg" and classes.count("bar") == n, f"the saved plot: {saved.tag}, {classes}")
        check("hover-marker" not in classes and not any(e.tag == svg + "script" for e in saved.iter()),
              "the saved plot keeps the hover marker or a script")
        check(sorted([e.get("data-kind"), *map(int, m.split("-")), e.get("data-eliminated")]
                     for e in saved.iter() if e.get("class") == "window" for m in e.get("data-members").split())
              == quartet_windows(busiest), "the saved plot's windows")

        # An interrupted record: three quartets and a torn line, no end line.
        text = open(record, encoding="utf-8").read().splitlines(keepends=True)
        cut, cut_page = os.path.join(tmp, "cut.jsonl"), os.path.join(tmp, "cut.html")
        with open(cut, "w", encoding="utf-8") as out:
            out.write("".join(text[:4]) + text[4][:40])
        run_program(args.kelto, ["html", cut, input_path, cut_page])
        open_page(browser, file_url(cut_page, "#q=7"))
        state = browser.evaluate(
            "({ended: [...document.querySelectorAll('#run-facts dt')].find(e => e.textContent === 'Run ended')"
            ".nextSibling.textContent, note: document.getElementById('page-note').textContent,"
            " rows: document.querySelectorAll('#quartet-rows tr').length})")
        check(state["rows"] == 3 and state["ended"].startswith("interrupted/incomplete"), f"the torn record: {state}")
        check(chosen(browser) == "0" and "not in this run" in state["note"], f"#q=7 of 3 quartets: {state}")
        check_no_errors(browser)


# The layout of a figure (an <svg> in the page): its frames (the data
# areas), whether a legend box meets a frame, the texts whose boxes cross a
# frame's edge or leave the figure, the pairs of windows whose boxes meet,
# the window marks whose boxes meet a frame, the kinds the legend names and
# the kinds drawn, and the legend's share of the figure's height.
LAYOUT = """(svg => { const box = e => e.getBoundingClientRect(), e = 0.01;
  const meet = (a, b) => Math.min(a.right, b.right) - Math.max(a.left, b.left) > e &&
                         Math.min(a.bottom, b.bottom) - Math.max(a.top, b.top) > e;
  const inside = (a, b) => a.left >= b.left - e && a.right <= b.right + e && a.top >= b.top - e && a.bottom <= b.bottom + e;
  const figure = box(svg), frames = [...svg.querySelectorAll('.frame')].map(box);
  const legends = [...svg.querySelectorAll('.legend-box')].map(box);
  const texts = [...svg.querySelectorAll('text')].filter(t => t.textContent !== '').map(t => [t.textContent, box(t)]);
  const windows = [...svg.querySelectorAll('.window')].map(box);
  const marks = [...svg.querySelectorAll('.window, .scan-window')];
  const drawn = new Set(['bar', 'mean', ...marks.flatMap(m => m.classList.contains('scan-window') ? ['scan'] :
                         m.dataset.eliminated === 'true' ? [m.dataset.kind, 'elim'] : [m.dataset.kind])]);
  return {frames: frames.length, legends: legends.length,
          on_frame: marks.filter(m => frames.some(f => meet(box(m), f))).map(m => m.dataset.start + '-' + m.dataset.end),
          legend_kinds: [...svg.querySelectorAll('.legend-entry')].map(t => t.dataset.kind).sort(),
          drawn_kinds: [...drawn].sort(), legend_share: legends.length ? legends[0].height / figure.height : 0,
          legend_on_data: legends.some(l => frames.some(f => meet(l, f))),
          crossing: texts.filter(([t, r]) => frames.some(f => meet(r, f) && !inside(r, f))).map(([t]) => t),
          outside: texts.filter(([t, r]) => !inside(r, figure)).map(([t]) => t),
          meeting: windows.flatMap((a, j) => windows.slice(j + 1).flatMap((b, k) => meet(a, b) ? [[j, j + k + 1]] : []))};
})"""

# Clicks a save button and answers the file's name and bytes (base64).
SAVE = """new Promise(done => { let blob; const create = URL.createObjectURL;
  URL.createObjectURL = b => { blob = b; return create(b); };
  HTMLAnchorElement.prototype.click = function () { const name = this.download; blob.arrayBuffer().then(a => {
    let s = ''; new Uint8Array(a).forEach(c => { s += String.fromCharCode(c); }); done([name, btoa(s)]); }); };
  document.getElementById(%s).click(); })"""


def saved(browser, button):
    name, data = browser.evaluate(SAVE % json.dumps(button))
    return name, base64.b64decode(data)


def check_layout(browser, where, element_js, frames):
    layout = browser.evaluate(f"{LAYOUT}({element_js})")
    check(layout["frames"] == frames and layout["legends"] == 1, f"{where}: frames and legends {layout}")
    check(not layout["legend_on_data"], f"{where}: the legend covers the data area")
    check(not layout["crossing"] and not layout["outside"], f"{where}: texts across the frame {layout['crossing']}"
                                                            f" or out of the figure {layout['outside']}")
    check(not layout["meeting"], f"{where}: windows drawn over each other {layout['meeting']}")
    check(not layout["on_frame"], f"{where}: window marks over the plot area {layout['on_frame']}")
    check(layout["legend_kinds"] == layout["drawn_kinds"], f"{where}: the legend names {layout['legend_kinds']},"
                                                           f" the figure draws {layout['drawn_kinds']}")
    return layout


def placed(svg_text):
    """A script expression: the saved SVG parsed and put in the page, to be measured."""
    return ("document.body.appendChild(document.importNode(new DOMParser().parseFromString(%s, 'image/svg+xml')"
            ".documentElement, true))" % json.dumps(svg_text))


def png_facts(data):
    """Width, height and pixels per metre of a PNG whose chunks check out and whose image data inflates to its size."""
    check(data[:8] == b"\x89PNG\r\n\x1a\n", "the PNG lacks its signature")
    at, chunks, image = 8, {}, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        check(struct.unpack(">I", data[at + 8 + length:at + 12 + length])[0] == zlib.crc32(kind + body),
              f"the PNG's {kind} chunk fails its CRC")
        chunks[kind] = body
        image += body if kind == b"IDAT" else b""
        at += 12 + length
    width, height, depth, colour = struct.unpack(">IIBB", chunks[b"IHDR"][:10])
    check(depth == 8 and colour in (2, 6), f"PNG depth {depth}, colour type {colour}")
    check(len(zlib.decompress(image)) == height * (1 + width * (4 if colour == 6 else 3)), "the PNG's pixels")
    x, y, unit = struct.unpack(">IIB", chunks.get(b"pHYs", b"\0" * 9))
    return width, height, (x, y, unit)


# Gap columns put into nested_run.txt: {after position: columns}. One record
# has a gap in each, so each is removed and the positions stay the same.
REMOVED = {0: 3, 12: 5, 13: 1, 45: 40}


def with_removed_columns(source, target):
    """Writes source with the REMOVED gap columns; returns each position's alignment column."""
    lines = open(source, encoding="utf-8").read().split("\n")
    out = []
    for line in lines:
        if line.startswith(">") or line.startswith("#") or not line:
            out.append(line)
            continue
        gap = "-" if out[-1] == ">s0" else "G"
        out.append("".join(gap * REMOVED.get(k, 0) + (line[k] if k < len(line) else "") for k in range(len(line) + 1)))
    open(target, "w", encoding="utf-8").write("\n".join(out))
    n = len(lines[2])
    return [k + sum(g for after, g in REMOVED.items() if after < k) for k in range(1, n + 1)]


# A figure's x axis: each bar's left and right, each break mark's position
# and centre, each tick label's text and centre, the axis title, the y tick
# labels, and the texts holding C(k) with the subscript that follows it.
AXIS = """(svg => { const box = e => e.getBoundingClientRect(), mid = r => (r.left + r.right) / 2;
  return {bars: [...svg.querySelectorAll('.bar')].map(b => [box(b).left, box(b).right]),
          breaks: [...svg.querySelectorAll('.axis-break')].map(b => [Number(b.dataset.after), mid(box(b))]),
          ticks: [...svg.querySelectorAll('.x-tick-label')].map(t => [t.textContent, mid(box(t))]),
          title: svg.querySelector('.x-title').textContent,
          y_labels: [...svg.querySelectorAll('.y-tick-label')].map(t => t.textContent),
          subscripts: [...svg.querySelectorAll('text')].filter(t => t.textContent.includes('C(k)12')).map(t =>
            [...t.childNodes].some((c, n) => n > 0 && c.nodeName === 'tspan' && c.textContent === '12' &&
              c.getAttribute('baseline-shift') === 'sub' && t.childNodes[n - 1].textContent.endsWith('C(k)')))};
})"""


def check_axis(browser, where, element_js, columns, title):
    """Break marks between the bars where the axis's numbers (columns or
    residue numbers) jump, each tick label the number of the bar under it,
    the axis title, minus signs, subscripts."""
    axis = browser.evaluate(f"{AXIS}({element_js})")
    bars = axis["bars"]
    jumps = [k for k in range(1, len(columns)) if columns[k] - columns[k - 1] > 1]
    check([k for k, _ in axis["breaks"]] == jumps, f"{where}: breaks after positions {axis['breaks']}, columns jump"
                                                   f" after {jumps}")
    for k, x in axis["breaks"]:
        check(bars[k - 1][1] - 0.01 <= x <= bars[k][0] + 0.01, f"{where}: the break after position {k} at {x},"
                                                                f" between bars {bars[k - 1]} and {bars[k]}")
    check(len(axis["ticks"]) >= 3, f"{where}: ticks {axis['ticks']}")
    for text, x in axis["ticks"]:
        under = [k for k, (left, right) in enumerate(bars) if left - 0.01 <= x <= right + 0.01]
        check(len(under) == 1 and text == str(columns[under[0]]), f"{where}: tick {text} over positions {under}")
    check(axis["title"] == title, f"{where}: x axis title {axis['title']!r}, expected {title!r}")
    check(all(re.fullmatch("\u2212?\\d+", t) for t in axis["y_labels"]) and
          any(t.startswith("\u2212") for t in axis["y_labels"]), f"{where}: y tick labels {axis['y_labels']}")
    check(axis["subscripts"] and all(axis["subscripts"]), f"{where}: C(k)12 without its subscript {axis['subscripts']}")


def test_figures(args, chromium, tmp):
    """Quartet 1 of nested_run.txt with gap columns put in: six overlapping
    final windows, four of them maximum ones, and removed columns."""
    input_path = os.path.join(tmp, "in.txt")
    columns = with_removed_columns(os.path.join(args.data, "nested_run.txt"), input_path)
    record, page = record_and_page(args.kelto, tmp, input_path)
    lines = [json.loads(line) for line in open(record, encoding="utf-8")]
    q = lines[2]
    removed = lines[0]["gap_columns"]
    check(removed == sum(REMOVED.values()) and all(columns[w["start"] - 1] == w["columns"][0]
                                                   for w in q["final_max"] + q["final_min"]),
          f"the gap columns put in: {removed} removed, windows {q['final_max'] + q['final_min']}")
    axis_title = f"alignment column ({removed} columns removed; breaks marked)"
    p = {k["quartet"]: k["p_family"] for k in lines if k["type"] == "quartet" and k["p_family"] is not None}
    bh, by = q_values(p, 1.0), q_values(p, sum(1 / k for k in range(1, len(p) + 1)))
    answer = (f"family-wise p = {page_p(q['p_family'])}, q (BH) = {page_p(bh[1])}, q (BY) = {page_p(by[1])}"
              .replace("-", "\u2212").replace("family\u2212wise", "family-wise"))
    maxima = [(w["start"], w["end"]) for w in q["final_max"]]
    check(len(maxima) == 4 and all(a[0] <= b[1] and b[0] <= a[1] for a in maxima for b in maxima),
          f"nested_run.txt no longer gives quartet 1 four overlapping maximum windows: {maxima}")
    names = q["names"]
    title_facts = [*names, lines[0]["matrix"], f"T = {lines[0]['T']}", f"seed {lines[0]['seed']}"]

    with cdp.Browser(chromium, height=900) as browser:
        in_view = ("(() => { const r = document.getElementById('profile-plot').getBoundingClientRect();"
                   " return r.top >= 0 && r.bottom <= innerHeight && r.height > 200; })()")
        open_page(browser, file_url(page, "#q=1"))
        check(chosen(browser) == "1" and browser.evaluate(in_view), "#q=1 leaves the plot out of view")
        check(page_windows(browser) == quartet_windows(q), f"windows drawn {page_windows(browser)}")
        check_layout(browser, "the page's plot", "document.getElementById('profile-plot')", 1)
        check_axis(browser, "the page's plot", "document.getElementById('profile-plot')", columns, axis_title)
        check_plot(browser, q, lines[0]["n_minimum"])
        # The residue axis of s1 (its residues fill the removed columns) and of s0 (gaps there).
        set_control(browser, "fig-axis", "1", "change")
        inside = sum(g for after, g in REMOVED.items() if after > 0)
        check_axis(browser, "the residue axis of s1", "document.getElementById('profile-plot')", columns,
                   f"residue number in s1 ({inside} residues removed between positions; breaks marked)")
        set_control(browser, "fig-axis", "0", "change")
        check_axis(browser, "the residue axis of s0", "document.getElementById('profile-plot')",
                   list(range(1, len(columns) + 1)), "residue number in s0")
        set_control(browser, "fig-axis", "", "change")
        check(any(len(e.split()) > 1 for e in browser.evaluate(
            "[...document.querySelectorAll('#profile-plot .window')].map(e => e.dataset.members)")),
            "quartet 1 no longer has near-duplicate windows drawn as one band")

        # The figure one column wide: the same layout rules, a title, the legend, a PNG of the stated size.
        name, data = saved(browser, "save-svg")
        figure = ET.fromstring(data)
        svg = "{http://www.w3.org/2000/svg}"
        title = figure.find(svg + "title").text
        check(name == "kelto-quartet-1.svg" and figure.get("width") == "89.00mm", f"saved {name}, {figure.attrib}")
        check(all(fact in title for fact in title_facts), f"the figure's title {title!r} lacks one of {title_facts}")
        layout = check_layout(browser, "the saved figure", placed(data.decode()), 1)
        check(layout["legend_share"] <= 0.12, f"at 89 mm the legend takes {layout['legend_share']:.1%} of the height")
        check_axis(browser, "the saved figure", "document.body.lastChild", columns, axis_title)
        texts = " | ".join(t.text or "" for t in figure.iter(svg + "text"))
        check(answer in "".join(figure.itertext()), f"the saved figure's texts {texts!r} lack {answer!r}")
        set_control(browser, "fig-width", "183", "change")
        name, wide = saved(browser, "save-svg")
        check(ET.fromstring(wide).get("width") == "183.00mm", f"saved at 183 mm: {ET.fromstring(wide).attrib}")
        check_layout(browser, "the figure 183 mm wide", placed(wide.decode()), 1)
        check_axis(browser, "the figure 183 mm wide", "document.body.lastChild", columns, axis_title)
        set_control(browser, "fig-width", "89", "change")
        name, data = saved(browser, "save-png")
        width, height, density = png_facts(data)
        stated = browser.evaluate("[Number(document.getElementById('export-note').dataset.width),"
                                  " Number(document.getElementById('export-note').dataset.height),"
                                  " document.getElementById('export-note').textContent]")
        check(name == "kelto-quartet-1.png" and [width, height] == stated[:2] and
              f"{width} \u00d7 {height} pixels" in stated[2], f"saved {name} {width} x {height}, stated {stated}")
        check(width == round(89 / 25.4 * 300) and density == (11811, 11811, 1), f"PNG {width} px, density {density}")
        decoded = browser.evaluate(
            "createImageBitmap(new Blob([Uint8Array.from(atob(%s), c => c.charCodeAt(0))])).then(b => {"
            " const c = Object.assign(document.createElement('canvas'), {width: b.width, height: b.height}),"
            " g = c.getContext('2d'); g.drawImage(b, 0, 0); const d = g.getImageData(0, 0, b.width, b.height).data;"
            " let dark = 0; for (let i = 0; i < d.length; i += 4) if (d[i] + d[i + 1] + d[i + 2] < 300) dark++;"
            " return [b.width, b.height, dark / (d.length / 4)]; })" % json.dumps(base64.b64encode(data).decode()))
        check(decoded[:2] == [width, height] and decoded[2] > 0.01, f"the PNG as the browser decodes it: {decoded}")

        # A row of the list, then the back button: each time the plot in view.
        browser.evaluate("document.getElementById('panel-add').click()")
        browser.evaluate("document.querySelector('#quartet-rows tr[data-q=\"2\"] td.names').click()")
        browser.wait_for("document.getElementById('quartet-section').dataset.chosen === '2'", what="quartet 2")
        check(browser.evaluate(in_view), "choosing row 2 leaves the plot out of view")
        browser.evaluate("document.getElementById('panel-add').click()")
        name, data = saved(browser, "panel-svg")
        panel = ET.fromstring(data)
        title = panel.find(svg + "title").text
        check(name == "kelto-quartets-1-2.svg" and [g.get("data-q") for g in panel.iter(svg + "g")
                                                    if g.get("class") == "quartet-figure"] == ["1", "2"],
              f"the figure of several: {name}")
        check(all(f"{k}: pair A" in title for k in (1, 2)) and all(fact in title for fact in title_facts[4:]),
              f"the figure of several has the title {title!r}")
        check_layout(browser, "the figure of several", placed(data.decode()), 2)
        browser.evaluate("history.back()")
        browser.wait_for("document.getElementById('quartet-section').dataset.chosen === '1'", what="back to 1")
        check(browser.evaluate(in_view), "back at quartet 1, the plot is out of view")
        check_no_errors(browser)


# Record names that would break or script a page that took them as markup.
HOSTILE_NAMES = [
    b"<img src=x onerror=\"document.documentElement.setAttribute('data-pwned','img')\">",
    b"</script><script>document.title='pwned'</script>",
    b"Tom & Jerry's \"best\" <b>bold</b> &amp; &lt;",
    b"caf\xe9 \xff\xfe latin-1",
    b"line\xe2\x80\xa8separator\xe2\x80\xa9and ${alert(1)}",
    b"<!-- <svg onload=\"document.title='pwned'\">",
]


def test_names(args, chromium, tmp):
    """Record names with markup, quotes, ampersands and bytes that are not UTF-8."""
    rnd = random.Random(5)
    input_path = os.path.join(tmp, "in <&'\">.txt")
    with open(input_path, "wb") as out:
        out.write(b"# 3\n" + b"".join(b">" + name + b"\n" + "".join(rnd.choice("ARNDCQEGHILKMFPSTWYV")
                                                                  for _ in range(30)).encode() + b"\n"
                                      for name in HOSTILE_NAMES))
    _, page = record_and_page(args.kelto, tmp, input_path)
    expected = [name.decode("utf-8", errors="replace") for name in HOSTILE_NAMES]
    pair = [f"{expected[2 * p]} / {expected[2 * p + 1]}" for p in range(3)]
    ids = [name.split(" ", 1)[0] for name in expected]  # figure titles name records by id
    pair_ids = [f"{ids[2 * p]} / {ids[2 * p + 1]}" for p in range(3)]

    with cdp.Browser(chromium) as browser:
        for q, pairs in enumerate([(0, 1), (0, 2), (1, 2)]):
            open_page(browser, file_url(page, f"#q={q}"))
            state = browser.evaluate(
                "({pwned: document.documentElement.getAttribute('data-pwned'), title: document.title,"
                " elements: ['img', 'b', 'script', 'svg'].map(t => document.getElementsByTagName(t).length),"
                " cells: [...document.querySelectorAll('#quartet-rows td.names')].map(e => e.textContent),"
                " facts: [...document.querySelectorAll('#quartet-facts .v')].slice(0, 2).map(e => e.textContent),"
                " input: document.getElementById('run-facts').children[1].textContent,"
                " plot: document.getElementById('profile-plot').querySelector('title').textContent})")
            check(state["pwned"] is None and "pwned" not in state["title"], f"a name ran as script: {state}")
            check(state["elements"] == [0, 0, 3, 1], f"a name became markup: {state}")
            listed = [f"{p}: {pair[p]}" for p in (0, 1, 0, 2, 1, 2)]
            check(state["cells"] == listed, f"names in the list: {state['cells']}")
            check(state["facts"] == [pair[p] for p in pairs], f"names of quartet {q}: {state['facts']}")
            check(state["input"].startswith(input_path + "  ("), f"input path shown as {state['input']!r}")
            check(f"pair A {pair_ids[pairs[0]]}, pair B {pair_ids[pairs[1]]};" in state["plot"],
                  f"the plot's title lost a name: {state['plot']!r}")
        # The filter takes the names as text too.
        set_control(browser, "filter", "<b>", "input")
        browser.wait_for("document.getElementById('list-count').textContent === '2 of 3 quartets match'",
                         what="the list filtered by '<b>'")
        check_no_errors(browser)


def test_large(args, chromium, tmp):
    """1000 pairs of short records (499 500 quartets): the page opens and paints its overview."""
    rnd = random.Random(7)
    input_path = os.path.join(tmp, "in.txt")
    with open(input_path, "w") as out:
        out.write("# 1000\n" + "".join(f">seq{i}\n" + "".join(rnd.choice("ARNDCQEGHILKMFPSTWYV") for _ in range(12))
                                       + "\n" for i in range(2000)))
    started = time.time()
    record, page = record_and_page(args.kelto, tmp, input_path, t="5")
    size = os.path.getsize(page)
    print(f"run and page: {time.time() - started:.1f} s; page size {size / 2**20:.1f} MiB")
    check(size < 40 * 2**20, f"the page of 499500 quartets takes {size} bytes")

    # The windows of the first 400 quartets and of the last one, from the record.
    with open(record, encoding="utf-8") as lines:
        firsts = [json.loads(next(lines)) for _ in range(401)][1:]
        last = json.loads([line for line in lines if '"type":"quartet"' in line][-1])
    check(last["quartet"] == 499499, f"the record's last quartet is {last['quartet']}")

    with cdp.Browser(chromium, height=1200, timeout=120) as browser:
        browser.navigate("about:blank")
        started = time.time()
        browser.navigate(file_url(page))
        browser.wait_for("document.documentElement.dataset.state === 'ready'"
                         " && document.documentElement.dataset.paintMs", what="the first paint")
        print(f"load to first paint: {time.time() - started:.2f} s wall; page script done at "
              f"{browser.evaluate('document.documentElement.dataset.renderMs')} ms")
        rows, drawn = browser.evaluate("['rows', 'windowsDrawn'].map(k => Number("
                                       "document.getElementById('overview').dataset[k]))")
        check(0 < rows <= 400, f"overview rows drawn: {rows}")
        expected = sum(len(quartet_windows(q)) for q in firsts[:rows])
        check(drawn == expected, f"overview: {drawn} windows drawn, the first {rows} quartets have {expected}")
        overview = browser.screenshot("#overview", colours=(BLUE, VERMILLION))
        check(min(overview["near"]) > 500, f"the overview lacks windows of a kind: {overview}")

        started = time.time()
        choose(browser, 499499)
        print(f"choosing the last quartet: {time.time() - started:.2f} s")
        check(page_windows(browser) == quartet_windows(last), "the last quartet's windows")
        started = time.time()
        set_control(browser, "sort", "strongest", "change")
        browser.wait_for("document.querySelector('#quartet-rows tr') !== null")
        print(f"sorting 499500 quartets by strongest average: {time.time() - started:.2f} s")
        check_no_errors(browser)


def q_values(p_values, c):
    """Step-up q-values of {key: p}: with p ascending, q(k) = min(1, min over
    i >= k of p(i) m c / i); c = 1 for Benjamini-Hochberg, 1 + 1/2 + ... + 1/m
    for Benjamini-Yekutieli."""
    ranked = sorted(p_values.items(), key=lambda item: item[1])
    m, out, low = len(ranked), {}, math.inf
    for rank in range(m, 0, -1):
        key, p = ranked[rank - 1]
        low = min(low, p * m * c / rank)
        out[key] = min(1.0, low)
    return out


# The chosen quartet's facts, its scan window's mark (the bars whose centres
# it covers, its distance outside the bars on its side) and the legend.
SCAN = """(() => { const p = document.getElementById('profile-plot'), box = e => e.getBoundingClientRect();
  const facts = {}; for (const k of document.querySelectorAll('#quartet-facts .k')) facts[k.textContent] = k.nextSibling.textContent;
  const bars = [...p.querySelectorAll('.bar')].map(box), centres = bars.map(b => (b.left + b.right) / 2);
  const top = Math.min(...bars.map(b => b.top)), bottom = Math.max(...bars.map(b => b.bottom));
  const marks = [...p.querySelectorAll('.scan-window')].map(e => { const r = box(e);
    return {side: e.dataset.side, start: Number(e.dataset.start), end: Number(e.dataset.end),
            covers: centres.flatMap((c, k) => r.left < c && c < r.right ? [k + 1] : []),
            outside: e.dataset.side === 'max' ? top - r.bottom : r.top - bottom,
            stroke: e.getAttribute('stroke'), fill: e.getAttribute('fill')}; });
  const outer = [...p.querySelectorAll('.window')].map(box);
  return {facts: facts, marks: marks, legend: [...p.querySelectorAll('.legend-entry')].map(t => t.dataset.kind),
          beyond: marks.length === 0 ? true : outer.every(w => { const r = box(p.querySelector('.scan-window'));
            return marks[0].side === 'max' ? r.bottom <= w.top + 0.5 || w.top > bottom : r.top >= w.bottom - 0.5 || w.bottom < top; })};
})()"""


def check_scan(browser, q):
    """Quartet q's family-wise facts and scan window against its record line."""
    where, shown, w = f"quartet {q['quartet']}", browser.evaluate(SCAN), q["scan_window"]
    if w is None:
        check(shown["marks"] == [] and "scan" not in shown["legend"] and
              "Scan window" not in shown["facts"], f"{where}: a scan window shown without a test: {shown}")
        return
    side = {"max": "maximum", "min": "minimum"}[w["side"]]
    expected = {
        "Scan window": f"{side} side, positions {w['start']}\u2013{w['end']} (size {w['size']}), sum {w['sum']}, "
                       f"Z = {page_score(w['z'])}, score {page_score(w['score'])}",
        "Scan window columns": "\u2013".join(map(str, w["columns"])),
        "Scan window residues (A1, A2, B1, B2)": ", ".join("\u2013".join(map(str, span)) for span in w["residues"])}
    for label, text in expected.items():
        check(shown["facts"].get(label) == text, f"{where}: {label} shown {shown['facts'].get(label)!r}, recorded {text!r}")
    stop = "capped: J_max reached" if q["family_capped"] else "stopped at the"
    p_text = shown["facts"].get("Family p-value", "")
    check(p_text.startswith(f"{page_p(q['p_family'])} (L = {q['family_arrangements']} arrangements, {stop}") and
          p_text.endswith(f"p_floor = {page_p(q['p_floor'])})"), f"{where}: family p shown {p_text!r}")
    check(len(shown["marks"]) == 1, f"{where}: {len(shown['marks'])} scan window marks")
    mark = shown["marks"][0]
    check([mark["side"], mark["start"], mark["end"]] == [w["side"], w["start"], w["end"]] and
          mark["covers"] == list(range(w["start"], w["end"] + 1)), f"{where}: scan window drawn {mark}, recorded {w}")
    check(mark["outside"] >= 0 and shown["beyond"], f"{where}: the scan window is not beyond the bars and final windows"
                                                    f" on its side: {mark}")
    check(mark["fill"] == "none" and mark["stroke"] == "#1a1a1a", f"{where}: the scan window looks like a final window")
    check("scan" in shown["legend"], f"{where}: legend {shown['legend']}")


def test_family(args, chromium, tmp):
    """Family-wise p-values, scan windows, BH and BY q-values and the pairs'
    summary against values computed here from the record; then the same
    record as format 2 (min-P test), shown under that name."""
    input_path = os.path.join(tmp, "in.txt")
    shutil.copy(os.path.join(args.data, "family_run.txt"), input_path)
    record, page = record_and_page(args.kelto, tmp, input_path, options=("--family-randomisations", "99999"))
    lines = [json.loads(line) for line in open(record, encoding="utf-8")]
    quartets = [line for line in lines if line["type"] == "quartet"]
    p = {q["quartet"]: q["p_family"] for q in quartets if q["p_family"] is not None}
    bh, by = q_values(p, 1.0), q_values(p, sum(1 / k for k in range(1, len(p) + 1)))
    scans = [q for q in quartets if q["scan_window"] and by[q["quartet"]] <= 0.05]
    check(len(p) < len(quartets) and {q["scan_window"]["side"] for q in scans} == {"max", "min"} and
          any(bh[k] <= 0.05 < by[k] for k in p) and {q["family_capped"] for q in quartets if q["quartet"] in p} == {True, False},
          "family_run.txt no longer gives an untested quartet, significant scan windows of both sides, a quartet"
          " between BH and BY, capped and stopped tests")
    pairs = len(lines[0]["pairs"])
    hits, tested = [0] * pairs, [0] * pairs
    for q in quartets:
        if q["quartet"] in p:
            for pair in (q["pair_a"], q["pair_b"]):
                tested[pair] += 1
                hits[pair] += by[q["quartet"]] <= 0.05
    expected_pairs = [[str(pair), str(hits[pair]), str(tested[pair])]
                      for pair in sorted(range(pairs), key=lambda pair: (-hits[pair], pair)) if tested[pair]]

    with cdp.Browser(chromium) as browser:
        open_page(browser, file_url(page))
        set_control(browser, "sort", "family", "change")
        listed = browser.evaluate("[...document.querySelectorAll('#quartet-rows tr')]"
                                  ".map(tr => [...tr.cells].slice(6, 9).map(c => c.textContent))")
        order = sorted(quartets, key=lambda q: (q["p_family"] is None, q["p_family"] or 0, q["quartet"]))
        expected = [[page_p(q["p_family"]), page_p(bh.get(q["quartet"])), page_p(by.get(q["quartet"]))] for q in order]
        check(listed == expected, f"the list sorted by family p: {listed}, expected {expected}")
        shown_pairs = browser.evaluate("[...document.querySelectorAll('#pair-rows tr')].map(tr => [tr.dataset.pair,"
                                       " tr.cells[1].textContent, tr.cells[2].textContent])")
        check(shown_pairs == expected_pairs, f"pairs: {shown_pairs}, expected {expected_pairs}")
        for q in quartets:
            choose(browser, q["quartet"])
            check_scan(browser, q)
            facts = browser.evaluate(SCAN)["facts"]
            if q["quartet"] in p:
                for label, q_value in (("q (BH)", bh), ("q (BY)", by)):
                    check(facts.get(label, "").startswith(page_p(q_value[q["quartet"]]) + " ("),
                          f"quartet {q['quartet']}: {label} shown {facts.get(label)!r}")
        check_no_errors(browser)

        # The record as format 2 wrote it: a min-P p-value (count + 1) / (J + 1), no scan fields.
        old, old_page, j = os.path.join(tmp, "old.jsonl"), os.path.join(tmp, "old.html"), 199
        with open(old, "w", encoding="utf-8") as out:
            for line in lines:
                if line["type"] == "run":
                    line.update(format=2, family_randomisations=j)
                    del line["family_test"]
                if line["type"] == "quartet":
                    count = None if line["p_family"] is None else (7 * line["quartet"]) % 40
                    for key in ("p_floor", "family_arrangements", "family_exceedances", "family_capped", "scan_window"):
                        del line[key]
                    line["p_family"] = None if count is None else (count + 1) / (j + 1)
                    for window in line["final_max"] + line["final_min"]:
                        window["p_family"] = None if count is None else (count + 2) / (j + 1)
                out.write(json.dumps(line) + "\n")
        run_program(args.kelto, ["html", old, input_path, old_page])
        open_page(browser, file_url(old_page, "#q=1"))
        shown = browser.evaluate(SCAN)
        head = browser.evaluate("document.getElementById('family-head').textContent")
        p_old = [line for line in lines if line.get("quartet") == 1][0]["p_family"]
        check(head == "min-P family p" and shown["facts"].get("min-P family p-value", "").startswith(
              f"{page_p(p_old)} (min-P test") and shown["marks"] == [] and "Scan window" not in shown["facts"],
              f"a format 2 record: heading {head!r}, facts {shown['facts']}, marks {shown['marks']}")
        check_no_errors(browser)


TESTS = {"windows": test_windows, "figures": test_figures, "names": test_names, "large": test_large,
         "family": test_family}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("test", choices=sorted(TESTS))
    parser.add_argument("--kelto", required=True)
    parser.add_argument("--data", required=True)
    args = parser.parse_args()
    chromium = cdp.find_chromium()
    if chromium is None:
        print("FAIL: Chromium not found (looked for $KELTO_CHROMIUM, then " + ", ".join(cdp.CHROMIUM_NAMES) +
              " on PATH); the browser tests need it: apt-get install -y chromium", file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory(prefix="kelto-browser-") as tmp:
        try:
            TESTS[args.test](args, chromium, tmp)
        except (Failure, cdp.BrowserError) as problem:
            print(f"FAIL ({args.test}): {problem}", file=sys.stderr)
            return 1
    print(f"ok ({args.test})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
