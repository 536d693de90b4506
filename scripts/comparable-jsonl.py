#!/usr/bin/env python3
"""Prints a JSON Lines record as written, less the fields that may differ
between runs of the same work (wall_seconds, threads). Every line must be
valid JSON; a missing or empty file fails, so two failed runs never compare
equal."""
import json
import re
import sys

lines = open(sys.argv[1], encoding="utf-8").read().splitlines(keepends=True)
if not lines:
    sys.exit(sys.argv[1] + " is empty")
for line in lines:
    json.loads(line)
    line = re.sub(r',"wall_seconds":[^,}]*', "", line)
    sys.stdout.write(re.sub(r',"threads":[0-9]+', "", line))
