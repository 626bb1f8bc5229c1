#!/usr/bin/env bash
# Prints one sha256 per command line of a fixed list run by the program BINARY: every mode and
# option family, the example workcells, bad input, and seeded random goals and walls. A command's
# hash covers its stdout, stderr, exit status and every file it wrote, so two builds that print
# the same list gave the same bytes. What depends on the clock is left out first: the JSON keys
# ending in "_ms" (planning_time_ms, search_time_ms, ...) and, in text, "in <number> ms" and
# "(<number> ms".
# Usage: scripts/output_digest.sh BINARY
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 BINARY" >&2; exit 2; }
binary=$(realpath "$1")
workcells=$(realpath "$(dirname "$0")/../workcells")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Text without the clock's readings: JSON without its *_ms keys, other text without the times.
timeless() {
  local file=$1
  if jq -e . "$file" >/dev/null 2>&1; then
    jq -S 'walk(if type == "object" then with_entries(select(.key | test("_ms$") | not))
                else . end)' "$file"
  else
    sed -E 's/(in|\() ?[0-9]+(\.[0-9]+)? ms/\1 # ms/g' "$file"
  fi
}

# Runs the program with the given arguments in an empty directory and prints the digest and
# the command line.
digest() {
  local run=$work/run
  rm -rf "$run" && mkdir "$run"
  local status=0
  (cd "$run" && "$binary" "$@" >"$work/stdout" 2>"$work/stderr" </dev/null) || status=$?
  {
    echo "status $status"
    echo "stdout" && timeless "$work/stdout"
    echo "stderr" && timeless "$work/stderr"
    (cd "$run" && find . -type f | sort | while read -r file; do
      echo "file $file"
      case $file in
        *.json | *.csv | *.urdf) timeless "$file" ;;
        *) sha256sum <"$file" ;;
      esac
    done)
  } | sha256sum | cut -c1-64 | tr '\n' ' '
  echo "$*"
}

digest --help
digest --version
for type in 1 2 3 4; do
  digest --method-b --type "$type"
  digest --method-b --type "$type" --json
  digest --solve --type "$type"
  digest --solve --type "$type" --json
  digest --urdf --type "$type"
done
digest --method-b --max-steps 3
digest --plan --seed 5
digest --plan --json --seed 5
digest --plan --json --seed 2 --to 3
digest --plan --json --to method-b
digest --plan --seed 3 --to 5 --csv motion.csv --trajectory timed.csv --rate 50
digest --plan --json --seed 3 --trajectory timed.csv --max-velocity 0.5 --max-jerk 5
digest --plan --json --type 3 --goal 1.148 2.226 0.412 --wall 0.819 --seed 4
digest --map --type 1 --step 0.25 --threads 2 --out map.png --csv map.csv
digest --map --type all --step 0.5 --threads 2 --out all.png
digest --urdf --scene --wall 1.1 --out robot.urdf
digest --animate goal.png --size 64x64
digest --animate motion.gif --size 64x64 --fps 5
for file in "$workcells"/*.json; do
  digest --urdf --scene --workcell "$file"
  digest --solve --json --workcell "$file"
  digest --method-b --workcell "$file"
  digest --plan --json --seed 9 --workcell "$file"
done
digest --solve --goal nan 2 0
digest --type 9 --solve
digest --map --out map.txt
digest --plan --planner Nope

# Seeded random goals and walls (a linear congruential generator, so every shell draws the same).
state=2026
draw() {  # value: a number in [lo, hi] with three decimals
  state=$(((state * 1103515245 + 12345) % 2147483648))
  value=$(awk -v r="$state" -v lo="$1" -v hi="$2" 'BEGIN { printf "%.3f", lo + (hi - lo) * r / 2147483648 }')
}
for k in $(seq 1 20); do
  type=$((k % 4 + 1))
  draw -1.5 1.5 && x=$value
  draw -0.5 2.5 && y=$value
  draw 0 1.2 && z=$value
  draw 0.8 2.2 && wall=$value
  digest --solve --json --type "$type" --goal "$x" "$y" "$z" --wall "$wall"
  digest --method-b --type "$type" --goal "$x" "$y" "$z" --wall "$wall"
  digest --plan --json --seed "$k" --type "$type" --goal "$x" "$y" "$z" --wall "$wall"
done
# Goals behind the wall, on the floor: many need a planned motion, or find no valid pose.
for k in $(seq 1 20); do
  type=$((k % 4 + 1))
  draw -1.2 0.6 && x=$value
  draw 0.8 1.8 && wall=$value
  draw 0.2 1.0 && y=$(awk -v w="$wall" -v d="$value" 'BEGIN { printf "%.3f", w + d }')
  digest --plan --json --seed "$k" --type "$type" --goal "$x" "$y" 0 --wall "$wall"
  digest --plan --seed "$k" --type "$type" --goal "$x" "$y" 0 --wall "$wall"
done
