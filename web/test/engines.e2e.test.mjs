// The phone page in the engines other than Chromium that a class's phones
// run (page.e2e.test.mjs drives Chromium, by touch), against a server as
// there; see engines.mjs for how each is driven. TVX_ENGINES picks some of
// them, comma-separated; all by default.
import { describe, test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { closeAll, instrumentPage, openTap, reportsSent, startServerIn, waitFor } from './harness.mjs';
import { ENGINES, openPhone } from './engines.mjs';

const engines = process.env.TVX_ENGINES ? process.env.TVX_ENGINES.split(',') : ENGINES;

const near = (value, expected) => Math.abs(value - expected) <= 300;

let folder;
let server;
let tap;

before(async () => {
  ({ folder, server } = await startServerIn('tvx-web-engines-', { pointer: 20 }));
  tap = openTap(server);
});

after(() => closeAll({ tap, server, folder }));

engines.forEach((engine, index) => describe(engine, () => {
  const pointer = 20 + index;
  let phone;

  const connection = () => phone.evaluate(() => document.getElementById('app').dataset.connection);
  const text = (selector) => phone.evaluate((selector) => document.querySelector(selector).textContent, selector);
  const sentCount = () => phone.evaluate(() => window.__reports.length);
  const sent = (from) => reportsSent(phone, from);
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

  // A mouse points while it hovers over the pad.
  const pointAt = (point) => phone.move(point);
  const leavePad = async () => phone.move(await centreOf('#bar'));

  before(async () => {
    phone = await openPhone(engine);
    await phone.open(`${server.url}#pointer=${pointer}`);
    await phone.evaluate(() => document.getElementById('name-skip').click());
    await waitFor(async () => (await connection()) === 'connected', { what: `${engine} to connect` });
    await phone.evaluate(instrumentPage);
  });

  after(async () => {
    if (phone) await phone.close();
  });

  test('points on the pad by mouse, and L and R are clicked', async () => {
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
      await phone.down(await centreOf(selector));
      const pressed = await waitForReport((r) => r[field] === 1, `${field} pressed`, from);
      await phone.up();
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

  test('after an outage it sends the state of now; what was pressed while not connected does not count', async () => {
    await server.stop();
    await waitFor(async () => (await connection()) === 'lost', { what: 'the page to report the lost connection' });
    assert.equal(await text('#connection-text'), 'Not connected');
    // Hovering over the pad, a click on L, then L held until after the outage.
    const point = await padPoint(0.7, 0.2);
    await pointAt(point);
    await phone.down(await centreOf('#button-left'));
    await phone.up();
    await phone.down(await centreOf('#button-left'));

    const back = await sentCount();
    await server.start();
    await waitFor(async () => (await connection()) === 'connected', { timeout: 15000, what: 'the page to reconnect' });
    const answered = (await sent(back)).filter((r) => !r.failed);
    assert.deepEqual([...new Set(answered.map((r) => `L${r.buttonL} R${r.buttonR} mode ${r.ackMode}`))],
      ['L0 R0 mode 1'], 'a press made during the outage counted after it');
    assert.ok(answered.every((r) => near(r.x, point.expectX) && near(r.y, point.expectY)),
      `not where the pointer was last: ${answered.map((r) => `${r.x},${r.y}`)}`);
    await phone.up();
  });
}));
