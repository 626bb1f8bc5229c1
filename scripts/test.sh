#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: an optimised build and a
# build with AddressSanitizer and UndefinedBehaviorSanitizer. Fails when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
for flavour in release sanitize; do
  echo "== $flavour build"
  bash scripts/build.sh "$flavour"
  echo "== $flavour tests"
  ctest --test-dir "build/$flavour" --output-on-failure -j "$(nproc)"
done
