// The real page on the emulated link, for the link bench: bursts of ten
// quick taps on L and R in turn, each as soon as the page took the last in,
// a second apart, then one JSON line of the presses
// and releases made, each stamped in ms of the monotonic clock (as the
// application's read times are), and the connection states the page showed.
//   node page_taps.mjs URL POINTER BURSTS [OUTAGE_S]
// With OUTAGE_S the link goes down for that long after the first burst
// (through the emulator of with_link.sh), while the bursts go on.
import { openPage, tapInTurn } from '../../web/test/link_phone.mjs';
import { sleep } from '../../web/test/harness.mjs';

const [url, pointer, bursts, outageS = 0] = process.argv.slice(2).map((value, i) => (i ? Number(value) : value));
const emulator = Number(process.env.TVX_LINK_EMULATOR_PID);
const phone = await openPage(url, pointer);
try {
  await phone.waitForState(['connected', 'slow'], 30000);
  let made = [];
  for (let burst = 0; burst < bursts; burst++) {
    made = made.concat(await tapInTurn(phone, { count: 10 }));
    await sleep(1000);
    if (burst === 0 && outageS > 0) {
      process.kill(emulator, 'SIGUSR1');
      setTimeout(() => process.kill(emulator, 'SIGUSR2'), outageS * 1000);
    }
  }
  console.log(JSON.stringify({ made, states: await phone.states() }));
} finally {
  await phone.close();
}
