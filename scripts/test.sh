#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: an optimised build and a
# build with AddressSanitizer and UndefinedBehaviorSanitizer; between the two runs, every fuzz
# target runs for 20 s, then the million-key shell soak. Fails when any test fails, a fuzz target
# finds anything or the soak breaks an invariant.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
for flavour in release sanitize; do
  echo "== $flavour build"
  bash scripts/build.sh "$flavour"
  if [ "$flavour" = sanitize ]; then
    echo "== fuzz targets, 20 s each, and the shell soak"
    bash scripts/fuzz.sh 20
  fi
  echo "== $flavour tests"
  ctest --test-dir "build/$flavour" --output-on-failure -j "$(nproc)"
done
