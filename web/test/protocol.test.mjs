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
  });

  await t.test('extremes are padded and upper case', () => {
    const path = P.encodeReportPath(report({
      pointer: 79, frame: 65535, x: 0, y: 65535, buttonR: true, ackPacket: 255,
    }));
    assert.equal(path, '/tolvex1004FFFFF0000FFFF0101FF');
  });

  await t.test('values the server cannot take are refused', () => {
    for (const bad of [{ pointer: 80 }, { pointer: -1 }, { frame: 0 }, { x: 65536 }, { y: 1.5 }, { ackPacket: 256 }]) {
      assert.throws(() => P.encodeReportPath(report(bad)), RangeError, JSON.stringify(bad));
    }
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

  await t.test('a packet runs once however often it is repeated; one without a command is echoed', () => {
    const tracker = new P.CommandTracker();
    const run = answers(tracker, ['0000', '01A0', '01A0', '0100', '0100', '02A4', '0200', '0700']);
    assert.deepEqual(run.map((c) => c && c.code), [null, 0xa0, null, null, null, 0xa4, null, null]);
    assert.equal(run[1].packet, 1);
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

  await t.test('show codes: a tick, a cross, 8 teams with a name and a shape each, digits, clear', () => {
    const drawn = (code) => {
      const s = P.describeCommand(code).show;
      return [s.fill !== null, s.shape, s.digit, s.label];
    };
    const fixed = [[0xb0, false, null, null, null], [0xb1, true, P.TICK.shape, null, null],
      [0xb2, true, P.CROSS.shape, null, null], [0xd0, true, null, '0', null], [0xd9, true, null, '9', null]];
    for (const [code, ...show] of fixed) assert.deepEqual(drawn(code), show, code.toString(16));
    const teams = [0, 1, 2, 3, 4, 5, 6, 7].map((n) => P.describeCommand(0xc0 + n).show);
    for (const key of ['fill', 'shape', 'label']) assert.equal(new Set(teams.map((team) => team[key])).size, 8, key);
    assert.deepEqual([teams[3].label, P.describeCommand(0xc3).name], ['Team green', 'Team green']);
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
  for (const [at, size, expected] of [[0, 400, 0], [200, 400, 32768], [400, 400, 65535], [-30, 400, 0],
    [900, 400, 65535], [10, 0, 0]]) {
    assert.equal(P.scaleToCoordinate(at, size), expected, `${at} of ${size}`);
  }
});

// A page's clock and timers, run by hand.
function pacedPage() {
  const page = { time: 0, timers: [], sent: [] };
  let nextHandle = 1;
  page.pacer = new P.ReportPacer({
    now: () => page.time,
    setTimer: (callback, ms) => {
      const timer = { handle: nextHandle++, at: page.time + ms, callback };
      page.timers.push(timer);
      return timer.handle;
    },
    clearTimer: (handle) => { page.timers = page.timers.filter((t) => t.handle !== handle); },
    send: () => page.sent.push({ at: page.time, state: page.state }),
  });
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
  await t.test('a change leaves at once, or with the answer to the one in flight, carrying the newest state', () => {
    const page = pacedPage();
    page.pacer.start();
    assert.equal(page.sent.length, 1, 'the first report leaves at once');
    page.advance(4);
    page.pacer.answered();
    page.advance(3);
    page.state = 'a';
    page.pacer.changed();
    assert.deepEqual(page.sent[1], { at: 7, state: 'a' }, 'a change with nothing in flight waits for nothing');
    page.state = 'b';
    page.pacer.changed();
    page.state = 'c';
    page.pacer.changed();
    assert.equal(page.sent.length, 2, 'one request in flight at most');
    page.advance(40);
    page.pacer.answered();
    assert.deepEqual(page.sent[2], { at: 47, state: 'c' }, 'the answer sends the newest state');
    page.advance(5);
    page.pacer.answered();
    assert.equal(page.sent.length, 3, 'no change, no report before the idle interval');
  });

  await t.test('idle: five a second; a slow answer sends the next at once', () => {
    const page = pacedPage();
    page.pacer.start();
    for (let i = 0; i < 10; i++) {
      page.advance(10);
      page.pacer.answered();
      page.advance(190);
    }
    assert.equal(page.sent.length, 11);
    assert.ok(page.sent.slice(1).every((s, i) => s.at - page.sent[i].at === P.IDLE_INTERVAL_MS));
    page.advance(500);
    page.pacer.answered();
    assert.equal(page.sent.length, 12);
  });

  await t.test('failures: retries wait up to 2 s, count down, and a touch retries at once', () => {
    const page = pacedPage();
    page.pacer.start();
    const waits = [];
    for (let i = 0; i < 6; i++) {
      const before = page.sent.length;
      const delay = page.pacer.failed();
      page.pacer.changed();
      page.advance(delay - 1);
      assert.equal(page.sent.length, before, 'a change does not retry sooner');
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

  await t.test('stopped, nothing leaves; finished, one more leaves after the one in flight', () => {
    const page = pacedPage();
    page.pacer.start();
    page.pacer.stop();
    page.pacer.answered();
    page.pacer.touched();
    page.advance(5000);
    assert.equal(page.sent.length, 1);
    page.pacer.start();
    assert.equal(page.sent.length, 2);
    page.state = 'lifted';
    page.pacer.finish();
    assert.equal(page.sent.length, 2, 'not beside the one in flight');
    page.pacer.failed();
    assert.deepEqual(page.sent[2], { at: 5000, state: 'lifted' });
    page.pacer.answered();
    page.pacer.changed();
    page.pacer.finish();
    page.advance(5000);
    assert.equal(page.sent.length, 3, 'nothing after the last, and only one last');
  });
});

// What each request carries, as letters: L and R for a button down, P for a
// finger on the pad, then the x coordinate.
const said = (states) => states.map((s) => `${s.buttonL ? 'L' : ''}${s.buttonR ? 'R' : ''}${s.onPad ? 'P' : ''}${s.x}`);
// One request that is answered: what it carried.
const exchange = (states, frames = new P.FrameCounter(0)) => {
  const taken = said(states.take(frames));
  states.answered();
  return taken;
};
// A request's path as frame:letters@ackPacket, prefixed 'batch ' when it
// takes the batch route.
const carried = (path) => {
  const items = path.startsWith('/batch/') ? path.slice(7).split('/') : [path.slice(7)];
  const letters = (item) => `${item[17] === '1' ? 'L' : ''}${item[18] === '1' ? 'R' : ''}${item[20] === '2' ? 'P' : ''}`;
  const number = (item, from, to) => parseInt(item.slice(from, to), 16);
  const text = items.map((item) => `${number(item, 5, 9)}:${letters(item)}${number(item, 9, 13)}@${number(item, 21)}`);
  return (path.startsWith('/batch/') ? 'batch ' : '') + text.join(' ');
};

test('every press and lift goes out, in order, 32 to a request, and only while connected', async (t) => {
  await t.test('changes that wait go oldest first with the position of their moment, then the state of now', () => {
    const states = new P.ReportStates();
    states.setConnected(true);
    assert.deepEqual(exchange(states), ['32768'], 'nothing waits: one report');
    // 20 taps of L at x = 1..20: 40 changes, then the finger moves on.
    for (let x = 1; x <= 20; x++) {
      states.moveTo(x, 0);
      states.set('buttonL', true);
      states.set('buttonL', false);
    }
    states.moveTo(99, 0);
    const requests = [exchange(states), exchange(states), exchange(states)];
    assert.deepEqual(requests.map((r) => r.length), [32, 9, 1]);
    const taps = Array.from({ length: 20 }, (_, i) => [`L${i + 1}`, `${i + 1}`]).flat();
    assert.deepEqual(requests.flat(), [...taps, '99', '99']);
  });

  await t.test('a change with nothing waiting is what the very next report says', () => {
    const page = pacedPage();
    const states = new P.ReportStates();
    page.pacer.io.send = () => page.sent.push(exchange(states));
    page.pacer.start();
    page.pacer.answered();
    states.setConnected(true);
    states.set('buttonR', true);
    page.pacer.changed();
    states.set('onPad', true);
    page.pacer.changed();
    page.pacer.answered();
    assert.deepEqual(page.sent, [['32768'], ['R32768'], ['RP32768']]);
  });

  await t.test('outage: a press does not count, a lift does, a held button stays held; a stopping page drops what waits', () => {
    const states = new P.ReportStates();
    states.setConnected(true);
    states.set('buttonR', true);
    states.setConnected(false);
    assert.deepEqual(exchange(states), ['R32768'], 'what waited is dropped, the state of now stays');
    states.set('buttonL', true);
    states.set('onPad', true);
    assert.deepEqual(exchange(states), ['R32768'], 'touches while not connected');
    states.setConnected(true);
    states.set('buttonL', true);
    assert.deepEqual(exchange(states), ['R32768'], 'a press from the outage counts once made again');
    states.set('onPad', true, true);
    assert.deepEqual(exchange(states), ['RP32768'], 'a mouse hovering since the outage counts as it moves');
    states.set('buttonL', false);
    states.set('buttonL', true);
    states.setConnected(false, true);
    states.set('buttonR', false);
    states.moveTo(5, 0);
    assert.deepEqual(exchange(states), ['LRP32768', 'LP5'], 'a stopping page keeps what waits; a lift counts');
  });

  await t.test('a request without an answer goes again with its frames over the batch route, and what waited after it', () => {
    const states = new P.ReportStates();
    const frames = new P.FrameCounter(0);
    states.setConnected(true);
    states.set('buttonL', true);
    assert.equal(carried(states.request(frames, 0, 1)), '1:L32768@1');
    states.failed();
    assert.equal(carried(states.request(frames, 0, 2)), 'batch 1:L32768@2', 'alone too, echoing the newest packet');
    states.set('buttonL', false);
    assert.equal(carried(states.request(frames, 0, 2)), 'batch 1:L32768@2 2:32768@2',
      'the lift from the outage counts with a frame of its own');
    states.answered();
    states.setConnected(true);
    assert.equal(carried(states.request(frames, 0, 2)), '3:32768@2', 'once answered, owed no more');
    states.set('buttonR', true);
    states.set('buttonR', false);
    states.failed();
    states.set('buttonL', true);
    states.moveTo(5, 0);
    assert.equal(carried(states.request(frames, 0, 2)), 'batch 3:32768@2 4:R32768@2 5:32768@2 6:5@2',
      'the changes that waited get frames in turn; the press from the outage is not among them');
    states.failed();
    states.moveTo(7, 0);
    assert.equal(carried(states.request(frames, 0, 2)), 'batch 3:32768@2 4:R32768@2 5:32768@2 7:7@2',
      'a newer state of now takes the place of the unanswered one');
  });

  await t.test('after an outage as long as the server keeps frames, what it may already have passed on goes no more', () => {
    let now = 0;
    const states = new P.ReportStates(() => now);
    const frames = new P.FrameCounter(0);
    states.setConnected(true);
    states.set('buttonL', true);
    states.set('buttonL', false);
    assert.equal(carried(states.request(frames, 0, 0)), 'batch 1:L32768@0 2:32768@0');
    states.failed();
    states.set('buttonR', true);
    now = P.FRAMES_KEPT_MS - 1;
    assert.equal(carried(states.request(frames, 0, 0)), 'batch 1:L32768@0 2:32768@0',
      'within it, the server knows them as repeats');
    states.failed();
    now = P.FRAMES_KEPT_MS;
    assert.equal(carried(states.request(frames, 0, 0)), '3:32768@0', 'the press made while not connected is not sent either');
  });

  await t.test('a full request leaves no state of now owed behind its changes', () => {
    const states = new P.ReportStates();
    states.setConnected(true);
    for (let tap = 0; tap < 16; tap++) {
      states.set('buttonL', true);
      states.set('buttonL', false);
    }
    states.moveTo(99, 0);
    assert.equal(states.take(new P.FrameCounter(0)).length, 32);
    states.failed();
    states.setConnected(true);
    states.set('buttonR', true);
    assert.equal(exchange(states).length, 32);
    assert.deepEqual(exchange(states), ['R99']);
  });

  await t.test('several reports go as a batch', () => {
    const reports = [report({ frame: 1 }), report({ frame: 2, buttonL: true })];
    assert.equal(P.encodeRequestPath(reports), '/batch/10000000100000000000100/10000000200000000100100');
  });
});

test('answer times set the wait and tell a slow link', () => {
  // Before the first answer: twice the page's own load, within 2 s and 8 s.
  for (const [navigation, wait] of [[undefined, 2000], [{ fetchStart: 5, responseEnd: 5 }, 2000],
    [{ fetchStart: 10, responseEnd: 610 }, 2000], [{ fetchStart: 100, responseEnd: 1600 }, 3000],
    [{ fetchStart: 0, responseEnd: 6000 }, 8000], [{ fetchStart: 100, responseStart: 1600, responseEnd: 0 }, 3000]]) {
    assert.equal(new P.AnswerTimes(P.AnswerTimes.firstWait(navigation)).timeout(), wait, JSON.stringify(navigation));
  }
  const times = new P.AnswerTimes(6000);
  assert.deepEqual([times.timeout(), times.isSlow()], [6000, false], 'before any answer');
  [20, 30, 25].forEach((ms) => times.add(ms));
  assert.deepEqual([times.timeout(), times.isSlow()], [2000, false], 'never below 2 s');
  // Answers of 2.5 s: the first is given up at 2 s, the next is waited for.
  const slow = new P.AnswerTimes();
  slow.add(slow.timeout());
  assert.ok(slow.timeout() > 2500);
  slow.add(2500);
  assert.equal(slow.isSlow(), true);
  for (let i = 0; i < 9; i++) slow.add(5000);
  assert.equal(slow.timeout(), 8000, 'never above 8 s');
  for (let i = 0; i < 5; i++) slow.add(400);
  assert.deepEqual([slow.timeout(), slow.isSlow()], [2000, true], 'three times 400 ms, raised to the floor; slow');
});

test('reduced motion flashes at most twice a second', () => {
  for (const { pattern } of Object.values(P.COMMANDS)) {
    const calm = P.calmPattern(pattern);
    for (let i = 0; i + 1 < calm.length; i += 2) assert.ok(calm[i] + calm[i + 1] >= 500, String(calm));
  }
});

test('a finger that moves leads over one that rests; a palm is not taken', () => {
  const pad = new P.PadFingers();
  pad.down(1, 100, 100, 0);  // the palm's edge, or a resting thumb
  pad.down(2, 300, 300, 10);
  assert.equal(pad.move(2, 305, 302, 20), false, 'a tremor leads nothing');
  assert.equal(pad.move(1, 130, 100, 40), true);
  assert.equal(pad.move(2, 340, 300, 100), false, 'the first moved lately: it keeps the lead');
  assert.equal(pad.move(1, 132, 101, 150), true, 'jitter of the leader');
  assert.equal(pad.move(2, 380, 300, 200), true, 'the leader rested 160 ms: the moving finger leads');
  assert.deepEqual(pad.active(), { id: 2, x: 380, y: 300 });
  assert.equal(pad.move(1, 133, 101, 210), false);
  assert.ok(P.PadFingers.isPalm(120, 90));
  assert.ok(!P.PadFingers.isPalm(30, 40) && !P.PadFingers.isPalm(undefined, undefined));
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
});
