#!/bin/sh
# Tests started through tools/private_shm.sh meet no TVXHandvane that runs
# outside them, as `make test` starts them while `make run` serves:
#   private_shm_test.sh REPO BIN_DIR
# The whole check runs in a namespace of its own, so that what runs on the
# machine cannot change its outcome: a first server there holds the area; a
# second one started beside it is refused, one started through the script
# runs next to it, and the first one goes on.
set -eu
repo=$(cd "$1" && pwd)
bin=$(cd "$2" && pwd)
if [ "${3:-}" != inside ]; then
  exec "$repo/tools/private_shm.sh" sh "$0" "$repo" "$bin" inside
fi

work=$(mktemp -d)
pids=""
trap 'for pid in $pids; do kill -9 "$pid" 2>/dev/null || true; done; rm -rf "$work"' EXIT

free_port() {
  perl -MIO::Socket::INET -e 'print IO::Socket::INET->new(Listen => 1, LocalAddr => "127.0.0.1:0")->sockport'
}

# start NAME [WRAPPER...]: a server in a folder of its own, in the background.
start() {
  name=$1
  shift
  dir=$work/$name
  mkdir -p "$dir/config" "$dir/state"
  cp "$bin/TVXHandvane" "$bin/TVXHandvane.TXT" "$dir/"
  printf '[General]\r\nLog=FALSE\r\n[Paths]\r\nPathToWorkingDir=%s\r\nPathToIniFolder=%s\r\n[Control]\r\nPort=%s\r\n' \
    "$dir" "$dir" "$(free_port)" >"$dir/TVXHandvane.INI"
  (cd "$dir" && XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state" \
    exec "$@" ./TVXHandvane --console </dev/null >"$dir/output.txt" 2>&1) &
  pids="$pids $!"
  started=$!
}

# Waits up to 30 s until the server has published its area or has ended.
settled() {
  for _ in $(seq 150); do
    [ -f "$work/$1/TVXHDVMemory.INI" ] && return 0
    kill -0 "$2" 2>/dev/null || return 0
    sleep 0.2
  done
}

# Waits up to 30 s until the server's output holds the text or it has ended.
told() {
  for _ in $(seq 150); do
    grep -q "$3" "$work/$1/output.txt" && return 0
    kill -0 "$2" 2>/dev/null || break
    sleep 0.2
  done
  grep -q "$3" "$work/$1/output.txt"
}

fail() {
  echo "FAIL: $*"
  for name in holder beside private; do
    [ -f "$work/$name/output.txt" ] && echo "--- $name:" && cat "$work/$name/output.txt"
  done
  exit 1
}

start holder
holder=$started
settled holder "$holder"
[ -f "$work/holder/TVXHDVMemory.INI" ] || fail "the first server did not start"

start beside
beside=$started
settled beside "$beside"
told beside "$beside" "The TVXHDV shared memory belongs to a running server" ||
  fail "a second server beside the first was not refused"

start private "$repo/tools/private_shm.sh"
private=$started
settled private "$private"
[ -f "$work/private/TVXHDVMemory.INI" ] || fail "the server with a /dev/shm of its own did not start"
# The area is published before the server starts and says so.
told private "$private" "Server started on port" || fail "no start line"
kill -0 "$holder" 2>/dev/null || fail "the first server ended"
echo "PASS"
