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

  await t.test('a code the page does not know is echoed and shown, not vibrated', () => {
    const tracker = new P.CommandTracker();
    const command = tracker.accept({ packet: 1, code: 0x7f });
    assert.equal(command.name, 'Command 7F');
    assert.equal(command.pattern, null);
    assert.equal(tracker.ackPacket, 1);
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

test('report timing', async (t) => {
  await t.test('fast while something changes, slow but under 300 ms while idle', () => {
    assert.equal(P.nextReportDelay(1000, 1000, true), P.ACTIVE_INTERVAL_MS);
    assert.equal(P.nextReportDelay(1000, 1000, false), P.IDLE_INTERVAL_MS);
    assert.ok(P.ACTIVE_INTERVAL_MS >= 30 && P.ACTIVE_INTERVAL_MS <= 40);
    assert.ok(P.IDLE_INTERVAL_MS < 300);
    assert.equal(P.nextReportDelay(1500, 1000, false), 0);
    assert.equal(P.nextReportDelay(0, -Infinity, true), 0);
  });

  await t.test('retries back off up to a ceiling and start over after success', () => {
    const backoff = new P.RetryBackoff();
    const delays = Array.from({ length: 8 }, () => backoff.nextDelay());
    assert.deepEqual(delays, [250, 500, 1000, 2000, 4000, 5000, 5000, 5000]);
    backoff.reset();
    assert.equal(backoff.nextDelay(), 250);
  });
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
