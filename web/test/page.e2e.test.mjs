// The phone page in headless chromium with touch, against a server (the
// stand-in unless TVX_SERVER_CMD names another; see harness.mjs).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { rmSync } from 'node:fs';
import path from 'node:path';
import {
  buildPage, freePort, launchPhone, makeTempDir, openTap, screenshotDir, ServerUnderTest, sleep, waitFor,
} from './harness.mjs';
import { decodeReportPath } from './standin-server.mjs';

const POINTER = 3;

// Runs in the page before its own script: records every report as the page
// sends it, the answer it got, and every call of navigator.vibrate.
function instrumentPage() {
  window.__reports = [];
  window.__vibrations = [];
  window.__vibrateResult = true;
  window.__inFlight = 0;
  window.__maxInFlight = 0;
  Object.defineProperty(Navigator.prototype, 'vibrate', {
    configurable: true,
    writable: true,
    value(pattern) {
      window.__vibrations.push(Array.isArray(pattern) ? pattern.slice() : [pattern]);
      return window.__vibrateResult;
    },
  });
  const realFetch = window.fetch.bind(window);
  window.fetch = (input, init) => {
    const url = typeof input === 'string' ? input : input.url;
    const entry = { path: url, sentAt: performance.now(), settledAt: null, answer: null, failed: false };
    if (url.startsWith('/tolvex')) window.__reports.push(entry);
    window.__inFlight += 1;
    window.__maxInFlight = Math.max(window.__maxInFlight, window.__inFlight);
    return realFetch(input, init).then(
      (response) => {
        window.__inFlight -= 1;
        response.clone().text().then((text) => {
          entry.answer = text;
          entry.settledAt = performance.now();
        }, () => { entry.settledAt = performance.now(); });
        return response;
      },
      (error) => {
        window.__inFlight -= 1;
        entry.failed = true;
        entry.settledAt = performance.now();
        throw error;
      });
  };
}

let folder;
let server;
let tap;
let phone;
let page;
let touch;

async function sentReports(from = 0, target = page) {
  const raw = await target.evaluate(() => window.__reports);
  return raw.slice(from).map((entry) => ({
    ...decodeReportPath(entry.path.toLowerCase()),
    path: entry.path,
    sentAt: entry.sentAt,
    settledAt: entry.settledAt,
    answer: entry.answer,
    failed: entry.failed,
  }));
}

async function reportCount(target = page) {
  return target.evaluate(() => window.__reports.length);
}

async function waitForReport(predicate, what, from = 0, target = page) {
  return waitFor(async () => (await sentReports(from, target)).find(predicate), { what });
}

async function padPoint(fractionX, fractionY, target = page) {
  const box = await target.locator('#pad').boundingBox();
  return {
    x: box.x + box.width * fractionX,
    y: box.y + box.height * fractionY,
    expectX: Math.round(fractionX * 65535),
    expectY: Math.round(fractionY * 65535),
  };
}

async function centreOf(selector, target = page) {
  const box = await target.locator(selector).boundingBox();
  return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
}

// Fingers by id: a press or move sends every finger now down; a lift ends
// just the finger lifted.
function fingers(cdp) {
  const down = new Map();
  const send = (type, points) => cdp.send('Input.dispatchTouchEvent', {
    type,
    touchPoints: points.map(([id, p]) => ({ id, x: p.x, y: p.y })),
  });
  return {
    async press(id, point) { down.set(id, point); await send('touchStart', [...down]); },
    async move(id, point) { down.set(id, point); await send('touchMove', [...down]); },
    async lift(id) {
      const point = down.get(id);
      down.delete(id);
      await send('touchEnd', [[id, point]]);
    },
  };
}

async function waitForStatus(predicate, what) {
  return waitFor(async () => predicate(await server.liveStatus()), { interval: 250, what });
}

const near = (value, expected) => Math.abs(value - expected) <= 300;

before(async () => {
  folder = makeTempDir('tvx-web-e2e-');
  const pageFile = await buildPage(folder);
  server = new ServerUnderTest({ port: await freePort(), dir: folder, page: pageFile, pointer: POINTER });
  await server.start();
  tap = openTap(server);
  phone = await launchPhone();
  await phone.context.addInitScript(instrumentPage);
  page = phone.context.pages()[0] || await phone.context.newPage();
  touch = fingers(await phone.context.newCDPSession(page));
  await page.goto(`${server.url}#pointer=${POINTER}`);
  await waitFor(async () => (await page.locator('#app').getAttribute('data-connection')) === 'connected',
    { what: 'the page to connect' });
});

