#!/usr/bin/env python3
"""Reads a run's JSON Lines and TSV files as a script using them would: the
JSON as strict UTF-8, one json.loads per line; the TSV with the csv module's
tab dialect. Checks that the TSV has the header and one row per final window
of the JSON, with the same values; exit status 1 on the first difference.

Usage: check_records.py RUN.jsonl RUN.tsv
"""
import csv
import json
import sys

HEADER = ["quartet", "pair_a", "pair_b", "name_a1", "name_a2", "name_b1", "name_b2", "kind", "size",
          "start", "end", "value", "count", "percent", "average", "err", "eliminated"]


def fail(message):
    print(message)
    sys.exit(1)


def tsv_name(name):
    """A name as the TSV writes it: control characters blank, '"' as "'"."""
    return "".join(" " if ord(c) < 32 or ord(c) == 127 else "'" if c == '"' else c for c in name)


def main(json_path, tsv_path):
    with open(json_path, "rb") as f:
        text = f.read().decode("utf-8", errors="strict")
    if not text.endswith("\n"):
        fail("the JSON file does not end with a line feed")
    records = [json.loads(line) for line in text[:-1].split("\n")]
    with open(tsv_path, newline="", encoding="utf-8", errors="strict") as f:
        rows = list(csv.reader(f, dialect="excel-tab"))
    if not rows or rows[0] != HEADER:
        fail(f"TSV header {rows[:1]}")
    expected = [(record, kind, window) for record in records if record["type"] == "quartet"
                for kind in ("max", "min") for window in record["final_" + kind]]
    if len(rows) - 1 != len(expected):
        fail(f"{len(rows) - 1} TSV rows for {len(expected)} final windows")
    for number, (row, (quartet, kind, window)) in enumerate(zip(rows[1:], expected), start=2):
        want = [str(quartet[key]) for key in ("quartet", "pair_a", "pair_b")]
        want += [tsv_name(name) for name in quartet["names"]]
        want += [kind] + [str(window[key]) for key in ("size", "start", "end", "value", "count")]
        want.append("true" if window["eliminated"] else "false")
        if len(row) != len(HEADER) or row[:13] + row[16:] != want:
            fail(f"TSV row {number}: {row}\n  expected {want} around the three doubles")
        for key, value in zip(("percent", "average", "err"), row[13:16]):
            if float(value) != window[key]:
                fail(f"TSV row {number}: {key} {value} but JSON {window[key]!r}")
    print(f"{len(records)} JSON lines, {len(rows) - 1} TSV rows agree")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
