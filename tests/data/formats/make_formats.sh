#!/usr/bin/env bash
# Rebuilds the alignment files the input-form tests read: the six globins of
# examples/globins.txt aligned by Debian's aligners, each in the forms it
# writes. Needs: apt-get install -y hmmer hmmer-examples clustalo mafft
# Produced with Clustal Omega 1.2.4, MAFFT 7.505 and HMMER 3.3.2 (Debian 12).
#
# Usage: make_formats.sh [output-folder]   (default: this script's folder)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here}
tutorial=/usr/share/doc/hmmer/examples/tutorial
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The example's records without their gaps: the unaligned sequences.
awk '/^#/ { next } /^>/ { print; next } { gsub(/-/, ""); print }' "$here/../../../examples/globins.txt" > "$tmp/globins.fa"

clustalo -i "$tmp/globins.fa" --outfmt=fa --wrap=60 --output-order=input-order > "$out/clustalo.fa"
clustalo -i "$tmp/globins.fa" --outfmt=clu --output-order=input-order > "$out/clustalo.aln"
mafft --quiet --clustalout "$tmp/globins.fa" > "$out/mafft.aln"
mafft --quiet "$tmp/globins.fa" > "$out/mafft.fa"

# The same records placed on the globins4 profile: Stockholm, A2M (which
# HMMER writes without the '.' that pad insert columns, as A3M has it), and
# aligned FASTA of the same alignment, whose '.' and lower case read as A2M.
hmm="$tmp/globins4.hmm"
zcat -f "$tutorial/globins4.hmm"* > "$hmm"
hmmalign "$hmm" "$tmp/globins.fa" > "$out/hmmalign.sto"
hmmalign --outformat A2M "$hmm" "$tmp/globins.fa" > "$out/hmmalign.a2m"
hmmalign --outformat afa "$hmm" "$tmp/globins.fa" > "$out/hmmalign.fa"

# A Pfam seed as hmmer-examples ship it: names with coordinates, accessions.
zcat -f "$tutorial/fn3.sto"* > "$out/fn3.sto"
