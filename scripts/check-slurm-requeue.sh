#!/usr/bin/env bash
# Runs README.md's Slurm job script, word for word but for the input and T,
# on a single-node Slurm (scripts/local-slurm.sh) with a 1-minute time limit,
# on a run that needs longer than one limit. Checks that the job was
# requeued at least once and completed, and that its report, TSV and JSON
# record equal one uninterrupted run's (the record without wall_seconds and
# threads). Prints the requeues and wall times it measured. Needs slurm-wlm,
# munge and python3; run as root. About 6 minutes on 2 cores.
#
#   scripts/check-slurm-requeue.sh [KELTO] [T]   (default: build/kelto, 2500)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
kelto=$(realpath "${1:-$repo/build/kelto}")
t=${2:-2500}
[ -x "$kelto" ] || { echo "check-slurm-requeue: $kelto is not an executable kelto; build it first" >&2; exit 2; }

work=$(mktemp -d)
chmod 755 "$work"
slurm_started=0
cleanup() {
  [ "$slurm_started" -eq 0 ] || "$repo/scripts/local-slurm.sh" stop || true
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 143" TERM INT HUP

# The job script: the README's block that requeues, the input and T replaced.
awk '/^```sh$/ { block = ""; inside = 1; next }
     /^```$/ && inside { inside = 0; if (block ~ /scontrol requeue/) { printf "%s", block; exit } next }
     inside { block = block $0 "\n" }' "$repo/README.md" > "$work/readme-job.sh"
grep -q 'pairs.txt report.txt 1000)' "$work/readme-job.sh" ||
  { echo "check-slurm-requeue: no job script with 'pairs.txt report.txt 1000)' in README.md" >&2; exit 1; }
sed "s/pairs.txt report.txt 1000)/in.txt report.txt $t)/" "$work/readme-job.sh" > "$work/job.sh"
[ "$(diff "$work/readme-job.sh" "$work/job.sh" | grep -c '^[<>]')" -eq 2 ] ||
  { echo "check-slurm-requeue: the job script differs from README.md's in more than its input and T" >&2; exit 1; }

# 20 random pairs of 300 residues: 190 quartets of equal cost.
python3 - "$work/in.txt" <<'PY'
import random, sys
rng = random.Random(20)
letters = "ARNDCQEGHILKMFPSTWYV"
with open(sys.argv[1], "w") as f:
    f.write("# 20\n")
    for i in range(40):
        f.write(">r%d\n%s\n" % (i, "".join(rng.choice(letters) for _ in range(300))))
PY

# The job calls `kelto` by name; sbatch passes this PATH on (--export=ALL).
mkdir "$work/bin" "$work/job" "$work/whole"
ln -s "$kelto" "$work/bin/kelto"
export PATH=$work/bin:$PATH
cp "$work/in.txt" "$work/job/in.txt"
cp "$work/in.txt" "$work/whole/in.txt"

eval "$("$repo/scripts/local-slurm.sh" start)"
slurm_started=1
# One thread: T = 2500 then needs about a minute of one core, longer than
# the 20 to 50 seconds a job runs before its early signal, so 1 or 2 requeues.
cpus=1

start=$(date +%s)
job=$(cd "$work/job" && sbatch --parsable --time=1 --cpus-per-task="$cpus" -o job.log "$work/job.sh")
echo "== job $job: README's job script, T = $t, 1-minute limit, --cpus-per-task=$cpus"
state="" restarts=0 seen=""
deadline=$((start + 20 * 60))
while :; do
  info=$(scontrol -o show job "$job")
  state=$(sed -n 's/.*JobState=\([A-Z_]*\).*/\1/p' <<< "$info")
  restarts=$(sed -n 's/.*Restarts=\([0-9]*\).*/\1/p' <<< "$info")
  if [ "$state $restarts" != "$seen" ]; then
    echo "   $(( $(date +%s) - start )) s: $state, $restarts requeue(s)"
    seen="$state $restarts"
  fi
  case "$state" in
    PENDING | RUNNING | REQUEUED | CONFIGURING | COMPLETING | REQUEUE_HOLD | REQUEUE_FED | RESIZING | SUSPENDED) ;;
    *) break ;;
  esac
  [ "$(date +%s)" -lt "$deadline" ] || { echo "check-slurm-requeue: job $job still $state after 20 minutes" >&2; break; }
  sleep 3
done
job_seconds=$(( $(date +%s) - start ))
echo "--- job log"
cat "$work/job/job.log" || true
echo "---"

failed=0
fail() { echo "check-slurm-requeue: $*" >&2; failed=1; }
[ "$state" = COMPLETED ] || fail "job $job ended $state, not COMPLETED"
[ "$restarts" -ge 1 ] || fail "job $job was never requeued: the run fitted in one limit (raise T)"

start=$(date +%s)
(cd "$work/whole" && kelto --seed 20261207 --matrix 2 --threads "$cpus" --quiet \
    --json run.jsonl --tsv run.tsv in.txt report.txt "$t" > /dev/null 2>&1) || fail "the uninterrupted run failed"
whole_seconds=$(( $(date +%s) - start ))

cmp "$work/whole/report.txt" "$work/job/report.txt" || fail "reports differ"
cmp "$work/whole/run.tsv" "$work/job/run.tsv" || fail "TSVs differ"
if python3 "$repo/scripts/comparable-jsonl.py" "$work/whole/run.jsonl" > "$work/whole.cmp" &&
   python3 "$repo/scripts/comparable-jsonl.py" "$work/job/run.jsonl" > "$work/job.cmp"; then
  cmp "$work/whole.cmp" "$work/job.cmp" || fail "JSON records differ"
else
  fail "a JSON record is missing, empty or not JSON Lines"
fi

echo "check-slurm-requeue: $restarts requeue(s), job $job_seconds s from submission to completion;" \
  "the uninterrupted run $whole_seconds s"
if [ "$failed" -ne 0 ]; then
  echo "check-slurm-requeue: FAILED" >&2
  exit 1
fi
echo "check-slurm-requeue: the requeued job's files equal the uninterrupted run's"
