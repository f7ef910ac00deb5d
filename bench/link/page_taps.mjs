// The real page on the emulated link, for the link bench: bursts of quick
// taps, ten a second, on L and R in turn, then one JSON line of what was
// made and what reached the application.
//   node page_taps.mjs URL POINTER TAP_COMMAND FOLDER BURSTS
// Runs in the phones' namespace; TVXTap (TAP_COMMAND) reads the server's
// area in FOLDER through the shared /dev/shm.
import { openPage, tapInTurn, watchArrivals } from '../../web/test/link_phone.mjs';
import { sleep, waitFor } from '../../web/test/harness.mjs';

const [url, pointerText, tapCommand, folder, burstsText] = process.argv.slice(2);
const pointer = Number(pointerText);
const arrivals = watchArrivals(tapCommand, folder);
const phone = await openPage(url, pointer);
let made = [];
try {
  await phone.waitForState(['connected', 'slow'], 30000);
  for (let burst = 0; burst < Number(burstsText); burst++) {
    made = made.concat(await tapInTurn(phone, { count: 10, heldMs: 40, gapMs: 60 }));
    await sleep(1000);
  }
  await waitFor(() => arrivals.of(pointer).length >= made.length, { timeout: 10000 }).catch(() => {});
  const arrived = arrivals.of(pointer);
  const last = made[made.length - 1];
  const lastArrived = arrived.length === made.length ? arrived[arrived.length - 1] : null;
  console.log(JSON.stringify({
    sent_presses: made.filter((e) => e.down).length,
    sent_releases: made.filter((e) => !e.down).length,
    arrived_presses: arrived.filter((e) => e.down).length,
    arrived_releases: arrived.filter((e) => !e.down).length,
    last_delay_ms: lastArrived ? Math.round(lastArrived.at - last.at) : null,
    states: await phone.states(),
  }));
} finally {
  await phone.close();
  arrivals.close();
}
