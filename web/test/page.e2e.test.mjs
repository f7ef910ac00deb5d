// The phone page in headless chromium with touch, against a server (the
// stand-in unless TVX_SERVER_CMD names another; see harness.mjs).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import {
  closeAll, freePort, instrumentPage, launchPhone, openTap, readCatalogue, reportsSent, repoDir, screenshotDir,
  ServerUnderTest, startServerIn, startSlowLink, textsFile, touchFingers, waitFor, webDir,
} from './harness.mjs';

const POINTER = 3;

let folder;
let server;
let tap;
let phone;
let page;
let touch;

const sentReports = (from = 0, target = page) => reportsSent(target, from);

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

async function waitForStatus(predicate, what) {
  return waitFor(async () => predicate(await server.liveStatus()), { interval: 250, what });
}

const near = (value, expected) => Math.abs(value - expected) <= 300;
const connection = (target = page) => target.locator('#app').getAttribute('data-connection');
const waitForConnection = (kind, what, target = page) =>
  waitFor(async () => (await connection(target)) === kind, { what });

// Waits for the main page to send count more reports: a page that is not
// silent has had that long to speak, so silence elsewhere can be told.
async function mainPageReports(count) {
  const from = await reportCount();
  await waitFor(async () => (await reportCount()) >= from + count, { what: `${count} reports of the main page` });
}

// Whether the page took a touch in: a button pressed, or the pad touched.
const tookIn = (target, selector, down) => waitFor(() => target.evaluate(([selector, down]) =>
  document.querySelector(selector).matches('.pressed, .on-pad') === down, [selector, down]),
{ interval: 5, what: `${selector} ${down ? 'down' : 'up'} in the page` });

// Another instrumented phone and its first tab, closed after use.
async function withPhone(use, options) {
  const other = await launchPhone(options);
  try {
    await other.context.addInitScript(instrumentPage);
    await use(other.context.pages()[0] || await other.context.newPage(), other.context);
  } finally {
    await other.close();
  }
}

before(async () => {
  ({ folder, server } = await startServerIn('tvx-web-e2e-', { pointer: POINTER }));
  tap = openTap(server);
  phone = await launchPhone();
  await phone.context.addInitScript(instrumentPage);
  page = phone.context.pages()[0] || await phone.context.newPage();
  touch = touchFingers(await phone.context.newCDPSession(page));
  await page.goto(`${server.url}#pointer=${POINTER}`);
  await waitForConnection('connected', 'the page to connect');
});

after(() => closeAll({ phone, tap, server, folder }));

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
  await page.screenshot({ path: path.join(screenshotDir(), 'phone-portrait.png') });
  assert.equal(left.buttonR, 0);
  assert.equal(left.ackMode, 2, 'pressing a button does not lift the pad finger');
  assert.ok(near(left.x, second.expectX) && near(left.y, second.expectY), 'the button does not move the pointer');
  const held = await waitFor(async () => {
    const later = (await sentReports(from)).filter((r) => r.sentAt > left.sentAt);
    return later.length >= 2 && later;
  }, { what: 'reports while the button is held' });
  assert.ok(held.every((r) => r.buttonL === 1), 'the button holds while pressed');
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

test('when the first finger lifts, the one that stays points on', async () => {
  const first = await padPoint(0.2, 0.2);
  const second = await padPoint(0.8, 0.6);
  await touch.press(1, first);
  await touch.press(2, second);
  const from = await reportCount();
  await touch.lift(1);
  await waitForReport((r) => near(r.x, second.expectX) && near(r.y, second.expectY), 'the second finger', from);
  const moved = await padPoint(0.6, 0.4);
  await touch.move(2, moved);
  await waitForReport((r) => near(r.x, moved.expectX) && near(r.y, moved.expectY), 'the second finger moving', from);
  assert.ok((await sentReports(from)).every((r) => r.ackMode === 2), 'the pad was reported lifted');
  await touch.lift(2);
  await waitForReport((r) => r.ackMode === 1, 'the lift of the last finger', from);
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
  await waitForReport((r) => r.sentAt > echoed.sentAt && r.answer === `${packet}00`,
    'answers with code 00 after the echo', start);
  assert.equal((await page.evaluate(() => window.__vibrations)).length, 1, 'a repeated packet must not run again');
  assert.match(await page.locator('#last-command').textContent(), /^Vibrated: normal, twice · /);
  assert.equal(await page.locator('#announce[aria-live]').textContent(), 'Vibrated: normal, twice');
});

test('where vibration is refused the page flashes instead', async () => {
  await page.evaluate(() => { window.__vibrateResult = false; });
  await tap.send(POINTER, 'A2');
  await waitFor(async () => (await page.locator('#flash.lit').count()) === 1, { what: 'the flash' });
  await page.evaluate(() => { window.__vibrateResult = true; });
  assert.match(await page.locator('#last-command').textContent(), /^Flashed: long · /);
});

