// A stand-in for TVXHandvane's HTTP side, for testing the phone page without
// the real server: it answers in HTTP/1.0 the way the server does, serves the
// page at "/", decodes "/tolvex" reports and runs the numbered command
// handshake per pointer. Two extra routes let a test look inside:
//   GET /standin/reports?from=N        recorded reports from index N, as JSON
//   GET /standin/send?pointer=P&code=C queue command C (hex) for pointer P
// "/batch/R1/.../Rn" carries up to 32 reports (each Ri the 23 characters
// after "/tolvex"), taken in order and answered as the last one is. And,
// like the server's console, the line "status" on stdin prints the
// live status of the selected pointer. With --key, a report without the
// cookie TVXKey=KEY is answered "403 Forbidden", as a class with an access
// key would. With --texts, "/texts?want=TAG,..." answers with the page's
// texts in the first language of the list the catalogue has, else English.
//
//   node standin-server.mjs --port PORT --page FILE [--texts FILE] [--selected N] [--host 127.0.0.1] [--key KEY]
import { createServer } from 'node:net';
import { readFileSync } from 'node:fs';
import { parseArgs } from 'node:util';
import { createInterface } from 'node:readline';

const POINTER_COUNT = 80;
const SILENCE_MS = 1000;
const REPORT_PATH_LENGTH = 30;
const BATCH_PATTERN = /^\/batch(\/[0-9a-f]{23}){1,32}$/;

// Same digit rule as the server: no checking, lower case expected.
function decodeHexField(text, offset, count) {
  let value = 0;
  for (let i = 0; i < count; i++) {
    const k = text.charCodeAt(offset + i);
    const digit = k <= 57 ? k - 48 : k <= 70 ? k - 55 : k - 87;
    value = (value * 16 + digit) | 0;
  }
  return value;
}

export function decodeReportPath(routingPath) {
  return {
    layout: decodeHexField(routingPath, 7, 1),
    screen: decodeHexField(routingPath, 8, 2),
    pointer: decodeHexField(routingPath, 10, 2),
    frame: decodeHexField(routingPath, 12, 4),
    x: decodeHexField(routingPath, 16, 4),
    y: decodeHexField(routingPath, 20, 4),
    buttonL: routingPath[24] === '0' ? 0 : 1,
    buttonR: routingPath[25] === '0' ? 0 : 1,
    ackMode: decodeHexField(routingPath, 26, 2),
    ackPacket: decodeHexField(routingPath, 28, 2),
  };
}

function hexByte(value) {
  return (value & 0xff).toString(16).toUpperCase().padStart(2, '0');
}

export class CommandHandshake {
  constructor(now = () => Date.now()) {
    this.now = now;
    this.pointers = Array.from({ length: POINTER_COUNT }, () => ({
      packetNumber: 0,
      currentCommand: 0,
      pendingAck: 0,
      lastReportAt: null,
      commandFifo: [],
    }));
  }

  queue(pointer, code) {
    this.pointers[pointer].commandFifo.push(code & 0xff);
  }

  // Returns the four-character answer to one decoded report.
  answer(report) {
    const state = this.pointers[report.pointer];
    if (!state) return '0000';
    if (report.ackPacket === state.pendingAck) state.pendingAck = 0;
    let text = hexByte(state.packetNumber) + hexByte(state.currentCommand);
    const now = this.now();
    if (state.lastReportAt !== null && now - state.lastReportAt > SILENCE_MS) state.pendingAck = 0;
    state.lastReportAt = now;
    // Frame 0 is never fresh: the server compares against a last frame of 0.
    if (report.frame === 0) return text;
    if (state.pendingAck !== 0) return text;
    const code = state.commandFifo.length ? state.commandFifo.shift() : 0;
    if (code !== 0) state.packetNumber = state.packetNumber >= 255 ? 0 : state.packetNumber + 1;
    state.currentCommand = code;
    state.pendingAck = state.packetNumber;
    text = hexByte(state.packetNumber) + hexByte(code);
    return text;
  }
}

function reply(status, body, contentType, keepAlive) {
  const header =
    `HTTP/1.0 ${status}\r\nDate: ${new Date().toUTCString()}\r\nServer: standin\r\n` +
    `Accept-Ranges: bytes\r\nContent-Length: ${Buffer.byteLength(body)}\r\n` +
    `Connection: ${keepAlive ? 'Keep-Alive' : 'close'}\r\nContent-Type: ${contentType}\r\n\r\n`;
  return Buffer.concat([Buffer.from(header, 'latin1'), Buffer.from(body)]);
}

function cookieValue(request, name) {
  const header = /\r\nCookie: *([^\r]*)/i.exec(request);
  if (!header) return null;
  const pair = header[1].split(';').map((part) => part.trim().split('=')).find(([key]) => key === name);
  return pair ? pair.slice(1).join('=') : null;
}

