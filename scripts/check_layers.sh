#!/usr/bin/env bash
# Fails when a source file includes a header from a higher layer. The layers, bottom up:
# math, model, collision, ik, contact, planning, render, app; a folder may include its own headers and those below.
set -euo pipefail
cd "$(dirname "$0")/.."
layers=(math model collision ik contact planning render app)
status=0
for i in "${!layers[@]}"; do
  folder=${layers[$i]}
  higher=("${layers[@]:$((i + 1))}")
  [ ${#higher[@]} -gt 0 ] || continue
  pattern="^[[:space:]]*#[[:space:]]*include[[:space:]]*\"($(IFS='|'; echo "${higher[*]}"))/"
  if grep -nE "$pattern" "$folder"/*.h "$folder"/*.cpp; then
    echo "check_layers: $folder/ includes a higher layer (lines above)" >&2
    status=1
  fi
done
[ $status -eq 0 ] && echo "check_layers: every include keeps to its layer"
exit $status
