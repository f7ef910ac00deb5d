// Starts the server under test and the browser for the end-to-end test.
//
// By default the server is the stand-in of this folder. Another server is
// given by commands in the environment; {port}, {dir} and {page} in them are
// replaced by a free port, a fresh temporary folder, the built page, the
// pointer number the test uses, the class's access key (empty for none) and
// {language}, the class's one page language (empty for each phone's own):
//   TVX_SERVER_CMD  shell command that starts the server (cwd: {dir}); with
//                   the test's pointer selected and {key} as its access
//                   key (none when empty), it should answer the line
//                   "status" on stdin as the console does (X: .. | Y: ..)
//   TVX_SERVER_URL  where the page is, default http://127.0.0.1:{port}/
//   TVX_SEND_CMD    puts one command for a pointer; also {pointer} (decimal)
//                   and {code} (two hex digits, e.g. A4)
//   TVX_WATCH_CMD   optional: prints each report the server forwarded as a
//                   JSON line with pointer, frame, x, y and flags (or
//                   buttonL/buttonR)
//   TVX_PAGE        an already built page for the stand-in to serve
import { spawn, execFile } from 'node:child_process';
import { mkdtempSync, rmSync, mkdirSync, readdirSync, readFileSync } from 'node:fs';
import { createServer } from 'node:net';
import http from 'node:http';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';
import { createInterface } from 'node:readline';
import { chromium } from 'playwright-core';
import { decodeReportPath } from './standin-server.mjs';

const testDir = path.dirname(fileURLToPath(import.meta.url));
export const webDir = path.dirname(testDir);
export const repoDir = path.dirname(webDir);

const CHROMIUM = '/usr/bin/chromium';
const CHROMIUM_ARGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