after(async () => {
  if (phone) await phone.close();
  if (tap) tap.close();
  if (server) await server.stop();
  if (folder) rmSync(folder, { recursive: true, force: true });
});

test('the pointer number comes from the address and is shown and kept', async () => {
  const reports = await sentReports();
  assert.ok(reports.length > 0);
  assert.ok(reports.every((report) => report.pointer === POINTER));
  assert.equal(await page.locator('#pointer').inputValue(), String(POINTER));
  assert.equal(await page.evaluate(() => localStorage.getItem('tvx.pointer')), String(POINTER));
});

test('a finger moves X and Y, holds the buttons, and lifting gives AckMode 1', async () => {
  const start = await reportCount();
  const first = await padPoint(0.2, 0.3);
  await touch.press(1, first);
  const onPad = await waitForReport((r) => r.ackMode === 2 && near(r.x, first.expectX) && near(r.y, first.expectY),
    'a report of the first touch', start);
  assert.equal(onPad.buttonL + onPad.buttonR, 0);

  const second = await padPoint(0.7, 0.8);
  await touch.move(1, second);
  await waitForReport((r) => r.ackMode === 2 && near(r.x, second.expectX) && near(r.y, second.expectY),
    'a report after the move', start);
  await waitForStatus((s) => near(s.x, second.expectX) && near(s.y, second.expectY) && s.offScreen === 0,
    'the server to show the moved pointer');

  let from = await reportCount();
  await touch.press(2, await centreOf('#button-left'));
  const left = await waitForReport((r) => r.buttonL === 1, 'the left button down', from);
  await waitForStatus((s) => s.buttonL === 1, 'the server to show the left button');
  assert.equal(left.buttonR, 0);
  assert.equal(left.ackMode, 2, 'pressing a button does not lift the pad finger');
  assert.ok(near(left.x, second.expectX) && near(left.y, second.expectY), 'the button does not move the pointer');
  await sleep(400);
  const held = (await sentReports(from)).filter((r) => r.sentAt > left.sentAt);
  assert.ok(held.length >= 1 && held.every((r) => r.buttonL === 1), 'the button holds while pressed');
  from = await reportCount();
  await touch.lift(2);
  await waitForReport((r) => r.buttonL === 0, 'the left button up', from);

  from = await reportCount();
  await touch.press(3, await centreOf('#button-right'));
  await waitForReport((r) => r.buttonR === 1 && r.buttonL === 0, 'the right button down', from);
  await touch.lift(3);

  from = await reportCount();
  await touch.lift(1);
  const lifted = await waitForReport((r) => r.ackMode === 1, 'a report after lifting', from);
  assert.equal(lifted.buttonL + lifted.buttonR, 0);
  assert.ok(near(lifted.x, second.expectX), 'lifting keeps the last position');
  await waitForStatus((s) => s.offScreen === 1 && s.buttonL === 0, 'the server to show the pointer off-screen');

  if (tap.canWatch) {
    const forwarded = await waitFor(async () => {
      const records = (await tap.forwarded()).filter((r) => r.pointer === POINTER);
      const sawMove = records.some((r) => near(r.x, second.expectX) && near(r.y, second.expectY));
      const sawLeft = records.some((r) => r.buttonL === 1);
      const sawRight = records.some((r) => r.buttonR === 1);
      return sawMove && sawLeft && sawRight && records;
    }, { what: 'the server to forward the moves and buttons' });
    assert.ok(forwarded.some((r) => near(r.x, first.expectX) && near(r.y, first.expectY)));
  }
});

