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
# The tests' environment beside LeakSanitizer's suppressions (CMakeLists.txt): UBSan's stack
# traces, ThreadSanitizer's suppressions (a report inside OMPL), and no Mesa shader cache in the
# user's home.
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 MESA_SHADER_CACHE_DISABLE=true
export TSAN_OPTIONS="suppressions=$PWD/scripts/tsan.supp"
for flavour in release sanitize; do
  echo "== $flavour build"
  bash scripts/build.sh "$flavour"
  if [ "$flavour" = sanitize ]; then
    echo "== fuzz targets, 20 s each, and the shell soak"
    bash scripts/fuzz.sh 20
  fi
  echo "== $flavour tests"
  # Under the sanitizers llvmpipe rasterises on the calling thread: LeakSanitizer's tracer, which
  # stops every thread for the leak check at exit, faulted when Mesa's rasteriser threads were
  # ending at that moment.
  threads=()
  [ "$flavour" = sanitize ] && threads=(LP_NUM_THREADS=0)
  env "${threads[@]}" ctest --test-dir "build/$flavour" --output-on-failure -j "$(nproc)"
done
echo "== core tests under ThreadSanitizer"
bash scripts/build.sh tsan
ctest --test-dir build/tsan --output-on-failure -j "$(nproc)"
