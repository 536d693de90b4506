#!/usr/bin/env python3
"""Browser tests of the run's HTML page, in headless Chromium.

    test_page.py windows|names|large --kelto BUILD/kelto --data tests/data

Each test runs the program to record a run (--json), builds the page with
`kelto html`, opens it in headless Chromium through the DevTools protocol
and checks what the page shows against the record. A missing Chromium is a
failure, never a skip.
"""

import argparse
import decimal
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cdp  # noqa: E402

LETTERS = b"ARNDCQEGHILKMFPSTWYVarndcqeghilkmfpstwyv"
SVG = "{http://www.w3.org/2000/svg}"
WHITE = (255, 255, 255)


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def js_fixed(x, digits=4):
    """x as the page's Number.prototype.toFixed writes it: the exact double
    rounded half away from zero (Python's format rounds half to even)."""
    return str(decimal.Decimal(x).quantize(decimal.Decimal(1).scaleb(-digits), rounding=decimal.ROUND_HALF_UP))


def file_url(path, fragment=""):
    return "file://" + urllib.parse.quote(os.path.abspath(path)) + fragment


def run_program(kelto, args):
    done = subprocess.run([kelto, *args], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    check(done.returncode == 0, f"kelto {' '.join(args)} ended with status {done.returncode}: "
                                f"{done.stderr.decode(errors='replace')}")


def record_and_page(kelto, directory, input_path, t="20"):
    """Records a run of input_path and builds its page; returns both paths."""
    record = os.path.join(directory, "run.jsonl")
    page = os.path.join(directory, "page.html")
    run_program(kelto, ["--quiet", "--seed", "1", "--matrix", "2", "--json", record, input_path,
                        os.devnull, t])
    run_program(kelto, ["html", record, input_path, page])
    return record, page


def read_pair_file(path):
    """Names and trimmed residues of the 2P records, as the program reads them
    (enough for the inputs written by these tests: one header line a record)."""
    lines = open(path, "rb").read().split(b"\n")
    pairs = int(lines[0].lstrip(b"#").split()[0])
    names, records = [], []
    for line in lines[1:]:
        if line.startswith(b">"):
            names.append(line[1:].decode("utf-8", errors="replace"))
            records.append("")
        elif records:
            records[-1] += "".join(chr(c) for c in line if c in LETTERS or c == ord("-"))
    names, records = names[:2 * pairs], records[:2 * pairs]
    shortest = min(len(r) for r in records)
    keep = [k for k in range(shortest) if all(r[k] != "-" for r in records)]
    return names, ["".join(r[k] for k in keep) for r in records]


def quartet_windows(quartet):
    """The final windows of a quartet line as the page marks them."""
    return ([["max", w["start"], w["end"], "true" if w["eliminated"] else "false"] for w in quartet["final_max"]] +
            [["min", w["start"], w["end"], "true" if w["eliminated"] else "false"] for w in quartet["final_min"]])


def page_windows(browser):
    return browser.evaluate(
        "[...document.querySelectorAll('#profile-plot .window')].map(e => [e.dataset.kind,"
        " Number(e.dataset.start), Number(e.dataset.end), e.dataset.eliminated])")


def open_page(browser, url):
    browser.navigate("about:blank")
    browser.navigate(url)
    browser.wait_for("document.documentElement.dataset.state === 'ready'", what="the page to be drawn")


def choose(browser, q):
    browser.evaluate(f"location.hash = '#q={q}'")
    browser.wait_for(f"document.getElementById('quartet-section').dataset.chosen === '{q}'",
                     what=f"quartet {q} to be chosen")


def check_no_errors(browser):
    errors = browser.console_errors()
    check(not errors, "console errors: " + "; ".join(errors))
    recorded = browser.evaluate("document.documentElement.getAttribute('data-errors')")
    check(recorded is None, f"the page recorded errors: {recorded}")


def check_no_uncaught(browser):
    check("Uncaught" not in browser.messages(), "chromium logged an uncaught error:\n" + browser.messages())


def near(colour, target, tolerance=10):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, target))


