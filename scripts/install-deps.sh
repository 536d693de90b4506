#!/usr/bin/env bash
# Installs the Debian packages kelto needs, and nothing when all are there.
#   scripts/install-deps.sh example   build the program and run the example
#   scripts/install-deps.sh test      also build and run the whole test suite
#   scripts/install-deps.sh analysis  what the README's Python, R and jq snippets need
#   scripts/install-deps.sh ci        also the sanitizer, fuzzing, ARM64 and workflow checks,
#                                     and the README's snippets (scripts/check-readme.sh)
# Runs apt-get as root, through sudo otherwise.
set -euo pipefail

mode=${1:-test}
build=(cmake make g++ nlohmann-json3-dev libxxhash-dev zlib1g-dev libzstd-dev man-db)
test=(libgtest-dev libbenchmark-dev groff-base python3 chromium zstd ncbi-data)
ci=(clang libclang-rt-14-dev llvm snakemake slurm-wlm munge g++-aarch64-linux-gnu libc6-dev-arm64-cross qemu-user
    googletest zlib1g-dev:arm64 libzstd-dev:arm64 hmmer hmmer-examples clustalo mafft)
analysis=(python3 python3-pandas jq r-base-core r-cran-jsonlite zstd)

case "$mode" in
  example) packages=("${build[@]}") ;;
  test) packages=("${build[@]}" "${test[@]}") ;;
  analysis) packages=("${analysis[@]}") ;;
  ci) packages=("${build[@]}" "${test[@]}" "${ci[@]}" "${analysis[@]}") ;;
  *) echo "usage: $0 example|test|analysis|ci" >&2; exit 2 ;;
esac

missing=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: run as root or install sudo; missing: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
# The ARM64 cross build links the target's zlib and libzstd (Debian multiarch).
if [[ " ${missing[*]} " == *":arm64 "* ]] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  $sudo dpkg --add-architecture arm64
fi
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
