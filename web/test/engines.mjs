// One phone in Firefox or WebKit: open it at a size, run a script in it,
// read its boxes, point and click with a mouse on it.
//
//   firefox   firefox-esr over WebDriver BiDi (puppeteer-core); a mouse, as
//             headless Firefox refuses synthesized touches
//   webkit    WebKitGTK over W3C WebDriver (WebKitWebDriver) under a private
//             Xvfb; a mouse, as WebKitGTK turns "touch" actions into mouse
//             pointer events anyway
//
// Every phone offers: open(url), evaluate(fn, arg) (fn runs in the page and
// may return a promise), box(selector), close(), and the mouse: down(point),
// move(point), up(), in CSS pixels of the viewport.
import { spawn } from 'node:child_process';
import { createInterface } from 'node:readline';
import puppeteer from 'puppeteer-core';
import { freePort, waitFor } from './harness.mjs';

export const ENGINES = ['firefox', 'webkit'];
export const PHONE_SIZE = { width: 390, height: 844 };

export async function openPhone(engine) {
  if (engine === 'firefox') return openFirefox();
  if (engine === 'webkit') return openWebKit();
  throw new Error(`no such engine: ${engine}`);
}

async function boxOf(phone, selector) {
  return phone.evaluate((selector) => {
    const rect = document.querySelector(selector).getBoundingClientRect();
    return { x: rect.x, y: rect.y, width: rect.width, height: rect.height };
  }, selector);
}

async function openFirefox() {
  const browser = await puppeteer.launch({
    browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: true,
    defaultViewport: PHONE_SIZE,
  });
  const page = (await browser.pages())[0] || await browser.newPage();
  const phone = {
    open: (url) => page.goto(url),
    evaluate: (fn, arg) => page.evaluate(fn, arg),
    box: (selector) => boxOf(phone, selector),
    close: () => browser.close(),
    async down(point) { await page.mouse.move(point.x, point.y); await page.mouse.down(); },
    move: (point) => page.mouse.move(point.x, point.y),
    up: () => page.mouse.up(),
  };
  return phone;
}

// A private X server; its display number comes back once it takes clients.
async function startXvfb() {
  const child = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
    { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
  const number = await new Promise((resolve, reject) => {
    createInterface({ input: child.stdio[3] }).once('line', resolve);
    child.once('exit', () => reject(new Error('Xvfb did not start')));
  });
  return { display: `:${number.trim()}`, stop: () => child.kill() };
}

async function openWebKit() {
  const xvfb = await startXvfb();
  const port = await freePort();
  const driver = spawn('WebKitWebDriver', [`--port=${port}`], {
    env: { ...process.env, DISPLAY: xvfb.display }, stdio: 'ignore',
  });
  const base = `http://127.0.0.1:${port}`;
  const call = async (method, route, body) => {
    const response = await fetch(base + route, {
      method, headers: { 'content-type': 'application/json' }, body: body && JSON.stringify(body),
    });
    const { value } = await response.json();
    if (!response.ok) throw new Error(`WebDriver ${route}: ${value.error}: ${value.message}`);
    return value;
  };
  const stop = async () => {
    driver.kill();
    xvfb.stop();
  };
  try {
    await waitFor(() => fetch(`${base}/status`).then(() => true, () => false),
      { what: 'WebKitWebDriver to listen' });
    const { sessionId } = await call('POST', '/session', {
      capabilities: { alwaysMatch: { 'webkitgtk:browserOptions': { args: ['--automation'] } } },
    });
    const session = `/session/${sessionId}`;
    // WebKitGTK's window is 447 px wide at least; the page takes what it gets.
    await call('POST', `${session}/window/rect`, PHONE_SIZE);
    const act = (actions) => call('POST', `${session}/actions`, {
      actions: [{ type: 'pointer', id: 'mouse', parameters: { pointerType: 'mouse' }, actions }],
    });
    const at = (point) => ({ type: 'pointerMove', origin: 'viewport', x: Math.round(point.x), y: Math.round(point.y) });
    const phone = {
      open: (url) => call('POST', `${session}/url`, { url }),
      async evaluate(fn, arg) {
        const result = await call('POST', `${session}/execute/async`, {
          script: `const done = arguments[1];
            Promise.resolve((${fn})(arguments[0])).then(done, (error) => done({ pageError: String(error) }));`,
          args: [arg === undefined ? null : arg],
        });
        if (result && result.pageError) throw new Error(result.pageError);
        return result;
      },
      box: (selector) => boxOf(phone, selector),
      async close() {
        await call('DELETE', session).catch(() => {});
        await stop();
      },
      down: (point) => act([at(point), { type: 'pointerDown', button: 0 }]),
      move: (point) => act([at(point)]),
      up: () => act([{ type: 'pointerUp', button: 0 }]),
    };
    return phone;
  } catch (error) {
    await stop();
    throw error;
  }
}
