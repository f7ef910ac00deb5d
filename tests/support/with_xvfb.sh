#!/usr/bin/env bash
# Runs a command against a private Xvfb, on a display number that Xvfb picks
# itself from the free ones (xvfb-run -a guesses one, and two servers that
# start at the same moment can take the same). Exits with the command's code.
#
# With --two-monitors first, the command gets a desktop of two monitors side
# by side instead: 1024x768 at 0,0 and 800x600 at 1024,0. Xvfb alone puts
# every Xinerama screen at the origin, so Xephyr inside it lays them out; its
# RandR is left out because it would report the pair as one output, and wine
# prefers RandR to Xinerama when both are there.
set -uo pipefail

twoMonitors=false
if [ "${1:-}" = "--two-monitors" ]; then
  twoMonitors=true
  shift
fi

folder="$(mktemp -d)"
servers=()
trap 'for s in "${servers[@]}"; do kill "$s" 2>/dev/null; wait "$s" 2>/dev/null; done; rm -rf "$folder"' EXIT

# Starts an X server that writes its display number to fd 3 once it accepts
# clients; sets number to it, or to nothing when the server failed.
start_server() {
  local pipe="$folder/display${#servers[@]}"
  mkfifo "$pipe"
  "$@" -displayfd 3 -nolisten tcp 3>"$pipe" >/dev/null 2>&1 &
  # Newest first, so a nested server goes before its host.
  servers=("$!" "${servers[@]}")
  number=""
  read -r number <"$pipe" || true
}

number=""
if $twoMonitors; then
  start_server Xvfb -screen 0 1920x800x24
  if [ -n "$number" ]; then
    DISPLAY=":$number" start_server Xephyr +xinerama -extension RANDR \
      -screen 1024x768 -screen 800x600
  fi
else
  start_server Xvfb -screen 0 1024x768x24
fi
if [ -z "$number" ]; then
  echo "with_xvfb: the X server did not start" >&2
  exit 1
fi
DISPLAY=":$number" "$@"