test('a command reaches the page once, vibrates, and is echoed', async () => {
  const start = await reportCount();
  await tap.send(POINTER, 'A4');
  const vibrations = await waitFor(async () => {
    const calls = await page.evaluate(() => window.__vibrations);
    return calls.length > 0 && calls;
  }, { what: 'navigator.vibrate to be called' });
  assert.deepEqual(vibrations, [[250, 150, 250]]);

  const carrying = await waitForReport((r) => r.answer && r.answer.slice(2) === 'A4', 'the answer with A4', start);
  const packet = carrying.answer.slice(0, 2);
  const echoed = await waitForReport((r) => r.path.slice(-2).toUpperCase() === packet, 'the echo', start);
  const settled = await waitForReport((r) => r.sentAt > echoed.sentAt && r.answer === `${packet}00`,
    'answers with code 00 after the echo', start);
  assert.ok(settled);
  await sleep(500);
  assert.equal((await page.evaluate(() => window.__vibrations)).length, 1, 'a repeated packet must not run again');
  const shown = await page.locator('#last-command').textContent();
  assert.match(shown, /Vibrate normal double/);
  assert.match(shown, new RegExp(`packet ${packet}`));
});

test('where vibration is refused the page flashes instead', async () => {
  await page.evaluate(() => { window.__vibrateResult = false; });
  await tap.send(POINTER, 'A2');
  await waitFor(async () => (await page.locator('#flash.lit').count()) === 1, { what: 'the flash' });
  await page.evaluate(() => { window.__vibrateResult = true; });
  assert.match(await page.locator('#last-command').textContent(), /Vibrate long single/);
});

test('report rates: about 30 a second while moving, one per 300 ms at least while idle', async (t) => {
  const { x, y } = await padPoint(0.5, 0.5);
  let from = await reportCount();
  await touch.press(1, { x, y });
  const movingFor = 1500;
  const began = Date.now();
  for (let step = 0; Date.now() - began < movingFor; step++) {
    await touch.move(1, { x: x + 60 * Math.sin(step / 8), y: y + 60 * Math.cos(step / 8) });
    await sleep(10);
  }
  const moving = (await sentReports(from)).filter((r) => r.ackMode === 2);
  await touch.lift(1);
  const movingSpan = (moving.at(-1).sentAt - moving[0].sentAt) / 1000;
  const movingRate = (moving.length - 1) / movingSpan;

  await sleep(500);
  from = await reportCount();
  await sleep(3000);
  const idle = await sentReports(from);
  const gaps = idle.slice(1).map((r, i) => r.sentAt - idle[i].sentAt);
  // With one report in flight at most, a slow answer delays the next report;
  // what the page itself answers for is the wait after the answer came.
  const waits = idle.slice(1).map((r, i) => r.sentAt - Math.max(idle[i].sentAt, idle[i].settledAt ?? 0));
  const idleRate = (idle.length - 1) / ((idle.at(-1).sentAt - idle[0].sentAt) / 1000);
  const longestGap = Math.max(...gaps);
  const longestWait = Math.max(...waits);
  t.diagnostic(`moving: ${movingRate.toFixed(1)} reports/s; idle: ${idleRate.toFixed(1)} reports/s, ` +
    `longest idle gap ${longestGap.toFixed(0)} ms, of it after the answer ${longestWait.toFixed(0)} ms`);
  // Bounds loose enough for a loaded test machine; the figures are printed.
  assert.ok(movingRate >= 15 && movingRate <= 40, `moving rate ${movingRate}`);
  assert.ok(longestWait <= 300, `idle wait of ${longestWait} ms after an answer`);
  assert.ok(idleRate < 10, `idle rate ${idleRate} should be well below the moving rate`);
});

test('frames count up by one, never 0; one request in flight at most', async () => {
  const reports = await sentReports();
  assert.ok(reports.every((r) => r.frame !== 0));
  reports.slice(1).forEach((r, i) => assert.equal(r.frame, reports[i].frame + 1, `after frame ${reports[i].frame}`));
  assert.equal(await page.evaluate(() => window.__maxInFlight), 1);
});

test('portrait screenshot', async () => {
  const file = path.join(screenshotDir(), 'phone-portrait.png');
  const point = await padPoint(0.6, 0.45);
  await touch.press(1, point);
  await touch.press(2, await centreOf('#button-left'));
  await sleep(200);
  await page.screenshot({ path: file });
  await touch.lift(2);
  await touch.lift(1);
});

