#!/usr/bin/env bash
# The classroom link in make bench: phones.py and the real page against
# TVXHandvane over an emulated Wi-Fi, condition by condition.
#   bench/link/link_bench.sh BIN_DIR
# LINK_SECONDS (10) sets how long the phones report in each condition,
# LINK_SEED (1) the emulator's randomness. Needs root and /dev/net/tun (see
# with_link.sh); says so and leaves the table out where they are missing.
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
seconds=${LINK_SECONDS:-10}
seed=${LINK_SEED:-1}

if [ "$(id -u)" != 0 ] || [ ! -c /dev/net/tun ]; then
  echo "classroom link: left out (it needs root and /dev/net/tun for its network namespaces)"
  exit 0
fi

# Where phones.py has them, its phones send batches, and tap ten times a
# second where the page taps too.
batch="" taps=""
if python3 "$here/../../sdk/python/phones.py" --help | grep -q -- --batch; then batch=--batch; fi
if python3 "$here/../../sdk/python/phones.py" --help | grep -q -- --taps; then taps="--taps 10"; fi

# name|phones|page bursts ("rate": how often it reports)|outage s after the
# page's first burst|emulator options|phones.py options
conditions=(
  "clean|10|0|0||$batch"
  "30 +- 20 ms|10|rate|0|--delay 30 --jitter 20|$batch"
  "2 % loss|10|0|0|--loss 0.02|$batch"
  "150 +- 100 ms|10|3|0|--delay 150 --jitter 100|$batch $taps"
  "3 s outage|10|1|3|--delay 30 --jitter 20|$batch"
  "8 s outage|10|1|8|--delay 30 --jitter 20|$batch"
  "80 phones, 2 Mbit/s|79|3|0|--delay 10 --jitter 5 --rate 2000000 --queue 65536|$batch $taps"
)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "classroom link, emulated (seed $seed, $seconds s a condition, phones.py ${batch:-without batches}):"
echo "  reports/s and age (send to application read) a phone of phones.py; conn.: connections a phone;"
echo "  presses and releases sent>arrived, for phones.py with the age of the last change (and the reports"
echo "  still unanswered at its end, which may have arrived uncounted), for the page"
echo "  on pointer 79: bursts of 10 taps a second on L and R, one each 2 s, which must arrive in order,"
echo "  the last one's delay from the finger against the two round trips around it (the request in flight"
echo "  it waited for and the one that carried it; and the median of the page's round trips);"
echo "  in an outage L is held from before it, R tapped through it (the taps made while the page says"
echo "  Not connected must not arrive, the others must) and the finger moved on the pad: afterwards"
echo "  the application must have the pointer where the finger left it and L held until let go;"
echo "  then the states the page showed"
printf '  %-20s %6s %9s %13s %6s %6s %-24s %-14s %s\n' condition phones "reports/s" "age p50/p99" \
  "conn." "CPU %" "phones.py P R, last" "page P R" "page: last, states"
for condition in "${conditions[@]}"; do
  IFS='|' read -r name phones bursts outage options phones_options <<<"$condition"
  # shellcheck disable=SC2086 # the options are words
  line=$(TVX_LINK_STATS="$work/stats" "$here/with_link.sh" "$bin" --seed "$seed" $options -- \
    "$here/condition.sh" "$bin" "$phones" "$seconds" "$bursts" "$outage" $phones_options 2>"$work/errors" | tail -1) || true
  if [ -z "$line" ]; then
    echo "  $name: failed: $(tail -3 "$work/errors" | tr '\n' ' ')"
    continue
  fi
  python3 "$here/link_row.py" "$name" "$phones" "$line" "$work/stats"
done
