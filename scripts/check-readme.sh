#!/usr/bin/env bash
# Runs the README's snippets as a reader would: in a fresh folder, the
# example command of the set-up section (from `mkdir -p results` on, with the
# program already built), then every code block marked `<!-- readme-check -->`
# in the README's order (python with python3, r with Rscript, sh with bash).
# Fails on the first snippet that exits non-zero, and when no block is marked.
#   scripts/check-readme.sh [KELTO]     (default: build/kelto)
# Needs `scripts/install-deps.sh analysis`.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
readme=$repo/README.md
kelto=$(realpath "${1:-$repo/build/kelto}")
[ -x "$kelto" ] || { echo "check-readme: no program at $kelto; build it first" >&2; exit 2; }

# Debian's interpreter, which has python3-pandas, ahead of any other on PATH.
python=python3
[ -x /usr/bin/python3 ] && python=/usr/bin/python3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/build" "$work/snippets"
ln -s "$kelto" "$work/build/kelto"
ln -s "$repo/examples" "$work/examples"

# The example command: the README's one line, from where the build ends.
example=$(grep -m1 '^    bash scripts/install-deps.sh example && ' "$readme" | sed -n 's/^.*&& \(mkdir -p results && .*\)$/\1/p')
[ -n "$example" ] || { echo "check-readme: the README's example command was not found" >&2; exit 1; }
echo "== example: $example"
if ! (cd "$work" && bash -euo pipefail -c "$example" >"$work/example.log" 2>&1); then
  tail -n 20 "$work/example.log" >&2
  echo "check-readme: the example command failed" >&2
  exit 1
fi

# Every marked block to a file of its own, numbered in the README's order.
awk -v dir="$work/snippets" '
  /^<!-- readme-check -->$/ { marked = 1; next }
  marked && /^```[a-z]+$/ { n++; lang = substr($0, 4); file = sprintf("%s/%02d.%s", dir, n, lang); inside = 1; marked = 0; next }
  marked { print "check-readme: a readme-check mark not followed by a fenced block: " $0 > "/dev/stderr"; exit 1 }
  inside && /^```$/ { inside = 0; close(file); next }
  inside { print > file }
' "$readme"

count=0
for snippet in "$work"/snippets/*; do
  [ -e "$snippet" ] || break
  case "$snippet" in
    *.python) runner=("$python") ;;
    *.r) runner=(Rscript --vanilla) ;;
    *.sh) runner=(bash -euo pipefail) ;;
    *) echo "check-readme: no runner for $(basename "$snippet")" >&2; exit 1 ;;
  esac
  count=$((count + 1))
  echo "== snippet $(basename "$snippet")"
  if ! (cd "$work" && "${runner[@]}" "$snippet"); then
    echo "check-readme: snippet $(basename "$snippet") failed:" >&2
    cat "$snippet" >&2
    exit 1
  fi
done
[ "$count" -gt 0 ] || { echo "check-readme: no block of the README is marked readme-check" >&2; exit 1; }
echo "== check-readme: the example command and $count snippets ran"
