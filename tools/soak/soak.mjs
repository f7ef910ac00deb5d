// Long run of the real TVXHandvane under mixed load (see run-soak.sh).
//
//   node soak.mjs BIN_DIR SECONDS WORK_DIR
//
// Keeps up, all at once: reports over a keep-alive connection and over a
// connection each, page and file downloads, a few idle half-sent requests,
// clients that vanish mid-reply, and every minute a stop, re-read and start
// through the console. TVXTap drains the report FIFO. Every 10 s the server's
// RSS, threads and open descriptors go to WORK_DIR/soak.csv. Fails when those
// grew beyond a small bound after warm-up, when a request went unanswered
// while the server ran, or when a report that was answered never reached the
// consumer.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';

const [binDir, secondsText, work] = process.argv.slice(2);
const durationMs = Number(secondsText) * 1000;
const sampleMs = 10_000;
const restartEveryMs = 60_000;
const replyTimeoutMs = 10_000;
// Growth allowed between the samples just after warm-up and the last ones.
const bounds = { rssKb: 10 * 1024, threads: 6, fds: 12 };
const bigFile = Buffer.alloc(512 * 1024, 'b');

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

function prepareFolder(port) {
  for (const name of ['TVXHandvane', 'TVXHandvane.TXT', 'TVXTap']) {
    fs.copyFileSync(path.join(binDir, name), path.join(work, name));
  }
  fs.chmodSync(path.join(work, 'TVXHandvane'), 0o755);
  fs.chmodSync(path.join(work, 'TVXTap'), 0o755);
  fs.mkdirSync(path.join(work, 'www'), { recursive: true });
  fs.writeFileSync(path.join(work, 'www', 'small.txt'), 'small file\n');
  fs.writeFileSync(path.join(work, 'www', 'big.bin'), bigFile);
  fs.writeFileSync(
    path.join(work, 'TVXHandvane.INI'),
    `[General]\nLog=TRUE\nLogLevel=1\n[Paths]\nPathToWorkingDir=${path.join(work, 'www')}\n` +
      `PathToIniFolder=${work}\n[Control]\nPort=${port}\nSelectedPointer=1\n`,
  );
}

// Reads HTTP/1.0 replies off one socket: header up to the blank line, then
// Content-Length bytes of body.
class ReplyReader {
  constructor(socket) {
    this.buffer = Buffer.alloc(0);
    this.waiter = null;
    this.closed = false;
    socket.on('data', (chunk) => {
      this.buffer = Buffer.concat([this.buffer, chunk]);
      this.wake();
    });
    socket.on('close', () => {
      this.closed = true;
      this.wake();
    });
    socket.on('error', () => {});
  }

  wake() {
    const waiter = this.waiter;
    this.waiter = null;
    if (waiter) waiter();
  }

  async reply(deadline) {
    for (;;) {
      const headEnd = this.buffer.indexOf('\r\n\r\n');
      if (headEnd >= 0) {
        const head = this.buffer.subarray(0, headEnd).toString('latin1');
        const length = Number(/\r\nContent-Length: (\d+)/.exec(head)?.[1] ?? NaN);
        if (Number.isNaN(length)) throw new Error('reply without Content-Length');
        const end = headEnd + 4 + length;
        if (this.buffer.length >= end) {
          const body = this.buffer.subarray(headEnd + 4, end);
          this.buffer = this.buffer.subarray(end);
          return { status: head.split('\r\n')[0], body };
        }
      }
      if (this.closed) throw new Error('connection closed before the whole reply');
      const left = deadline - Date.now();
      if (left <= 0) throw new Error('no reply in time');
      await new Promise((resolve) => {
        this.waiter = resolve;
        setTimeout(resolve, left);
      });
    }
  }
}

function connect(port) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(port, '127.0.0.1');
    socket.once('connect', () => resolve(socket));
    socket.once('error', reject);
  });
}

const state = {
  port: 0,
  paused: false, // the server is being stopped and started: no new requests
  inFlight: 0,
  restarts: 0,
  ended: false,
  answered: 0,
  unanswered: [],
  reportsAnswered: new Map(), // "pointer:frame" -> count
};

function countReport(pointer, frame) {
  const key = `${pointer}:${frame}`;
  state.reportsAnswered.set(key, (state.reportsAnswered.get(key) ?? 0) + 1);
}

function reportPath(pointer, frame) {
  const hex = (value, width) => value.toString(16).toUpperCase().padStart(width, '0');
  return `/tolvex0${hex(1, 2)}${hex(pointer, 2)}${hex(frame, 4)}${hex((frame * 7) & 0xffff, 4)}` +
    `${hex((frame * 13) & 0xffff, 4)}${frame & 1}0${hex(0, 2)}${hex(0, 2)}`;
}