test('report rates: about 60 a second while moving, one per 300 ms at least while idle', async (t) => {
  const { x, y } = await padPoint(0.5, 0.5);
  let from = await reportCount();
  // A finger that moves with every frame, as on a phone; touches sent from
  // here come too slowly for that.
  const steps = await page.evaluate(({ x, y, ms }) => new Promise((resolve) => {
    const pad = document.getElementById('pad');
    const finger = (type, step) => pad.dispatchEvent(new PointerEvent(type, {
      pointerId: 99, pointerType: 'touch', isPrimary: true, bubbles: true,
      clientX: x + 60 * Math.sin(step / 8), clientY: y + 60 * Math.cos(step / 8),
    }));
    const began = performance.now();
    let step = 0;
    finger('pointerdown', step);
    const move = () => {
      if (performance.now() - began > ms) {
        finger('pointerup', step);
        resolve(step);
        return;
      }
      finger('pointermove', ++step);
      requestAnimationFrame(move);
    };
    requestAnimationFrame(move);
  }), { x, y, ms: 1500 });
  const moving = (await sentReports(from)).filter((r) => r.ackMode === 2);
  const movingSpan = (moving.at(-1).sentAt - moving[0].sentAt) / 1000;
  const movingRate = (moving.length - 1) / movingSpan;

  from = await reportCount();
  const idle = await waitFor(async () => {
    const reports = await sentReports(from);
    return reports.length >= 10 && reports;
  }, { what: 'ten idle reports' });
  const gaps = idle.slice(1).map((r, i) => r.sentAt - idle[i].sentAt);
  // With one report in flight at most, a slow answer delays the next report;
  // what the page itself answers for is the wait after the answer came.
  const waits = idle.slice(1).map((r, i) => r.sentAt - Math.max(idle[i].sentAt, idle[i].settledAt ?? 0));
  const idleRate = (idle.length - 1) / ((idle.at(-1).sentAt - idle[0].sentAt) / 1000);
  const longestGap = Math.max(...gaps);
  const longestWait = Math.max(...waits);
  t.diagnostic(`moving: ${movingRate.toFixed(1)} reports/s at ${(steps / 1.5).toFixed(0)} frames/s; ` +
    `idle: ${idleRate.toFixed(1)} reports/s, longest idle gap ${longestGap.toFixed(0)} ms, of it after the answer ${longestWait.toFixed(0)} ms`);
  // Bounds loose enough for a loaded test machine; the figures are printed.
  assert.ok(movingRate >= 40 && movingRate <= 65, `moving rate ${movingRate}`);
  assert.ok(longestWait <= 300, `idle wait of ${longestWait} ms after an answer`);
  assert.ok(idleRate < 10, `idle rate ${idleRate} should be well below the moving rate`);
});

test('frames count up by one, never 0; one request in flight at most', async () => {
  const reports = await sentReports();
  assert.ok(reports.every((r) => r.frame !== 0));
  reports.slice(1).forEach((r, i) => assert.equal(r.frame, reports[i].frame + 1, `after frame ${reports[i].frame}`));
  assert.equal(await page.evaluate(() => window.__maxInFlight), 1);
});

test('on a landscape desktop the mouse points by hovering and clicks with its own buttons', async () => {
  await withPhone(async (tab) => {
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
  }, { mobile: false });
});

test('a lost server: retries back off to 2 s and count down, a touch tries at once but does not count', async () => {
  // R is held through the outage; the pad and L are touched during it.
  const held = await reportCount();
  await touch.press(5, await centreOf('#button-right'));
  await waitForReport((r) => r.buttonR === 1 && r.answer, 'R held', held);
  await server.stop();
  const from = await reportCount();
  await waitForConnection('lost', 'the page to report the lost connection');
  assert.equal(await page.locator('#connection-text').textContent(), 'Not connected');
  // The countdown from 2 s, and retries enough to see them back off.
  const texts = new Set();
  const attempts = await waitFor(async () => {
    texts.add(await page.locator('#message').textContent());
    const failed = (await sentReports(from)).filter((r) => r.failed);
    return texts.size >= 2 && failed.length >= 4 && failed;
  }, { interval: 50, what: 'the countdown and four retries' });
  const shown = [...texts].join(' | ');
  assert.match(shown, /Not connected: .+ · retry in 2 s/);
  assert.match(shown, /Not connected: .+ · retry in 1 s/);
  const gaps = attempts.slice(1).map((r, i) => r.sentAt - attempts[i].sentAt);
  assert.ok(gaps.at(-1) > gaps[0] * 1.5, `retries do not back off: ${gaps.map(Math.round)}`);
  assert.ok(Math.max(...gaps) < 2500, `retries wait too long: ${gaps.map(Math.round)}`);

  const before = await reportCount();
  await waitForReport((r) => r.failed, 'the next failed attempt', before);
  const touchedAt = await page.evaluate(() => performance.now());
  const point = await padPoint(0.5, 0.5);
  await touch.press(1, point);
  const retry = await waitForReport((r) => r.sentAt > touchedAt, 'an attempt after the touch', before);
  assert.ok(retry.sentAt - touchedAt < 500, `the touch retried after ${retry.sentAt - touchedAt} ms`);
  // The pad finger stays; L is tapped, then held until after the outage.
  await touch.press(6, await centreOf('#button-left'));
  await touch.lift(6);
  await touch.press(6, await centreOf('#button-left'));

  const back = await reportCount();
  await server.start();
  const answeringAt = Date.now();
  await waitFor(async () => (await connection()) === 'connected', { timeout: 15000, what: 'the page to reconnect' });
  assert.ok(Date.now() - answeringAt < 3000, `green ${Date.now() - answeringAt} ms after the server was back`);
  assert.equal(await page.locator('#connection-text').textContent(), 'Connected');
  assert.equal(await page.locator('#announce').textContent(), 'Connected');
  const answered = (await sentReports(back)).filter((r) => !r.failed);
  assert.deepEqual([...new Set(answered.map((r) => `L${r.buttonL} R${r.buttonR} mode ${r.ackMode}`))], ['L0 R1 mode 1'],
    'after the outage: R still held, the touches made during it not sent');
  assert.ok(answered.every((r) => near(r.x, point.expectX) && near(r.y, point.expectY)),
    `not where the pointer was last: ${answered.map((r) => `${r.x},${r.y}`)}`);
  await touch.lift(6);
  await touch.lift(1);
  await touch.lift(5);
  await waitForReport((r) => r.buttonR === 0, 'R let go', back);
});

