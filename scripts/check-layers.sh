#!/usr/bin/env bash
# Fails when a folder of src/ includes a folder of its own layer or of a layer
# above it. The layers are the "layer" column of the README's layout table:
# a folder may include its own headers and those of lower layers only.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A layer
while IFS='|' read -r _ folder rank _; do
  folder=$(echo "$folder" | tr -d ' `')
  rank=$(echo "$rank" | tr -d ' ')
  layer[${folder#src/}]=$rank
done < <(grep -E '^\| `src/[a-z]+` \| [0-9]+ \|' README.md)

if [ ${#layer[@]} -eq 0 ]; then
  echo "check-layers: the README's layout table names no layers" >&2
  exit 1
fi

status=0
for dir in src/*/; do
  from=$(basename "$dir")
  if [ -z "${layer[$from]:-}" ]; then
    echo "check-layers: src/$from has no layer in the README's layout table" >&2
    status=1
    continue
  fi
  while IFS= read -r hit; do
    to=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$hit")
    [ "$to" = "$from" ] && continue
    if [ -z "${layer[$to]:-}" ] || [ "${layer[$to]}" -ge "${layer[$from]}" ]; then
      echo "check-layers: $hit (src/$from, layer ${layer[$from]}, includes src/$to, layer ${layer[$to]:-none})" >&2
      status=1
    fi
  done < <(grep -HnE '^#include "[a-z]+/' "$dir"* 2>/dev/null || true)
done
[ $status -eq 0 ] && echo "check-layers: every folder includes only the layers below it"
exit $status
