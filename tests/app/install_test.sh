#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed program: its --version, and
# --solve on each installed example workcell, which must print what the build's own program
# prints for the source tree's file (the installed files are the examples, byte for byte).
# Usage: install_test.sh BUILD_DIR WORKCELLS_DIR
set -euo pipefail
build=$1 workcells=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() {
  echo "FAIL (install): $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
armsim=$prefix/bin/armsim
[ -x "$armsim" ] || fail "no $armsim"
version=$("$armsim" --version) || fail "--version exited with $?"
[ "$version" = "$("$build/armsim" --version)" ] || fail "--version printed '$version'"
count=0
for example in "$workcells"/*.json; do
  installed=$prefix/share/armsim/workcells/$(basename "$example")
  cmp -s "$example" "$installed" || fail "$installed differs from $example"
  status=0 && "$armsim" --solve --json --workcell "$installed" >"$prefix/installed.out" || status=$?
  expected=0 && "$build/armsim" --solve --json --workcell "$example" >"$prefix/built.out" || expected=$?
  [ "$status" -eq "$expected" ] || fail "--solve on $installed exited with $status, not $expected"
  cmp -s "$prefix/installed.out" "$prefix/built.out" || fail "--solve on $installed printed otherwise"
  count=$((count + 1))
done
[ "$count" -gt 0 ] || fail "no example workcells in $workcells"
[ "$(find "$prefix/share/armsim/workcells" -type f | wc -l)" -eq "$count" ] ||
  fail "other files among the installed workcells"
echo "install: armsim and $count workcells under the prefix"