test('a reload without the address keeps the pointer and goes on counting frames', async () => {
  const lastFrame = (await sentReports()).at(-1).frame;
  await page.goto(server.url);
  const next = await waitForReport(() => true, 'a report after the reload');
  assert.equal(next.pointer, POINTER);
  assert.ok(next.frame > lastFrame, `frame ${next.frame} after ${lastFrame}`);
});

test('a first visit asks for the number before it reports, by keyboard too; a wrong #pointer= says so', async () => {
  await withPhone(async (first) => {
    await first.goto(server.url);
    await first.locator('#picker').waitFor({ state: 'visible' });
    await mainPageReports(3);
    assert.equal(await reportCount(first), 0, 'reports before a number was chosen');
    assert.equal(await first.evaluate(() => document.activeElement.value), '0', 'focus on the first number');
    await first.keyboard.press('Tab');
    assert.ok(await first.evaluate(() => document.getElementById('picker').contains(document.activeElement)),
      'Tab leaves the dialog');

    await first.keyboard.press('Enter');
    const report = await waitForReport(() => true, 'a report after the choice', 0, first);
    assert.equal(report.pointer, 1);
    assert.equal(await first.evaluate(() => location.hash), '#pointer=1');
    assert.ok(await first.locator('#picker').isHidden());
    await waitForConnection('connected', 'the page to connect', first);
    assert.equal(await first.title(), 'Pointer 01');
    const from = await reportCount(first);
    await first.locator('#button-left').focus();
    await first.keyboard.press('Enter');
    await waitForReport((r) => r.buttonL === 1, 'L pressed from the keyboard', from, first);
    await waitForReport((r) => r.buttonL === 0, 'and let go', from, first);

    await first.goto('about:blank');
    await first.goto(`${server.url}#pointer=80`);
    await first.locator('#picker').waitFor({ state: 'visible' });
    assert.match(await first.locator('#picker-message').textContent(),
      /asks for pointer "80", which does not exist/);
  });
});

// Drags a finger from one point to another in small steps.
async function drag(target, from, to) {
  const cdp = await target.context().newCDPSession(target);
  const send = (type, point) => cdp.send('Input.dispatchTouchEvent',
    { type, touchPoints: point ? [{ x: point.x, y: point.y }] : [] });
  await send('touchStart', from);
  for (let step = 1; step <= 10; step++) {
    await send('touchMove', { x: from.x + (to.x - from.x) * step / 10, y: from.y + (to.y - from.y) * step / 10 });
  }
  await send('touchEnd');
  await cdp.detach();
}

test('on a 360x640 phone the picker scrolls to 79 in portrait and landscape', async () => {
  for (const viewport of [{ width: 360, height: 640 }, { width: 640, height: 360 }]) {
    await withPhone(async (tab) => {
      await tab.goto(server.url);
      await tab.locator('#picker').waitFor({ state: 'visible' });
      const last = tab.locator('#picker-grid button[value="79"]');
      const inView = async () => (await last.boundingBox()).y + 20 < viewport.height;
      assert.equal(await inView(), false, `79 fits ${viewport.width}x${viewport.height} without scrolling`);
      const grid = await tab.locator('#picker-grid').boundingBox();
      const x = grid.x + grid.width / 2;
      for (let tries = 0; tries < 10 && !(await inView()); tries++) {
        await drag(tab, { x, y: viewport.height * 0.8 }, { x, y: viewport.height * 0.2 });
        await waitFor(inView, { timeout: 1000, what: '79 in view' }).catch(() => {});
      }
      assert.ok(await inView(), `79 out of reach on ${viewport.width}x${viewport.height}`);
      // A tap on a list that still glides only stops it, for a child too:
      // tap again until the picker closes.
      const picker = tab.locator('#picker');
      for (let taps = 0; taps < 5 && (await picker.isVisible()); taps++) {
        const box = await last.boundingBox();
        await tab.touchscreen.tap(box.x + box.width / 2, box.y + box.height / 2);
        await picker.waitFor({ state: 'hidden', timeout: 2000 }).catch(() => {});
      }
      const report = await waitForReport(() => true, 'a report after picking 79', 0, tab);
      assert.equal(report.pointer, 79);
      assert.equal(await tab.evaluate(() => document.scrollingElement.scrollTop), 0, 'the page itself scrolled');
    }, { viewport });
  }
});

// Another server in the main one's place, on pointer 6 unless values say
// otherwise: one at a time, as a real one's shared memory is the machine's.
async function withOtherServer(values, use) {
  await server.stop();
  await server.lastRunEnded();
  const other = new ServerUnderTest({ port: await freePort(), dir: folder, page: server.values.page, pointer: 6, ...values });
  try {
    await other.start();
    await use(other);
  } finally {
    await other.stop();
    await other.lastRunEnded();
    await server.start();
  }
}

