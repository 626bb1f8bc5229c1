#!/usr/bin/env bash
# Configures and builds one flavour: "release" (optimised) or "sanitize" (address and
# undefined-behaviour sanitizers) or "tsan" (the core and its tests under ThreadSanitizer).
# Usage: scripts/build.sh release|sanitize|tsan
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-release}
case "$flavour" in
  release) options=(-DCMAKE_BUILD_TYPE=Release -DARMSIM_SANITIZE=OFF) ;;
  sanitize) options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DARMSIM_SANITIZE=ON) ;;
  tsan) options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DARMSIM_TSAN=ON) ;;
  *) echo "usage: $0 release|sanitize|tsan" >&2; exit 2 ;;
esac
cmake -S . -B "build/$flavour" "${options[@]}" >/dev/null
cmake --build "build/$flavour" -j "$(nproc)"
