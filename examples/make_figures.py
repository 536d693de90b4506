#!/usr/bin/env python3
"""Writes examples/figures/: the bundled example's quartet with the smallest
family-wise p-value as the page exports it, PNG at 300 dpi, 89 and 183 mm wide.

    python3 examples/make_figures.py BUILD/kelto

Runs `kelto --seed 7 --matrix 2 ... 1000` on globins.txt, builds its page and
saves the figures through the page's own buttons in headless Chromium.
"""

import base64
import json
import os
import subprocess
import sys
import tempfile
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "browser"))
import cdp  # noqa: E402

# Clicks a save button; answers the file's bytes (base64).
SAVE = """new Promise(done => { let blob; const create = URL.createObjectURL;
  URL.createObjectURL = b => { blob = b; return create(b); };
  HTMLAnchorElement.prototype.click = function () { blob.arrayBuffer().then(a => {
    let s = ''; new Uint8Array(a).forEach(c => { s += String.fromCharCode(c); }); done(btoa(s)); }); };
  document.getElementById('save-png').click(); })"""


def main():
    kelto = sys.argv[1]
    out = os.path.join(HERE, "figures")
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        record, page = os.path.join(tmp, "run.jsonl"), os.path.join(tmp, "page.html")
        subprocess.run([kelto, "--quiet", "--seed", "7", "--matrix", "2", "--json", record,
                        os.path.join(HERE, "globins.txt"), os.devnull, "1000"], check=True)
        subprocess.run([kelto, "html", record, os.path.join(HERE, "globins.txt"), page], check=True)
        quartets = [json.loads(line) for line in open(record) if '"type":"quartet"' in line]
        best = min(quartets, key=lambda q: (q["p_family"] is None, q["p_family"] or 0, q["quartet"]))["quartet"]
        with cdp.Browser(cdp.find_chromium()) as browser:
            browser.navigate("file://" + urllib.parse.quote(page) + f"#q={best}")
            browser.wait_for("document.documentElement.dataset.state === 'ready'")
            for width in ("89", "183"):
                browser.evaluate(f"document.getElementById('fig-width').value = '{width}'")
                path = os.path.join(out, f"globins-quartet-{best}-{width}mm.png")
                with open(path, "wb") as f:
                    f.write(base64.b64decode(browser.evaluate(SAVE)))
                print(path)


if __name__ == "__main__":
    main()
