#!/usr/bin/env python3
"""Writes nested_run.txt, the input of the page's figure test.

Three pairs of 60 residues, each record a variant of one random sequence:
pair 0 keeps most of the middle (positions 21-40 mostly, 11-50 often), the
other records change half their positions anywhere. Seed 2828 is a seed
whose run with `--seed 1 --matrix 2 ... 20` gives quartet 1 four final
maximum windows over one stretch, each overlapping the others, and two
overlapping final minimum windows.

    python3 tests/data/make_nested_run.py 2828 > tests/data/nested_run.txt
"""

import random
import sys

RESIDUES = "ARNDCQEGHILKMFPSTWYV"


def make(seed, length=60, pairs=3):
    rnd = random.Random(seed)
    base = "".join(rnd.choice(RESIDUES) for _ in range(length))
    records = []
    for r in range(2 * pairs):
        record = list(base)
        for k in range(length):
            rate = 0.15 if 20 <= k < 40 else 0.35 if 10 <= k < 50 else 0.6
            if r >= 2:
                rate = 0.5
            if rnd.random() < rate:
                record[k] = rnd.choice(RESIDUES)
        records.append("".join(record))
    return f"# {pairs}\n" + "".join(f">s{i}\n{r}\n" for i, r in enumerate(records))


if __name__ == "__main__":
    sys.stdout.write(make(int(sys.argv[1])))
