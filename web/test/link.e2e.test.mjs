// The page on an emulated classroom link, 150 ms each way and 5 % of the
// packets lost: every quick tap reaches the application, in order, also
// those made in an outage before the page says so, and the taps made while
// the page says it is not connected never do; a button held through the
// outage stays held; so do the simulated phones' taps (phones.py). Runs in the
// phones' namespace of bench/link/with_link.sh (see run-link-e2e.sh), with
// the real TVXHandvane in the PC's.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import path from 'node:path';
import { promisify } from 'node:util';
import { closeAll, repoDir, startServerIn, waitFor } from './harness.mjs';
import { openPage, tapInTurn, watchArrivals } from './link_phone.mjs';

const POINTER = 3;
const emulator = Number(process.env.TVX_LINK_EMULATOR_PID);
// `npm test` runs every test file: this one only means something on the link.
const onLink = emulator > 0;
const linkTest = onLink ? test
  : (name, run) => test(name, { skip: 'only on the emulated link: web/test/run-link-e2e.sh' }, run);
const key = (event) => `${event.button}${event.down ? 'v' : '^'}`;

let folder;
let server;
let arrivals;
let phone;

// The buttons' changes that reach the application, once there are at least
// count of them (or the deadline passed).
async function arrivedOnce(count) {
  await waitFor(() => arrivals.of(POINTER).length >= count, { timeout: 20000 }).catch(() => {});
  return arrivals.of(POINTER).map(key);
}

before(async () => {
  if (!onLink) return;
  ({ folder, server } = await startServerIn('tvx-link-e2e-', { port: 8080, pointer: POINTER }));
  arrivals = watchArrivals(process.env.TVX_TAP, folder);
  phone = await openPage(server.url, POINTER);
  await phone.waitForState(['connected', 'slow']);
});

after(async () => {
  if (!onLink) return;
  process.kill(emulator, 'SIGUSR2');
  if (arrivals) arrivals.close();
  await closeAll({ phone, server, folder });
});

linkTest('quick taps on L and R in turn: every press and release arrives, in order', async () => {
  const from = arrivals.of(POINTER).length;
  const made = await tapInTurn(phone, { count: 12 });
  const arrived = (await arrivedOnce(from + made.length)).slice(from);
  assert.deepEqual(arrived, made.map(key));
});

linkTest('taps while the page says Not connected never arrive; those before and after do, and L held through it stays held', async () => {
  const from = arrivals.of(POINTER).length;
  const before = await tapInTurn(phone, { count: 2 });
  before.push(await phone.hold('L', true));
  await arrivedOnce(from + before.length);
  process.kill(emulator, 'SIGUSR1');
  // Made in the outage's first moments, while the page still says connected:
  // they go again, with their frames, once the link is back.
  before.push(...await tapInTurn(phone, { count: 3, buttons: ['R'] }));
  assert.ok(['connected', 'slow'].includes(await phone.state()), 'the page noticed the outage before the taps ended');
  await phone.waitForState(['lost']);
  assert.equal(await phone.page.locator('#connection-text').textContent(), 'Not connected');
  await tapInTurn(phone, { count: 3, buttons: ['R'] });
  process.kill(emulator, 'SIGUSR2');
  await phone.waitForState(['connected', 'slow']);
  const later = await tapInTurn(phone, { count: 2, buttons: ['R'] });
  // The link keeps order: once the later taps are in, an outage tap that
  // was sent, or L let go, would have come before them.
  const held = (await arrivedOnce(from + before.length + later.length)).slice(from);
  assert.deepEqual(held, [...before, ...later].map(key));
  const letGo = await phone.hold('L', false);
  const arrived = (await arrivedOnce(from + before.length + later.length + 1)).slice(from);
  assert.deepEqual(arrived, [...before, ...later, letGo].map(key));
});

linkTest('phones.py, three phones tapping ten times a second in batches: every press and release it sent arrives', async () => {
  const first = 10;
  const pointers = [first, first + 1, first + 2];
  const { stdout } = await promisify(execFile)('python3', [
    path.join(repoDir, 'sdk', 'python', 'phones.py'), '--host', process.env.TVX_LINK_PC_ADDRESS, '--port', '8080',
    '--first', String(first), '--count', '3', '--taps', '10', '--batch', '--seconds', '4',
    '--state', path.join(folder, 'frames.json'),
  ]);
  const sent = Object.fromEntries([...stdout.matchAll(/(\w+)=(\d+)/g)].map(([, name, value]) => [name, Number(value)]));
  assert.ok(sent.presses >= 30, `phones.py tapped: ${stdout}`);
  const counted = () => {
    const events = pointers.flatMap((pointer) => arrivals.of(pointer)).filter((event) => event.button === 'L');
    return { presses: events.filter((e) => e.down).length, releases: events.filter((e) => !e.down).length };
  };
  await waitFor(() => counted().presses >= sent.presses && counted().releases >= sent.releases,
    { timeout: 20000 }).catch(() => {});
  // A batch whose answer came after the phone's timeout goes once more with
  // its frames, and the server passes on none of it twice. Only reports
  // still unanswered at the end may have arrived uncounted.
  const arrived = counted();
  assert.ok(arrived.presses >= sent.presses && arrived.releases >= sent.releases,
    `sent ${JSON.stringify(sent)}, arrived ${JSON.stringify(arrived)}`);
  assert.ok(arrived.presses + arrived.releases <= sent.presses + sent.releases + sent.unsent,
    `sent ${JSON.stringify(sent)}, arrived ${JSON.stringify(arrived)}`);
});
