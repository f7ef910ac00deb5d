#!/usr/bin/env bash
# Runs a command beside an emulated classroom link: two network namespaces,
# one for the PC and one for the phones, joined only by link_emulator.
#   bench/link/with_link.sh BIN_DIR [EMULATOR_OPTION VALUE...] -- COMMAND [ARG...]
# BIN_DIR holds link_emulator; its options (delay, jitter, loss, outage, rate,
# queue, seed) are in bench/posix/link_emulator.cpp. COMMAND runs with a
# /dev/shm of its own, shared by everything it starts in either namespace
# (the server's area and its consumers meet there, and no TVXHandvane running
# on the machine is met), and with:
#   TVX_LINK_PC, TVX_LINK_PHONES    the namespaces, for `ip netns exec`
#   TVX_LINK_PC_ADDRESS             169.254.77.1, the PC as the phones reach it
#   TVX_LINK_PHONES_ADDRESS         169.254.77.2
#   TVX_LINK_EMULATOR_PID           SIGUSR1 starts an outage, SIGUSR2 ends it
#   TVX_LINK_STATS                  where the emulator's counts are once it ended
# The two namespaces have their loopback and these link-local addresses and
# nothing else: no route leads out of them. Everything made here goes on exit,
# whatever ends the command. Needs root and /dev/net/tun.
set -euo pipefail

if [ "$(id -u)" != 0 ]; then
  echo "with_link.sh: needs root (it makes network namespaces and TUN devices)" >&2
  exit 1
fi
if [ ! -c /dev/net/tun ]; then
  echo "with_link.sh: needs /dev/net/tun, which this machine lacks" >&2
  exit 1
fi

# A mount namespace of its own first, with an empty /dev/shm: the rest of this
# script and the command run in it, so does every `ip netns exec` under it.
if [ -z "${TVX_LINK_PRIVATE_SHM:-}" ]; then
  # shellcheck disable=SC2016 # expanded by the inner shell
  exec env TVX_LINK_PRIVATE_SHM=1 unshare --mount --propagation private -- \
    sh -c 'mount -t tmpfs -o mode=1777 tmpfs /dev/shm && exec "$0" "$@"' "$0" "$@"
fi

bin=$(cd "$1" && pwd)
shift
options=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
  options+=("$1")
  shift
done
[ $# -gt 1 ] || { echo "usage: with_link.sh BIN_DIR [OPTION VALUE...] -- COMMAND [ARG...]" >&2; exit 2; }
shift

pc=tvx-pc-$$
phones=tvx-phones-$$
work=$(mktemp -d)
emulator_pid=""
made=()

cleanup() {
  local status=$? namespace pid
  # What the command left running in the namespaces is ours: end it, so
  # that the namespaces can go.
  for namespace in "${made[@]}"; do
    for pid in $(ip netns pids "$namespace" 2>/dev/null); do kill "$pid" 2>/dev/null || true; done
  done
  if [ -n "$emulator_pid" ]; then
    kill "$emulator_pid" 2>/dev/null || true
    wait "$emulator_pid" 2>/dev/null || true
  fi
  for namespace in "${made[@]}"; do ip netns del "$namespace" 2>/dev/null || true; done
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

for namespace in "$pc" "$phones"; do
  ip netns add "$namespace"
  made+=("$namespace")
  ip -n "$namespace" link set lo up
done

# The emulator ends when its standard input does: with this script, however
# it ends.
mkfifo "$work/lifeline"
TVX_LINK_STATS=${TVX_LINK_STATS:-$work/stats}
"$bin/link_emulator" --pc "/run/netns/$pc" --phones "/run/netns/$phones" "${options[@]}" \
  <"$work/lifeline" >"$TVX_LINK_STATS" 2>&1 &
emulator_pid=$!
exec 3>"$work/lifeline"
for _ in $(seq 100); do
  grep -q '^ready' "$TVX_LINK_STATS" 2>/dev/null && break
  kill -0 "$emulator_pid" 2>/dev/null || { cat "$TVX_LINK_STATS" >&2; exit 1; }
  sleep 0.05
done
grep -q '^ready' "$TVX_LINK_STATS" || { echo "with_link.sh: the emulator did not start" >&2; exit 1; }

# Point to point: each side has one address and a route to the other's alone.
address=(169.254.77.1 169.254.77.2)
for side in 0 1; do
  namespace=$([ $side = 0 ] && echo "$pc" || echo "$phones")
  ip netns exec "$namespace" sysctl -qw net.ipv6.conf.tvx0.disable_ipv6=1
  ip -n "$namespace" addr add "${address[$side]}" peer "${address[$((1 - side))]}" dev tvx0
  ip -n "$namespace" link set tvx0 up
done

export TVX_LINK_PC=$pc TVX_LINK_PHONES=$phones TVX_LINK_PC_ADDRESS=${address[0]} \
  TVX_LINK_PHONES_ADDRESS=${address[1]} TVX_LINK_EMULATOR_PID=$emulator_pid TVX_LINK_STATS
"$@" 3>&-
