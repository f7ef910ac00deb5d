// The phone page and the application on an emulated classroom link (see
// bench/link/with_link.sh): a page in headless chromium that taps and keeps
// the connection states it showed, and TVXTap watching what arrives, each
// event stamped with the monotonic clock on the way.
import { spawn } from 'node:child_process';
import { createInterface } from 'node:readline';
import { launchPhone, waitFor } from './harness.mjs';

export const nowMs = () => Number(process.hrtime.bigint()) / 1e6;

// Runs in the page before its own script: every change of the connection
// state the page shows, in order.
function recordStates() {
  window.__states = [];
  const note = () => {
    const state = document.getElementById('app')?.getAttribute('data-connection');
    if (state && window.__states[window.__states.length - 1] !== state) window.__states.push(state);
  };
  new MutationObserver(note).observe(document, { subtree: true, attributes: true, attributeFilter: ['data-connection'] });
}

// The buttons' changes of each pointer as they reach the application:
// { button: 'L' | 'R', down, at } in the order they came.
export function watchArrivals(tapCommand, folder) {
  const child = spawn('sh', ['-c', `exec ${tapCommand} --folder ${folder} watch --json`], {
    stdio: ['ignore', 'pipe', 'inherit'],
  });
  const events = new Map();
  const held = new Map();
  createInterface({ input: child.stdout }).on('line', (line) => {
    if (!line.trim()) return;
    const report = JSON.parse(line);
    const at = nowMs();
    const was = held.get(report.pointer) || { L: false, R: false };
    const list = events.get(report.pointer) || [];
    for (const [button, down] of [['L', report.left], ['R', report.right]]) {
      if (down !== was[button]) list.push({ button, down, at });
    }
    held.set(report.pointer, { L: report.left, R: report.right });
    events.set(report.pointer, list);
  });
  return {
    of: (pointer) => (events.get(pointer) || []).slice(),
    close: () => { if (child.exitCode === null) child.kill('SIGTERM'); },
  };
}

export async function openPage(url, pointer) {
  const phone = await launchPhone();
  await phone.context.addInitScript(recordStates);
  const page = phone.context.pages()[0] || await phone.context.newPage();
  const cdp = await phone.context.newCDPSession(page);
  await page.goto(`${url}#pointer=${pointer}`);
  const state = () => page.locator('#app').getAttribute('data-connection');
  const selectors = { L: '#button-left', R: '#button-right' };
  const centre = async (selector) => {
    const box = await page.locator(selector).boundingBox();
    return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
  };
  const buttons = { L: await centre(selectors.L), R: await centre(selectors.R) };
  // A touch starts with every finger down, one left out is lifted; an end
  // names the finger it lifts.
  const down = new Map();
  const touch = (type, id, point) => {
    if (type === 'touchEnd') down.delete(id);
    else down.set(id, point);
    const points = type === 'touchEnd' ? [[id, point]] : [...down];
    return cdp.send('Input.dispatchTouchEvent', {
      type, touchPoints: points.map(([each, at]) => ({ id: each, x: at.x, y: at.y })),
    });
  };
  const TAPPING = 1;
  const HOLDING = 2;
  // The page marks a button pressed as it takes the change in.
  const taken = (button, down) => waitFor(
    () => page.evaluate(([selector, down]) => document.querySelector(selector).classList.contains('pressed') === down,
      [selectors[button], down]),
    { timeout: 20000, interval: 5, what: `the page to take ${button} ${down ? 'down' : 'up'}` });
  return {
    page,
    state,
    states: () => page.evaluate(() => window.__states.slice()),
    waitForState: (wanted, timeout = 20000) =>
      waitFor(async () => wanted.includes(await state()), { timeout, what: `the page to show ${wanted}` }),
    // One tap, quicker than a round trip: released as soon as the page took
    // the press in. Returns the press and release as made, stamped.
    async tap(button) {
      const made = [{ button, down: true, at: nowMs() }];
      await touch('touchStart', TAPPING, buttons[button]);
      await taken(button, true);
      made.push({ button, down: false, at: nowMs() });
      await touch('touchEnd', TAPPING, buttons[button]);
      await taken(button, false);
      return made;
    },
    // A second finger that holds a button, beside the one that taps, and
    // lets it go: the change made, stamped.
    async hold(button, pressed) {
      const made = { button, down: pressed, at: nowMs() };
      await touch(pressed ? 'touchStart' : 'touchEnd', HOLDING, buttons[button]);
      await taken(button, pressed);
      return made;
    },
    close: () => phone.close(),
  };
}

// Taps buttons in turn, count taps, each as soon as the page took the last.
export async function tapInTurn(phone, { count, buttons = ['L', 'R'] }) {
  const made = [];
  for (let i = 0; i < count; i++) made.push(...await phone.tap(buttons[i % buttons.length]));
  return made;
}