function request(pathText, keepAlive) {
  return `GET ${pathText} HTTP/1.0\r\nHost: soak\r\n${keepAlive ? 'Connection: Keep-Alive\r\n' : ''}\r\n`;
}

// Runs one exchange unless the server is being restarted; a failure while the
// server ran counts as an unanswered request.
async function exchange(what, body) {
  if (state.paused || state.ended) return false;
  state.inFlight++;
  try {
    await body();
    state.answered++;
    return true;
  } catch (error) {
    if (!state.paused) state.unanswered.push(`${what}: ${error.message}`);
    return false;
  } finally {
    state.inFlight--;
  }
}

function nextFrame(frame) {
  return frame >= 0xffff ? 1 : frame + 1; // frame 0 would be stale
}

async function keepAliveReports() {
  let socket = null;
  let reader = null;
  let frame = 0;
  while (!state.ended) {
    if (state.paused) {
      socket?.destroy();
      socket = null;
      await sleep(100);
      continue;
    }
    if (socket === null || reader.closed) {
      try {
        socket = await connect(state.port);
        reader = new ReplyReader(socket);
      } catch {
        socket = null;
        await sleep(100);
        continue;
      }
    }
    const sent = nextFrame(frame);
    const ok = await exchange('keep-alive report', async () => {
      socket.write(request(reportPath(1, sent), true));
      const reply = await reader.reply(Date.now() + replyTimeoutMs);
      if (!reply.status.endsWith('200 OK') || reply.body.length !== 4) throw new Error(reply.status);
    });
    if (ok) countReport(1, sent);
    else {
      socket?.destroy();
      socket = null;
    }
    frame = sent;
    await sleep(20);
  }
  socket?.destroy();
}

async function oneShot(pathText, check) {
  const socket = await connect(state.port);
  try {
    const reader = new ReplyReader(socket);
    socket.write(request(pathText, false));
    check(await reader.reply(Date.now() + replyTimeoutMs));
  } finally {
    socket.destroy();
  }
}

async function connectionPerReport() {
  let frame = 0;
  while (!state.ended) {
    const sent = nextFrame(frame);
    const ok = await exchange('report', () =>
      oneShot(reportPath(2, sent), (reply) => {
        if (reply.body.length !== 4) throw new Error(reply.status);
      }),
    );
    if (ok) countReport(2, sent);
    frame = sent;
    await sleep(100);
  }
}

async function downloads() {
  const wanted = [
    ['/', null],
    ['/small.txt', Buffer.from('small file\n')],
    ['/big.bin', bigFile],
    ['/favicon.ico', null],
    ['/missing.txt', null],
  ];
  for (let i = 0; !state.ended; i++) {
    const [pathText, body] = wanted[i % wanted.length];
    await exchange(`download ${pathText}`, () =>
      oneShot(pathText, (reply) => {
        if (body !== null && !reply.body.equals(body)) throw new Error('body differs');
      }),
    );
    await sleep(300);
  }
}

// Requests that never end: the server must keep serving everyone else.
async function idleHalfSent() {
  while (!state.ended) {
    const sockets = [];
    for (let i = 0; i < 3 && !state.paused; i++) {
      try {
        const socket = await connect(state.port);
        socket.on('error', () => {});
        socket.write('GET /small.t');
        sockets.push(socket);
      } catch {}
    }
    await sleep(30_000);
    for (const socket of sockets) socket.destroy();
  }
}

// Clients that ask for the big file and vanish after the first bytes.
async function vanishingClients() {
  while (!state.ended) {
    if (!state.paused) {
      try {
        const socket = await connect(state.port);
        socket.on('error', () => {});
        socket.write(request('/big.bin', false));
        await new Promise((resolve) => {
          socket.once('data', resolve);
          setTimeout(resolve, 2000);
        });
        socket.resetAndDestroy();
      } catch {}
    }
    await sleep(2000);
  }
}

async function waitForPort(timeoutMs) {
  const deadline = Date.now() + timeoutMs;
  while (Date.now() < deadline) {
    try {
      (await connect(state.port)).destroy();
      return true;
    } catch {
      await sleep(100);
    }
  }
  return false;
}

async function restarts(server) {
  while (!state.ended) {
    await sleep(restartEveryMs);
    if (state.ended) break;
    state.paused = true;
    while (state.inFlight > 0) await sleep(20);
    server.stdin.write('stop\n');
    await sleep(1000);
    server.stdin.write('reread\n');
    server.stdin.write('start\n');
    if (!(await waitForPort(30_000))) state.unanswered.push('server did not start again');
    state.restarts++;
    state.paused = false;
  }
}

