#!/usr/bin/env bash
# Rebuilds the alignment files the input-form tests read: the six globins of
# examples/globins.txt aligned by Debian's aligners, each in the forms it
# writes. Needs: apt-get install -y hmmer hmmer-examples clustalo mafft
# Produced with Clustal Omega 1.2.4, MAFFT 7.505 and HMMER 3.3.2 (Debian 12).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
tutorial=/usr/share/doc/hmmer/examples/tutorial
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The example's records without their gaps: the unaligned sequences.
awk '/^#/ { next } /^>/ { print; next } { gsub(/-/, ""); print }' "$here/../../../examples/globins.txt" > "$tmp/globins.fa"

clustalo -i "$tmp/globins.fa" --outfmt=fa --wrap=60 --output-order=input-order > "$here/clustalo.fa"
clustalo -i "$tmp/globins.fa" --outfmt=clu --output-order=input-order > "$here/clustalo.aln"
mafft --quiet --clustalout "$tmp/globins.fa" > "$here/mafft.aln"
mafft --quiet "$tmp/globins.fa" > "$here/mafft.fa"

# The same records placed on the globins4 profile: Stockholm, A2M and A3M
# (A3M is A2M without the '.' that pad insert columns), and aligned FASTA
# of the same alignment, where the insert residues stand as ordinary columns.
hmm="$tmp/globins4.hmm"
zcat -f "$tutorial/globins4.hmm"* > "$hmm"
hmmalign "$hmm" "$tmp/globins.fa" > "$here/hmmalign.sto"
hmmalign --outformat A2M "$hmm" "$tmp/globins.fa" > "$here/hmmalign.a2m"
tr -d '.' < "$here/hmmalign.a2m" > "$here/hmmalign.a3m"
hmmalign --outformat afa "$hmm" "$tmp/globins.fa" > "$here/hmmalign.fa"
