#!/usr/bin/env bash
# Installs what is missing, checks that no include climbs the layers, then builds and runs every
# test twice: an optimised build and a build with AddressSanitizer and UndefinedBehaviorSanitizer;
# between the two runs, every fuzz target runs for 20 s, then the million-key shell soak. Last,
# the core tests run under ThreadSanitizer. Fails when any check or test fails, a fuzz target
# finds anything or the soak breaks an invariant.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/check_layers.sh
for flavour in release sanitize; do
  echo "== $flavour build"
  bash scripts/build.sh "$flavour"
  if [ "$flavour" = sanitize ]; then
    echo "== fuzz targets, 20 s each, and the shell soak"
    bash scripts/fuzz.sh 20
  fi
  echo "== $flavour tests"
  # Under the sanitizers LeakSanitizer's own tracer, which stops every thread for the leak check
  # at exit, now and then faults ("Tracer caught signal 11") in a process that drew with Mesa; a
  # test that fails runs again, up to three times in all, so a real leak or fault still fails.
  repeat=()
  [ "$flavour" = sanitize ] && repeat=(--repeat until-pass:3)
  ctest --test-dir "build/$flavour" --output-on-failure -j "$(nproc)" "${repeat[@]}"
done
echo "== core tests under ThreadSanitizer"
bash scripts/build.sh tsan
ctest --test-dir build/tsan --output-on-failure -j "$(nproc)"
