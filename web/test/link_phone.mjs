// The phone page and the application on an emulated classroom link (see
// bench/link/with_link.sh): a page in headless chromium that taps and keeps
// the connection states it showed, and TVXTap watching what arrives, each
// event stamped with the monotonic clock on the way.
import { spawn } from 'node:child_process';
import { createInterface } from 'node:readline';
import { launchPhone, sleep, waitFor } from './harness.mjs';

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
  const centre = async (selector) => {
    const box = await page.locator(selector).boundingBox();
    return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
  };
  const buttons = { L: await centre('#button-left'), R: await centre('#button-right') };
  const touch = (type, point) => cdp.send('Input.dispatchTouchEvent', {
    type, touchPoints: type === 'touchEnd' ? [] : [{ id: 1, x: point.x, y: point.y }],
  });
  return {
    page,
    state,
    states: () => page.evaluate(() => window.__states.slice()),
    waitForState: (wanted, timeout = 20000) =>
      waitFor(async () => wanted.includes(await state()), { timeout, what: `the page to show ${wanted}` }),
    // One quick tap: returns the press and release as made, stamped.
    async tap(button, heldMs) {
      const made = [{ button, down: true, at: nowMs() }];
      await touch('touchStart', buttons[button]);
      await sleep(heldMs);
      made.push({ button, down: false, at: nowMs() });
      await touch('touchEnd', buttons[button]);
      return made;
    },
    close: () => phone.close(),
  };
}

// Taps buttons in turn: count taps, each held heldMs and followed by gapMs.
export async function tapInTurn(phone, { count, heldMs, gapMs, buttons = ['L', 'R'] }) {
  const made = [];
  for (let i = 0; i < count; i++) {
    made.push(...await phone.tap(buttons[i % buttons.length], heldMs));
    await sleep(gapMs);
  }
  return made;
}
