#!/usr/bin/env bash
# The classroom link in make bench: phones.py and the real page against
# TVXHandvane over an emulated Wi-Fi, condition by condition.
#   bench/link/link_bench.sh BIN_DIR
# LINK_SECONDS (8) sets how long the phones report in each condition,
# LINK_SEED (1) the emulator's randomness. Needs root and /dev/net/tun (see
# with_link.sh); says so and leaves the table out where they are missing.
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
seconds=${LINK_SECONDS:-8}
seed=${LINK_SEED:-1}

if [ "$(id -u)" != 0 ] || [ ! -c /dev/net/tun ]; then
  echo "classroom link: left out (it needs root and /dev/net/tun for its network namespaces)"
  exit 0
fi

# name|phones|page bursts|emulator options
conditions=(
  "clean|10|3|"
  "30 +- 20 ms|10|3|--delay 30 --jitter 20"
  "2 % loss|10|3|--loss 0.02"
  "150 +- 100 ms|10|3|--delay 150 --jitter 100"
  "3 s outage|10|3|--delay 30 --jitter 20 --outage 3:3"
  "80 phones, 2 Mbit/s|79|3|--delay 10 --jitter 5 --rate 2000000 --queue 65536"
)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "classroom link, emulated (seed $seed, $seconds s a condition; phones.py stamps its reports," \
  "the page on pointer 79 taps bursts of 10 a second on L and R):"
printf '  %-20s %6s %9s %13s %7s %8s %-16s %-26s %s\n' condition phones "reports/s" "age p50/p99" \
  "conn." "CPU %" "phones.py P/R" "page P/R sent>arrived" "page: last delay, states"
for condition in "${conditions[@]}"; do
  IFS='|' read -r name phones bursts options <<<"$condition"
  # shellcheck disable=SC2086 # the options are words
  line=$(TVX_LINK_STATS="$work/stats" "$here/with_link.sh" "$bin" --seed "$seed" $options -- \
    "$here/condition.sh" "$bin" "$phones" "$seconds" "$bursts" 2>"$work/errors" | tail -1) || true
  if [ -z "$line" ]; then
    echo "  $name: failed: $(tail -3 "$work/errors" | tr '\n' ' ')"
    continue
  fi
  python3 "$here/link_row.py" "$name" "$phones" "$line" "$work/stats"
done
