#!/usr/bin/env bash
# A newcomer on Linux follows README.md from the top, in a fresh clone: the
# Quick start's `make run` builds and starts TVXHandvane in build/run/, and
# the address it prints serves the page (opened on loopback: the test
# reaches nothing else); running a class, Codeplate, run in build/run/ with
# the INI `make run` laid beside it, writes codes that read back as the
# Wi-Fi text and the page's address; for application writers, the Python
# example started as sdk/README.md says sees a report arrive.
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

system="newcomer on Linux"
source "$repo/tests/dist/lib.sh"

# The running server's process id, from the rendezvous file it writes.
server_id() {
  local hex
  hex="$(sed -n 's/^CreatorProcessID=//p' "$clone/build/run/TVXHDVMemory.INI" 2>/dev/null | tr -d '\r')"
  [ -n "$hex" ] && echo $((16#$hex))
}

git clone -q "$repo" "$clone" || { echo "FAIL: cannot clone $repo"; exit 1; }
# The order a newcomer reads in, and the Quick start's first command.
headings="$(sed -n 's/^## //p' "$clone/README.md" | tr '\n' '|')"
[[ "$headings" == "Quick start|Running a class|Troubleshooting|For application writers|Internals|"* ]] ||
  fail "README.md's sections run out of a newcomer's order: $headings"
first="$(sed -n '/^## Quick start/,/^## /s/^    //p' "$clone/README.md" | head -n 1)"
[ "$first" == "make run" ] || fail "README.md's Quick start begins with '$first', not make run"
# The one change: a free port instead of 8080, which a server of the
# machine may hold. make run keeps an INI that is there.
port="$(free_port)"
mkdir -p "$clone/build/run"
sed "s/^Port=.*/Port=$port/" "$repo/app/shipped/TVXHandvane.INI" >"$clone/build/run/TVXHandvane.INI"

(cd "$clone" && exec env -u DISPLAY -u WAYLAND_DISPLAY make run </dev/null >"$work/run.out" 2>&1) &
run_pid=$!
address_shown "$work/run.out" 900 ||
  { fail "make run shows no address for the phones: $(tail -n 20 "$work/run.out")"; exit 1; }
wait_for 30 test -f "$clone/build/run/TVXHDVMemory.INI" || fail "the server published no area"
http_get "$port" / >"$work/page" && cmp -s "$work/page" "$clone/build/run/TVXHandvane.TXT" ||
  fail "the address shown does not serve the page"

# README.md: edit build/run/Codeplate.INI (left as shipped here) and run
# ./Codeplate in build/run/.
output="$(cd "$clone/build/run" && ./Codeplate 2>&1)" || fail "Codeplate failed: $output"
[ -z "$output" ] || fail "Codeplate printed '$output'"
wifi="$(sed -n 's/^AccessPoint=//p' "$clone/build/run/Codeplate.INI" | tr -d '\r')"
for pair in "wifi.bmp:$wifi" "handvane.bmp:$shown"; do
  decoded="$(decode_code "$clone/build/run/${pair%%:*}")"
  [ "$decoded" == "${pair#*:}" ] || fail "${pair%%:*} decodes to '$decoded', expected '${pair#*:}'"
done

# sdk/README.md: cd sdk/python; python3 example.py ../../build/run
(cd "$clone/sdk/python" && exec python3 example.py ../../build/run >"$work/example.out" 2>&1) &
example=$!
reports_reach "$work/example.out" 'pointer 3 x 4096 y 8192 left 1 on_pad 1' 1 ||
  fail "the Python example saw no report: $(tail -n 3 "$work/example.out")"
kill "$example" 2>/dev/null

id="$(server_id)"
[ -n "$id" ] && kill -TERM "$id"
wait_for 30 eval '! kill -0 $run_pid 2>/dev/null' || fail "make run did not end on SIGTERM"

finish "a fresh clone runs, takes a report and makes its codes as README.md says"
