#!/usr/bin/env bash
# The class of 80 phones at 60 reports a second on a clean loopback, against
# this TVXHandvane and against one built from an earlier commit, in turns
# within one run: the class must lose nothing, and p99 and server CPU must
# stay within 10 % of the earlier commit's.
#   bench/base_class.sh BIN_DIR
# BIN_DIR holds this build's TVXHandvane, TVXHandvane.TXT and phone_class.
# BENCH_BASE names the earlier commit (any git revision: HEAD~1 for the one
# before this; none leaves the comparison out); by default the one
# the batch route was built on, the parent of the commit that added
# http/report_batch.cpp, so that the figures say what batches cost the single
# route. It is checked out with `git worktree add` into build/bench-base and
# built there (TVXHandvane and its page only); both go when this ends.
# BENCH_SECONDS (5) sets each class run, BENCH_BASE_ROUNDS (11) how many runs
# each server gets, which of the two goes first changing from round to
# round; the median counts. A p99 of a fifth of a millisecond is mostly the
# scheduler's: the medians of five runs swung by 30 % either way between two
# runs of the same builds on a quiet machine, those of eleven held.
set -euo pipefail
bin=$(cd "$1" && pwd)
repo=$(cd "$(dirname "$0")/.." && pwd)
seconds=${BENCH_SECONDS:-5}
rounds=${BENCH_BASE_ROUNDS:-11}

added=$(git -C "$repo" log --diff-filter=A --format=%H -- http/report_batch.cpp | tail -1)
base=$(git -C "$repo" rev-parse --verify --quiet "${BENCH_BASE:-$added^}^{commit}") || {
  echo "class against an earlier commit: left out (no commit ${BENCH_BASE:-before the batch route})"
  exit 0
}
tree=$repo/build/bench-base
work=$(mktemp -d)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  git -C "$repo" worktree remove --force "$tree/src" 2>/dev/null || true
  rm -rf "$tree" "$work"
}
trap cleanup EXIT

rm -rf "$tree"
git -C "$repo" worktree prune
git -C "$repo" worktree add --quiet --detach "$tree/src" "$base"
if ! { cmake -S "$tree/src" -B "$tree/build" -G Ninja -DBUILD_TESTING=OFF -DTVX_BIN_DIR="$tree/bin" &&
  cmake --build "$tree/build" --target TVXHandvane phone_page; } >"$work/build.txt" 2>&1; then
  echo "class against $(git -C "$repo" log -1 --format='%h' "$base"): it did not build; the end of its build:"
  tail -5 "$work/build.txt" | sed 's/^/  /'
  exit 0
fi

port_is_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
port=18180
while ! port_is_free "$port"; do port=$((port + 1)); done

# Prints "answered/s p50 p99 errors connections cpu%" of one class run
# against the TVXHandvane of folder from.
run_class() {
  local from=$1 folder before after line
  folder=$(mktemp -d -p "$work")
  cp "$from/TVXHandvane" "$from/TVXHandvane.TXT" "$folder/"
  printf '[General]\r\nLog=FALSE\r\nLogLevel=0\r\n[Paths]\r\nPathToWorkingDir=%s\r\nPathToIniFolder=%s\r\n[Control]\r\nPort=%s\r\nSelectedPointer=0\r\n' \
    "$folder" "$folder" "$port" >"$folder/TVXHandvane.INI"
  # A /dev/shm of its own: a TVXHandvane that runs on the machine holds the
  # area's one name. The process stays the server's through the execs.
  (cd "$folder" && XDG_CONFIG_HOME="$folder" XDG_STATE_HOME="$folder" \
    exec "$repo/tools/private_shm.sh" ./TVXHandvane --console </dev/null >"$folder/console.txt" 2>&1) &
  server_pid=$!
  for _ in $(seq 300); do port_is_free "$port" || break; sleep 0.1; done
  if ! kill -0 "$server_pid" 2>/dev/null; then
    echo "class against an earlier commit: the TVXHandvane of $from ended at its start:" >&2
    cat "$folder/console.txt" >&2
    return 1
  fi
  before=$(awk '{ print $14 + $15 }' "/proc/$server_pid/stat")
  line=$("$bin/phone_class" "$port" 80 "$seconds" 60)
  after=$(awk '{ print $14 + $15 }' "/proc/$server_pid/stat")
  kill "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
  server_pid=""
  # The port is free again before the next server wants it.
  for _ in $(seq 100); do port_is_free "$port" && break; sleep 0.1; done
  awk -v ticks=$((after - before)) -v hz="$(getconf CLK_TCK)" -v s="$seconds" -v line="$line" \
    'BEGIN { printf "%s %.1f\n", line, ticks / hz / s * 100 }'
}

# On a shared machine the load drifts: in turns, each first every other round.
for ((round = 0; round < rounds; round++)); do
  for who in $( ((round % 2)) && echo this base || echo base this); do
    run_class "$([ "$who" = base ] && echo "$tree/bin" || echo "$bin")" >>"$work/$who.txt"
  done
done

# The median of a column of a run file.
median() { sort -g <(awk -v c="$2" '{ print $c }' "$1") | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
errors() { awk '{ e += $4 } END { print e + 0 }' "$1"; }
echo "class of 80 at 60 Hz, clean loopback, $rounds runs of ${seconds} s each in turn (medians):"
base_name="$(git -C "$repo" log -1 --format=%h "$base") (${BENCH_BASE:-the commit the batch route was built on})"
for who in base this; do
  name=$([ "$who" = base ] && echo "$base_name" || echo "this build")
  printf '  %-50s %s answered/s, p99 %s ms, server CPU %s %%, %s errors\n' "$name" \
    "$(median "$work/$who.txt" 1)" "$(median "$work/$who.txt" 3)" "$(median "$work/$who.txt" 6)" \
    "$(errors "$work/$who.txt")"
done
awk -v bp="$(median "$work/base.txt" 3)" -v tp="$(median "$work/this.txt" 3)" \
  -v bc="$(median "$work/base.txt" 6)" -v tc="$(median "$work/this.txt" 6)" -v errors="$(errors "$work/this.txt")" '
  function within(t, b) { return t <= 1.1 * b }
  BEGIN {
    lost = errors ? ("LOST " errors) : "lost nothing"
    verdict = (!errors && within(tp, bp) && within(tc, bc)) ? "within 10 %" : "NOT within 10 %"
    printf "  this build: %s, p99 %+.0f %%, CPU %+.0f %%: %s\n", lost,
      (bp > 0 ? (tp / bp - 1) * 100 : 0), (bc > 0 ? (tc / bc - 1) * 100 : 0), verdict
  }'
