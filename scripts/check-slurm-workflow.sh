#!/usr/bin/env bash
# Runs workflow/Snakefile with Snakemake's built-in Slurm support
# (snakemake --slurm) on a single-node Slurm (scripts/local-slurm.sh): a
# study table of two small alignments, a pair file and an aligned FASTA file
# with a pairs file, three shards each, every shard a Slurm job. Checks that
# every merged report, TSV and JSON record equals its study's single run
# (the record without wall_seconds and threads) and that each study has its
# page. The program is found on the PATH, as the README's example does.
# Snakemake 7 looks at a Slurm job's state every 30 s or so by default;
# the check asks once a second.
# Needs slurm-wlm, munge, snakemake (7.x) and python3; run as root.
#
#   scripts/check-slurm-workflow.sh [KELTO]   (default: build/kelto)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
kelto=$(realpath "${1:-$repo/build/kelto}")
[ -x "$kelto" ] || { echo "check-slurm-workflow: $kelto is not an executable kelto; build it first" >&2; exit 2; }
command -v snakemake > /dev/null || { echo "check-slurm-workflow: snakemake is not installed" >&2; exit 2; }

work=$(mktemp -d)
chmod 755 "$work"
slurm_started=0
cleanup() {
  [ "$slurm_started" -eq 0 ] || "$repo/scripts/local-slurm.sh" stop || true
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 143" TERM INT HUP

# pairs.txt: 6 pairs of 120 residues; family.fa: 12 records of 150 columns
# with gaps, of which family-pairs.txt chooses 5 pairs.
python3 - "$work" <<'PY'
import random, sys
rng = random.Random(7)
letters = "ARNDCQEGHILKMFPSTWYV"
def seq(n): return "".join(rng.choice(letters) for _ in range(n))
with open(sys.argv[1] + "/pairs.txt", "w") as f:
    f.write("# 6\n")
    for i in range(12):
        f.write(">p%d\n%s\n" % (i, seq(120)))
with open(sys.argv[1] + "/family.fa", "w") as f:
    for i in range(12):
        s = list(seq(150))
        for j in rng.sample(range(150), 6):
            s[j] = "-"
        f.write(">f%d member %d\n%s\n" % (i, i, "".join(s)))
with open(sys.argv[1] + "/family-pairs.txt", "w") as f:
    f.write("f0 f1\nf3 f2\nf4 f9\nf10 f11\nf6 f7\n")
PY

# name input pairs T seed
studies=(
  "pairs pairs.txt - 60 5"
  "family family.fa family-pairs.txt 60 9"
)
{
  printf 'name\tinput\tpairs\tmatrix\tT\tseed\tshards\n'
  for row in "${studies[@]}"; do
    read -r name input pairs t seed <<< "$row"
    printf '%s\t%s\t%s\tBLOSUM62\t%s\t%s\t3\n' "$name" "$input" "$pairs" "$t" "$seed"
  done
} > "$work/studies.tsv"

mkdir "$work/bin"
ln -s "$kelto" "$work/bin/kelto"
export PATH=$work/bin:$PATH
# Snakemake's Slurm support reads USER (to guess the account), which a
# container's shell may lack.
export USER=${USER:-$(id -un)}

eval "$("$repo/scripts/local-slurm.sh" start)"
slurm_started=1

echo "== snakemake --slurm: ${#studies[@]} studies, 3 shards each"
start=$(date +%s)
status=0
(cd "$work" && snakemake -s "$repo/workflow/Snakefile" --slurm --jobs 6 --latency-wait 10 --max-status-checks-per-second 1 \
    --config studies=studies.tsv results=results) > "$work/snakemake.log" 2>&1 || status=$?
seconds=$(( $(date +%s) - start ))
grep -E 'submitted with SLURM jobid|Finished job|Error|error' "$work/snakemake.log" || true

failed=0
fail() { echo "check-slurm-workflow: $*" >&2; failed=1; }
if [ "$status" -ne 0 ]; then
  tail -n 40 "$work/snakemake.log" >&2
  echo "check-slurm-workflow: snakemake exited with $status: FAILED" >&2
  exit 1
fi
jobs=$(grep -c 'submitted with SLURM jobid' "$work/snakemake.log" || true)
[ "$jobs" -eq 6 ] || fail "$jobs Slurm jobs submitted, not 6 (one per shard)"

for row in "${studies[@]}"; do
  read -r name input pairs t seed <<< "$row"
  out=$work/results/$name
  choice=()
  [ "$pairs" = - ] || choice=(--pairs "$pairs")
  (cd "$work" && kelto --quiet --seed "$seed" --matrix BLOSUM62 "${choice[@]}" --json "$name-whole.jsonl" \
      --tsv "$name-whole.tsv" "$input" "$name-whole.txt" "$t" > /dev/null 2>&1) || fail "the single run of $name failed"
  cmp "$work/$name-whole.txt" "$out/report.txt" || fail "$name: reports differ"
  cmp "$work/$name-whole.tsv" "$out/windows.tsv" || fail "$name: TSVs differ"
  if python3 "$repo/scripts/comparable-jsonl.py" "$work/$name-whole.jsonl" > "$work/$name-whole.cmp" &&
     python3 "$repo/scripts/comparable-jsonl.py" "$out/run.jsonl" > "$work/$name-merged.cmp"; then
    cmp "$work/$name-whole.cmp" "$work/$name-merged.cmp" || fail "$name: JSON records differ"
  else
    fail "$name: a JSON record is missing, empty or not JSON Lines"
  fi
  [ -s "$out/page.html" ] || fail "$name: no page"
done

echo "check-slurm-workflow: $jobs Slurm jobs, $seconds s from the first submission to the last merge"
if [ "$failed" -ne 0 ]; then
  echo "check-slurm-workflow: FAILED" >&2
  exit 1
fi
echo "check-slurm-workflow: every merged study equals its single run"
