#!/usr/bin/env bash
# The pointer overlay's cost to the whole program: TVXHandvane with its window
# on a private Xvfb (1920x1080) under a class of 80 phones at 30 reports a
# second, with the overlay on and off; natively, and under wine when a
# Windows build is given. The window system's share counts: the X server's
# CPU natively, wineserver's under wine.
#   bench/overlay_cost.sh BIN_DIR [WIN_BIN_DIR]
# BIN_DIR holds the native TVXHandvane, its TVXHandvane.TXT and phone_class;
# WIN_BIN_DIR TVXHandvane.exe and its TVXHandvane.TXT (its wine prefix is
# ../wineprefix). BENCH_SECONDS (5) sets the length of each run.
set -euo pipefail
bin=$(cd "$1" && pwd)
winbin=${2:+$(cd "$2" && pwd)}
seconds=${BENCH_SECONDS:-5}
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

port_is_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
free_port() {
  local port=$1
  while ! port_is_free "$port"; do port=$((port + 1)); done
  echo "$port"
}
ticks() { { [ -n "$1" ] && awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null; } || echo 0; }

display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1920x1080x24 -nolisten tcp >"$work/xvfb.txt" 2>&1 &
xvfb_pid=$!
pids+=("$xvfb_pid")
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

# The wineserver of a prefix: the one that works in the prefix's server
# folder, named after the prefix's device and inode.
wineserver_of() {
  local pid folder
  folder="server-$(stat -L -c %D "$1")-$(printf %x "$(stat -L -c %i "$1")")"
  for pid in $(pgrep wineserver); do
    [[ "$(readlink "/proc/$pid/cwd")" == */"$folder" ]] && echo "$pid" && return
  done
  echo ""
}

# Prints "program_percent window_system_percent" of one class run: the
# server in folder started by its command, the overlay on or off.
run_one() {
  local name=$1 overlay=$2 windows=$3
  shift 3
  local folder="$work/$name-$overlay" port pid server before after s_before s_after
  port=$(free_port 18200)
  mkdir -p "$folder/config" "$folder/state"
  local ini_folder=$folder
  [ "$windows" = 1 ] && ini_folder="Z:${folder//\//\\}"
  printf '[General]\r\nLog=FALSE\r\n[Paths]\r\nPathToIniFolder=%s\r\n[Control]\r\nPort=%s\r\nShowPointers=%s\r\n' \
    "$ini_folder" "$port" "$overlay" >"$folder/TVXHandvane.INI"
  cp "$1" "$(dirname "$1")/TVXHandvane.TXT" "$folder/"
  (cd "$folder" && DISPLAY=":$display" XDG_CONFIG_HOME="$folder/config" XDG_STATE_HOME="$folder/state" \
    QT_QPA_PLATFORM=xcb exec "${@:2}" "./$(basename "$1")" </dev/null >"$folder/out.txt" 2>&1) &
  pid=$!
  pids+=("$pid")
  for _ in $(seq 600); do port_is_free "$port" || break; sleep 0.1; done
  server=$xvfb_pid
  [ "$windows" = 1 ] && server=$(wineserver_of "$WINEPREFIX")
  # The first reports open the pointers' dots: a second before the clock runs.
  "$bin/phone_class" "$port" 80 1 30 >/dev/null
  before=$(ticks "$pid")
  s_before=$(ticks "$server")
  "$bin/phone_class" "$port" 80 "$seconds" 30 >"$folder/class.txt"
  after=$(ticks "$pid")
  s_after=$(ticks "$server")
  kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  awk -v t=$((after - before)) -v s=$((s_after - s_before)) -v hz="$(getconf CLK_TCK)" -v secs="$seconds" \
    -v answered="$(cut -d' ' -f1 "$folder/class.txt")" \
    'BEGIN { printf "%.1f %.1f %s\n", t / hz / secs * 100, s / hz / secs * 100, answered }'
}

report() {
  local label=$1 system=$2
  shift 2
  local off on
  off=$(run_one "$label" 0 "$@")
  on=$(run_one "$label" 1 "$@")
  read -r off_p off_s off_a <<<"$off"
  read -r on_p on_s on_a <<<"$on"
  awk -v l="$label" -v sys="$system" -v a="$off_p" -v b="$off_s" -v c="$on_p" -v d="$on_s" \
    -v aa="$off_a" -v ab="$on_a" 'BEGIN {
    printf "  %-7s overlay off: %5.1f %% + %s %5.1f %% (%s answered/s); on: %5.1f %% + %5.1f %% (%s answered/s); the overlay adds %.1f %% of a core\n",
      l, a, sys, b, aa, c, d, ab, (c + d) - (a + b) }'
}

echo "pointer overlay, whole program, 80 phones at 30 reports/s, 1920x1080 Xvfb, ${seconds} s (% of a core):"
report native Xvfb 0 "$bin/TVXHandvane"
if [ -n "$winbin" ] && [ -e "$winbin/TVXHandvane.exe" ] && command -v wine >/dev/null; then
  export WINEPREFIX
  WINEPREFIX=$(cd "$winbin/.." && pwd)/wineprefix
  export WINEDEBUG=-all
  report wine wineserver 1 "$winbin/TVXHandvane.exe" wine
else
  echo "  wine: left out (give the Windows build's bin folder)"
fi
