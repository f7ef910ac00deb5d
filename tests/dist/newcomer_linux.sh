#!/usr/bin/env bash
# A newcomer on Linux follows README.md from a fresh clone: `make run`
# builds and starts TVXHandvane in build/run/, the address it prints serves
# the page (opened on loopback: the test reaches nothing else), the Python
# example started as sdk/README.md says sees a report arrive, and Codeplate,
# run in build/run/ with the INI `make run` laid beside it, writes codes
# that read back as the Wi-Fi text and the page's address.
#   newcomer_linux.sh
set -uo pipefail

repo="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
clone="$work/clone"
export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"

run_pid=""
cleanup() {
  local id
  id="$(server_id)"
  [ -n "$id" ] && kill -9 "$id" 2>/dev/null
  [ -n "$run_pid" ] && kill -9 "$run_pid" 2>/dev/null
  [ -n "${example:-}" ] && kill -9 "$example" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL (newcomer on Linux): $*"
  failures=$((failures + 1))
}

wait_for() {
  local seconds="$1"
  shift
  for ((tick = 0; tick < seconds * 5; tick++)); do
    "$@" && return 0
    sleep 0.2
  done
  "$@"
}

free_port() {
  perl -MIO::Socket::INET -e 'print IO::Socket::INET->new(Listen => 1, LocalAddr => "127.0.0.1:0")->sockport'
}

http_get() {
  perl -MIO::Socket::INET -e '
    my ($port, $path) = @ARGV;
    alarm 10;
    my $s = IO::Socket::INET->new(PeerAddr => "127.0.0.1:$port") or exit 1;
    binmode $s;
    print $s "GET $path HTTP/1.0\r\n\r\n";
    local $/;
    my $reply = <$s> // "";
    $reply =~ s/\A.*?\r\n\r\n//s or exit 1;
    print $reply;' "$1" "$2"
}

# The running server's process id, from the rendezvous file it writes.
server_id() {
  local hex
  hex="$(sed -n 's/^CreatorProcessID=//p' "$clone/build/run/TVXHDVMemory.INI" 2>/dev/null | tr -d '\r')"
  [ -n "$hex" ] && echo $((16#$hex))
}

git clone -q "$repo" "$clone" || { echo "FAIL: cannot clone $repo"; exit 1; }
# The one change: a free port instead of 8080, which a server of the
# machine may hold. make run keeps an INI that is there.
port="$(free_port)"
mkdir -p "$clone/build/run"
sed "s/^Port=.*/Port=$port/" "$repo/app/shipped/TVXHandvane.INI" >"$clone/build/run/TVXHandvane.INI"

(cd "$clone" && exec env -u DISPLAY -u WAYLAND_DISPLAY make run </dev/null >"$work/run.out" 2>&1) &
run_pid=$!
if ! wait_for 900 grep -q '^http://.*:'"$port"'/' "$work/run.out"; then
  fail "make run shows no address for the phones: $(tail -n 20 "$work/run.out")"
  exit 1
fi
shown="$(grep -m1 -o '^http://[0-9.]*:[0-9]*/' "$work/run.out")"
[[ "$shown" =~ ^http://[0-9]{1,3}(\.[0-9]{1,3}){3}:$port/$ ]] || fail "make run shows '$shown'"
wait_for 30 test -f "$clone/build/run/TVXHDVMemory.INI" || fail "the server published no area"
http_get "$port" / >"$work/page" && cmp -s "$work/page" "$clone/build/run/TVXHandvane.TXT" ||
  fail "the address shown does not serve the page"

# sdk/README.md: cd sdk/python; python3 example.py ../../build/run
(cd "$clone/sdk/python" && exec python3 example.py ../../build/run >"$work/example.out" 2>&1) &
example=$!
frame=1
report_arrived() {
  grep -q 'pointer 3 x 4096 y 8192 left 1 on_pad 1' "$work/example.out" && return 0
  frame=$((frame + 1))
  http_get "$port" "$(printf '/tolvex10003%04X10002000100200' "$frame")" >/dev/null
  return 1
}
wait_for 30 report_arrived || fail "the Python example saw no report: $(tail -n 3 "$work/example.out")"
kill "$example" 2>/dev/null

# README.md: edit build/run/Codeplate.INI (left as shipped here) and run
# ./Codeplate in build/run/.
output="$(cd "$clone/build/run" && ./Codeplate 2>&1)" || fail "Codeplate failed: $output"
[ -z "$output" ] || fail "Codeplate printed '$output'"
decode() {
  perl "$repo/tests/qrtool/add_quiet_zone.pl" "$clone/build/run/$1" "$work/decoded.ppm" &&
    zbarimg --quiet --raw -Sbinary "$work/decoded.ppm" 2>/dev/null
}
wifi="$(sed -n 's/^AccessPoint=//p' "$clone/build/run/Codeplate.INI" | tr -d '\r')"
[ "$(decode wifi.bmp)" == "$wifi" ] || fail "wifi.bmp decodes to '$(decode wifi.bmp)'"
[ "$(decode handvane.bmp)" == "$shown" ] ||
  fail "handvane.bmp decodes to '$(decode handvane.bmp)', the server showed $shown"

id="$(server_id)"
[ -n "$id" ] && kill -TERM "$id"
wait_for 30 eval '! kill -0 $run_pid 2>/dev/null' || fail "make run did not end on SIGTERM"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "a fresh clone runs, takes a report and makes its codes as README.md says"
