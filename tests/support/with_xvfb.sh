#!/usr/bin/env bash
# Runs a command against a private Xvfb, on a display number that Xvfb picks
# itself from the free ones (xvfb-run -a guesses one, and two servers that
# start at the same moment can take the same). Exits with the command's code.
set -uo pipefail

folder="$(mktemp -d)"
mkfifo "$folder/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$folder/display" >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$folder"' EXIT

# Xvfb writes the number once it accepts clients; nothing when it failed.
read -r number <"$folder/display" || true
if [ -z "${number:-}" ]; then
  echo "with_xvfb: Xvfb did not start" >&2
  exit 1
fi
DISPLAY=":$number" "$@"
