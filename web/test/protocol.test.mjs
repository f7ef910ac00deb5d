import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const P = require('../protocol.js');

function report(fields) {
  return {
    pointer: 0, frame: 1, x: 0, y: 0, buttonL: false, buttonR: false,
    ackMode: P.ACK_MODE_LIFTED, ackPacket: 0, ...fields,
  };
}

test('report path encoding', async (t) => {
  await t.test('fields in order, fixed width, no separators', () => {
    const path = P.encodeReportPath(report({
      pointer: 3, frame: 16, x: 32768, y: 32768, buttonL: true,
      ackMode: P.ACK_MODE_ON_PAD, ackPacket: 1,
    }));
    // layout 1, screen 00, pointer 03, frame 0010, x 8000, y 8000, L 1, R 0, mode 02, packet 01
    assert.equal(path, '/tolvex10003001080008000100201');
    assert.equal(path.length, 30);
  });

  await t.test('extremes are padded and upper case', () => {
    const path = P.encodeReportPath(report({
      pointer: 79, frame: 65535, x: 0, y: 65535, buttonR: true, ackPacket: 255,
    }));
    assert.equal(path, '/tolvex1004FFFFF0000FFFF0101FF');
  });

  await t.test('values the server cannot take are refused', () => {
    assert.throws(() => P.encodeReportPath(report({ pointer: 80 })), RangeError);
    assert.throws(() => P.encodeReportPath(report({ pointer: -1 })), RangeError);
    assert.throws(() => P.encodeReportPath(report({ frame: 0 })), RangeError);
    assert.throws(() => P.encodeReportPath(report({ x: 65536 })), RangeError);
    assert.throws(() => P.encodeReportPath(report({ y: 1.5 })), RangeError);
    assert.throws(() => P.encodeReportPath(report({ ackPacket: 256 })), RangeError);
  });
});

test('answer parsing', () => {
  assert.deepEqual(P.parseResponseText('01A0'), { packet: 1, code: 0xa0 });
  assert.deepEqual(P.parseResponseText('ff0a'), { packet: 255, code: 0x0a });
  assert.deepEqual(P.parseResponseText('0000'), { packet: 0, code: 0 });
  for (const bad of ['', '01A', '01A00', '01A0\n', 'zzzz', '<html></html>', null, undefined]) {
    assert.equal(P.parseResponseText(bad), null, `accepted ${JSON.stringify(bad)}`);
  }
});

test('command handshake', async (t) => {
  const answers = (tracker, texts) =>
    texts.map((text) => tracker.accept(P.parseResponseText(text)));

  await t.test('a packet runs once however often it is repeated', () => {
    const tracker = new P.CommandTracker();
    const run = answers(tracker, ['0000', '01A0', '01A0', '0100', '0100', '02A4', '0200']);
    assert.deepEqual(run.map((c) => c && c.code), [null, 0xa0, null, null, null, 0xa4, null]);
    assert.equal(run[1].packet, 1);
    assert.equal(tracker.ackPacket, 2);
  });

  await t.test('a new packet without a command is echoed but runs nothing', () => {
    const tracker = new P.CommandTracker();
    assert.equal(tracker.accept({ packet: 7, code: 0 }), null);
    assert.equal(tracker.ackPacket, 7);
  });

  await t.test('packet numbers wrap from 255 to 0 and still run', () => {
    const tracker = new P.CommandTracker();
    tracker.accept({ packet: 255, code: 0xa1 });
    const wrapped = tracker.accept({ packet: 0, code: 0xa3 });
    assert.equal(wrapped.code, 0xa3);
    assert.equal(tracker.ackPacket, 0);
  });

  await t.test('a code the page does not know is echoed, neither named nor shown', () => {
    const tracker = new P.CommandTracker();
    for (const code of [0x7f, 0xb3, 0xc8, 0xda]) {
      const command = tracker.accept({ packet: code, code });
      assert.deepEqual([command.name, command.pattern, command.show], [null, null, null]);
      assert.equal(tracker.ackPacket, code);
    }
  });

  await t.test('show codes: a tick, a cross, 8 team colours, digits, clear', () => {
    const shown = (code) => { const s = P.describeCommand(code).show; return [s.text, s.color]; };
    assert.deepEqual(shown(0xb1), ['\u2713', '#2e7d32']);
    assert.deepEqual(shown(0xb2), ['\u2717', '#c62828']);
    assert.deepEqual(shown(0xb0), ['', null]);
    assert.deepEqual(shown(0xd0), ['0', null]);
    assert.deepEqual(shown(0xd9), ['9', null]);
    const colours = [0, 1, 2, 3, 4, 5, 6, 7].map((n) => shown(0xc0 + n));
    assert.equal(new Set(colours.map(([, colour]) => colour)).size, 8);
    assert.ok(colours.every(([text]) => text === ''));
    assert.equal(P.describeCommand(0xc3).name, 'Team green');
    assert.equal(P.describeCommand(0xa0).show, null);
  });

  await t.test('a new pointer starts from packet 0 again', () => {
    const tracker = new P.CommandTracker();
    tracker.accept({ packet: 4, code: 0xa0 });
    tracker.reset();
    assert.equal(tracker.ackPacket, 0);
    assert.equal(tracker.accept({ packet: 4, code: 0xa0 }).code, 0xa0);
  });
});

