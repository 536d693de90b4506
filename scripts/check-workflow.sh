#!/usr/bin/env bash
# Runs workflow/Snakefile on a study table of small inputs, three shards each,
# and compares every study's merged report, TSV and JSON Lines record with
# one whole run's (the JSON without wall_seconds and threads). Studies: a
# pair file that completes, with identical quartets among its own; one that
# stops at a "Too many" limit in the middle shard; the first as aligned
# FASTA with a pairs file choosing five of its pairs in another order. Needs
# snakemake (7.x) and python3.
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
with open(sys.argv[1] + "/complete.fa", "w") as f:
    for i, r in enumerate(records):
        f.write(">s%d some description\n%s\n%s\n" % (i, r[:50], r[50:]))
with open(sys.argv[1] + "/chosen.txt", "w") as f:
    f.write("# five of the pairs\ns6\ts7\ns0 s1\n\ns10 s11\ns4 s5\ns14 s15\n")
plain = "A" * 320
write(sys.argv[1] + "/stop.txt", [seq(320), seq(320), plain, plain, plain, plain,
                                  "I" * 256 + "A" * 64, "V" * 256 + "A" * 64, seq(320), seq(320)])
PY

# The records less wall_seconds and threads; a missing or empty one fails.
comparable() { python3 "$repo/scripts/comparable-jsonl.py" "$1"; }

# name input pairs T seed expected-whole-status
studies=(
  "complete complete.txt - 40 7 0"
  "stop stop.txt - 40 4 2"
  "chosen complete.fa chosen.txt 30 11 0"
)
{
  printf 'name\tinput\tpairs\tmatrix\tT\tseed\tshards\n'
  for row in "${studies[@]}"; do
    read -r name input pairs t seed _ <<< "$row"
    printf '%s\t%s\t%s\tBLOSUM62\t%s\t%s\t3\n' "$name" "$input" "$pairs" "$t" "$seed"
  done
} > "$work/studies.tsv"

echo "== workflow, 3 shards each: ${#studies[@]} studies"
(cd "$work" && snakemake -s "$repo/workflow/Snakefile" --cores 2 --quiet \
    --config kelto="$kelto" studies=studies.tsv results=results)

failed=0
fail() { echo "check-workflow: $*" >&2; failed=1; }
for row in "${studies[@]}"; do
  read -r name input pairs t seed expected <<< "$row"
  out=$work/results/$name
  choice=()
  [ "$pairs" = - ] || choice=(--pairs "$pairs")
  status=0
  (cd "$work" && "$kelto" --quiet --seed "$seed" --matrix BLOSUM62 "${choice[@]}" --json "$name-whole.jsonl" \
      --tsv "$name-whole.tsv" "$input" "$name-whole.txt" "$t" > /dev/null 2>&1) || status=$?
  [ "$status" -eq "$expected" ] || fail "the whole run of $name exited with $status, not $expected"
  cmp "$work/$name-whole.txt" "$out/report.txt" || fail "$name: reports differ"
  cmp "$work/$name-whole.tsv" "$out/windows.tsv" || fail "$name: TSVs differ"
  if comparable "$work/$name-whole.jsonl" > "$work/$name-whole.cmp" &&
     comparable "$out/run.jsonl" > "$work/$name-merged.cmp"; then
    cmp "$work/$name-whole.cmp" "$work/$name-merged.cmp" || fail "$name: JSON records differ"
  else
    fail "$name: a JSON record is missing, empty or not JSON Lines"
  fi
  [ -s "$out/page.html" ] || fail "$name: no page"
  for k in 1 2 3; do
    [ -s "$out/shards/shard-$k.jsonl" ] || fail "$name: shard $k's record is missing"
    [ ! -e "$out/shards/shard-$k.txt" ] && [ ! -e "$out/shards/shard-$k.tsv" ] ||
      fail "$name: shard $k's report or TSV was kept after the merge"
  done
done

if [ "$failed" -ne 0 ]; then
  echo "check-workflow: FAILED" >&2
  exit 1
fi
echo "check-workflow: merged files equal the whole runs"
