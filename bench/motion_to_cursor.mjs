// Motion to cursor: the shipped page in headless chromium, touched through
// CDP, drives the real TVXHandvane with cursor emulation on and pointer 3
// selected, on a private Xvfb whose cursor cursor_watch polls every 0.25 ms.
//
//   node bench/motion_to_cursor.mjs BIN_DIR
//
// BIN_DIR holds the native TVXHandvane, its TVXHandvane.TXT and cursor_watch.
// Prints the time from a finger's move to the cursor's arrival (p50, p90 over
// 40 moves to random places, each held a moment), split at the page's
// touchmove into chromium's part (it hands a touch move to the page at its
// next frame) and the page's and the program's part; the cursor's moves and the
// page's reports per second in a 3 s drag at 60 moves a second, and the
// presses and releases that ten 50 ms taps on L left on the display.
import { spawn } from 'node:child_process';
import { copyFileSync, mkdirSync, rmSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { freePort, launchPhone, makeTempDir, sleep, waitFor } from '../web/test/harness.mjs';

const POINTER = 3;
const MOVES = 40;
const DRAG_SECONDS = 3;
const DRAG_RATE = 60;
const TAPS = 10;
const TAP_MS = 50;
const SCREEN = { width: 1280, height: 1024 };
const TOLERANCE_PX = 4;

const bin = path.resolve(process.argv[2] || 'build/bin');
const nowNs = () => process.hrtime.bigint();
const epochMs = () => performance.timeOrigin + performance.now();
const ms = (ns) => Number(ns) / 1e6;

// A repeatable sequence of places.
function random(seed) {
  let state = seed >>> 0;
  return () => {
    state = (state * 1664525 + 1013904223) >>> 0;
    return state / 2 ** 32;
  };
}

function percentile(values, share) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor(share * (sorted.length - 1)))];
}

function startXvfb() {
  return new Promise((resolve, reject) => {
    const child = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', `${SCREEN.width}x${SCREEN.height}x24`,
      '-nolisten', 'tcp'], { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
    child.once('error', reject);
    let number = '';
    child.stdio[3].on('data', (chunk) => {
      number += chunk;
      if (number.includes('\n')) resolve({ child, display: `:${number.trim()}` });
    });
  });
}

// The cursor's track and the left button's presses and releases.
function startWatch(display) {
  const watch = { moves: [], presses: [], releases: [], ready: null };
  watch.child = spawn(path.join(bin, 'cursor_watch'), [], {
    env: { ...process.env, DISPLAY: display }, stdio: ['pipe', 'pipe', 'inherit'],
  });
  watch.ready = new Promise((resolve) => {
    createInterface({ input: watch.child.stdout }).on('line', (line) => {
      const [kind, stamp, x, y] = line.split(' ');
      if (kind === 'ready') resolve();
      else if (kind === 'M') watch.moves.push({ at: BigInt(stamp), x: Number(x), y: Number(y) });
      else if (kind === 'P') watch.presses.push(BigInt(stamp));
      else if (kind === 'R') watch.releases.push(BigInt(stamp));
    });
  });
  return watch;
}