test('vibration patterns: three lengths, single or double', () => {
  const patterns = [0xa0, 0xa1, 0xa2, 0xa3, 0xa4, 0xa5].map((code) => P.describeCommand(code).pattern);
  const [shortSingle, normalSingle, longSingle, shortDouble, normalDouble, longDouble] = patterns;
  for (const single of [shortSingle, normalSingle, longSingle]) assert.equal(single.length, 1);
  for (const double of [shortDouble, normalDouble, longDouble]) assert.equal(double.length, 3);
  assert.ok(shortSingle[0] < normalSingle[0] && normalSingle[0] < longSingle[0]);
  assert.deepEqual([shortDouble[0], normalDouble[0], longDouble[0]],
    [shortSingle[0], normalSingle[0], longSingle[0]]);
  assert.equal(shortDouble[0], shortDouble[2]);
  // Callers get copies: changing one must not change the next command.
  P.describeCommand(0xa0).pattern[0] = 1;
  assert.equal(P.describeCommand(0xa0).pattern[0], shortSingle[0]);
});

test('frame counter', async (t) => {
  await t.test('counts from 1 and wraps to 1, never 0', () => {
    const frames = new P.FrameCounter();
    assert.equal(frames.next(), 1);
    const nearEnd = new P.FrameCounter(65534);
    assert.deepEqual([nearEnd.next(), nearEnd.next(), nearEnd.next()], [65535, 1, 2]);
  });

  await t.test('resumes after a stored frame, ignores nonsense', () => {
    assert.equal(new P.FrameCounter(41).next(), 42);
    for (const stored of [0, -5, 65536, NaN, 3.5, undefined]) {
      assert.equal(new P.FrameCounter(stored).next(), 1, `stored ${stored}`);
    }
  });
});

test('pad position scales to 0..65535 and clamps', () => {
  assert.equal(P.scaleToCoordinate(0, 400), 0);
  assert.equal(P.scaleToCoordinate(200, 400), 32768);
  assert.equal(P.scaleToCoordinate(400, 400), 65535);
  assert.equal(P.scaleToCoordinate(-30, 400), 0);
  assert.equal(P.scaleToCoordinate(900, 400), 65535);
  assert.equal(P.scaleToCoordinate(10, 0), 0);
});

