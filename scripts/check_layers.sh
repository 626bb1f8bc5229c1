#!/usr/bin/env bash
# Checks every include of a layer's sources against scripts/layers.txt: a layer may include its
# own headers and those of the layers it names there, which must stand above it in the list;
# and it must include from every layer it names, so its library links only what it uses.
# Names each include that climbs to a later layer or reaches one not named, each layer named but
# not used, and each folder of sources missing from the list. The layers today, bottom up: util, math,
# model, collision, ik, contact, planning, task, task/motion, render, film, app.
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A position deps
order=()
while IFS= read -r line; do
  [[ $line =~ ^[a-z] ]] || continue
  layer=${line%%:*}
  position[$layer]=${#order[@]}
  order+=("$layer")
  deps[$layer]=$(echo "${line#*:}" | xargs)
done <scripts/layers.txt

# The layer of an included path: the longest layer name it starts with ("task/motion/x.h" is
# task/motion's, "task/x.h" task's); empty for a header outside the layers.
layer_of() {
  local path=$1 best="" layer
  for layer in "${order[@]}"; do
    if [[ $path == "$layer"/* && ${#layer} -gt ${#best} ]]; then best=$layer; fi
  done
  echo "$best"
}

status=0
# Every folder of the program's sources is a layer: one left out of the list would go unchecked.
while IFS= read -r folder; do
  if [ -z "${position[$folder]+set}" ]; then
    echo "check_layers: $folder/ holds sources but scripts/layers.txt does not name it" >&2
    status=1
  fi
done < <(find . \( -path ./build -o -path ./.git \) -prune -o -type f \( -name '*.h' -o -name '*.cpp' \) \
  -printf '%h\n' | sed 's|^\./||' | sort -u | grep -vE '^(\.|tests|bench|fuzz|docs|scripts)(/|$)')

for layer in "${order[@]}"; do
  declared=" ${deps[$layer]} "
  for dep in ${deps[$layer]}; do
    if [ -z "${position[$dep]+set}" ] || [ "${position[$dep]}" -ge "${position[$layer]}" ]; then
      echo "check_layers: $layer names $dep, which is not a layer below it" >&2
      status=1
    fi
  done
  used=" "
  for file in "$layer"/*.h "$layer"/*.cpp; do
    [ -e "$file" ] || continue
    while IFS=: read -r number path; do
      target=$(layer_of "$path")
      [ -n "$target" ] && [ "$target" != "$layer" ] || continue
      used+="$target "
      if [ "${position[$target]}" -gt "${position[$layer]}" ]; then
        echo "$file:$number: includes $path, which climbs to $target" >&2
        status=1
      elif [[ $declared != *" $target "* ]]; then
        echo "$file:$number: includes $path, but $layer does not name $target" >&2
        status=1
      fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
      sed -E 's/^([0-9]+):[^"]*"([^"]+)".*/\1:\2/' || true)
  done
  for dep in ${deps[$layer]}; do
    if [[ $used != *" $dep "* ]]; then
      echo "check_layers: $layer names $dep but includes nothing from it" >&2
      status=1
    fi
  done
done
[ $status -eq 0 ] && echo "check_layers: every include keeps to its layer"
exit $status