test('a class with an access key: the key from the address goes with the reports; without it the page stops and says so', async () => {
  const KEY = 'Ab3dE9xz';
  await withOtherServer({ key: KEY }, (keyed) => withPhone(async (tab, context) => {
    if (!keyed.isStandin) {
      const shown = new RegExp(`:${keyed.values.port}/#key=${KEY}\\s`);
      await waitFor(() => shown.test(keyed.output), { what: 'the address with the key on the console' });
    }
    await tab.goto(`${keyed.url}#key=${KEY}&pointer=6`);
    await waitForConnection('connected', 'the page with the key to connect', tab);
    assert.equal(await tab.evaluate(() => location.hash), '#pointer=6', 'the key stays in the address');
    const [cookie] = await context.cookies(keyed.url);
    assert.deepEqual([cookie.name, cookie.value, cookie.path, cookie.sameSite], ['TVXKey', KEY, '/', 'Strict']);
    const days = (cookie.expires - Date.now() / 1000) / 86400;
    assert.ok(days > 29.9 && days <= 30, `the key is kept ${days} days`);

    // The server's count of refused reports, from its status line.
    const refusedSoFar = async () => {
      const seen = keyed.lines.length;
      keyed.child.stdin.write('status\n');
      const refused = await waitFor(() => keyed.lines.slice(seen).map((line) => /Refused: (\d+)/.exec(line))
        .find(Boolean), { what: 'the refusals in the status line' });
      return Number(refused[1]);
    };
    // The page lets go as it goes, without its key now: refused.
    const refusedEarlier = keyed.isStandin ? 0 : await refusedSoFar();
    await context.clearCookies();
    await tab.goto('about:blank');
    const refusedBefore = keyed.isStandin ? 0 : await waitFor(async () => {
      const refused = await refusedSoFar();
      return refused > refusedEarlier && refused;
    }, { what: 'the last report of the page that went to be refused' });
    await tab.goto(`${keyed.url}#pointer=6`);
    await waitForConnection('forbidden', 'the page without the key to stop', tab);
    const text = 'This class needs its code: scan the QR code again';
    assert.equal(await tab.locator('#connection-text').textContent(), 'Not connected');
    assert.equal(await tab.locator('#message').textContent(), `${text}.`);
    assert.equal(await tab.locator('#announce').textContent(), text);
    assert.equal(await tab.evaluate(() => getComputedStyle(document.getElementById('pad'), '::after').display),
      'block', 'the pad is not dimmed');
    // A touch tries once more, as the code may have come meanwhile.
    const pad = await centreOf('#pad', tab);
    await tab.touchscreen.tap(pad.x, pad.y);
    await waitFor(async () => (await reportCount(tab)) === 2, { what: 'a second try after a touch' });
    await mainPageReports(2);
    assert.equal(await reportCount(tab), 2, 'the page went on reporting after 403');
    assert.equal(await connection(tab), 'forbidden');
    if (!keyed.isStandin) assert.equal(await refusedSoFar() - refusedBefore, 2, 'refused reports');

    // The class's code scanned again while the page is open.
    await tab.goto(`${keyed.url}#pointer=6&key=${KEY}`);
    await waitForConnection('connected', 'the page to go on with the key', tab);
  }));
});

// Rising edges of L, R and the pad in what the server forwarded (or, without
// a watch, in what the page sent) for one pointer.
async function pressesSeen(pointer, target) {
  const records = tap.canWatch ? (await tap.forwarded()).filter((r) => r.pointer === pointer)
    : (await sentReports(0, target)).map((r) => ({ ...r, onPad: r.ackMode === 2 ? 1 : 0 }));
  return ['buttonL', 'buttonR', 'onPad'].map((field) =>
    records.filter((r, i) => r[field] === 1 && (i === 0 || records[i - 1][field] === 0)).length);
}

test('answers 500 ms late: every quick tap on L, R and the pad arrives, and the page says the link is slow', async (t) => {
  const SLOW_POINTER = 9;
  const link = await startSlowLink(server.url, { delayMs: 500 });
  t.after(link.close);
  await withPhone(async (tab, context) => {
    await tab.goto(`${link.url}#pointer=${SLOW_POINTER}`);
    await waitForConnection('slow', 'the page to call the link slow', tab);
    assert.equal(await tab.locator('#connection-text').textContent(), 'Slow connection');
    const finger = touchFingers(await context.newCDPSession(tab));
    // Four rounds, the last without the pad, each tap let go as soon as
    // the page took it in: far quicker than an answer.
    const taps = [['#button-left', await centreOf('#button-left', tab)],
      ['#button-right', await centreOf('#button-right', tab)], ['#pad', await padPoint(0.3, 0.6, tab)]];
    for (let i = 0; i < 4; i++) {
      for (const [selector, point] of taps.slice(0, i < 3 ? 3 : 2)) {
        await finger.press(7, point);
        await tookIn(tab, selector, true);
        await finger.lift(7);
        await tookIn(tab, selector, false);
      }
    }
    const seen = await waitFor(async () => {
      const counts = await pressesSeen(SLOW_POINTER, tab);
      return counts[0] >= 4 && counts[1] >= 4 && counts[2] >= 3 && counts;
    }, { timeout: 15000, what: 'every tap to arrive' }).catch(() => pressesSeen(SLOW_POINTER, tab));
    assert.deepEqual(seen, [4, 4, 3], 'taps of L, R and the pad that arrived');

    // 20 taps on L at once: 40 changes, each its own report in order, 32 to
    // a request: 32 and 8 after the report in flight, or, with none in
    // flight, the first press alone, then 32 and 7.
    await waitFor(async () => {
      const last = (await sentReports(0, tab)).at(-1);
      return last.buttonL + last.buttonR === 0 && last.ackMode === 1;
    }, { what: 'the last lift to be sent' });
    const from = await reportCount(tab);
    await tab.evaluate(() => {
      const button = document.getElementById('button-left');
      for (let id = 1; id <= 20; id++) {
        for (const type of ['pointerdown', 'pointerup']) {
          button.dispatchEvent(new PointerEvent(type, { pointerId: 100 + id, pointerType: 'touch', bubbles: true }));
        }
      }
    });
    const burst = (await waitFor(async () => {
      const reports = await sentReports(from, tab);
      return reports.length >= 40 && reports;
    }, { what: 'the taps to be sent' })).slice(0, 40);
    const sizes = burst.map((r) => r.batch).join();
    const expected = (...runs) => runs.flatMap((n) => Array(Math.max(n, 1)).fill(n)).join();
    assert.ok([expected(32, 8), expected(0, 32, 7)].includes(sizes), `batch sizes ${sizes}`);
    assert.deepEqual(burst.map((r) => r.buttonL), Array.from({ length: 40 }, (_, i) => (i + 1) % 2));
    await waitFor(async () => (await pressesSeen(SLOW_POINTER, tab))[0] === 24,
      { what: 'the server to forward 20 more presses of L' });
  });
});