// A page's clock, animation frames and timers, run by hand.
function pacedPage() {
  const page = { time: 0, frames: [], timers: [], sent: [] };
  let nextHandle = 1;
  page.pacer = new P.ReportPacer({
    now: () => page.time,
    requestFrame: (callback) => page.frames.push(callback),
    setTimer: (callback, ms) => {
      const timer = { handle: nextHandle++, at: page.time + ms, callback };
      page.timers.push(timer);
      return timer.handle;
    },
    clearTimer: (handle) => { page.timers = page.timers.filter((t) => t.handle !== handle); },
    send: () => page.sent.push({ at: page.time, state: page.state }),
  });
  page.frame = () => {
    const due = page.frames;
    page.frames = [];
    due.forEach((callback) => callback());
  };
  // Moves the clock on, firing the timers that fall due on the way.
  page.advance = (ms) => {
    const end = page.time + ms;
    for (;;) {
      const next = page.timers.filter((t) => t.at <= end).sort((a, b) => a.at - b.at)[0];
      if (!next) break;
      page.timers = page.timers.filter((t) => t !== next);
      page.time = next.at;
      next.callback();
    }
    page.time = end;
  };
  return page;
}

test('report pacing', async (t) => {
  await t.test('while moving: one report per frame after each answer, with the newest state', () => {
    const page = pacedPage();
    page.pacer.start();
    assert.equal(page.sent.length, 1, 'the first report leaves at once');
    page.state = 'a';
    page.pacer.changed();
    page.frame();
    assert.equal(page.sent.length, 1, 'a second report while the first is in flight');
    page.advance(5);
    page.state = 'b';
    page.pacer.changed();
    page.pacer.answered();
    assert.equal(page.sent.length, 1, 'the answer alone does not send: the frame has not come');
    page.state = 'c';
    page.pacer.changed();
    page.frame();
    assert.deepEqual(page.sent[1], { at: 5, state: 'c' });
    page.frame();
    page.pacer.changed();
    page.frame();
    assert.equal(page.sent.length, 2, 'one request in flight at most');
    page.advance(3);
    page.pacer.answered();
    page.frame();
    assert.equal(page.sent.length, 3, 'the change while in flight goes at the frame after the answer');
    // A finger that moves in the frame's own callbacks, before ours.
    page.advance(3);
    page.pacer.answered();
    page.frames.unshift(() => { page.state = 'd'; page.pacer.changed(); });
    page.frame();
    assert.deepEqual(page.sent[3], { at: 11, state: 'd' });
  });

  await t.test('idle: five a second, with or without animation frames', () => {
    const page = pacedPage();
    page.pacer.start();
    for (let i = 0; i < 10; i++) {
      page.advance(10);
      page.pacer.answered();
      page.frame();
      page.advance(190);
    }
    assert.equal(page.sent.length, 11);
    assert.ok(page.sent.slice(1).every((s, i) => s.at - page.sent[i].at === P.IDLE_INTERVAL_MS));
    // A hidden page gets no frames; a change still goes with the idle timer.
    page.advance(10);
    page.pacer.answered();
    page.pacer.changed();
    page.advance(P.IDLE_INTERVAL_MS);
    assert.equal(page.sent.length, 12);
    // A slow answer: the next report goes as soon as it is in.
    page.advance(500);
    page.pacer.answered();
    assert.equal(page.sent.length, 13);
  });

  await t.test('failures: retries wait up to 2 s, count down, and a touch retries at once', () => {
    const page = pacedPage();
    page.pacer.start();
    const waits = [];
    for (let i = 0; i < 6; i++) {
      const before = page.sent.length;
      const delay = page.pacer.failed();
      page.pacer.changed();
      page.frame();
      page.advance(delay - 1);
      assert.equal(page.sent.length, before, 'neither a change nor a frame retries sooner');
      page.advance(1);
      assert.equal(page.sent.length, before + 1);
      waits.push(delay);
    }
    assert.deepEqual(waits, [250, 500, 1000, 2000, 2000, 2000]);

    page.pacer.failed();
    assert.equal(P.retryCountdownText(page.pacer.retryIn()), 'retry in 2 s');
    page.advance(1200);
    assert.equal(P.retryCountdownText(page.pacer.retryIn()), 'retry in 1 s');
    page.pacer.touched();
    assert.equal(page.sent.length, 8, 'a touch tries again at once');
    assert.equal(P.retryCountdownText(page.pacer.retryIn()), 'retrying now');

    page.pacer.answered();
    assert.equal(page.pacer.retryIn(), 0);
    assert.equal(page.pacer.failed(), 250, 'back-off starts over after an answer');
  });

  await t.test('stopped, nothing leaves: not on a change, a touch, a frame or a timer', () => {
    const page = pacedPage();
    page.pacer.start();
    page.pacer.stop();
    page.pacer.answered();
    page.pacer.touched();
    page.frame();
    page.advance(5000);
    assert.equal(page.sent.length, 1);
    page.pacer.start();
    assert.equal(page.sent.length, 2);
  });
});

