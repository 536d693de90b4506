#!/usr/bin/env bash
# Scatter-gather overhead: one whole run against the same work as 2 shards
# of 1 thread each, run side by side, then merged. Needs hyperfine and
# python3; the input (12 random pairs of 300 residues, 66 quartets) is made
# in a temporary directory.
#
#   bench/scatter_gather.sh [KELTO] [T]     (defaults: build/kelto, 500)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
kelto=$(realpath "${1:-$repo/build/kelto}")
t=${2:-500}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 - <<'PY'
import random
rng = random.Random(5)
with open("in.txt", "w") as f:
    f.write("# 12\n")
    for i in range(24):
        f.write(">s%d\n%s\n" % (i, "".join(rng.choice("ARNDCQEGHILKMFPSTWYV") for _ in range(300))))
PY
run="$kelto --quiet --seed 1 --matrix 2"
shard() { echo "$run --threads 1 --shard $1/2 --json s$1.jsonl --tsv s$1.tsv in.txt s$1.txt $t"; }
hyperfine --runs 3 --export-markdown "$work/times.md" \
  -n "whole, 1 thread" "$run --threads 1 --json w.jsonl --tsv w.tsv in.txt w.txt $t" \
  -n "whole, 2 threads" "$run --threads 2 --json w.jsonl --tsv w.tsv in.txt w.txt $t" \
  -n "shard 1/2 alone, 1 thread" "$(shard 1)" \
  -n "shard 2/2 alone, 1 thread" "$(shard 2)" \
  -n "2 shards side by side + merge" "$(shard 1) & $(shard 2) & wait; $kelto merge --json m.jsonl --tsv m.tsv m.txt s1.jsonl s2.jsonl" \
  -n "merge alone" "$kelto merge --json m.jsonl --tsv m.tsv m.txt s1.jsonl s2.jsonl"
cat times.md
cmp w.txt m.txt && cmp w.tsv m.tsv && echo "merged report and TSV equal the whole run's"