test('answers 2.5 s late from the first: the first report is waited for as long as the page took to load', async (t) => {
  const link = await startSlowLink(server.url, { delayMs: 2500 });
  t.after(link.close);
  await withPhone(async (tab) => {
    await tab.goto(`${link.url}#pointer=14`);
    await waitForConnection('slow', 'the page to call the link slow', tab);
    assert.equal(await tab.locator('#message').textContent(), 'Slow connection: the pointer follows late; taps still count.');
    assert.deepEqual((await sentReports(0, tab)).filter((r) => r.failed), [], 'a report given up');
  });
});

test('a hidden tab lets go once and falls silent; of two tabs only the newer reports', async () => {
  const TAB_POINTER = 10;
  const setHidden = (tab, hidden) => tab.evaluate((hidden) => {
    Object.defineProperty(document, 'hidden', { configurable: true, get: () => hidden });
    Object.defineProperty(document, 'visibilityState', { configurable: true, get: () => (hidden ? 'hidden' : 'visible') });
    document.dispatchEvent(new Event('visibilitychange'));
  }, hidden);
  await withPhone(async (older, context) => {
    await older.goto(`${server.url}#pointer=${TAB_POINTER}`);
    await waitForConnection('connected', 'the first tab to connect', older);
    const newer = await context.newPage();
    await newer.goto(`${server.url}#pointer=${TAB_POINTER}`);
    await waitForConnection('replaced', 'the older tab to step back', older);
    assert.equal(await older.locator('#connection-text').textContent(), 'Replaced');
    await waitForConnection('connected', 'the newer tab to connect', newer);
    await waitFor(async () => (await sentReports(0, older)).every((r) => r.settledAt !== null),
      { what: 'the older tab\'s last answer' });
    const olderCount = await reportCount(older);
    const finger = touchFingers(await context.newCDPSession(newer));
    const from = await padPoint(0.2, 0.2, newer);
    await finger.press(1, from);
    const to = await padPoint(0.6, 0.6, newer);
    for (let step = 1; step <= 30; step++) {
      await finger.move(1, { x: from.x + (to.x - from.x) * step / 30, y: from.y + (to.y - from.y) * step / 30 });
    }
    await waitForReport((r) => near(r.x, to.expectX) && near(r.y, to.expectY), 'the newer tab to report the last move',
      0, newer);
    assert.equal(await reportCount(older), olderCount, 'the older tab reported while the newer one was used');

    // Hidden with the finger still down.
    const hiddenFrom = await reportCount(newer);
    await setHidden(newer, true);
    await waitForReport((r) => r.ackMode === 1, 'the lift once hidden', hiddenFrom, newer);
    await mainPageReports(4);
    const all = await sentReports(hiddenFrom, newer);
    assert.equal(all.filter((r) => r.ackMode === 1).length, 1, 'one lifted report once hidden');
    assert.ok(all.length <= 2 && all.at(-1).ackMode === 1, `reports once hidden: ${all.map((r) => r.ackMode)}`);
    await finger.lift(1);
    if (tap.canWatch) {
      const last = await waitFor(async () => (await tap.forwarded()).filter((r) => r.pointer === TAB_POINTER).at(-1),
        { what: 'a forwarded report' });
      assert.equal(last.onPad, 0, 'the server last heard the pad touched');
    }
    await setHidden(newer, false);
    await waitForReport(() => true, 'reports once shown again', await reportCount(newer), newer);
  });
});

test('a second phone on a number is told to pick another, and the first keeps it', async (t) => {
  if (server.isStandin) return t.skip('the stand-in does not tell phones apart');
  const link = await startSlowLink(server.url, { localAddress: '127.0.0.2' });
  t.after(link.close);
  await withPhone(async (tab) => {
    await tab.goto(`${link.url}#pointer=${POINTER}`);
    await waitForConnection('taken', 'the second phone to hear that its number is taken', tab);
    await tab.locator('#picker').waitFor({ state: 'visible' });
    assert.equal(await tab.locator('#picker-message').textContent(), 'Another phone uses 03: pick another number.');
    const count = await reportCount(tab);
    await mainPageReports(2);
    assert.equal(await reportCount(tab), count, 'the second phone went on reporting');
    assert.equal(await connection(), 'connected');
    await tab.locator('#picker-grid button[value="13"]').click();
    await waitForConnection('connected', 'the second phone to connect on its new number', tab);
  });
});

// The page's texts at twice the text size, as a phone set to large text
// gives them: the root's font size at 200 %, which every rem follows.
const LARGE_TEXT = 'html { font-size: 200% !important; }';
const SMALL_SCREENS = [[320, 568], [360, 640], [568, 320], [640, 360]];
const CATALOGUE = readCatalogue(readFileSync(textsFile, 'utf8'));

