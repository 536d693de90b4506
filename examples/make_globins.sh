#!/usr/bin/env bash
# Rebuilds globins.txt: three pairs of real globin sequences (alpha, beta, myoglobin),
# aligned together with MAFFT. Each pair is a primate and a carnivore, because the
# source file has no single species with all three globins.
#
# Needs the Debian packages hmmer-examples (source sequences) and mafft:
#   apt-get install -y hmmer-examples mafft
# Produced with MAFFT v7.505 (Debian 7.505-1).
#
# Usage: make_globins.sh [output-file]   (default: globins.txt next to this script)
set -euo pipefail

src=/usr/share/doc/hmmer/examples/tutorial/globins45.fa
[ -f "$src" ] || src="$src.gz"
out=${1:-"$(dirname "$0")/globins.txt"}

# Pair order: alpha, beta, myoglobin; first member primate, second carnivore.
#   HBA_MACFA  crab-eating macaque    HBA_AILME  giant panda
#   HBB_MANSP  mandrill               HBB_URSMA  polar bear
#   MYG_SAISC  squirrel monkey        MYG_LYCPI  African wild dog
ids=(HBA_MACFA HBA_AILME HBB_MANSP HBB_URSMA MYG_SAISC MYG_LYCPI)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Pull the chosen records out in the order above (headers in the source carry a trailing blank).
for id in "${ids[@]}"; do
    zcat -f "$src" | awk -v id="$id" '
        /^>/ { keep = ($1 == ">" id); if (keep) print ">" id; next }
        keep { print }'
done > "$tmp/in.fa"

mafft --quiet --auto "$tmp/in.fa" > "$tmp/aligned.fa"

# Pair file: pair count, then the aligned records upper-cased and wrapped at 60 columns.
{
    printf '# %d\n' $(( ${#ids[@]} / 2 ))
    awk '
        function flush() { if (seq != "") { seq = toupper(seq); for (i = 1; i <= length(seq); i += 60) print substr(seq, i, 60) } seq = "" }
        /^>/ { flush(); print $1; next }
        { gsub(/[ \t\r]/, ""); seq = seq $0 }
        END { flush() }' "$tmp/aligned.fa"
} > "$out"

# Keep input order (mafft --auto does not reorder unless asked) and the residue alphabet honest.
got=$(grep '^>' "$out" | tr -d '>' | tr '\n' ' ')
[ "$got" = "${ids[*]} " ] || { echo "unexpected record order: $got" >&2; exit 1; }
if grep -v '^[>#]' "$out" | grep -q '[^ARNDCQEGHILKMFPSTWYV-]'; then
    echo "non-standard residue in alignment" >&2; exit 1
fi
