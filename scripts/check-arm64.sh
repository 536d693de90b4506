#!/usr/bin/env bash
# The bundled example run with a pinned seed must give the same report,
# console, JSON and TSV bytes from the x86-64 build as from the ARM64 build
# under qemu-user.
# Usage: scripts/check-arm64.sh [HOST_BUILD_DIR] [ARM64_BUILD_DIR]   (default: build build-arm64)
set -euo pipefail
cd "$(dirname "$0")/.."

host_build=${1:-build}
arm_build=${2:-build-arm64}
input=examples/globins.txt
seed=7
matrix=2
randomisations=1000
workers=2

# One run of the program: seeded_run OUT_DIR BUILD_DIR [EMULATOR...]
seeded_run() {
  local out=$1 build=$2
  shift 2
  mkdir -p "$out"
  local status=0
  "$@" "$build/kelto" --seed "$seed" --matrix "$matrix" --threads "$workers" \
    --json "$out/run.jsonl" --tsv "$out/run.tsv" \
    "$input" "$out/report.txt" "$randomisations" > "$out/console.txt" || status=$?
  # The end line's wall time is the one field that may differ.
  sed -i 's/"wall_seconds":[0-9.e+-]*/"wall_seconds":0/' "$out/run.jsonl"
  if [ "$status" -ne 0 ]; then
    echo "check-arm64: the run in $build stopped with status $status" >&2
    exit 1
  fi
  # Three pairs give three quartets; an empty or cut report would compare equal too easily.
  local quartets
  quartets=$(grep -c 'GENE QUARTET' "$out/report.txt" || true)
  if [ "$quartets" -ne 3 ]; then
    echo "check-arm64: $out/report.txt holds $quartets quartets, not 3" >&2
    exit 1
  fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

seeded_run "$work/x86-64" "$host_build"
seeded_run "$work/arm64" "$arm_build" qemu-aarch64 -L /usr/aarch64-linux-gnu -E LD_LIBRARY_PATH=/usr/aarch64-linux-gnu/lib

failed=0
for file in report.txt console.txt run.jsonl run.tsv; do
  if cmp "$work/x86-64/$file" "$work/arm64/$file"; then
    echo "check-arm64: $file identical ($(wc -c < "$work/arm64/$file") bytes)"
  else
    diff <(od -c "$work/x86-64/$file") <(od -c "$work/arm64/$file") | head -20 >&2 || true
    failed=1
  fi
done
exit "$failed"