// Every state as the page shows it in a language: [kind, the bar's text,
// the pad's text, the last command's text], composed as the page composes them.
function statesIn(tag) {
  const texts = CATALOGUE.get(tag);
  const say = (name, values = {}) => texts.get(name).replace(/\{(\w+)\}/g, (whole, key) => values[key] ?? whole);
  const lost = say('lost', { reason: say('unexpectedAnswer') });
  const command = `${say('vibrated', { name: say('codeA4') })} · 10:42:17`;
  return [
    ['connected', say('connected'), ''],
    ['slow', say('slow'), say('slowMessage')],
    ['lost', say('notConnected'), say('lostMessage', { failure: lost, retry: say('retryIn', { seconds: 2 }) })],
    ['forbidden', say('notConnected'), `${say('forbidden')}.`],
    ['taken', say('taken'), `${say('takenMessage', { number: '03' })}.`],
    ['replaced', say('replaced'), `${say('replacedMessage')} ${say('reloadHere')}`],
  ].map((state) => [...state, command]);
}

// A phone in a language: its page has the texts once it says so.
async function inLanguage(tab, tag) {
  await waitFor(() => tab.evaluate((tag) => document.documentElement.lang === tag, tag),
    { what: `the page in ${tag}` });
}

// What does not fit in its box: [selector, how much too wide, too high].
// Those of fits fit both ways; those of scrolls, which scroll by touch, across.
function cutTexts([fits, scrolls]) {
  const cut = (selector, across) => [...document.querySelectorAll(selector)]
    .filter((element) => element.getClientRects().length)
    .map((element) => [selector, element.scrollWidth - element.clientWidth,
      across ? 0 : element.scrollHeight - element.clientHeight])
    .filter(([, wide, high]) => wide > 1 || high > 1);
  return [...fits.flatMap((selector) => cut(selector, false)), ...scrolls.flatMap((selector) => cut(selector, true))];
}

// Puts the page in a state as it would show it, with a last command shown.
const showState = (tab, state) => tab.evaluate(([kind, barText, padText, command]) => {
  document.getElementById('app').setAttribute('data-connection', kind);
  document.getElementById('connection-text').textContent = barText;
  document.getElementById('message').textContent = padText;
  Object.assign(document.getElementById('last-command'), { hidden: false, textContent: command });
}, state);

// Where boxes of the pad's texts leave the pad or overlap: a list.
async function crowdedTexts(tab, pad, kind) {
  const shown = [];
  for (const selector of ['#you-are', '#message', '#hint', '#turn', '#last-command']) {
    if (await tab.locator(selector).isVisible()) shown.push([selector, await tab.locator(selector).boundingBox()]);
  }
  const wrong = [];
  shown.forEach(([a, first], i) => {
    if (!(first.y >= pad.y && first.x >= pad.x && first.x + first.width <= pad.x + pad.width + 0.5)) {
      wrong.push(`${kind}: ${a} outside the pad`);
    }
    for (const [b, second] of shown.slice(i + 1)) {
      if (!(first.y + first.height <= second.y + 0.5 || second.y + second.height <= first.y + 0.5)) {
        wrong.push(`${kind}: ${a} overlaps ${b}`);
      }
    }
  });
  return wrong;
}

// English on every small screen, every other language on the smallest.
const LAYOUT_RUNS = [['en', SMALL_SCREENS],
  ...[...CATALOGUE.keys()].filter((tag) => tag !== 'en').map((tag) => [tag, [SMALL_SCREENS[0]]])];

test('200 % text on small phones: one short bar, a pad that stays put, every state and the picker fit, no word cut, in every language', async () => {
  const wrong = [];
  for (const [tag, screens] of LAYOUT_RUNS) for (const [width, height] of screens) {
    await withPhone(async (tab) => {
      await tab.goto(`${server.url}#pointer=12`);
      await waitForConnection('connected', 'the page to connect', tab);
      await inLanguage(tab, tag);
      await tab.addStyleTag({ content: LARGE_TEXT });
      const box = (selector) => tab.locator(selector).boundingBox();
      const padBefore = await box('#pad');
      for (const state of statesIn(tag)) {
        const kind = `${tag} ${width}x${height} ${state[0]}`;
        await showState(tab, state);
        const bar = await box('#bar');
        const pad = await box('#pad');
        if (bar.height > 48) wrong.push(`${kind}: the bar is ${bar.height} px high`);
        if (JSON.stringify(pad) !== JSON.stringify(padBefore)) wrong.push(`${kind}: the pad moved`);
        if (width === 360 && (pad.height < 300 || pad.width < 320)) wrong.push(`${kind}: the pad is ${pad.width}x${pad.height}`);
        if (await tab.evaluate(() => document.getElementById('connection-text').getClientRects().length) !== 1) {
          wrong.push(`${kind}: the bar's words break`);
        }
        wrong.push(...await crowdedTexts(tab, pad, kind));
        wrong.push(...(await tab.evaluate(cutTexts, [['#pad-text', '#connection-text'], []])).map((c) => [kind, ...c].join(' ')));
        if (width === 360 && kind.endsWith(' connected')) {
          await tab.screenshot({ path: path.join(screenshotDir(), 'phone-360-text-200.png') });
        }
      }
      await tab.evaluate(() => { document.getElementById('picker').hidden = false; });
      wrong.push(...(await tab.evaluate(cutTexts, [['#picker-grid button', '#picker h1', '#picker p'], ['#picker']]))
        .map((c) => [tag, width, height, 'picker', ...c].join(' ')));
    }, { viewport: { width, height }, locale: tag });
  }
  assert.deepEqual(wrong, []);
});

