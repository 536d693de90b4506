#!/usr/bin/env python3
"""Size of the run's HTML page and its time to first paint in headless Chromium.

    bench/page_bench.py --kelto build/kelto [--pairs 100 1000] [--length 12] [-T 5] [--repeat 3]

For each pair count: random records of `length` residues (fixed seed), a run
with --json (report to /dev/null), `kelto html`, then the page is opened
`repeat` times in one headless Chromium (DevTools protocol, tests/browser/cdp.py).
Reported per load: the wall time from Page.navigate until the page has set
data-paint-ms (its second animation frame after drawing), and the page's own
performance.now() marks: data-render-ms (script done) and data-paint-ms.
"""

import argparse
import os
import random
import subprocess
import sys
import tempfile
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "browser"))
import cdp  # noqa: E402


def timed(command):
    started = time.time()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.time() - started


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--kelto", required=True)
    parser.add_argument("--pairs", type=int, nargs="+", default=[100, 1000])
    parser.add_argument("--length", type=int, default=12)
    parser.add_argument("-T", default="5")
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    chromium = cdp.find_chromium()
    if chromium is None:
        sys.exit("Chromium not found (apt-get install -y chromium)")
    print(f"{'pairs':>6} {'quartets':>9} {'run s':>6} {'html s':>6} {'page MiB':>9} "
          f"{'load->paint s':>14} {'script ms':>10} {'paint ms':>9}")
    for pairs in args.pairs:
        with tempfile.TemporaryDirectory(prefix="kelto-page-bench-") as tmp:
            rnd = random.Random(7)
            input_path = os.path.join(tmp, "in.txt")
            with open(input_path, "w") as out:
                out.write(f"# {pairs}\n")
                for i in range(2 * pairs):
                    out.write(f">seq{i}\n" + "".join(rnd.choice("ARNDCQEGHILKMFPSTWYV")
                                                      for _ in range(args.length)) + "\n")
            record, page = os.path.join(tmp, "run.jsonl"), os.path.join(tmp, "page.html")
            run_s = timed([args.kelto, "--quiet", "--seed", "1", "--matrix", "2", "--json", record, input_path,
                           os.devnull, args.T])
            html_s = timed([args.kelto, "html", record, input_path, page])
            size = os.path.getsize(page) / 2**20
            with cdp.Browser(chromium, height=1200, timeout=120) as browser:
                for _ in range(args.repeat):
                    browser.navigate("about:blank")
                    started = time.time()
                    browser.call("Page.navigate", {"url": "file://" + urllib.parse.quote(page)}, session=True)
                    browser.wait_for("document.documentElement && document.documentElement.dataset.paintMs",
                                     what="the first paint")
                    wall = time.time() - started
                    render, paint = browser.evaluate("[document.documentElement.dataset.renderMs,"
                                                     " document.documentElement.dataset.paintMs]")
                    print(f"{pairs:>6} {pairs * (pairs - 1) // 2:>9} {run_s:>6.1f} {html_s:>6.1f} {size:>9.2f} "
                          f"{wall:>14.2f} {render:>10} {paint:>9}")


if __name__ == "__main__":
    main()