async function startServer(dir, display, port) {
  mkdirSync(path.join(dir, 'config'));
  mkdirSync(path.join(dir, 'state'));
  copyFileSync(path.join(bin, 'TVXHandvane'), path.join(dir, 'TVXHandvane'));
  copyFileSync(path.join(bin, 'TVXHandvane.TXT'), path.join(dir, 'TVXHandvane.TXT'));
  writeFileSync(path.join(dir, 'TVXHandvane.INI'),
    `[General]\r\nLog=FALSE\r\nLogLevel=0\r\n[Paths]\r\nPathToWorkingDir=${dir}\r\n` +
    `PathToIniFolder=${dir}\r\n[Control]\r\nPort=${port}\r\nSelectedPointer=${POINTER}\r\n`);
  const server = spawn('./TVXHandvane', ['--console'], {
    cwd: dir,
    env: { ...process.env, DISPLAY: display, XDG_CONFIG_HOME: path.join(dir, 'config'),
      XDG_STATE_HOME: path.join(dir, 'state') },
    stdio: ['pipe', 'pipe', 'pipe'],
  });
  let output = '';
  server.stdout.on('data', (chunk) => { output += chunk; });
  server.stderr.on('data', (chunk) => { output += chunk; });
  await waitFor(() => output.includes('Server started on port') || server.exitCode !== null,
    { timeout: 30000, what: 'TVXHandvane to start' });
  if (!output.includes('Server started on port')) throw new Error(`TVXHandvane: ${output}`);
  // The display connection is made in the background: ask until it is there.
  await waitFor(() => {
    if (output.includes('Cursor emulation on.')) return true;
    server.stdin.write('emulate on\n');
    return false;
  }, { timeout: 10000, interval: 200, what: `cursor emulation to come on: ${output}` });
  return server;
}

// Counts the reports the page sends, alone or in batches, and notes when the page's last touch
// move reached it (ms since the epoch, as the bench's own clock can say too).
function countReports() {
  window.__reports = 0;
  window.__touchMovedAt = 0;
  window.addEventListener('touchmove', () => {
    window.__touchMovedAt = performance.timeOrigin + performance.now();
  }, { capture: true });
  const realFetch = window.fetch.bind(window);
  window.fetch = (input, init) => {
    const url = typeof input === 'string' ? input : input.url;
    // A batch carries its reports one a "/" after its route.
    if (url.startsWith('/tolvex')) window.__reports += 1;
    else if (url.startsWith('/batch/')) window.__reports += url.slice(7).split('/').length;
    return realFetch(input, init);
  };
}

