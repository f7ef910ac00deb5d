#!/usr/bin/env bash
# Soak run of the real TVXHandvane: tools/soak/run-soak.sh BIN_DIR SECONDS
#
# Runs in a folder of its own and, where the system allows it, with a private
# /dev/shm, so that its shared memory area (whose name is fixed) does not stand
# in the way of other copies of the program on the machine. The CSV of the
# samples is left in build/soak.csv.
set -euo pipefail

bin_dir="$(cd "$1" && pwd)"
seconds="$2"
repo="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/tvx-soak.XXXXXX")"
trap 'cp -f "$work/soak.csv" "$repo/build/soak.csv" 2>/dev/null || true; rm -rf "$work"' EXIT

"$repo/tools/private_shm.sh" node "$repo/tools/soak/soak.mjs" "$bin_dir" "$seconds" "$work"
