#!/bin/sh
# The page's test on an emulated classroom link (150 ms each way, 5 % of the
# packets lost, a fixed seed), the native TVXHandvane and TVXTap:
#   run-link-e2e.sh BIN_DIR
# Needs root and /dev/net/tun, and fails saying so without them
# (bench/link/with_link.sh). A run that hangs ends after 170 s, failed.
set -eu
repo=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(cd "$1" && pwd)

export TVX_TAP="$bin/TVXTap"
# The server in the PC's namespace; the page, the test and TVXTap in the
# phones', where the server is only reached over the link.
# shellcheck disable=SC2016 # expanded by the inner shell, inside the link
inside='export TVX_SERVER_CMD="ip netns exec $TVX_LINK_PC sh $0/web/test/real-server.sh $1 {dir} {port} {pointer} {key}"
export TVX_SERVER_URL="http://$TVX_LINK_PC_ADDRESS:{port}/"
cd "$0/web" && exec ip netns exec "$TVX_LINK_PHONES" timeout 170 node --test test/link.e2e.test.mjs'
exec "$repo/bench/link/with_link.sh" "$bin" --delay 150 --loss 0.05 --seed 7 -- sh -c "$inside" "$repo" "$bin"
