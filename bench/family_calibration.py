#!/usr/bin/env python3
"""Calibration and power of the family-wise scan test, measured end to end.

  family_calibration.py KELTO null [K]  K (default 6) null inputs: 40 pairs of 60 random
                                        residues, BLOSUM62, T = 200, default
                                        family settings; the fraction of
                                        quartets with p_family <= 0.05 and
                                        <= 0.01 in each, and their mean.
  family_calibration.py KELTO planted   inputs of 30 pairs of 60 random
                                        residues with a block of B columns
                                        made identical in one pair (B = 5,
                                        12, 30); p_family of the planted
                                        pair's quartets and how often the
                                        scan window lies within 2 columns of
                                        the block's ends.
  family_calibration.py KELTO cost      the CPU time of whole runs on the first
                                        null input, one thread, with the
                                        default family-wise test and with
                                        --family-randomisations 0 (median of 5
                                        alternating runs each).
  family_calibration.py KELTO nulls FILE...
                                        the fraction with p_family <= 0.05
                                        under single positions and blocks of
                                        5, 10 and 20 positions, for each
                                        input file.

Residues are drawn uniformly from the twenty letters with Python's random
module seeded per input, so every figure can be reproduced.
"""
import json
import os
import random
import subprocess
import sys
import tempfile

LETTERS = "ARNDCQEGHILKMFPSTWYV"
# Letters that score 6 or more against themselves under BLOSUM62.
CONSERVED = "NDCGHFPWY"


def pair_file(records):
    lines = ["# %d" % (len(records) // 2)]
    for i, residues in enumerate(records):
        lines += [">s%d" % i, residues]
    return "\n".join(lines) + "\n"


def run(kelto, text, t, extra, folder):
    path = os.path.join(folder, "in.txt")
    with open(path, "w") as f:
        f.write(text)
    return run_file(kelto, path, t, extra, folder)


def run_file(kelto, path, t, extra, folder):
    record = os.path.join(folder, "r.jsonl")
    for name in (record, os.path.join(folder, "out.txt")):
        if os.path.exists(name):
            os.remove(name)
    subprocess.run([kelto, "--quiet", "--seed", "11", "--matrix", "2", "--json", record] + extra +
                   [path, os.path.join(folder, "out.txt"), str(t)], check=True, stdout=subprocess.DEVNULL)
    with open(record) as f:
        return [q for q in map(json.loads, f) if q["type"] == "quartet"]


def null_inputs(kelto, folder, count):
    rates5, rates1 = [], []
    for seed in range(1, count + 1):
        rng = random.Random(seed)
        records = ["".join(rng.choice(LETTERS) for _ in range(60)) for _ in range(80)]
        quartets = run(kelto, pair_file(records), 200, [], folder)
        ps = [q["p_family"] for q in quartets if q["p_family"] is not None]
        rates5.append(sum(p <= 0.05 for p in ps) / len(ps))
        rates1.append(sum(p <= 0.01 for p in ps) / len(ps))
        print("null input %d: %d quartets, p_family <= 0.05: %.2f %%, <= 0.01: %.2f %%" %
              (seed, len(ps), 100 * rates5[-1], 100 * rates1[-1]))
    print("mean over %d inputs: <= 0.05: %.2f %%, <= 0.01: %.2f %%" %
          (count, 100 * sum(rates5) / count, 100 * sum(rates1) / count))


def planted(kelto, folder, letters):
    for width in (5, 12, 30):
        ps, near, total = [], 0, 0
        for seed in range(1, 4):
            rng = random.Random(100 * width + seed)
            records = ["".join(rng.choice(LETTERS) for _ in range(60)) for _ in range(60)]
            first = rng.randrange(0, 60 - width)
            block = "".join(rng.choice(letters) for _ in range(width))
            for r in (0, 1):
                records[r] = records[r][:first] + block + records[r][first + width:]
            for q in run(kelto, pair_file(records), 200, [], folder):
                if q["pair_a"] != 0:
                    continue
                ps.append(q["p_family"])
                w = q["scan_window"]
                total += 1
                near += abs(w["start"] - (first + 1)) <= 2 and abs(w["end"] - (first + width)) <= 2
        ps.sort()
        print("block of %2d: %d planted quartets, p_family median %.3g, largest %.3g, <= 1e-3: %d; "
              "scan window within 2 columns of the block: %d of %d" %
              (width, len(ps), ps[len(ps) // 2], ps[-1], sum(p <= 1e-3 for p in ps), near, total))


def cost(kelto, folder):
    import resource
    rng = random.Random(1)
    records = ["".join(rng.choice(LETTERS) for _ in range(60)) for _ in range(80)]
    times = {"default": [], "off": []}
    for _ in range(5):
        for name, extra in (("default", []), ("off", ["--family-randomisations", "0"])):
            before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_utime
            run(kelto, pair_file(records), 200, ["--threads", "1"] + extra, folder)
            times[name].append(resource.getrusage(resource.RUSAGE_CHILDREN).ru_utime - before)
    median = {name: sorted(values)[2] for name, values in times.items()}
    print("40 pairs of 60 random residues, T = 200, 1 thread: %.3f s with the test, %.3f s without: %+.1f %%" %
          (median["default"], median["off"], 100 * (median["default"] / median["off"] - 1)))


def nulls(kelto, files, folder):
    for path in files:
        row = []
        for null in ("positions", "blocks:5", "blocks:10", "blocks:20"):
            quartets = run_file(kelto, path, 200, ["--family-null", null], folder)
            ps = [q["p_family"] for q in quartets if q["p_family"] is not None]
            row.append("%s %.1f %% of %d" % (null, 100 * sum(p <= 0.05 for p in ps) / len(ps), len(ps)))
        print("%s: %s" % (os.path.basename(path), "; ".join(row)))


def main():
    kelto, what = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as folder:
        if what == "null":
            null_inputs(kelto, folder, int(sys.argv[3]) if len(sys.argv) > 3 else 6)
        elif what == "planted":
            planted(kelto, folder, LETTERS)
        elif what == "planted-conserved":
            planted(kelto, folder, CONSERVED)
        elif what == "cost":
            cost(kelto, folder)
        elif what == "nulls":
            nulls(kelto, sys.argv[3:], folder)
        else:
            sys.exit(__doc__)


if __name__ == "__main__":
    main()