// The catalogue's sections by tag, each as the lines the page reads.
function textSections(catalogue) {
  const sections = new Map();
  let lines = null;
  for (const line of catalogue.split('\n').map((each) => each.trim())) {
    const header = /^\[(.+)\]$/.exec(line);
    if (header) sections.set(header[1].toLowerCase(), lines = [`lang=${header[1]}`]);
    else if (lines && line && !/^[;#]/.test(line)) lines.push(line);
  }
  return sections;
}

function textsFor(sections, wanted) {
  for (const tag of wanted.toLowerCase().split(',')) {
    for (let form = tag.trim(); form; form = form.includes('-') ? form.slice(0, form.lastIndexOf('-')) : '') {
      if (sections.has(form)) return sections.get(form);
    }
  }
  return sections.get('en');
}

export function startStandin({ port, host = '127.0.0.1', page, texts = '', selected = 0, key = null }) {
  const sections = textSections(texts);
  const handshake = new CommandHandshake();
  const reports = [];
  const live = { x: 0, y: 0, buttonL: 0, buttonR: 0, offScreen: 1 };

  // One report, alone (batch 0) or one of a batch of that many.
  function take(routingPath, batch) {
    const report = decodeReportPath(routingPath);
    const response = handshake.answer(report);
    if (report.pointer === selected) {
      Object.assign(live, {
        x: report.x, y: report.y, buttonL: report.buttonL, buttonR: report.buttonR,
        offScreen: report.ackMode <= 1 ? 1 : 0,
      });
    }
    reports.push({ ...report, path: routingPath, batch, response, at: Date.now() });
    return response;
  }

  function route(requestPath, request) {
    const routingPath = requestPath.toLowerCase();
    if (routingPath === '/' || routingPath === '/index.htm' || routingPath === '/index.html') {
      return ['200 OK', page, 'text/html'];
    }
    const isBatch = routingPath === '/batch' || routingPath.startsWith('/batch/');
    if (routingPath.startsWith('/tolvex') || isBatch) {
      if (key !== null && cookieValue(request, 'TVXKey') !== key) return ['403 Forbidden', '', 'text/html'];
      if (isBatch && !BATCH_PATTERN.test(routingPath)) return ['400 Bad Request', '', 'text/html'];
      if (!isBatch && routingPath.length < REPORT_PATH_LENGTH) return ['200 OK', '0000', 'text/html'];
      const paths = isBatch ? routingPath.slice(7).split('/').map((each) => `/tolvex${each}`) : [routingPath];
      return ['200 OK', paths.map((path) => take(path, isBatch ? paths.length : 0)).at(-1), 'text/html'];
    }
    const url = new URL(requestPath, 'http://standin');
    if (url.pathname === '/texts' && sections.size) {
      return ['200 OK', `${textsFor(sections, url.searchParams.get('want') || '').join('\n')}\n`,
        'text/plain; charset=utf-8'];
    }
    if (url.pathname === '/standin/reports') {
      const from = Number(url.searchParams.get('from') || 0);
      return ['200 OK', JSON.stringify(reports.slice(from)), 'application/json'];
    }
    if (url.pathname === '/standin/send') {
      const pointer = Number(url.searchParams.get('pointer'));
      const code = parseInt(url.searchParams.get('code'), 16);
      if (!(pointer >= 0 && pointer < POINTER_COUNT) || !(code >= 0 && code <= 255)) {
        return ['400 Bad Request', 'bad pointer or code', 'text/plain'];
      }
      handshake.queue(pointer, code);
      return ['200 OK', 'queued', 'text/plain'];
    }
    return ['404 Resource not found', '', 'text/html'];
  }

  const server = createServer((socket) => {
    let received = '';
    let keepAlive = false;
    socket.setNoDelay(true);
    socket.on('error', () => socket.destroy());
    socket.on('data', (chunk) => {
      received += chunk.toString('latin1');
      let end;
      while ((end = received.indexOf('\r\n\r\n')) !== -1) {
        const request = received.slice(0, end + 4);
        received = received.slice(end + 4);
        const [method, requestPath] = request.split('\r\n')[0].split(' ');
        if (request.includes('\nConnection: Keep-Alive')) keepAlive = true;
        const [status, body, type] =
          method === 'GET' && requestPath ? route(requestPath, request) : ['501 Not Implemented', '', 'text/html'];
        const open = keepAlive && !status.startsWith('404');
        socket.write(reply(status, body, type, open));
        if (!open) {
          socket.end();
          return;
        }
      }
    });
  });
  server.listen(port, host);
  const statusLine = () =>
    `Status: Running | X: ${live.x} | Y: ${live.y} | ButtonL: ${live.buttonL} | ` +
    `ButtonR: ${live.buttonR} | Off-Screen: ${live.offScreen} | ` +
    `Pointer: ${String(selected).padStart(2, '0')} | Cursor: off`;
  return { server, reports, handshake, statusLine };
}

function main() {
  const { values } = parseArgs({
    options: {
      port: { type: 'string', default: '8080' },
      host: { type: 'string', default: '127.0.0.1' },
      page: { type: 'string' },
      texts: { type: 'string' },
      selected: { type: 'string', default: '0' },
      key: { type: 'string' },
    },
  });
  if (!values.page) {
    console.error('usage: standin-server.mjs --port PORT --page FILE');
    process.exit(2);
  }
  const { server, statusLine } = startStandin({
    port: Number(values.port),
    host: values.host,
    page: readFileSync(values.page),
    texts: values.texts ? readFileSync(values.texts, 'utf8') : '',
    selected: Number(values.selected),
    key: values.key ?? null,
  });
  createInterface({ input: process.stdin }).on('line', (line) => {
    if (line.trim().toLowerCase() === 'status') console.log(statusLine());
  });
  server.on('listening', () => {
    console.log(`standin listening on http://${values.host}:${server.address().port}/`);
  });
  server.on('error', (error) => {
    console.error(`standin: ${error.message}`);
    process.exit(1);
  });
  process.on('SIGTERM', () => process.exit(0));
}

if (import.meta.url === `file://${process.argv[1]}`) main();