def hover_all_positions(browser):
    """Points at the middle of every bar; returns the tooltip texts."""
    browser.evaluate("document.getElementById('profile-plot').scrollIntoView({block: 'center'})")
    box = browser.evaluate(
        "(() => { const s = document.getElementById('profile-plot'), r = s.getBoundingClientRect();"
        " return {left: r.left, top: r.top, width: r.width, height: r.height, vbw: s.viewBox.baseVal.width,"
        " bars: [...s.querySelectorAll('.bar')].map(e => [Number(e.getAttribute('x')),"
        " Number(e.getAttribute('width'))])}; })()")
    texts = []
    for x, width in box["bars"]:
        browser.mouse_move(box["left"] + (x + width / 2) * box["width"] / box["vbw"], box["top"] + box["height"] / 2)
        texts.append(browser.evaluate(
            "(() => { const t = document.getElementById('tooltip');"
            " return getComputedStyle(t).display === 'none' ? null : t.textContent; })()"))
    return texts


TOOLTIP = re.compile(r"position (\d+)\npair A: (\S) (\S)  score (-?\d+)\npair B: (\S) (\S)  score (-?\d+)\n"
                     r"C\(k\)12 = (-?\d+)")


def check_window_pixels(browser, quartet):
    """With bars, legend and mean line hidden: a window's inside is tinted in its
    kind's colour (blue above the axis, vermillion below), an eliminated
    window's inside stays white and only its edge is coloured."""
    choose(browser, quartet["quartet"])
    browser.evaluate("(() => { const s = document.createElement('style'); s.id = 'test-hide'; s.textContent ="
                     " '#profile-plot .bar, #profile-plot .legend, #profile-plot .mean, #profile-plot .grid, #profile-plot text"
                     " { display: none }'; document.head.appendChild(s); })()")
    clip = browser.element_clip("#profile-plot")
    image = browser.screenshot(clip, scale=0.5)
    boxes, axis = browser.evaluate(
        "(() => { const p = document.getElementById('profile-plot').getBoundingClientRect();"
        " const a = document.querySelector('#profile-plot .zero-axis').getBoundingClientRect();"
        " return [[...document.querySelectorAll('#profile-plot .window')].map(e => { const r = e.getBoundingClientRect();"
        " return [r.left - p.left, r.top - p.top, r.width, r.height]; }), a.top + a.height / 2 - p.top]; })()")
    browser.evaluate("document.getElementById('test-hide').remove()")
    windows = quartet_windows(quartet)
    for (kind, start, end, eliminated), (x, y, width, height) in zip(windows, boxes):
        hue = (lambda p: p[2] - p[0] > 25) if kind == "max" else (lambda p: p[0] - p[2] > 25)
        centre = image.pixels[int((y + height / 2) / 2)][int((x + width / 2) / 2)]
        where = f"quartet {quartet['quartet']}, {kind} window {start}-{end}"
        if eliminated == "false":
            check(hue(centre), f"{where}: its inside is {centre}, not tinted in its colour")
        else:
            covered = any(w[0] == kind and w[3] == "false" and w[1] <= (start + end) / 2 <= w[2] for w in windows)
            check(covered or centre == WHITE, f"{where}: eliminated, yet its inside is {centre}")
            edge = [image.pixels[row][int(x / 2)] for row in range(int(y / 2) + 1, int((y + height) / 2) - 1)]
            check(sum(1 for p in edge if hue(p)) > len(edge) // 3, f"{where}: eliminated, its edge is not outlined")
        # Maximum windows stand on the zero axis, minimum ones hang from it.
        level = y + height if kind == "max" else y
        check(height > 10 and abs(level - axis) < 1, f"{where}: not on its side of the axis ({y}, {height}, {axis})")


def wait_for_download(directory, name, timeout=30):
    path = os.path.join(directory, name)
    deadline = time.time() + timeout
    while time.time() < deadline:
        if os.path.exists(path) and not any(f.endswith(".crdownload") for f in os.listdir(directory)):
            return path
        time.sleep(0.05)
    raise Failure(f"the plot was not saved as {name} (files there: {os.listdir(directory)})")


def list_rows(browser):
    return browser.evaluate(
        "[...document.querySelectorAll('#quartet-rows tr')].map(tr => [Number(tr.dataset.q),"
        " [...tr.cells].map(c => c.textContent)])")


def set_control(browser, element_id, value, event):
    browser.evaluate(f"(() => {{ const e = document.getElementById('{element_id}'); e.value = {json.dumps(value)};"
                     f" e.dispatchEvent(new Event('{event}')); }})()")


def strength(quartet):
    """How far the quartet's strongest window goes in its own direction."""
    values = ([w["average"] for w in quartet["final_max"]] + [-w["average"] for w in quartet["final_min"]])
    return max(values) if values else float("-inf")


def test_windows(args, chromium, tmp):
    """A run with windows of both kinds, eliminated ones and an identical quartet."""
    input_path = os.path.join(tmp, "in.txt")
    shutil.copy(os.path.join(args.data, "page_run.txt"), input_path)
    record, page = record_and_page(args.kelto, tmp, input_path)
    lines = [json.loads(line) for line in open(record, encoding="utf-8")]
    run = lines[0]
    quartets = [line for line in lines if line["type"] == "quartet"]
    windows = [w for q in quartets for w in quartet_windows(q)]
    check(any(w[0] == "max" for w in windows) and any(w[0] == "min" for w in windows) and
          any(w[3] == "true" for w in windows) and any(q["identical"] for q in quartets),
          "page_run.txt no longer gives windows of both kinds, an eliminated one and an identical quartet")
    names, trimmed = read_pair_file(input_path)
    n = run["n_minimum"]
    check(all(len(r) == n for r in trimmed), "the test's own trimming disagrees with n_minimum")

    downloads = os.path.join(tmp, "downloads")
    os.mkdir(downloads)
    with cdp.Browser(chromium) as browser:
        open_page(browser, file_url(page))
        root = browser.evaluate("[document.documentElement.dataset.quartets,"
                                " document.getElementById('quartet-section').dataset.chosen]")
        check(root == [str(len(quartets)), "0"], f"data-quartets and the chosen quartet without a fragment: {root}")

        for q in quartets:
            choose(browser, q["quartet"])
            shown = page_windows(browser)
            check(shown == quartet_windows(q), f"quartet {q['quartet']}: windows drawn {shown}, "
                                               f"recorded {quartet_windows(q)}")
            bars = browser.evaluate("document.querySelectorAll('#profile-plot .bar').length")
            check(bars == n, f"quartet {q['quartet']}: {bars} bars for N_minimum {n}")
            # The window table: what the page recomputes (percent, average, err) agrees with the record.
            rows = browser.evaluate("[...document.querySelectorAll('#window-rows tr[data-kind]')]"
                                    ".map(tr => [...tr.cells].map(c => c.textContent))")
            recorded = [[kind, str(w["size"]), f"{w['start']}\u2013{w['end']}", str(w["value"]), str(w["count"]),
                         js_fixed(w["percent"]) + " %", js_fixed(w["average"]), js_fixed(w["err"]),
                         "yes" if w["eliminated"] else "no"]
                        for kind, key in (("maximum", "final_max"), ("minimum", "final_min")) for w in q[key]]
            check(rows == recorded, f"quartet {q['quartet']}: window table {rows}, recorded {recorded}")
            mean = browser.evaluate("[...document.querySelectorAll('#quartet-facts .k')]"
                                    ".find(e => e.textContent === 'Mean of C(k)12').nextSibling.textContent")
            check(mean == js_fixed(q["mean"]), f"quartet {q['quartet']}: mean shown {mean}, recorded {q['mean']}")

        # Opened with a fragment: the quartet with the most windows.
        busiest = max(quartets, key=lambda q: (len(quartet_windows(q)), -q["quartet"]))
        k = busiest["quartet"]
        check(k != 0, "the busiest quartet should not be the default one")
        open_page(browser, file_url(page, f"#q={k}"))
        chosen = browser.evaluate("document.getElementById('quartet-section').dataset.chosen")
        check(chosen == str(k), f"opened with #q={k}, chosen {chosen}")
        check(page_windows(browser) == quartet_windows(busiest), f"quartet {k} opened from the fragment")

        # Every position's residues and scores, and the windows' sums from them.
        a, b = busiest["pair_a"], busiest["pair_b"]
        diff = []
        for position, text in enumerate(hover_all_positions(browser), start=1):
            match = TOOLTIP.fullmatch(text or "")
            check(match, f"position {position}: tooltip {text!r}")
            got = match.groups()
            check(int(got[0]) == position, f"tooltip of position {got[0]} at position {position}")
            residues = [trimmed[2 * a][position - 1], trimmed[2 * a + 1][position - 1],
                        trimmed[2 * b][position - 1], trimmed[2 * b + 1][position - 1]]
            check(list(got[1:3] + got[4:6]) == residues, f"position {position}: residues {got}, input {residues}")
            check(int(got[7]) == int(got[3]) - int(got[6]), f"position {position}: C(k)12 is not A - B: {got}")
            diff.append(int(got[7]))
        for w in busiest["final_max"] + busiest["final_min"]:
            check(sum(diff[w["start"] - 1:w["end"]]) == w["value"],
                  f"window {w['start']}-{w['end']}: the page's profile sums to {sum(diff[w['start'] - 1:w['end']])}, "
                  f"recorded {w['value']}")
        check(abs(sum(diff) / n - busiest["mean"]) < 1e-12, "the page's profile has another mean than the record")

        # Pixels: the plot not blank, each window shaded (or outlined) in its colour on its side
        # of the axis, the overview painted in both colours, the page not blank.
        browser.mouse_move(0, 0)
        plot = browser.screenshot(browser.element_clip("#profile-plot"))
        check(plot.count(lambda p: p != WHITE) > plot.width * plot.height * 0.05, "the profile plot is (nearly) blank")
        for q in quartets:
            if any(w[3] == "true" for w in quartet_windows(q)) or q is busiest:
                check_window_pixels(browser, q)
        open_page(browser, file_url(page, f"#q={k}"))
        overview = browser.screenshot(browser.element_clip("#overview"))
        check(overview.count(lambda p: near(p, (0, 114, 178))) > 100, "no maximum window painted in the overview")
        check(overview.count(lambda p: near(p, (213, 94, 0))) > 100, "no minimum window painted in the overview")
        whole = browser.screenshot(scale=0.25)
        check(whole.count(lambda p: p != WHITE) > whole.width * whole.height * 0.03, "the page looks blank")

        # The plot saved as an SVG file: the same bars and windows, no script, no hover marker.
        browser.allow_downloads(downloads)
        browser.evaluate("document.getElementById('save-svg').click()")
        saved = ET.parse(wait_for_download(downloads, f"kelto-quartet-{k}.svg")).getroot()
        check(saved.tag == SVG + "svg", f"the saved file's root is {saved.tag}")
        classes = [e.get("class") for e in saved.iter()]
        check(classes.count("bar") == n, f"the saved plot has {classes.count('bar')} bars")
        check("hover-marker" not in classes, "the saved plot keeps the hover marker")
        check(not any(e.tag == SVG + "script" for e in saved.iter()), "the saved plot holds a script")
        saved_windows = [[e.get("data-kind"), int(e.get("data-start")), int(e.get("data-end")),
                          e.get("data-eliminated")] for e in saved.iter() if e.get("class") == "window"]
        check(saved_windows == quartet_windows(busiest), f"windows of the saved plot: {saved_windows}")

        # The list: sorted by final windows, by strongest average, filtered by a record name.
        set_control(browser, "sort", "windows", "change")
        counts = [int(cells[3].split()[0]) + int(cells[4].split()[0]) for _, cells in list_rows(browser)]
        check(counts == sorted(counts, reverse=True) and len(counts) == len(quartets),
              f"sorted by final windows: {counts}")
        set_control(browser, "sort", "strongest", "change")
        first = list_rows(browser)[0][0]
        best = max(quartets, key=lambda q: (strength(q), -q["quartet"]))["quartet"]
        check(first == best, f"sorted by strongest average, quartet {first} comes first, not {best}")
        set_control(browser, "sort", "index", "change")
        needle = names[3]
        set_control(browser, "filter", needle.upper(), "input")
        expected = [q["quartet"] for q in quartets if needle in names[2 * q["pair_a"]:2 * q["pair_a"] + 2] +
                    names[2 * q["pair_b"]:2 * q["pair_b"] + 2]]
        browser.wait_for(f"document.getElementById('list-count').textContent === "
                         f"'{len(expected)} of {len(quartets)} quartets match'", what="the filtered list")
        check([q for q, _ in list_rows(browser)] == expected, f"filtered by {needle}: {list_rows(browser)}")

        # Choosing from the list.
        target = expected[-1]
        browser.evaluate(f"document.querySelector('#quartet-rows tr[data-q=\"{target}\"]').cells[1].click()")
        browser.wait_for(f"document.getElementById('quartet-section').dataset.chosen === '{target}'"
                         f" && location.hash === '#q={target}'", what="the quartet clicked in the list")

        # An interrupted record: three quartets and a torn line, no end line; then one with no quartet.
        text = open(record, encoding="utf-8").read().splitlines(keepends=True)
        for kept, torn, shown in ((4, text[4][:40], 3), (1, "", 0)):
            cut, cut_page = os.path.join(tmp, f"cut{kept}.jsonl"), os.path.join(tmp, f"cut{kept}.html")
            with open(cut, "w", encoding="utf-8") as out:
                out.write("".join(text[:kept]) + torn)
            run_program(args.kelto, ["html", cut, input_path, cut_page])
            open_page(browser, file_url(cut_page, "#q=7"))
            state = browser.evaluate(
                "({quartets: document.documentElement.dataset.quartets,"
                " chosen: document.getElementById('quartet-section').dataset.chosen,"
                " ended: [...document.querySelectorAll('#run-facts dt')].find(e => e.textContent === 'Run ended')"
                ".nextSibling.textContent, note: document.getElementById('page-note').textContent,"
                " rows: document.querySelectorAll('#quartet-rows tr').length})")
            check(state["quartets"] == str(shown) and state["rows"] == shown, f"{shown} quartets recorded: {state}")
            check(state["ended"].startswith("interrupted/incomplete"), f"an interrupted run shown as {state['ended']}")
            if shown:
                check(state["chosen"] == "0" and "not in this run" in state["note"], f"#q=7 of 3 quartets: {state}")
                choose(browser, 2)
                check(page_windows(browser) == quartet_windows(quartets[2]), "quartet 2 of the interrupted record")
            else:
                check(state["chosen"] == "", f"no quartet to choose: {state}")

        check_no_errors(browser)
    check_no_uncaught(browser)


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
    residues = ["".join(rnd.choice("ARNDCQEGHILKMFPSTWYV") for _ in range(30)) for _ in HOSTILE_NAMES]
    input_path = os.path.join(tmp, "in <&'\">.txt")
    with open(input_path, "wb") as out:
        out.write(b"# 3\n" + b"".join(b">" + name + b"\n" + r.encode() + b"\n"
                                      for name, r in zip(HOSTILE_NAMES, residues)))
    record, page = record_and_page(args.kelto, tmp, input_path)
    expected = [name.decode("utf-8", errors="replace") for name in HOSTILE_NAMES]
    check(expected[3] == "caf\ufffd \ufffd\ufffd latin-1", "the test's own replacement of bytes")

    with cdp.Browser(chromium) as browser:
        for q in range(3):
            open_page(browser, file_url(page, f"#q={q}"))
            state = browser.evaluate(
                "({pwned: document.documentElement.getAttribute('data-pwned'), title: document.title,"
                " img: document.querySelectorAll('img').length, b: document.querySelectorAll('b').length,"
                " scripts: document.scripts.length, svgs: document.querySelectorAll('svg').length,"
                " cells: [...document.querySelectorAll('#quartet-rows td.names')].map(e => e.textContent),"
                " facts: [...document.querySelectorAll('#quartet-facts .v')].slice(0, 2).map(e => e.textContent),"
                " input: document.getElementById('run-facts').children[1].textContent})")
            check(state["pwned"] is None and "pwned" not in state["title"], f"a name ran as script: {state}")
            check(state["img"] == 0 and state["b"] == 0 and state["scripts"] == 3 and state["svgs"] == 1,
                  f"a name became markup: {state}")
            pair_texts = [f"{p}: {expected[2 * p]} / {expected[2 * p + 1]}" for p in range(3)]
            check(state["cells"] == [pair_texts[0], pair_texts[1], pair_texts[0], pair_texts[2], pair_texts[1],
                                     pair_texts[2]], f"names in the list: {state['cells']}")
            pairs = [(0, 1), (0, 2), (1, 2)][q]
            check(state["facts"] == [f"{expected[2 * p]} / {expected[2 * p + 1]}" for p in pairs],
                  f"names of quartet {q}: {state['facts']}")
            check(state["input"].startswith(input_path + "  ("), f"input path shown as {state['input']!r}")
            check(browser.evaluate("document.getElementById('profile-plot').querySelector('title').textContent")
                  .endswith(f"{expected[2 * pairs[1]]} / {expected[2 * pairs[1] + 1]}"), "the plot's title lost a name")
        # The filter takes the names as text too.
        set_control(browser, "filter", "<b>", "input")
        browser.wait_for("document.getElementById('list-count').textContent === '2 of 3 quartets match'",
                         what="the list filtered by '<b>'")
        check_no_errors(browser)
    check_no_uncaught(browser)


def test_large(args, chromium, tmp):
    """1000 pairs of short records (499 500 quartets): the page opens and paints its overview."""
    rnd = random.Random(7)
    input_path = os.path.join(tmp, "in.txt")
    with open(input_path, "w") as out:
        out.write("# 1000\n")
        for i in range(2000):
            out.write(f">seq{i}\n" + "".join(rnd.choice("ARNDCQEGHILKMFPSTWYV") for _ in range(12)) + "\n")
    started = time.time()
    record, page = record_and_page(args.kelto, tmp, input_path, t="5")
    print(f"run and page: {time.time() - started:.1f} s")
    size = os.path.getsize(page)
    print(f"page size: {size} bytes ({size / 2**20:.1f} MiB)")
    check(size < 40 * 2**20, f"the page of 499500 quartets takes {size} bytes")

    # The windows of the first 400 quartets and of the last one, from the record.
    firsts, last = [], None
    with open(record, encoding="utf-8") as lines:
        for number, line in enumerate(lines):
            if number == 0:
                continue
            if len(firsts) < 400:
                firsts.append(json.loads(line))
            elif '"type":"quartet"' in line:
                last = line
    last = json.loads(last)
    check(last["quartet"] == 499499, f"the record's last quartet is {last['quartet']}")

    with cdp.Browser(chromium, height=1200, timeout=120) as browser:
        browser.navigate("about:blank")
        started = time.time()
        browser.navigate(file_url(page))
        browser.wait_for("document.documentElement.dataset.state === 'ready'"
                         " && document.documentElement.dataset.paintMs", what="the first paint")
        wall = time.time() - started
        timings = browser.evaluate("[document.documentElement.dataset.renderMs,"
                                   " document.documentElement.dataset.paintMs]")
        print(f"load to first paint: {wall:.2f} s wall; page script done at {timings[0]} ms, "
              f"first frame at {timings[1]} ms")
        check(browser.evaluate("document.documentElement.dataset.quartets") == "499500", "data-quartets")
        drawn = browser.evaluate("[Number(document.getElementById('overview').dataset.rows),"
                                 " Number(document.getElementById('overview').dataset.windowsDrawn)]")
        check(0 < drawn[0] <= 400, f"overview rows drawn: {drawn[0]}")
        expected = sum(len(quartet_windows(q)) for q in firsts[:drawn[0]])
        check(drawn[1] == expected, f"overview: {drawn[1]} windows drawn, the first {drawn[0]} quartets have {expected}")
        overview = browser.screenshot(browser.element_clip("#overview"))
        check(overview.count(lambda p: near(p, (0, 114, 178))) > 500, "the overview shows no maximum window")
        check(overview.count(lambda p: near(p, (213, 94, 0))) > 500, "the overview shows no minimum window")

        check(len(list_rows(browser)) == 50, "the first page of the list")
        browser.evaluate("document.getElementById('list-last').click()")
        rows = list_rows(browser)
        check(len(rows) == 50 and rows[-1][0] == 499499, f"the last page of the list ends with {rows[-1][0]}")
        browser.evaluate("document.getElementById('ov-next').click()")
        second = browser.evaluate("document.getElementById('ov-range').textContent")
        check(second.startswith(f"rows {drawn[0] + 1}\u2013"), f"the overview's second screen: {second}")

        started = time.time()
        choose(browser, 499499)
        print(f"choosing the last quartet: {time.time() - started:.2f} s")
        check(page_windows(browser) == quartet_windows(last), "the last quartet's windows")
        started = time.time()
        set_control(browser, "sort", "strongest", "change")
        browser.wait_for("document.querySelector('#quartet-rows tr') !== null")
        print(f"sorting 499500 quartets by strongest average: {time.time() - started:.2f} s")
        check_no_errors(browser)
    check_no_uncaught(browser)


TESTS = {"windows": test_windows, "names": test_names, "large": test_large}


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
