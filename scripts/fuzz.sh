#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang, address and undefined-behaviour sanitizers) into
# build/fuzz and runs each for a bounded time on a scratch copy of its committed seed corpus
# (with its dictionary, fuzz/TARGET.dict, when it has one: the workcell file's keys), then the
# shell soak (random keys through the keyboard dispatcher, same sanitizers).
# Prints one line per target and the soak's figures; fails when any target leaves a crash, leak
# or timeout, or the soak breaks an invariant.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [soak keys, default 1000000]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
soak_keys=${2:-1000000}
root=$(pwd)

cmake -S . -B build/fuzz -DARMSIM_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/fuzz -j "$(nproc)" >/dev/null

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
for source in fuzz/*_fuzz.cpp; do
  target=$(basename "$source" .cpp)
  work="build/fuzz/run/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/findings"
  cp fuzz/corpus/"$target"/* "$work/corpus/" 2>/dev/null || true
  log="$work/log.txt"
  dictionary=()
  [ -f "fuzz/$target.dict" ] && dictionary=(-dict="$root/fuzz/$target.dict")
  # -timeout: one input running this long is a hang and counts as a finding.
  (cd "$work" && "$root/build/fuzz/$target" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=findings/ "${dictionary[@]}" \
    corpus >log.txt 2>&1) || true
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  corpus=$(find "$work/corpus" -type f | wc -l)
  findings=$(find "$work/findings" -type f | wc -l)
  echo "$target: ${executions:-0} executions, corpus $corpus, findings $findings"
  if [ "$findings" -ne 0 ] || [ -z "$executions" ]; then
    failed=1
    find "$work/findings" -type f -printf '  %p\n'
    grep -E 'invariant broken|^case:|ERROR:|SUMMARY:|runtime error|^Base64:' "$log" | head -n 20 || true
  fi
done

soak_log=build/fuzz/run/shell_soak.txt
if build/fuzz/shell_soak "$soak_keys" >"$soak_log" 2>&1; then
  tail -n 1 "$soak_log"
else
  failed=1
  echo "shell_soak: failed"
  grep -E 'invariant broken|^case:|ERROR:|SUMMARY:|runtime error' "$soak_log" | head -n 20 || true
fi
exit "$failed"