test('on a landscape desktop the mouse points by hovering and clicks with its own buttons', async () => {
  const desktop = await launchPhone({ mobile: false });
  try {
    await desktop.context.addInitScript(instrumentPage);
    const tab = desktop.context.pages()[0] || await desktop.context.newPage();
    await tab.goto(`${server.url}#pointer=5`);
    const pad = await tab.locator('#pad').boundingBox();
    const left = await tab.locator('#button-left').boundingBox();
    assert.ok(left.x >= pad.x + pad.width, 'landscape puts the buttons beside the pad');

    const point = await padPoint(0.25, 0.75, tab);
    await tab.mouse.move(point.x, point.y);
    await waitForReport((r) => r.pointer === 5 && r.ackMode === 2 && near(r.x, point.expectX) && near(r.y, point.expectY),
      'a report of the hovering mouse', 0, tab);
    let from = await reportCount(tab);
    await tab.mouse.down();
    await waitForReport((r) => r.buttonL === 1 && r.buttonR === 0, 'the left mouse button', from, tab);
    await tab.mouse.up();
    from = await reportCount(tab);
    await tab.mouse.down({ button: 'right' });
    await waitForReport((r) => r.buttonR === 1 && r.buttonL === 0, 'the right mouse button', from, tab);
    await tab.mouse.up({ button: 'right' });
    await waitForReport((r) => r.buttonR === 0 && r.ackMode === 2, 'the right mouse button up', from, tab);
    await tab.screenshot({ path: path.join(screenshotDir(), 'desktop-landscape.png') });

    from = await reportCount(tab);
    const button = await centreOf('#button-left', tab);
    await tab.mouse.move(button.x, button.y);
    await waitForReport((r) => r.ackMode === 1 && r.buttonL === 0, 'the mouse off the pad', from, tab);
    await tab.mouse.down();
    await waitForReport((r) => r.ackMode === 1 && r.buttonL === 1, 'the on-screen button by mouse', from, tab);
    await tab.mouse.up();
  } finally {
    await desktop.close();
  }
});

test('a lost server is reported and retried with back-off until it is back', async () => {
  await server.stop();
  const from = await reportCount();
  await waitFor(async () => (await page.locator('#app').getAttribute('data-connection')) === 'lost',
    { what: 'the page to report the lost connection' });
  assert.match(await page.locator('#connection-text').textContent(), /Not connected: .+ · retry in/);
  await sleep(2500);
  const attempts = (await sentReports(from)).filter((r) => r.failed);
  assert.ok(attempts.length >= 3, `only ${attempts.length} attempts`);
  const gaps = attempts.slice(1).map((r, i) => r.sentAt - attempts[i].sentAt);
  assert.ok(gaps.at(-1) > gaps[0] * 1.5, `retries do not back off: ${gaps.map(Math.round)}`);

  await server.start();
  await waitFor(async () => (await page.locator('#app').getAttribute('data-connection')) === 'connected',
    { timeout: 15000, what: 'the page to reconnect' });
  assert.equal(await page.locator('#connection-text').textContent(), 'Connected');
});

test('a reload without the address keeps the pointer and goes on counting frames', async () => {
  const lastFrame = (await sentReports()).at(-1).frame;
  await page.goto(server.url);
  const next = await waitForReport(() => true, 'a report after the reload');
  assert.equal(next.pointer, POINTER);
  assert.ok(next.frame > lastFrame, `frame ${next.frame} after ${lastFrame}`);
});

test('a first visit asks for the number before it reports; a wrong #pointer= says so', async () => {
  const fresh = await launchPhone();
  try {
    await fresh.context.addInitScript(instrumentPage);
    const first = fresh.context.pages()[0] || await fresh.context.newPage();
    await first.goto(server.url);
    await first.locator('#picker').waitFor({ state: 'visible' });
    await sleep(700);
    assert.equal(await reportCount(first), 0, 'reports before a number was chosen');

    await first.locator('#picker-grid button[value="7"]').click();
    const report = await waitForReport(() => true, 'a report after the choice', 0, first);
    assert.equal(report.pointer, 7);
    assert.equal(await first.evaluate(() => location.hash), '#pointer=7');
    assert.ok(await first.locator('#picker').isHidden());

    await first.goto('about:blank');
    await first.goto(`${server.url}#pointer=80`);
    await first.locator('#picker').waitFor({ state: 'visible' });
    assert.match(await first.locator('#picker-message').textContent(),
      /asks for pointer "80", which does not exist/);
  } finally {
    await fresh.close();
  }
});
