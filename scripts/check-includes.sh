#!/usr/bin/env bash
# Lists the includes between the folders of src/ and fails on one that runs
# upward: each folder may include only the folders on floors below it. A
# folder missing from the floors below fails too, so a new one gets a place.
# Usage: scripts/check-includes.sh [SRC_DIR]   (default: src)
set -euo pipefail
src=${1:-"$(dirname "$0")/../src"}

# The floors, lowest first; cli, the program's entry, is the top.
floors=(common input profile windows report record tsv page run merge html cli)

floor_of() {
  local i
  for i in "${!floors[@]}"; do
    if [[ ${floors[$i]} == "$1" ]]; then
      echo "$i"
      return
    fi
  done
  echo -1
}

for dir in "$src"/*/; do
  folder=$(basename "$dir")
  if [[ $(floor_of "$folder") -lt 0 ]]; then
    echo "src/$folder has no floor: add it to the floors in $0" >&2
    exit 1
  fi
done

failed=0
# One line per include between two folders: FROM TO FILE.
edges=$(cd "$src" && grep -H -o '^#include "[a-z_0-9]*/' -- */* |
          sed -E 's|^([^/]*)/([^:]*):#include "([^/]*)/$|\1 \3 \1/\2|' | awk '$1 != $2')
echo "includes between folders (from -> to: files):"
while read -r from to; do
  [[ -z $from ]] && continue
  count=$(awk -v f="$from" -v t="$to" '$1 == f && $2 == t' <<<"$edges" | wc -l)
  if [[ $(floor_of "$to") -lt 0 || $(floor_of "$to") -gt $(floor_of "$from") ]]; then
    echo "  $from -> $to: $count   UPWARD:" $(awk -v f="$from" -v t="$to" '$1 == f && $2 == t {print $3}' <<<"$edges")
    failed=1
  else
    echo "  $from -> $to: $count"
  fi
done < <(awk '{print $1, $2}' <<<"$edges" | sort -u)
if [[ $failed -ne 0 ]]; then
  echo "an include runs up the floors: ${floors[*]}" >&2
  exit 1
fi
echo "no include runs up the floors: ${floors[*]}"
