#!/usr/bin/env bash
# Checks that the sources keep to the layers, lowest first:
#
#   platform < common < {server, pointer} < http < app
#
# A folder includes only itself and the layers below it; server/ and
# pointer/ are siblings and include nothing of each other. Codeplate (qrtool/)
# and TVXTap (tap/) sit on whatever layers they use; tests/, fuzz/ and bench/
# may include anything. Nothing includes those six from outside, except that
# tests/ and fuzz/ include the programs they drive. Two folders that include
# each other fail as well, whatever their places. The consumers' kit (sdk/)
# stands alone: it includes nothing of ours, and only TVXTap, TVXBridge, the
# tests, the fuzz targets and the benchmarks use it.
#
# Usage: tools/check_layers.sh [source root]. Prints each offending include
# and exits with 1 when there is one.
set -euo pipefail

cd "${1:-$(dirname "$0")/..}"

declare -A rank=([platform]=0 [common]=1 [server]=2 [pointer]=2 [http]=3 [app]=4)
# The folders above the layers, and who besides themselves may include them.
declare -A includers=([qrtool]="tests fuzz" [tap]="tests fuzz" [bridge]="tests" [tests]="" [fuzz]="" [bench]=""
  [sdk]="tap bridge tests fuzz bench")
folders=("${!rank[@]}" "${!includers[@]}")

failed=0
declare -A edges=()

while IFS= read -r hit; do
  file=${hit%%:*}
  rest=${hit#*:}
  line=${rest%%:*}
  target=${rest#*\"}
  target=${target%%\"*}
  from=${file%%/*}
  to=${target%%/*}
  [[ $target == */* && $to != "$from" ]] || continue
  [[ -v rank[$to] || -v includers[$to] ]] || continue
  edges[$from/$to]="$file:$line"

  if [[ $from == sdk ]]; then
    echo "$file:$line: includes $target, but sdk/ stands alone"
    failed=1
  elif [[ -v rank[$from] && -v rank[$to] ]]; then
    if ((rank[$to] > rank[$from])); then
      echo "$file:$line: includes $target, but $to/ lies above $from/"
      failed=1
    elif ((rank[$to] == rank[$from])); then
      echo "$file:$line: includes $target, but $to/ and $from/ are siblings"
      failed=1
    fi
  elif [[ -v includers[$to] && " ${includers[$to]} " != *" $from "* ]]; then
    echo "$file:$line: includes $target, but nothing outside $to/ may include it"
    failed=1
  fi
done < <(grep -rnE --include='*.cpp' --include='*.h' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' \
           "${folders[@]}" 2>/dev/null || true)

for edge in "${!edges[@]}"; do
  from=${edge%/*}
  to=${edge#*/}
  if [[ $from < $to && -v edges[$to/$from] ]]; then
    echo "$from/ and $to/ include each other (${edges[$edge]}, ${edges[$to/$from]})"
    failed=1
  fi
done

if ((failed)); then
  echo "Layers: platform < common < {server, pointer} < http < app; see tools/check_layers.sh"
fi
exit "$failed"