export async function freePort() {
  return new Promise((resolve, reject) => {
    const probe = createServer();
    probe.on('error', reject);
    probe.listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

function fill(template, values) {
  return template.replace(/\{(\w+)\}/g, (whole, name) => (name in values ? String(values[name]) : whole));
}

export const textsFile = path.join(webDir, 'lang', 'TVXHandvane.LNG');

// Sections by tag, each a map of name to text, read as the server and the
// page read them.
export function readCatalogue(text) {
  const sections = new Map();
  let section = null;
  for (const raw of text.replace(/^\uFEFF/, '').split('\n')) {
    const line = raw.trim();
    if (!line || line.startsWith(';') || line.startsWith('#')) continue;
    const header = /^\[(.+)\]$/.exec(line);
    if (header) {
      section = sections.get(header[1]) || new Map();
      sections.set(header[1], section);
    } else if (section && line.indexOf('=') > 0) {
      const equals = line.indexOf('=');
      section.set(line.slice(0, equals).trim(), line.slice(equals + 1).trim());
    }
  }
  return sections;
}

export async function buildPage(folder) {
  if (process.env.TVX_PAGE) return path.resolve(process.env.TVX_PAGE);
  const output = path.join(folder, 'TVXHandvane.TXT');
  await promisify(execFile)('cmake', [
    `-DPAGE=${path.join(webDir, 'index.html')}`,
    `-DLOGIC=${path.join(webDir, 'protocol.js')}`,
    `-DTEXTS=${textsFile}`,
    `-DOUTPUT=${output}`,
    '-P', path.join(webDir, 'inline_page.cmake'),
  ]);
  return output;
}

export function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

export async function waitFor(probe, { timeout = 10000, interval = 25, what = 'condition' } = {}) {
  const deadline = Date.now() + timeout;
  for (;;) {
    const value = await probe();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
    await sleep(interval);
  }
}

// The server under test, restartable on the same port and folder.
// standinArgs starts the stand-in with those arguments whatever the
// environment names, for what only the stand-in can do yet.
export class ServerUnderTest {
  constructor({ port, dir, page, pointer, standinArgs, key = '', language = '' }) {
    this.values = { port, dir, page, pointer, key, language };
    const standin = `node ${JSON.stringify(path.join(testDir, 'standin-server.mjs'))} ` +
      `--port {port} --page {page} --texts ${JSON.stringify(textsFile)} --selected {pointer}${key ? ' --key {key}' : ''}`;
    this.command = fill(standinArgs !== undefined ? `${standin} ${standinArgs}`
      : process.env.TVX_SERVER_CMD || standin, this.values);
    if (key && !this.command.includes(key)) throw new Error('TVX_SERVER_CMD takes no {key}');
    this.url = fill(process.env.TVX_SERVER_URL || 'http://127.0.0.1:{port}/', this.values);
    this.isStandin = standinArgs !== undefined || !process.env.TVX_SERVER_CMD;
    this.child = null;
    this.output = '';
    this.lines = [];
  }

  async start() {
    await this.lastRunEnded();
    this.output = '';  // what this run says, not the run before
    this.child = spawn('sh', ['-c', this.command], {
      cwd: this.values.dir,
      detached: true,
      stdio: ['pipe', 'pipe', 'pipe'],
    });
    const collect = (chunk) => { this.output = (this.output + chunk).slice(-4000); };
    this.child.stdout.on('data', collect);
    this.child.stderr.on('data', collect);
    createInterface({ input: this.child.stdout }).on('line', (line) => this.lines.push(line));
    const exited = new Promise((resolve) => this.child.once('exit', resolve));
    const closed = new Promise((resolve) => this.child.once('close', resolve));
    this.exited = exited;
    await waitFor(async () => {
      if (this.child.exitCode !== null) {
        // The exit can come before the last output: wait for the pipes to close.
        await Promise.race([closed, sleep(2000)]);
        throw new Error(`server command ended with ${this.child.exitCode}: ${this.output}` +
          `${this.logTexts()}`);
      }
      try {
        const response = await fetch(this.url, { signal: AbortSignal.timeout(1000) });
        await response.arrayBuffer();
        return response.ok;
      } catch {
        return false;
      }
    }, { timeout: 30000, interval: 100, what: `the server at ${this.url}` });
  }

  // The shell may end before the server it started has shut down; a start
  // meanwhile would find the program file and its shared memory in use.
  async lastRunEnded() {
    if (!this.child) return;
    const group = -this.child.pid;
    const groupAlive = () => { try { process.kill(group, 0); return true; } catch { return false; } };
    await waitFor(() => !groupAlive(), { timeout: 15000, what: 'the last run to end' }).catch(() => {});
  }

  // The logs the server left in its folder, for a start that failed.
  logTexts() {
    try {
      return readdirSync(this.values.dir).filter((name) => /\.log$/i.test(name))
        .map((name) => `\n--- ${name}:\n${readFileSync(path.join(this.values.dir, name), 'latin1')}`)
        .join('');
    } catch {
      return '';
    }
  }

  // The live status of the selected pointer, from the console's "status".
  async liveStatus() {
    const seen = this.lines.length;
    this.child.stdin.write('status\n');
    const pattern = /X: (\d+) \| Y: (\d+) \| ButtonL: ([01]) \| ButtonR: ([01]) \| Off-Screen: ([01])/;
    const match = await waitFor(() => this.lines.slice(seen).map((line) => pattern.exec(line)).find(Boolean),
      { timeout: 3000, what: 'a status line from the server console' });
    const [, x, y, buttonL, buttonR, offScreen] = match.map(Number);
    return { x, y, buttonL, buttonR, offScreen };
  }

  async stop() {
    if (!this.child || this.child.exitCode !== null || this.child.signalCode !== null) return;
    const group = -this.child.pid;
    try { process.kill(group, 'SIGTERM'); } catch { return; }
    const ended = await Promise.race([this.exited.then(() => true), sleep(5000).then(() => false)]);
    if (!ended) {
      try { process.kill(group, 'SIGKILL'); } catch { /* gone meanwhile */ }
      await this.exited;
    }
  }
}

function normalizeForwardedReport(record) {
  const lower = Object.fromEntries(Object.entries(record).map(([key, value]) => [key.toLowerCase(), value]));
  const flags = Number(lower.flags ?? 0);
  return {
    pointer: Number(lower.pointer),
    frame: Number(lower.frame),
    x: Number(lower.x),
    y: Number(lower.y),
    buttonL: Number(lower.buttonl ?? ((flags & 0x0100) ? 1 : 0)),
    buttonR: Number(lower.buttonr ?? ((flags & 0x0200) ? 1 : 0)),
    // The stand-in records the report's AckMode, the server its flags.
    onPad: lower.ackmode !== undefined ? Number(lower.ackmode > 1) : Number((flags & 0xC000) === 0xC000),
  };
}

// The consuming side of the server: puts commands for a pointer and sees the
// reports that the server forwarded.
export function openTap(server) {
  if (server.isStandin) return new StandinTap(server.url);
  if (!process.env.TVX_SEND_CMD) {
    throw new Error('TVX_SEND_CMD must name the command that sends a command to a pointer');
  }
  return new CommandTap(server.values);
}

class StandinTap {
  constructor(url) {
    this.url = url;
    this.canWatch = true;
  }

  async send(pointer, code) {
    const response = await fetch(new URL(`standin/send?pointer=${pointer}&code=${code}`, this.url));
    if (!response.ok) throw new Error(`stand-in refused the command: ${await response.text()}`);
  }

  async forwarded() {
    const response = await fetch(new URL('standin/reports', this.url));
    const reports = await response.json();
    // Like the server, forward fresh reports only.
    return reports.filter((report) => report.frame !== 0).map(normalizeForwardedReport);
  }

  close() {}
}

class CommandTap {
  constructor(values) {
    this.values = values;
    this.records = [];
    this.canWatch = Boolean(process.env.TVX_WATCH_CMD);
    if (this.canWatch) {
      this.watcher = spawn('sh', ['-c', fill(process.env.TVX_WATCH_CMD, values)], {
        cwd: values.dir, detached: true, stdio: ['ignore', 'pipe', 'inherit'],
      });
      let pending = '';
      this.watcher.stdout.on('data', (chunk) => {
        pending += chunk;
        const lines = pending.split('\n');
        pending = lines.pop();
        for (const line of lines) {
          if (line.trim()) this.records.push(normalizeForwardedReport(JSON.parse(line)));
        }
      });
    }
  }

  async send(pointer, code) {
    const command = fill(process.env.TVX_SEND_CMD, { ...this.values, pointer, code });
    await promisify(execFile)('sh', ['-c', command], { cwd: this.values.dir });
  }

  async forwarded() {
    return this.records.slice();
  }

  close() {
    if (this.watcher && this.watcher.exitCode === null) {
      try { process.kill(-this.watcher.pid, 'SIGTERM'); } catch { /* gone */ }
    }
  }
}

// Runs in the page (before its own script, or once it runs: the page looks
// fetch up at every send): records every report as the page
// sends it (each of a batch with the batch's size), the answer it got (the
// last of a batch), and every call of navigator.vibrate.
export function instrumentPage() {
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
    const paths = url.startsWith('/tolvex') ? [url]
      : url.startsWith('/batch/') ? url.slice(7).split('/').map((each) => `/tolvex${each}`) : [];
    const sentAt = performance.now();
    const entries = paths.map((path) => ({
      path, batch: paths.length > 1 ? paths.length : 0, sentAt, settledAt: null, answer: null, failed: false,
    }));
    const entry = entries.at(-1) || {};
    window.__reports.push(...entries);
    const settle = (failed) => entries.forEach((each) => Object.assign(each, { failed, settledAt: performance.now() }));
    // Reports only: the page's texts load beside them.
    const counted = paths.length > 0 ? 1 : 0;
    window.__inFlight += counted;
    window.__maxInFlight = Math.max(window.__maxInFlight, window.__inFlight);
    return realFetch(input, init).then(
      (response) => {
        window.__inFlight -= counted;
        response.clone().text().then((text) => {
          entry.answer = text;
          settle(false);
        }, () => settle(false));
        return response;
      },
      (error) => {
        window.__inFlight -= counted;
        settle(true);
        throw error;
      });
  };
}

// The reports a page with instrumentPage sent, from the index from on.
export async function reportsSent(target, from = 0) {
  const raw = await target.evaluate(() => window.__reports);
  return raw.slice(from).map((entry) => ({ ...decodeReportPath(entry.path.toLowerCase()), ...entry }));
}

// A phone with touch by default; { mobile: false } gives a desktop with a mouse.
// locale sets the phone's languages (navigator.languages, Accept-Language).
// The phone has skipped the page's name question unless asksName.
export async function launchPhone({ mobile = true, viewport, locale, asksName = false } = {}) {
  const profile = mkdtempSync(path.join(tmpdir(), 'tvx-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: true,
    // The fresh profile folder reaches chromium as its --user-data-dir.
    args: CHROMIUM_ARGS,
    viewport: viewport || (mobile ? { width: 390, height: 844 } : { width: 1280, height: 800 }),
    deviceScaleFactor: mobile ? 2 : 1,
    hasTouch: mobile,
    isMobile: mobile,
    locale,
  });
  if (!asksName) {
    await context.addInitScript(() => {
      if (window.localStorage.getItem('tvx.name') === null) window.localStorage.setItem('tvx.name', '');
    });
  }
  return {
    context,
    async close() {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

// Fingers by id: a press or move sends every finger now down; a lift ends
// just the finger lifted.
export function touchFingers(cdp) {
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

export function makeTempDir(prefix) {
  return mkdtempSync(path.join(tmpdir(), prefix));
}

// A fresh folder, the page built into it and the server under test started
// on it: { folder, server }.
export async function startServerIn(prefix, { port, pointer }) {
  const folder = makeTempDir(prefix);
  const server = new ServerUnderTest({ port: port ?? await freePort(), dir: folder, page: await buildPage(folder), pointer });
  await server.start();
  return { folder, server };
}

// Closes what a suite opened, the phones and TVXTap first, whichever of them
// it got to open.
export async function closeAll({ phone, tap, server, folder }) {
  if (phone) await phone.close();
  if (tap) tap.close();
  if (server) {
    await server.stop();
    await server.lastRunEnded();
  }
  if (folder) rmSync(folder, { recursive: true, force: true });
}

export function screenshotDir() {
  const dir = process.env.TVX_SCREENSHOT_DIR || path.join(repoDir, 'build', 'web');
  mkdirSync(dir, { recursive: true });
  return dir;
}

// A proxy in front of the server that holds every answer back for delayMs, as
// a slow link does. localAddress makes the server see its requests coming
// from another address, as from another phone.
export async function startSlowLink(targetUrl, { delayMs = 0, localAddress } = {}) {
  const target = new URL(targetUrl);
  const server = http.createServer((request, response) => {
    const forwarded = http.request({
      host: target.hostname, port: target.port, path: request.url, method: request.method,
      headers: request.headers, localAddress, agent: false,
    }, (answer) => {
      const chunks = [];
      answer.on('data', (chunk) => chunks.push(chunk));
      answer.on('end', () => setTimeout(() => {
        const headers = { ...answer.headers };
        delete headers.connection;
        response.writeHead(answer.statusCode, headers);
        response.end(Buffer.concat(chunks));
      }, delayMs));
    });
    forwarded.on('error', () => { response.destroy(); });
    request.pipe(forwarded);
  });
  server.keepAliveTimeout = 60000;
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    close: () => new Promise((resolve) => {
      server.closeAllConnections();
      server.close(() => resolve());
    }),
  };
}
