#!/usr/bin/env bash
# One condition of the link bench, run by with_link.sh: TVXHandvane and the
# application (link_consumer.py) in the PC's namespace, phones.py and the
# real page (page_taps.mjs) in the phones'.
#   condition.sh BIN_DIR PHONES SECONDS BURSTS OUTAGE_S [PHONES_OPTION...]
# PHONES simulated phones report for SECONDS with their send time stamped;
# beside them the page on pointer 79 taps BURSTS bursts (none for 0), the
# link going down for OUTAGE_S (0: never) after the first; with BURSTS
# "rate" it tells how often it reports instead (page_rate.mjs). Prints
# "CONSUMER_JSON|PAGE_JSON|SERVER_CPU_PERCENT|PHONES_LAST_LINE".
set -euo pipefail
bin=$1 phones=$2 seconds=$3 bursts=$4 outage=$5
shift 5
repo=$(cd "$(dirname "$0")/../.." && pwd)
port=8080
url="http://$TVX_LINK_PC_ADDRESS:$port/"
work=$(mktemp -d)
server_pid="" consumer_pid=""
cleanup() {
  exec 4>&- 2>/dev/null || true
  [ -n "$consumer_pid" ] && wait "$consumer_pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

cp "$bin/TVXHandvane" "$bin/TVXHandvane.TXT" "$work/"
printf '[General]\r\nLog=FALSE\r\nLogLevel=0\r\n[Paths]\r\nPathToWorkingDir=%s\r\nPathToIniFolder=%s\r\n[Control]\r\nPort=%s\r\nSelectedPointer=0\r\n' \
  "$work" "$work" "$port" >"$work/TVXHandvane.INI"
(cd "$work" && XDG_CONFIG_HOME="$work" XDG_STATE_HOME="$work" \
  exec ip netns exec "$TVX_LINK_PC" ./TVXHandvane --console </dev/null >"$work/console.txt" 2>&1) &
server_pid=$!
for _ in $(seq 100); do
  ip netns exec "$TVX_LINK_PC" bash -c "exec 3<>/dev/tcp/127.0.0.1/$port" 2>/dev/null && break
  sleep 0.1
done

mkfifo "$work/consumer_in" "$work/consumer_out"
python3 "$repo/bench/link/link_consumer.py" "$work" 0 $((phones - 1)) 79 <"$work/consumer_in" >"$work/consumer_out" &
consumer_pid=$!
exec 4>"$work/consumer_in"
exec 5<"$work/consumer_out"
read -r ready <&5
[ "$ready" = ready ] || { echo "condition.sh: the consumer did not start" >&2; exit 1; }

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$server_pid/stat"; }
before=$(cpu_ticks)
started=$(date +%s.%N)
ip netns exec "$TVX_LINK_PHONES" python3 "$repo/sdk/python/phones.py" --host "$TVX_LINK_PC_ADDRESS" \
  --port "$port" --count "$phones" --seconds "$seconds" --stamp --state "$work/frames.json" "$@" \
  >"$work/phones.txt" 2>&1 &
phones_pid=$!
page='null'
if [ "$bursts" = rate ]; then
  page=$(ip netns exec "$TVX_LINK_PHONES" node "$repo/bench/link/page_rate.mjs" "$url" 79 \
    "$(awk -v s="$seconds" 'BEGIN { print int(s / 3) }')" 2>"$work/page.txt" | tail -1) || page='null'
  bursts=0
elif [ "$bursts" -gt 0 ]; then
  page=$(ip netns exec "$TVX_LINK_PHONES" node "$repo/bench/link/page_taps.mjs" "$url" 79 "$bursts" "$outage" \
    2>"$work/page.txt" | tail -1) || page='null'
fi
wait "$phones_pid" || true
after=$(cpu_ticks)
ended=$(date +%s.%N)
# The page's last taps may still be on their way.
echo "end $(python3 "$repo/bench/link/link_row.py" --awaited "$page")" >&4
read -r consumer <&5
cpu=$(awk -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" -v s="$started" -v e="$ended" \
  'BEGIN { printf "%.1f", t / hz / (e - s) * 100 }')
echo "$consumer|${page:-null}|$cpu|$(tail -1 "$work/phones.txt")"