test('fingers on the pad: the first points, the one that stays takes over', () => {
  const pad = new P.PadFingers();
  pad.down(1, 10, 10);
  pad.down(2, 50, 50);  // a palm or a second finger after the first
  assert.equal(pad.move(2, 60, 60), false, 'the second finger does not point');
  assert.equal(pad.move(1, 20, 20), true);
  assert.deepEqual(pad.active(), { id: 1, x: 20, y: 20 });
  pad.up(1);
  assert.deepEqual(pad.active(), { id: 2, x: 60, y: 60 }, 'the remaining finger takes over where it is');
  assert.equal(pad.move(2, 70, 70), true);
  pad.down(3, 0, 0);
  pad.up(3);
  assert.equal(pad.active().id, 2, 'a finger lifted behind it changes nothing');
  pad.up(2);
  pad.up(2);
  assert.equal(pad.active(), null);
  assert.equal(pad.move(2, 1, 1), false);
});

test('pointer number from the address and from storage', () => {
  assert.equal(P.pointerFromHash('#pointer=3'), 3);
  assert.equal(P.pointerFromHash('#mode=x&pointer=79'), 79);
  assert.equal(P.pointerFromHash('#pointer=0&x=1'), 0);
  for (const bad of ['', '#', '#pointer=', '#pointer=80', '#pointer=-1', '#pointers=3',
    '#xpointer=3', '#pointer=3x', '#pointer=007']) {
    assert.equal(P.pointerFromHash(bad), null, bad);
  }
  // What a wrong address asked for, so that the page can say so.
  assert.equal(P.askedPointerText('#pointer=3x'), '3x');
  assert.equal(P.askedPointerText('#a=1&pointer=%2012'), ' 12');
  assert.equal(P.askedPointerText('#xpointer=3'), null);
  assert.equal(P.pointerFromStored('12'), 12);
  for (const bad of [null, '', '80', 'abc', '1e1']) assert.equal(P.pointerFromStored(bad), null);
});

test('access key from the address', () => {
  for (const hash of ['#key=Ab3dE9xz', '#pointer=5&key=Ab3dE9xz', '#key=Ab3dE9xz&pointer=5', 'key=Ab3dE9xz']) {
    assert.equal(P.keyFromHash(hash), 'Ab3dE9xz', hash);
  }
  // Nothing that could end the cookie or add to it.
  for (const bad of ['', '#pointer=5', '#key=', '#key', '#monkey=Ab3', '#key=a;path=/x', '#key=a%3Bb',
    '#key=a b', `#key=${'a'.repeat(129)}`]) {
    assert.equal(P.keyFromHash(bad), null, bad);
  }
  assert.equal(P.hashWithoutKey('#pointer=5&key=Ab3dE9xz'), '#pointer=5');
  assert.equal(P.hashWithoutKey('#key=Ab3dE9xz&pointer=5&x=1'), '#pointer=5&x=1');
  assert.equal(P.hashWithoutKey('#key=bad;value'), '');
  assert.equal(P.hashWithoutKey('#monkey=1'), '#monkey=1');
  assert.equal(P.pointerFromHash(P.hashWithoutKey('#key=Ab3&pointer=5')), 5);
  assert.equal(P.keyCookie('Ab3dE9xz'), 'TVXKey=Ab3dE9xz; path=/; SameSite=Strict');
});