function sample(pid) {
  const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
  const field = (name) => Number(new RegExp(`^${name}:\\s+(\\d+)`, 'm').exec(status)[1]);
  return {
    rssKb: field('VmRSS'),
    threads: field('Threads'),
    fds: fs.readdirSync(`/proc/${pid}/fd`).length,
  };
}

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

async function main() {
  state.port = await freePort();
  prepareFolder(state.port);
  const server = spawn(path.join(work, 'TVXHandvane'), ['--console'], {
    cwd: work,
    env: { ...process.env, XDG_CONFIG_HOME: path.join(work, 'config') },
    stdio: ['pipe', 'ignore', 'inherit'],
  });
  server.on('exit', (code) => {
    if (!state.ended) state.unanswered.push(`server ended early with ${code}`);
  });
  if (!(await waitForPort(30_000))) throw new Error('server did not start');
  const rendezvous = path.join(work, 'TVXHDVMemory.INI');
  while (!fs.existsSync(rendezvous)) await sleep(100);

  const tap = spawn(path.join(work, 'TVXTap'), ['--folder', work, 'watch'], {
    stdio: ['ignore', 'pipe', 'inherit'],
  });
  const consumed = new Map();
  let tapRest = '';
  tap.stdout.on('data', (chunk) => {
    const lines = (tapRest + chunk.toString('latin1')).split('\n');
    tapRest = lines.pop();
    for (const line of lines) {
      const match = /^pointer=(\d+) frame=(\d+)/.exec(line);
      if (match) consumed.set(`${match[1]}:${match[2]}`, (consumed.get(`${match[1]}:${match[2]}`) ?? 0) + 1);
    }
  });

  const csvPath = path.join(work, 'soak.csv');
  fs.writeFileSync(csvPath, 'seconds,rss_kb,threads,fds,answered,unanswered\n');
  const samples = [];
  const started = Date.now();
  const load = [
    keepAliveReports(),
    connectionPerReport(),
    downloads(),
    idleHalfSent(),
    vanishingClients(),
    restarts(server),
  ];
  while (Date.now() - started < durationMs) {
    await sleep(sampleMs);
    const seconds = Math.round((Date.now() - started) / 1000);
    const figures = { seconds, ...sample(server.pid) };
    samples.push(figures);
    const row = [seconds, figures.rssKb, figures.threads, figures.fds, state.answered, state.unanswered.length];
    fs.appendFileSync(csvPath, `${row.join(',')}\n`);
    console.log(`soak: ${row.join(',')}`);
  }
  state.ended = true;
  await Promise.race([Promise.all(load), sleep(35_000)]);
  await sleep(2000); // the consumer drains what is left
  server.stdin.write('exit\n');
  tap.kill('SIGINT');
  await Promise.race([new Promise((resolve) => server.once('exit', resolve)), sleep(20_000)]);
  if (server.exitCode === null) server.kill('SIGKILL');

  let lost = 0;
  for (const [key, count] of state.reportsAnswered) lost += Math.max(0, count - (consumed.get(key) ?? 0));

  // Warm-up: the first minute, or the first fifth of a short run.
  const warmUp = Math.min(60, durationMs / 5000);
  const settled = samples.filter((s) => s.seconds > warmUp);
  const failures = [];
  if (settled.length >= 2) {
    const first = settled.slice(0, 3);
    const last = settled.slice(-3);
    for (const [name, bound] of Object.entries(bounds)) {
      const start = median(first.map((s) => s[name]));
      const end = median(last.map((s) => s[name]));
      console.log(`soak: ${name} after warm-up ${start}, at the end ${end} (bound +${bound})`);
      if (end - start > bound) failures.push(`${name} grew from ${start} to ${end}`);
    }
  } else {
    failures.push('too short for a figure after warm-up');
  }
  const reports = [...state.reportsAnswered.values()].reduce((a, b) => a + b, 0);
  console.log(`soak: ${state.restarts} stops and starts; ` +
    `${state.answered} requests answered, ${state.unanswered.length} unanswered; ` +
    `${reports} reports answered, ${lost} of them never reached the consumer`);
  for (const text of state.unanswered.slice(0, 20)) console.log(`soak: unanswered: ${text}`);
  if (state.unanswered.length > 0) failures.push(`${state.unanswered.length} requests unanswered`);
  if (lost > 0) failures.push(`${lost} reports lost`);
  if (failures.length > 0) {
    console.log(`soak: FAILED: ${failures.join('; ')}`);
    process.exit(1);
  }
  console.log('soak: passed');
  process.exit(0);
}

main().catch((error) => {
  console.error(`soak: ${error.stack}`);
  process.exit(1);
});
