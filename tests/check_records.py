#!/usr/bin/env python3
"""Reads a run's JSON Lines and TSV files as a script using them would: the
JSON as strict UTF-8, one json.loads per line; the TSV with the csv module's
tab dialect. Checks that the TSV has the header and one row per final window
of the JSON and one scan row per quartet with a family-wise test, with the
same values (the ids those of the run line); that every percent is the
double nearest count / T x 100 and every p-value is (count + 1) / (T + 1)
and never 0; that every quartet's family p-value follows the stopping rule
(h / L at the h-th exceedance, (1 + e) / (J_max + 1) at the cap) and every
window's is (1 + count) / (L + 1); exit status 1 on the first difference.

Usage: check_records.py RUN.jsonl RUN.tsv
"""
import csv
import json
import sys

HEADER = ["quartet", "pair_a", "pair_b", "name_a1", "name_a2", "name_b1", "name_b2", "kind", "size",
          "start", "end", "value", "count", "percent", "average", "err", "eliminated", "p_value", "p_family",
          "column_start", "column_end", "a1_first", "a1_last", "a2_first", "a2_last", "b1_first", "b1_last",
          "b2_first", "b2_last", "id_a1", "id_a2", "id_b1", "id_b2", "side", "z", "score", "p_floor",
          "arrangements"]


def fail(message):
    print(message)
    sys.exit(1)


def tsv_name(name):
    """A name as the TSV writes it: control characters blank, '"' as "'"."""
    return "".join(" " if ord(c) < 32 or ord(c) == 127 else "'" if c == '"' else c for c in name)


def check_quartet_family(number, quartet, test):
    """The quartet's p-value from its arrangements by the stopping rule."""
    p, drawn, e = quartet["p_family"], quartet["family_arrangements"], quartet["family_exceedances"]
    if quartet["family_capped"]:
        want = (1 + e) / (test["J_max"] + 1)
        ok = drawn == test["J_max"] and e < test["h"]
    else:
        want = e / drawn
        ok = e == test["h"]
    if not ok or p != want or not quartet["p_floor"] <= p <= 1 or quartet["p_floor"] != 1 / (test["J_max"] + 1):
        fail(f"TSV row {number}: quartet {quartet['quartet']} p_family {p}, L {drawn}, e {e}")


def check_window(number, row, window, quartet, kind, t, want, place):
    want.append("true" if window["eliminated"] else "false")
    if row[:13] + row[16:17] != want or row[19:34] != place + [kind]:
        fail(f"TSV row {number}: {row}\n  expected {want} and {place} around the doubles")
    for key, value in zip(("percent", "average", "err", "p_value"), row[13:16] + row[17:18]):
        if float(value) != window[key]:
            fail(f"TSV row {number}: {key} {value} but JSON {window[key]!r}")
    if window["percent"] != window["count"] * 100 / t:
        fail(f"TSV row {number}: percent {window['percent']} is not the double nearest count / T x 100")
    if window["p_value"] != (window["count"] + 1) / (t + 1) or window["p_value"] <= 0:
        fail(f"TSV row {number}: p_value {window['p_value']} is not (count + 1) / (T + 1)")
    family, drawn = window["p_family"], quartet["family_arrangements"]
    count = family * (drawn + 1) - 1
    if float(row[18]) != family or abs(count - round(count)) > 1e-6 or not 0 <= round(count) <= drawn:
        fail(f"TSV row {number}: p_family {row[18]} is not (1 + count) / (L + 1), L = {drawn}")


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
    expected = []
    for record in records:
        if record["type"] != "quartet":
            continue
        expected += [(record, kind, window) for kind in ("max", "min") for window in record["final_" + kind]]
        if record["scan_window"] is not None:
            expected.append((record, "scan", record["scan_window"]))
    if len(rows) - 1 != len(expected):
        fail(f"{len(rows) - 1} TSV rows for {len(expected)} windows")
    run = records[0]
    t, test = run["T"], run["family_test"]
    for number, (row, (quartet, kind, window)) in enumerate(zip(rows[1:], expected), start=2):
        if len(row) != len(HEADER):
            fail(f"TSV row {number}: {len(row)} fields")
        check_quartet_family(number, quartet, test)
        want = [str(quartet[key]) for key in ("quartet", "pair_a", "pair_b")]
        want += [tsv_name(name) for name in quartet["names"]] + [kind]
        place = window["columns"] + [r for span in window["residues"] for r in span]
        pairs = (quartet["pair_a"], quartet["pair_b"])
        place = [str(c) for c in place] + [tsv_name(run["ids"][2 * p + k]) for p in pairs for k in (0, 1)]
        if kind == "scan":
            want += [str(window[key]) for key in ("size", "start", "end", "sum")] + ["NA"] * 6
            want += place + [window["side"]]
            if row[:18] + row[19:34] != want or float(row[18]) != quartet["p_family"]:
                fail(f"TSV row {number}: {row}\n  expected {want}")
        else:
            check_window(number, row, window, quartet, kind, t, want + [str(window[key]) for key in (
                "size", "start", "end", "value", "count")], place)
        if float(row[34]) != window["z"] or float(row[35]) != window["score"]:
            fail(f"TSV row {number}: z and score {row[34:36]}")
        if float(row[36]) != quartet["p_floor"] or int(row[37]) != quartet["family_arrangements"]:
            fail(f"TSV row {number}: p_floor and arrangements {row[36:38]}")
    print(f"{len(records)} JSON lines, {len(rows) - 1} TSV rows agree")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
