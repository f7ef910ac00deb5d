// The real page on the emulated link, for the link bench: bursts of ten
// quick taps on L and R in turn, each as soon as the page took the last in,
// a second apart, then one JSON line: the presses and releases made, each
// stamped in ms of the monotonic clock (as the application's read times
// are) and marked with what the page showed as it was made, the connection
// states the page showed, the median time its requests took to be answered
// (the link's round trip as the page lives it) and the answer times of the
// two requests around the last change: the one it may have waited for and
// the one that carried it.
//   node page_taps.mjs URL POINTER BURSTS [OUTAGE_S]
// With OUTAGE_S the link goes down for that long after the first burst
// (through the emulator of with_link.sh), with L held from before it; R is
// tapped ten times a second through it, a finger moves on the pad while
// the page says it is not connected, and once it is connected again, one
// more burst on R and L is let go. The line then also tells where the
// finger left the pointer (X, Y).
import { instrumentPage, sleep, touchFingers, waitFor } from '../../web/test/harness.mjs';
import { nowMs, openPage } from '../../web/test/link_phone.mjs';

const FINGER = { pad: 1, L: 2, R: 3 };
const COORDINATE_MAX = 65535;
const [url, pointer, bursts, outageS = 0] = process.argv.slice(2).map((value, i) => (i ? Number(value) : value));
const emulator = Number(process.env.TVX_LINK_EMULATOR_PID);
const connected = (state) => state === 'connected' || state === 'slow';

const phone = await openPage(url, pointer);
const { page } = phone;
const fingers = touchFingers(await page.context().newCDPSession(page));
const centreOf = async (selector) => {
  const box = await page.locator(selector).boundingBox();
  return { x: Math.round(box.x + box.width / 2), y: Math.round(box.y + box.height / 2) };
};
const buttons = { L: await centreOf('#button-left'), R: await centreOf('#button-right') };
const selectors = { L: '#button-left', R: '#button-right' };
const taken = (button, down) => waitFor(
  () => page.evaluate(([selector, down]) => document.querySelector(selector).classList.contains('pressed') === down,
    [selectors[button], down]),
  { timeout: 20000, interval: 5, what: `the page to take ${button} ${down ? 'down' : 'up'}` });

// One press or release, made as soon as asked and stamped with the states
// the page showed just before and once it took the change in: a change
// made while the page says it is not connected must not arrive.
async function change(button, down) {
  const event = { button, down, at: nowMs(), shown: [await phone.state()] };
  if (down) await fingers.press(FINGER[button], buttons[button]);
  else await fingers.lift(FINGER[button]);
  await taken(button, down);
  event.shown.push(await phone.state());
  return event;
}

async function tap(button) {
  return [await change(button, true), await change(button, false)];
}

async function burst(buttonsInTurn = ['L', 'R']) {
  const made = [];
  for (let i = 0; i < 10; i++) made.push(...await tap(buttonsInTurn[i % buttonsInTurn.length]));
  return made;
}

// The answer time of each answered request, the median of them.
async function roundTripMs() {
  const times = await page.evaluate(() => {
    const seen = new Set();
    return window.__reports.filter((each) => !each.failed && each.settledAt !== null && !seen.has(each.sentAt)
      && seen.add(each.sentAt)).map((each) => each.settledAt - each.sentAt);
  });
  times.sort((a, b) => a - b);
  return times.length ? times[times.length >> 1] : null;
}

// The answer times of the request that carried the page's last change (the
// first answered one after its last report with a button down) and of the
// one before it.
async function lastTripsMs() {
  return page.evaluate(() => {
    const reports = window.__reports;
    const down = (each) => /^1|^.1/.test(each.path.slice(7 + 17));
    const after = reports.slice(reports.findLastIndex(down) + 1);
    const carrier = after.find((each) => !each.failed && each.settledAt !== null);
    if (!carrier) return null;
    const before = reports.filter((each) => each.sentAt < carrier.sentAt && each.settledAt !== null).at(-1);
    const trip = (each) => (each ? each.settledAt - each.sentAt : 0);
    return [trip(before), trip(carrier)];
  });
}

// Taps R ten times a second until stop() says so; moves the finger on the
// pad once while the page says it is not connected. Returns what it made
// and where the finger left the pointer.
async function tapThrough(stop) {
  const made = [];
  let finger = null;
  while (!(await stop())) {
    made.push(...await tap('R'));
    if (finger === null && (await phone.state()) === 'lost') finger = await moveOnPad();
    await sleep(100);
  }
  return { made, finger };
}

async function moveOnPad() {
  const box = await page.locator('#pad').boundingBox();
  const at = (fx, fy) => ({ x: Math.round(box.x + fx * box.width), y: Math.round(box.y + fy * box.height) });
  const to = at(0.7, 0.6);
  await fingers.press(FINGER.pad, at(0.3, 0.25));
  await fingers.move(FINGER.pad, to);
  await fingers.lift(FINGER.pad);
  const scale = (offset, extent) => Math.round(Math.min(Math.max(offset / extent, 0), 1) * COORDINATE_MAX);
  return [scale(to.x - box.x, box.width), scale(to.y - box.y, box.height)];
}

async function throughOutage() {
  let made = await burst();
  await sleep(1000);
  made.push(await change('L', true));
  let lostSeen = false;
  process.kill(emulator, 'SIGUSR1');
  const deadline = nowMs() + outageS * 1000 + 60000;
  setTimeout(() => process.kill(emulator, 'SIGUSR2'), outageS * 1000);
  const through = await tapThrough(async () => {
    const state = await phone.state();
    lostSeen ||= state === 'lost';
    return (lostSeen && connected(state)) || nowMs() > deadline;
  });
  made = made.concat(through.made, await burst(['R']));
  made.push(await change('L', false));
  return { made, finger: through.finger };
}

try {
  await phone.waitForState(['connected', 'slow'], 30000);
  await page.evaluate(instrumentPage);
  let result;
  if (outageS > 0) {
    result = await throughOutage();
  } else {
    result = { made: [] };
    for (let i = 0; i < bursts; i++) {
      result.made.push(...await burst());
      await sleep(1000);
    }
  }
  // The page stays until its last change is answered: closed sooner, it
  // would take that change with it.
  const lastTrips = await waitFor(lastTripsMs, { timeout: 30000, what: 'the last change answered' }).catch(() => null);
  console.log(JSON.stringify({
    ...result, states: await phone.states(), roundTripMs: await roundTripMs(), lastTripsMs: lastTrips,
  }));
} finally {
  await phone.close();
}
