#!/bin/sh
# The page's browser test against a built TVXHandvane and TVXTap:
#   run-e2e.sh BIN_DIR
# BIN_DIR is build/bin (native) or build/win/bin (the Windows build, run
# under wine in the Windows build's prefix).
set -eu
repo=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(cd "$1" && pwd)

if [ -e "$bin/TVXTap.exe" ]; then
  export WINEPREFIX="${WINEPREFIX:-$repo/build/win/wineprefix}" WINEDEBUG=-all
  tap="wine $bin/TVXTap.exe --folder \"\$(winepath -w {dir})\""
else
  tap="$bin/TVXTap --folder {dir}"
fi

export TVX_SERVER_CMD="sh $repo/web/test/real-server.sh $bin {dir} {port} {pointer} '{key}' '{language}'"
export TVX_SEND_CMD="$tap send {pointer} 0x{code}"
export TVX_WATCH_CMD="$tap watch --json"
cd "$repo/web"
node --test test/page.e2e.test.mjs
# The other engines natively only: the server's part under wine is the same
# whatever browser reports to it.
[ -e "$bin/TVXTap.exe" ] || node --test test/engines.e2e.test.mjs
# The kit's names natively only: its Python side opens the POSIX area.
[ -e "$bin/TVXTap.exe" ] || node --test test/name.e2e.test.mjs
