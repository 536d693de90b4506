#!/usr/bin/env python3
"""Reads a run's JSON Lines and TSV files as a script using them would: the
JSON as strict UTF-8, one json.loads per line; the TSV with the csv module's
tab dialect. Checks that the TSV has the header and one row per final window
of the JSON, with the same values (the ids those of the run line), that every
percent is the double nearest count / T x 100, every p-value is (count + 1) / (T + 1)
and never 0, and every family p-value lies between 1 / (J + 1) and 1; exit
status 1 on the first difference.

Usage: check_records.py RUN.jsonl RUN.tsv
"""
import csv
import json
import sys

HEADER = ["quartet", "pair_a", "pair_b", "name_a1", "name_a2", "name_b1", "name_b2", "kind", "size",
          "start", "end", "value", "count", "percent", "average", "err", "eliminated", "p_value", "p_family",
          "column_start", "column_end", "a1_first", "a1_last", "a2_first", "a2_last", "b1_first", "b1_last",
          "b2_first", "b2_last", "id_a1", "id_a2", "id_b1", "id_b2"]


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
    run = records[0]
    t, j = run["T"], run["family_randomisations"]
    for number, (row, (quartet, kind, window)) in enumerate(zip(rows[1:], expected), start=2):
        want = [str(quartet[key]) for key in ("quartet", "pair_a", "pair_b")]
        want += [tsv_name(name) for name in quartet["names"]]
        want += [kind] + [str(window[key]) for key in ("size", "start", "end", "value", "count")]
        want.append("true" if window["eliminated"] else "false")
        want += [str(c) for c in window["columns"]] + [str(r) for span in window["residues"] for r in span]
        pairs = (quartet["pair_a"], quartet["pair_b"])
        want += [tsv_name(run["ids"][2 * p + k]) for p in pairs for k in (0, 1)]
        if len(row) != len(HEADER) or row[:13] + row[16:17] + row[19:] != want:
            fail(f"TSV row {number}: {row}\n  expected {want} around the doubles")
        for key, value in zip(("percent", "average", "err", "p_value"), row[13:16] + row[17:18]):
            if float(value) != window[key]:
                fail(f"TSV row {number}: {key} {value} but JSON {window[key]!r}")
        if window["percent"] != window["count"] * 100 / t:
            fail(f"TSV row {number}: percent {window['percent']} is not the double nearest count / T x 100")
        if window["p_value"] != (window["count"] + 1) / (t + 1) or window["p_value"] <= 0:
            fail(f"TSV row {number}: p_value {window['p_value']} is not (count + 1) / (T + 1)")
        family = window["p_family"]
        if (row[18] == "NA") != (family is None) or (family is not None and (
                float(row[18]) != family or not 1 / (j + 1) <= family <= 1)):
            fail(f"TSV row {number}: p_family {row[18]} (JSON {family!r}, J = {j})")
    print(f"{len(records)} JSON lines, {len(rows) - 1} TSV rows agree")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
