#!/usr/bin/env bash
# Runs workflow/Snakefile with three shards on small inputs and compares the
# merged report, TSV and JSON Lines record with one whole run's (the JSON
# without wall_seconds and threads). Two inputs: one that completes, with
# identical quartets among its own, and one that stops at a "Too many"
# limit in the middle shard. Needs snakemake (7.x) and python3.
#
#   scripts/check-workflow.sh [KELTO]      (default: build/kelto)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
kelto=$(realpath "${1:-$repo/build/kelto}")
if [ ! -x "$kelto" ]; then
  echo "check-workflow: $kelto is not an executable kelto; build it first" >&2
  exit 2
fi
command -v snakemake > /dev/null || { echo "check-workflow: snakemake is not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# complete.txt: 8 pairs of 80 residues, pairs 2, 5 and 7 alike (identical
# quartets). stop.txt: pair 3 against the plain pairs 1 and 2 fills the
# maximum window list, so the run stops at quartet (1,3), the sixth.
python3 - "$work" <<'PY'
import random, sys
rng = random.Random(2024)
letters = "ARNDCQEGHILKMFPSTWYV"
def seq(n): return "".join(rng.choice(letters) for _ in range(n))
def write(path, records):
    with open(path, "w") as f:
        f.write("# %d\n" % (len(records) // 2))
        for i, r in enumerate(records):
            f.write(">s%d\n%s\n" % (i, r))
common = seq(80)
records = []
for p in range(8):
    records += [common, common] if p in (2, 5, 7) else [seq(80), seq(80)]
write(sys.argv[1] + "/complete.txt", records)
plain = "A" * 320
write(sys.argv[1] + "/stop.txt", [seq(320), seq(320), plain, plain, plain, plain,
                                  "I" * 256 + "A" * 64, "V" * 256 + "A" * 64, seq(320), seq(320)])
PY

# The lines of a JSON Lines file as written, less the fields that may differ
# (each line must still be valid JSON).
comparable() {
  python3 -c '
import json, re, sys
for line in open(sys.argv[1], encoding="utf-8"):
    json.loads(line)
    line = re.sub(r',"wall_seconds":[^,}]*', "", line)
    print(re.sub(r',"threads":[0-9]+', "", line), end="")
' "$1"
}

failed=0
check() {  # name T seed expected-whole-status
  local name=$1 t=$2 seed=$3 expected=$4
  echo "== workflow, 3 shards: $name.txt, T = $t, seed $seed"
  (cd "$work" && snakemake -s "$repo/workflow/Snakefile" --cores 2 --quiet \
      --config kelto="$kelto" input="$name.txt" report="$name/report.txt" json="$name/run.jsonl" \
               tsv="$name/windows.tsv" T="$t" matrix=BLOSUM62 seed="$seed" shards=3)
  local status=0
  (cd "$work" && "$kelto" --quiet --seed "$seed" --matrix BLOSUM62 --json "$name-whole.jsonl" \
      --tsv "$name-whole.tsv" "$name.txt" "$name-whole.txt" "$t" > /dev/null 2>&1) || status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "check-workflow: the whole run on $name.txt exited with $status, not $expected" >&2
    failed=1
  fi
  cmp "$work/$name-whole.txt" "$work/$name/report.txt" || { echo "check-workflow: $name: reports differ" >&2; failed=1; }
  cmp "$work/$name-whole.tsv" "$work/$name/windows.tsv" || { echo "check-workflow: $name: TSVs differ" >&2; failed=1; }
  diff <(comparable "$work/$name-whole.jsonl") <(comparable "$work/$name/run.jsonl") > /dev/null ||
    { echo "check-workflow: $name: JSON records differ" >&2; failed=1; }
}

check complete 40 7 0
check stop 40 4 2
if [ "$failed" -ne 0 ]; then
  echo "check-workflow: FAILED" >&2
  exit 1
fi
echo "check-workflow: merged files equal the whole runs"
