// The student's name from the phone page to the consumers' kit, against the
// built server (TVX_SERVER_CMD; the stand-in takes no names): asked once,
// there within 100 ms, back by itself after the server's stop and start,
// and a freed number sends the page back to the picker.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { closeAll, launchPhone, repoDir, startServerIn, waitFor } from './harness.mjs';

const POINTER = 17;
const realServer = Boolean(process.env.TVX_SERVER_CMD);

let folder;
let server;
let phone;
let page;
let watcher;
const renames = [];

// The kit's view of the pointer's name, one entry per rename it told.
function watchNames() {
  watcher = spawn('python3', [path.join(repoDir, 'web', 'test', 'name_watch.py'), folder, String(POINTER)], {
    env: { ...process.env, PYTHONPATH: path.join(repoDir, 'sdk', 'python') },
    stdio: ['ignore', 'pipe', 'inherit'],
  });
  createInterface({ input: watcher.stdout }).on('line', (line) => renames.push(JSON.parse(line)));
  return waitFor(() => renames.length > 0, { what: 'the kit to open the area' });
}

const renamedTo = (name, from) => waitFor(() => renames.slice(from).find((entry) => entry.name === name),
  { what: `the kit to tell the name "${name}"` });

// Tells the server's console a command, as the teacher types it.
const consoleSays = (line) => server.child.stdin.write(`${line}\n`);
const connection = () => page.locator('#app').getAttribute('data-connection');

before(async () => {
  if (!realServer) return;
  ({ folder, server } = await startServerIn('tvx-name-e2e-', { pointer: POINTER }));
  await watchNames();
  phone = await launchPhone({ asksName: true });
  // When the page sent its name, on the clock the kit's side reads too.
  await phone.context.addInitScript(() => {
    const realFetch = window.fetch.bind(window);
    window.fetch = (input, init) => {
      if (String(input).startsWith('/name/')) window.__nameSentAt = Date.now();
      return realFetch(input, init);
    };
  });
  page = phone.context.pages()[0] || await phone.context.newPage();
});

after(async () => {
  if (watcher) watcher.kill();
  await closeAll({ phone, server, folder });
});

test('the page asks once; the kit has the name within 100 ms, and again after the server restarts', { skip: !realServer }, async (t) => {
  await page.goto(`${server.url}#pointer=${POINTER}`);
  await page.locator('#namer').waitFor({ state: 'visible' });
  await waitFor(async () => (await connection()) === 'connected', { what: 'the page to connect' });
  // Spaces around it go; "é" typed as e and a combining accent arrives composed.
  await page.locator('#name-input').fill(' Mi\u0065\u0301a ');
  const from = renames.length;
  await page.locator('#name-save').click();
  const told = await renamedTo('Mi\u00e9a', from);
  const sentAt = await page.evaluate(() => window.__nameSentAt);
  t.diagnostic(`page to kit: ${Math.round(told.at - sentAt)} ms`);
  assert.ok(told.at - sentAt < 100, `the name took ${Math.round(told.at - sentAt)} ms`);
  assert.match(await page.locator('#you-are').textContent(), /17 \(Mi\u00e9a\)/);

  // A refused name leaves the one before, on the server and on the phone.
  await page.locator('#pointer').selectOption('name');
  await page.locator('#name-input').fill('x'.repeat(25));
  await page.locator('#name-save').click();
  await waitFor(async () => (await page.locator('#namer-message.invalid').count()) === 1, { what: 'the refusal' });
  await page.locator('#name-skip').click();
  assert.match(await page.locator('#you-are').textContent(), /17 \(Mi\u00e9a\)/);

  // The server forgets names when it stops; the page tells it again.
  const beforeStop = renames.length;
  consoleSays('stop');
  await waitFor(async () => (await connection()) === 'lost', { what: 'the page to lose the server' });
  await renamedTo('', beforeStop);
  consoleSays('start');
  await renamedTo('Mi\u00e9a', beforeStop);

  // A reload asks no more.
  await page.reload();
  await waitFor(async () => (await connection()) === 'connected', { what: 'the page to connect again' });
  assert.equal(await page.locator('#namer').isVisible(), false);
});

test('a number the teacher frees sends the page back to the picker, and the name to its new number', { skip: !realServer }, async () => {
  const from = renames.length;
  consoleSays(`free ${POINTER}`);
  await page.locator('#picker').waitFor({ state: 'visible' });
  assert.match(await page.locator('#picker-message').textContent(), /The teacher freed this number: pick another/);
  await renamedTo('', from);
  await page.locator('#picker-grid button[value="17"]').click();
  await waitFor(async () => (await connection()) === 'connected', { what: 'the page to report again' });
  await renamedTo('Mi\u00e9a', from);
});
