#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release
if [ -x build/release/armsim ]; then
  exec build/release/armsim "$@"
fi
echo "Built the core library, its tests and benchmarks; the program's window is not there yet."