const folder = makeTempDir('tvx-motion-');
let xvfb;
let watch;
let server;
let phone;
try {
  xvfb = await startXvfb();
  watch = startWatch(xvfb.display);
  await watch.ready;
  const port = await freePort();
  server = await startServer(folder, xvfb.display, port);
  phone = await launchPhone();
  await phone.context.addInitScript(countReports);
  const page = phone.context.pages()[0] || await phone.context.newPage();
  const cdp = await phone.context.newCDPSession(page);
  await page.goto(`http://127.0.0.1:${port}/#pointer=${POINTER}`);
  await waitFor(async () => (await page.locator('#app').getAttribute('data-connection')) === 'connected',
    { what: 'the page to connect' });
  const pad = await page.locator('#pad').boundingBox();
  const left = await page.locator('#button-left').boundingBox();
  const touch = (type, points) => cdp.send('Input.dispatchTouchEvent', {
    type, touchPoints: points.map(([id, p]) => ({ id, x: p.x, y: p.y })),
  });
  const padPoint = (fx, fy) => ({
    x: pad.x + pad.width * fx, y: pad.y + pad.height * fy,
    pixelX: Math.floor(Math.round(fx * 65535) * (SCREEN.width - 1) / 65535),
    pixelY: Math.floor(Math.round(fy * 65535) * (SCREEN.height - 1) / 65535),
  });
  const cursorAt = (point, since) => watch.moves.find((move) => move.at >= since &&
    Math.abs(move.x - point.pixelX) <= TOLERANCE_PX && Math.abs(move.y - point.pixelY) <= TOLERANCE_PX);

  // 1. Moves to random places, each held until the cursor is there and a moment longer.
  const next = random(2023);
  let point = padPoint(0.5, 0.5);
  await touch('touchStart', [[1, point]]);
  await waitFor(() => cursorAt(point, 0n), { what: 'the cursor to follow the first touch' });
  const latencies = [];
  const delivered = []; // from the move's dispatch to the page's touchmove: the browser's part
  const ours = []; // from the page's touchmove to the cursor's arrival
  let missed = 0;
  for (let i = 0; i < MOVES; i++) {
    point = padPoint(0.05 + 0.9 * next(), 0.05 + 0.9 * next());
    const movedAt = nowNs();
    const movedAtEpoch = epochMs();
    await touch('touchMove', [[1, point]]);
    try {
      const arrival = await waitFor(() => cursorAt(point, movedAt), { timeout: 2000, interval: 1, what: 'the cursor' });
      const total = ms(arrival.at - movedAt);
      latencies.push(total);
      const reached = await page.evaluate(() => window.__touchMovedAt);
      if (reached >= movedAtEpoch) {
        delivered.push(reached - movedAtEpoch);
        ours.push(total - (reached - movedAtEpoch));
      }
    } catch {
      missed += 1;
    }
    await sleep(150 + 150 * next());
  }

  // 2. A drag at 60 moves a second, paced by the clock: awaiting each
  // dispatch would halve the rate, as chromium acknowledges a touch only at
  // a later frame.
  const reportsBefore = await page.evaluate(() => window.__reports);
  const dragStart = nowNs();
  const dispatches = [];
  const dragMoves = DRAG_SECONDS * DRAG_RATE;
  for (let k = 1; k <= dragMoves; k++) {
    const due = dragStart + BigInt(Math.round(k * 1e9 / DRAG_RATE));
    const wait = ms(due - nowNs());
    if (wait > 0) await sleep(wait);
    const angle = (2 * Math.PI * k) / DRAG_RATE;
    dispatches.push(touch('touchMove', [[1, padPoint(0.5 + 0.35 * Math.cos(angle), 0.5 + 0.35 * Math.sin(angle))]]));
  }
  const dragEnd = nowNs();
  await Promise.all(dispatches);
  await sleep(100);
  const reportsAfter = await page.evaluate(() => window.__reports);
  const dragSeconds = ms(dragEnd - dragStart) / 1000;
  const cursorMoves = watch.moves.filter((move) => move.at > dragStart && move.at <= dragEnd).length;
  await touch('touchEnd', [[1, point]]);
  await sleep(300);

  // 3. Ten taps of 50 ms on L, at random moments between the dialog's ticks.
  const tapsStart = nowNs();
  const button = { x: left.x + left.width / 2, y: left.y + left.height / 2 };
  for (let i = 0; i < TAPS; i++) {
    await touch('touchStart', [[2, button]]);
    await sleep(TAP_MS);
    await touch('touchEnd', [[2, button]]);
    await sleep(150 + 200 * next());
  }
  await sleep(500);
  const presses = watch.presses.filter((at) => at >= tapsStart).length;
  const releases = watch.releases.filter((at) => at >= tapsStart).length;

  const f = (value) => value.toFixed(1);
  console.log(`motion to cursor (${MOVES} moves, held): p50 ${f(percentile(latencies, 0.5))} ms, ` +
    `p90 ${f(percentile(latencies, 0.9))} ms${missed ? `, ${missed} never arrived` : ''}`);
  console.log(`  of which chromium's delivery of the touch to the page: p50 ${f(percentile(delivered, 0.5))} ms; ` +
    `the page's touchmove to the cursor: p50 ${f(percentile(ours, 0.5))} ms, p90 ${f(percentile(ours, 0.9))} ms`);
  console.log(`drag at ${DRAG_RATE} moves/s for ${f(dragSeconds)} s: cursor ${f(cursorMoves / dragSeconds)} moves/s, ` +
    `page ${f((reportsAfter - reportsBefore) / dragSeconds)} reports/s`);
  console.log(`${TAPS} taps of ${TAP_MS} ms on L: ${presses} presses, ${releases} releases`);
} finally {
  if (phone) await phone.close();
  if (server) {
    server.stdin.end('exit\n');
    await Promise.race([new Promise((resolve) => server.once('exit', resolve)), sleep(5000)]);
    if (server.exitCode === null) server.kill('SIGKILL');
  }
  if (watch) {
    watch.child.stdin.end();
    await Promise.race([new Promise((resolve) => watch.child.once('exit', resolve)), sleep(2000)]);
  }
  if (xvfb) xvfb.child.kill('SIGTERM');
  rmSync(folder, { recursive: true, force: true });
}