// Every show code: tick, cross, the eight teams, a digit.
const SHOW_CODES = ['B1', 'B2', 'C0', 'C1', 'C2', 'C3', 'C4', 'C5', 'C6', 'C7', 'D0', 'D7'];
const SHOW_SCREENS = [[320, 568], [360, 640], [568, 320], [640, 360], [844, 390], [390, 844], [1024, 768], [768, 1024]];
// Sizes whose screenshots go to docs/, as one sheet per size and text size.
const SHEETS = ['360x640', '844x390'];

// Every rule, best practices too: a dialog without a name is one of them.
async function axeViolations(tab) {
  if (!(await tab.evaluate(() => Boolean(window.axe)))) {
    await tab.addScriptTag({ path: path.join(webDir, 'node_modules', 'axe-core', 'axe.min.js') });
  }
  const { violations } = await tab.evaluate(() => window.axe.run(document));
  return violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(', ')}`);
}

// Where the shown symbol, digit or label is covered by a hint or reaches
// out of the pad: a list of what is wrong.
function coveredShow() {
  const pad = document.getElementById('pad').getBoundingClientRect();
  const parts = [...document.querySelectorAll('#shown > *')];
  const wrong = parts.length ? [] : ['nothing shown'];
  for (const part of parts) {
    const box = part.getBoundingClientRect();
    if (box.left < pad.left - 0.5 || box.right > pad.right + 0.5 || box.top < pad.top - 0.5 || box.bottom > pad.bottom + 0.5 ||
      box.height < 8) wrong.push(`${part.tagName} at ${Math.round(box.left)},${Math.round(box.top)} ${Math.round(box.width)}x${Math.round(box.height)}`);
    if (part.scrollWidth > part.clientWidth + 1) wrong.push(`${part.tagName} cut across`);
  }
  for (const text of document.querySelectorAll('#pad-text > *')) {
    if (text.getClientRects().length && text.textContent) wrong.push(`#${text.id} visible`);
  }
  return wrong;
}

// Sends a show code and waits for the page to announce it: each has a name of its own.
async function showCode(tab, pointer, code) {
  const said = () => tab.locator('#announce').textContent();
  const before = await said();
  await tap.send(pointer, code);
  await waitFor(async () => (await said()) !== before, { what: `${code} on the pad` });
}

async function contactSheet(context, shots, file, width, columns = 4) {
  const sheet = await context.newPage();
  try {
    await sheet.setViewportSize({ width: (width + 10) * columns + 10, height: 400 });
    await sheet.setContent(`<meta name="viewport" content="width=device-width"><body style="margin:0;padding:5px;background:#000;display:flex;flex-wrap:wrap;gap:10px">${
      shots.map((png) => `<img style="width:${width}px" src="data:image/png;base64,${png.toString('base64')}">`).join('')}</body>`);
    await sheet.screenshot({ path: file, fullPage: true, scale: 'css' });
  } finally {
    await sheet.close();
  }
}

test('every show code is readable and uncovered, on phones and tablets at 100 % and 200 % text', async () => {
  const SHOW_POINTER = 14;
  await withPhone(async (tab, context) => {
    await tab.goto(`${server.url}#pointer=${SHOW_POINTER}`);
    await waitForConnection('connected', 'the page to connect', tab);
    await tab.evaluate(() => Object.assign(document.getElementById('last-command'), { hidden: false, textContent: 'Vibrated: normal · 10:42:17' }));
    const problems = [];
    const sheets = new Map();
    for (const code of SHOW_CODES) {
      await showCode(tab, SHOW_POINTER, code);
      for (const large of [false, true]) {
        await tab.evaluate((large) => { document.documentElement.style.fontSize = large ? '200%' : ''; }, large);
        for (const [width, height] of SHOW_SCREENS) {
          await tab.setViewportSize({ width, height });
          const where = `${code} ${width}x${height} ${large ? 200 : 100} %`;
          problems.push(...(await tab.evaluate(coveredShow)).map((wrong) => `${where}: ${wrong}`));
          const size = `${width}x${height}`;
          if (SHEETS.includes(size)) {
            const key = `${size}-text-${large ? 200 : 100}`;
            if (!sheets.has(key)) sheets.set(key, []);
            sheets.get(key).push(await tab.screenshot({ scale: 'css' }));
          }
        }
      }
    }
    assert.deepEqual(problems, []);
    const docs = path.join(repoDir, 'docs');
    for (const [key, shots] of sheets) {
      await contactSheet(context, shots, path.join(docs, `phone-shows-${key}.png`), key.startsWith('360') ? 180 : 300);
    }
  });
});

// The words a teacher reads about the bar: each README that describes it
// quotes the bar's word and the pad's reason as the page shows them.
const TEACHERS_READMES = ['README.md', 'tools/dist/README.windows.txt', 'tools/dist/README.linux.txt'];

