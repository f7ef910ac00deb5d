// The phone page in each engine a class's phones run (see engines.mjs for how
// each is driven), against a server as in page.e2e.test.mjs. TVX_ENGINES
// picks some of them, comma-separated; all by default.
import { describe, test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { buildPage, freePort, makeTempDir, openTap, screenshotDir, ServerUnderTest, waitFor } from './harness.mjs';
import { ENGINES, openPhone } from './engines.mjs';
import { decodeReportPath } from './standin-server.mjs';

const P = createRequire(import.meta.url)('../protocol.js');
// '#5fd068' as getComputedStyle gives it: 'rgb(95, 208, 104)'.
const rgb = (hex) => `rgb(${[1, 3, 5].map((at) => parseInt(hex.slice(at, at + 2), 16)).join(', ')})`;

const engines = process.env.TVX_ENGINES ? process.env.TVX_ENGINES.split(',') : ENGINES;

// Put in the page once it runs: records each report it sends from then on,
// with the answer or the failure. The page looks fetch up at every send.
function recordReports() {
  if (window.__sent) return;
  window.__sent = [];
  const realFetch = window.fetch.bind(window);
  window.fetch = (input, init) => {
    const url = typeof input === 'string' ? input : input.url;
    const paths = url.startsWith('/tolvex') ? [url]
      : url.startsWith('/batch/') ? url.slice(7).split('/').map((each) => `/tolvex${each}`) : [];
    const entries = paths.map((each) => ({ path: each, answer: null, failed: false }));
    window.__sent.push(...entries);
    return realFetch(input, init).then((response) => {
      response.clone().text().then((text) => entries.forEach((entry) => { entry.answer = text; }), () => {});
      return response;
    }, (error) => {
      entries.forEach((entry) => { entry.failed = true; });
      throw error;
    });
  };
}

const near = (value, expected) => Math.abs(value - expected) <= 300;

let folder;
let server;
let tap;

before(async () => {
  folder = makeTempDir('tvx-web-engines-');
  const page = await buildPage(folder);
  server = new ServerUnderTest({ port: await freePort(), dir: folder, page, pointer: 20 });
  await server.start();
  tap = openTap(server);
});

after(async () => {
  if (tap) tap.close();
  if (server) {
    await server.stop();
    await server.lastRunEnded();
  }
  if (folder) rmSync(folder, { recursive: true, force: true });
});

engines.forEach((engine, index) => describe(engine, () => {
  const pointer = 20 + index;
  let phone;

  const connection = () => phone.evaluate(() => document.getElementById('app').dataset.connection);
  const text = (selector) => phone.evaluate((selector) => document.querySelector(selector).textContent, selector);
  const sentCount = () => phone.evaluate(() => window.__sent.length);
  const sent = async (from) => (await phone.evaluate(() => window.__sent)).slice(from)
    .map((entry) => ({ ...decodeReportPath(entry.path.toLowerCase()), failed: entry.failed, answer: entry.answer }));
  const waitForReport = (predicate, what, from) => waitFor(async () => (await sent(from)).find(predicate), { what });
  const forwarded = async () => (await tap.forwarded()).filter((record) => record.pointer === pointer);
  const centreOf = async (selector) => {
    const box = await phone.box(selector);
    return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
  };
  const padPoint = async (fractionX, fractionY) => {
    const box = await phone.box('#pad');
    return {
      x: box.x + box.width * fractionX, y: box.y + box.height * fractionY,
      expectX: Math.round(fractionX * 65535), expectY: Math.round(fractionY * 65535),
    };
  };

  // A finger points while it touches the pad; a mouse while it hovers over it.
  let fingerOnPad = false;
  const pointAt = async (point) => {
    if (phone.kind === 'mouse') return phone.move(0, point);
    if (fingerOnPad) return phone.move(1, point);
    fingerOnPad = true;
    return phone.down(1, point);
  };
  const leavePad = async () => {
    if (phone.kind === 'mouse') return phone.move(0, await centreOf('#bar'));
    fingerOnPad = false;
    return phone.up(1);
  };
  const tapOn = async (selector) => {
    await phone.down(2, await centreOf(selector));
    await phone.up(2);
  };

  before(async () => {
    phone = await openPhone(engine);
    await phone.open(`${server.url}#pointer=${pointer}`);
    await waitFor(async () => (await connection()) === 'connected', { what: `${engine} to connect` });
    await phone.evaluate(recordReports);
  });

  after(async () => {
    if (phone) await phone.close();
  });

  test('connects and says so', async () => {
    assert.equal(await text('#connection-text'), 'Connected');
  });

  test(`points on the pad by ${engine === 'chromium' ? 'touch' : 'mouse'}, and L and R are tapped`, async () => {
    let from = await sentCount();
    const first = await padPoint(0.2, 0.3);
    await pointAt(first);
    await waitForReport((r) => r.ackMode === 2 && near(r.x, first.expectX) && near(r.y, first.expectY),
      'a report of the first point', from);
    const second = await padPoint(0.7, 0.8);
    await pointAt(second);
    await waitForReport((r) => r.ackMode === 2 && near(r.x, second.expectX) && near(r.y, second.expectY),
      'a report of the moved point', from);
    from = await sentCount();
    await leavePad();
    const off = await waitForReport((r) => r.ackMode === 1, 'a report off the pad', from);
    assert.ok(near(off.x, second.expectX), `off the pad at ${off.x}: the last position is kept`);
    assert.equal(off.buttonL + off.buttonR, 0);

    for (const [selector, field, other] of [['#button-left', 'buttonL', 'buttonR'], ['#button-right', 'buttonR', 'buttonL']]) {
      // A press counts only while the page is connected: under load an
      // answer may come late enough for the page to call the link lost.
      await waitFor(async () => ['connected', 'slow'].includes(await connection()), { what: 'the link' });
      from = await sentCount();
      await phone.down(2, await centreOf(selector));
      const pressed = await waitForReport((r) => r[field] === 1, `${field} pressed`, from);
      await phone.up(2);
      assert.equal(pressed[other], 0, `${selector} pressed the other button too`);
      assert.equal(pressed.ackMode, 1, `${selector} put the pointer on the pad`);
      await waitForReport((r) => r.frame > pressed.frame && r[field] === 0, `${field} let go`, from);
    }
    if (tap.canWatch) {
      await waitFor(async () => {
        const records = await forwarded();
        return records.some((r) => near(r.x, second.expectX) && near(r.y, second.expectY) && r.onPad === 1) &&
          records.some((r) => r.buttonL === 1) && records.some((r) => r.buttonR === 1);
      }, { what: 'the server to forward the point, L and R' });
    }
  });

  test('shows the tick, the cross, a team colour and a digit the application sends', async () => {
    const shown = () => phone.evaluate(() => {
      const element = document.getElementById('shown');
      if (!element) return null;
      const style = getComputedStyle(element);
      return { hidden: element.hidden, text: element.textContent, color: style.color, background: style.backgroundColor };
    });
    for (const [code, expected] of [
      ['B1', { hidden: false, text: '', color: rgb(P.TICK.ink) }],
      ['B2', { hidden: false, text: '', color: rgb(P.CROSS.ink) }],
      ['C3', { hidden: false, text: 'Team green', background: rgb(P.TEAMS[3].fill) }],
      ['D7', { hidden: false, text: '7' }],
      ['B0', { hidden: true }]]) {
      await tap.send(pointer, code);
      const now = await waitFor(async () => {
        const seen = await shown();
        return seen && Object.entries(expected).every(([key, value]) => seen[key] === value) && seen;
      }, { what: `the pad to show ${code}` }).catch(async () => shown());
      assert.deepEqual(now && Object.fromEntries(Object.keys(expected).map((key) => [key, now[key]])), expected,
        `what ${code} shows`);
      if (code === 'C3') await phone.screenshot(path.join(screenshotDir(), `engine-${engine}.png`));
    }
  });

  test('after an outage it sends the state of now; what was pressed while not connected does not count', async () => {
    // Several fingers: R is held through the outage. One mouse: nothing is.
    const holdsR = phone.fingers > 1;
    if (holdsR) {
      const held = await sentCount();
      await phone.down(5, await centreOf('#button-right'));
      await waitForReport((r) => r.buttonR === 1 && r.answer, 'R held', held);
    }
    await server.stop();
    await waitFor(async () => (await connection()) === 'lost', { what: 'the page to report the lost connection' });
    assert.equal(await text('#connection-text'), 'Not connected');
    // On the pad (a finger stays, a mouse hovers), a whole tap on L, then L
    // held until after the outage.
    const point = await padPoint(0.7, 0.2);
    await pointAt(point);
    await tapOn('#button-left');
    await phone.down(2, await centreOf('#button-left'));

    const back = await sentCount();
    await server.start();
    await waitFor(async () => (await connection()) === 'connected', { timeout: 15000, what: 'the page to reconnect' });
    const answered = (await sent(back)).filter((r) => !r.failed);
    assert.deepEqual([...new Set(answered.map((r) => `L${r.buttonL} R${r.buttonR} mode ${r.ackMode}`))],
      [`L0 R${holdsR ? 1 : 0} mode 1`], 'a press made during the outage counted after it');
    assert.ok(answered.every((r) => near(r.x, point.expectX) && near(r.y, point.expectY)),
      `not where the pointer was last: ${answered.map((r) => `${r.x},${r.y}`)}`);
    await phone.up(2);
    if (phone.kind === 'touch') await leavePad();
    if (holdsR) {
      const from = await sentCount();
      await phone.up(5);
      await waitForReport((r) => r.buttonR === 0, 'R let go', from);
    }
  });
}));