test('the page connected and not connected, as the READMEs describe and show it', async () => {
  await withPhone(async (tab, context) => {
    await tab.goto(`${server.url}#pointer=12`);
    await waitForConnection('connected', 'the page to connect', tab);
    const finger = touchFingers(await context.newCDPSession(tab));
    await finger.press(1, await padPoint(0.6, 0.4, tab));
    await tookIn(tab, '#pad', true);
    const shots = [await tab.screenshot({ scale: 'css' })];
    const bar = [await tab.locator('#connection-text').textContent()];
    await finger.lift(1);

    // Nothing reaches the computer any more, as when it left the network.
    await tab.route('**/*', (route) => route.abort('connectionrefused'));
    await waitForConnection('lost', 'the page to say it lost the computer', tab);
    const message = await waitFor(async () => {
      const text = await tab.locator('#message').textContent();
      return /retry in \d s/.test(text) && text;
    }, { what: 'the countdown on the pad' });
    shots.push(await tab.screenshot({ scale: 'css' }));
    bar.push(await tab.locator('#connection-text').textContent());
    await tab.unroute('**/*');

    const reason = message.match(/^Not connected: (.+?) ·/)[1];
    const missing = [];
    for (const file of TEACHERS_READMES) {
      const flowing = readFileSync(path.join(repoDir, file), 'utf8').replace(/\s+/g, ' ');
      for (const words of [...bar, reason]) {
        if (!flowing.includes(`"${words}"`)) missing.push(`${file}: "${words}"`);
      }
    }
    assert.deepEqual(missing, []);
    await contactSheet(context, shots, path.join(repoDir, 'docs', 'phone-page.png'), 270, 2);
  }, { viewport: { width: 360, height: 640 } });
});

test('axe finds nothing in any state, the picker or a show code, in English and in Arabic', async () => {
  const AXE_POINTER = 15;
  const problems = [];
  for (const tag of ['en', 'ar']) {
    await withPhone(async (tab) => {
      await tab.goto(`${server.url}#pointer=${AXE_POINTER}`);
      await waitForConnection('connected', 'the page to connect', tab);
      await inLanguage(tab, tag);
      const audit = async (what) => problems.push(...(await axeViolations(tab)).map((v) => `${tag} ${what}: ${v}`));
      for (const code of SHOW_CODES) {
        await showCode(tab, AXE_POINTER, code);
        await audit(code);
      }
      await showCode(tab, AXE_POINTER, 'B0');
      for (const state of statesIn(tag)) {
        await showState(tab, state);
        await audit(state[0]);
      }
      await tab.evaluate(() => { location.hash = '#pointer=80'; });
      await tab.locator('#picker').waitFor({ state: 'visible' });
      await audit('the picker');
    }, { viewport: { width: 360, height: 640 }, locale: tag });
  }
  assert.deepEqual(problems, []);
});

// What the phone receives for the page's own files, headers included; the
// reports are not counted. The icon is asked for too, as a phone that puts
// the page on its home screen asks for it. Arabic has the largest texts.
test('a first visit receives at most 20,000 bytes for the page, its texts and the icon; a second gets 304s', async (t) => {
  if (server.isStandin) return t.skip('the stand-in sends the page uncompressed');
  await withPhone(async (tab, context) => {
    const cdp = await context.newCDPSession(tab);
    await cdp.send('Network.enable');
    let seen = new Map();
    const entry = (id) => seen.get(id) || seen.set(id, {}).get(id);
    cdp.on('Network.requestWillBeSent', (event) => { entry(event.requestId).url = event.request.url; });
    cdp.on('Network.requestServedFromCache', (event) => { entry(event.requestId).cached = true; });
    cdp.on('Network.responseReceivedExtraInfo', (event) => { entry(event.requestId).status = event.statusCode; });
    cdp.on('Network.loadingFinished', (event) => { entry(event.requestId).bytes = event.encodedDataLength; });
    const visit = async () => {
      seen = new Map();
      await tab.goto('about:blank');
      await tab.goto(`${server.url}#pointer=16`);
      await waitForConnection('connected', 'the page to connect', tab);
      await inLanguage(tab, 'ar');
      await tab.evaluate(() => fetch('/favicon.ico').then((response) => response.arrayBuffer()));
      return waitFor(() => {
        const files = [...seen.values()].filter((e) => e.url && e.url.startsWith(server.url) &&
          !/^\/(tolvex|batch\/)/.test(new URL(e.url).pathname));
        // From the browser's cache: no status, nothing received.
        return files.every((e) => e.cached || (e.bytes !== undefined && (e.status || e.bytes === 0))) && files;
      }, { what: 'every file loaded' }).catch((error) => {
        throw new Error(`${error.message}: ${JSON.stringify([...seen.values()])}`);
      });
    };
    const first = await visit();
    const total = first.reduce((sum, e) => sum + e.bytes, 0);
    t.diagnostic(`first visit: ${first.map((e) => `${new URL(e.url).pathname} ${e.bytes}`).join(', ')}; ${total} bytes`);
    assert.deepEqual(first.map((e) => new URL(e.url).pathname).sort(), ['/', '/favicon.ico', '/texts']);
    assert.ok(total <= 20000, `a first visit received ${total} bytes`);
    const second = await visit();
    const fetched = second.filter((e) => e.status);
    assert.ok(fetched.length >= 2, 'the page and its texts asked again');
    assert.deepEqual(fetched.filter((e) => e.status !== 304).map((e) => `${e.url} ${e.status}`), []);
  }, { locale: 'ar' });
});

test('PageLanguage gives every phone of the class one language', async (t) => {
  if (server.isStandin) return t.skip('the stand-in has no settings');
  await withOtherServer({ language: 'ar' }, (fixed) => withPhone(async (tab) => {
    await tab.goto(`${fixed.url}#pointer=6`);
    await inLanguage(tab, 'ar');
    assert.equal(await tab.evaluate(() => document.documentElement.dir), 'rtl');
    await waitFor(async () => (await tab.locator('#connection-text').textContent()) === CATALOGUE.get('ar').get('connected'),
      { what: 'the bar to say connected in Arabic' });
  }, { locale: 'de-DE' }));
});
