/* Report encoding, answer parsing and timing of the phone page.
 *
 * Kept free of the DOM so that node can load it for the unit tests; the build
 * inlines this file into the page. In a browser it defines TvxProtocol. */
(function (root, factory) {
  if (typeof module === 'object' && module.exports) {
    module.exports = factory();
  } else {
    root.TvxProtocol = factory();
  }
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  var POINTER_COUNT = 80;
  var COORDINATE_MAX = 65535;
  var FRAME_MAX = 65535;
  var PACKET_MAX = 255;

  var ACK_MODE_LIFTED = 1;
  var ACK_MODE_ON_PAD = 2;

  // The page has one pad filling one screen; the server only forwards these.
  var LAYOUT = 1;
  var SCREEN = 0;

  // A change leaves at once when no report is in flight, else as soon as the
  // answer is in. When nothing changes, five a second keep well inside the
  // server's one second of silence, and inside 300 ms even when a busy phone
  // fires its timers late.
  var IDLE_INTERVAL_MS = 200;
  // The wait for an answer follows the answers measured: three times their
  // median, within these bounds. Before the first answer it follows the
  // page's own load, which crossed the same link with more to carry.
  var ANSWER_TIMEOUT_MIN_MS = 2000;
  var ANSWER_TIMEOUT_MAX_MS = 8000;
  var ANSWER_SAMPLES = 9;
  // Slower answers than this are shown: the pointer then trails the finger.
  var SLOW_ANSWER_MS = 300;
  // Short enough that a class back from an outage is green at once.
  var RETRY_FIRST_MS = 250;
  var RETRY_MAX_MS = 2000;
  // Reserved command code: another phone already reports on this number.
  var ANOTHER_PHONE_CODE = 0xff;
  // Reserved command code: the teacher freed this number; pick another.
  var NUMBER_FREED_CODE = 0xfe;

  var SHORT_MS = 100;
  var NORMAL_MS = 250;
  var LONG_MS = 500;
  var DOUBLE_PAUSE_MS = 150;

  // Named for the student holding the phone, not for the operator; the page
  // says whether it vibrated or flashed.
  var COMMANDS = {
    0xa0: { name: 'short', pattern: [SHORT_MS] },
    0xa1: { name: 'normal', pattern: [NORMAL_MS] },
    0xa2: { name: 'long', pattern: [LONG_MS] },
    0xa3: { name: 'short, twice', pattern: [SHORT_MS, DOUBLE_PAUSE_MS, SHORT_MS] },
    0xa4: { name: 'normal, twice', pattern: [NORMAL_MS, DOUBLE_PAUSE_MS, NORMAL_MS] },
    0xa5: { name: 'long, twice', pattern: [LONG_MS, DOUBLE_PAUSE_MS, LONG_MS] }
  };
  // Under reduced motion a flash lights for this long at least, and stays
  // dark as long after: never more than two a second.
  var CALM_FLASH_MS = 250;

  function isIntegerIn(value, low, high) {
    return Number.isInteger(value) && value >= low && value <= high;
  }

  function hexField(value, width, max, name) {
    if (!isIntegerIn(value, 0, max)) {
      throw new RangeError(name + ' out of range: ' + value);
    }
    var text = value.toString(16).toUpperCase();
    while (text.length < width) text = '0' + text;
    return text;
  }

  function isValidPointer(value) {
    return isIntegerIn(value, 0, POINTER_COUNT - 1);
  }

  // "/tolvex" followed by 23 fixed-width characters: layout, screen, pointer,
  // frame, X, Y, two button characters, ack mode, ack packet.
  function encodeReportPath(report) {
    if (!isValidPointer(report.pointer)) {
      throw new RangeError('pointer out of range: ' + report.pointer);
    }
    if (!isIntegerIn(report.frame, 1, FRAME_MAX)) {
      throw new RangeError('frame out of range: ' + report.frame);
    }
    return (
      '/tolvex' +
      hexField(report.layout === undefined ? LAYOUT : report.layout, 1, 15, 'layout') +
      hexField(report.screen === undefined ? SCREEN : report.screen, 2, 255, 'screen') +
      hexField(report.pointer, 2, 255, 'pointer') +
      hexField(report.frame, 4, FRAME_MAX, 'frame') +
      hexField(report.x, 4, COORDINATE_MAX, 'x') +
      hexField(report.y, 4, COORDINATE_MAX, 'y') +
      (report.buttonL ? '1' : '0') +
      (report.buttonR ? '1' : '0') +
      hexField(report.ackMode, 2, 255, 'ackMode') +
      hexField(report.ackPacket, 2, PACKET_MAX, 'ackPacket')
    );
  }

  // The answer body: packet number and command code, two hex digits each.
  // Anything else (a not-found page, say) is not an answer of ours.
  function parseResponseText(text) {
    if (typeof text !== 'string' || !/^[0-9A-Fa-f]{4}$/.test(text)) return null;
    return { packet: parseInt(text.slice(0, 2), 16), code: parseInt(text.slice(2, 4), 16) };
  }

  function hexByte(value) {
    return hexField(value, 2, 255, 'byte');
  }

  // What a consuming application shows across the pad: B0 clears it, B1 a
  // tick, B2 a cross, C0 to C7 fill it with a team colour, D0 to D9 a digit.
  // A team is told by its name and its shape as well as by its colour, and
  // the eight fills stay apart for colour-blind eyes too; ink is the text
  // and shape colour that reads on the fill. Shapes are SVG paths in a
  // 100 x 100 box.
  var SHOWN_BACKGROUND = '#1b212b';
  var TEAMS = [
    { name: 'red', fill: '#8c0909', ink: '#ffffff', shape: 'M8 50 A42 42 0 1 0 92 50 A42 42 0 1 0 8 50 Z' },
    { name: 'orange', fill: '#e86d0c', ink: '#000000', shape: 'M12 12 H88 V88 H12 Z' },
    { name: 'yellow', fill: '#fff93d', ink: '#000000', shape: 'M50 8 L94 88 H6 Z' },
    { name: 'green', fill: '#84e0ab', ink: '#000000',
      shape: 'M50 9 L62 39 L94 41 L69 61 L77 92 L50 75 L23 92 L31 61 L6 41 L38 39 Z' },
    { name: 'turquoise', fill: '#04685d', ink: '#ffffff', shape: 'M50 4 L94 50 L50 96 L6 50 Z' },
    { name: 'blue', fill: '#7485fd', ink: '#000000', shape: 'M27 10 H73 L96 50 L73 90 H27 L4 50 Z' },
    { name: 'violet', fill: '#4f0d5d', ink: '#ffffff', shape: 'M36 6 H64 V36 H94 V64 H64 V94 H36 V64 H6 V36 H36 Z' },
    { name: 'pink', fill: '#f6b8e3', ink: '#000000', shape: 'M50 90 L12 52 A22 22 0 0 1 50 20 A22 22 0 0 1 88 52 Z' }
  ];
  var TICK = { name: 'Correct', ink: '#5fd068', shape: 'M12 52 L26 38 L42 54 L76 20 L90 34 L42 82 Z' };
  var CROSS = { name: 'Wrong', ink: '#ff7b7b',
    shape: 'M22 8 L50 36 L78 8 L92 22 L64 50 L92 78 L78 92 L50 64 L22 92 L8 78 L36 50 L8 22 Z' };
  var DIGIT_INK = '#ffffff';

  // Every show has a name; what it draws: a fill, a shape in ink, a digit
  // and a label, each null where it has none. A clear draws nothing.
  function makeShow(name, fill, ink, shape, digit, label) {
    return { name: name, fill: fill, ink: ink, shape: shape, digit: digit, label: label };
  }
  function showFor(code) {
    if (code === 0xb0) return makeShow('Cleared', null, null, null, null, null);
    if (code === 0xb1 || code === 0xb2) {
      var mark = code === 0xb1 ? TICK : CROSS;
      return makeShow(mark.name, SHOWN_BACKGROUND, mark.ink, mark.shape, null, null);
    }
    if (code >= 0xc0 && code <= 0xc7) {
      var team = TEAMS[code - 0xc0];
      var name = 'Team ' + team.name;
      return makeShow(name, team.fill, team.ink, team.shape, null, name);
    }
    if (code >= 0xd0 && code <= 0xd9) {
      return makeShow('Number ' + (code - 0xd0), SHOWN_BACKGROUND, DIGIT_INK, null, String(code - 0xd0), null);
    }
    return null;
  }

  // A code the page does not know has no name and shows nothing.
  function describeCommand(code) {
    var known = COMMANDS[code];
    if (known) return { code: code, name: known.name, pattern: known.pattern.slice(), show: null };
    var show = showFor(code);
    return { code: code, name: show ? show.name : null, pattern: null, show: show };
  }

  // The server repeats a packet until it sees its number echoed, so a command
  // is known by its packet number: a number other than the one we echo is
  // new and runs once; the same number again is a repeat.
  function CommandTracker() {
    this.ackPacket = 0;
  }

  // Returns the command to run, or null for a repeat or a packet without one.
  CommandTracker.prototype.accept = function (answer) {
    if (answer.packet === this.ackPacket) return null;
    this.ackPacket = answer.packet;
    if (answer.code === 0) return null;
    var command = describeCommand(answer.code);
    command.packet = answer.packet;
    return command;
  };

  // The flash pattern for a page that asks for reduced motion.
  function calmPattern(pattern) {
    return pattern.map(function (duration) { return Math.max(duration, CALM_FLASH_MS); });
  }

  // A different pointer has its own packet numbering on the server.
  CommandTracker.prototype.reset = function () {
    this.ackPacket = 0;
  };

  // Counts 1 to 65535 and wraps to 1: the server takes frame 0 as stale.
  function FrameCounter(lastSent) {
    this.last = isIntegerIn(lastSent, 1, FRAME_MAX) ? lastSent : 0;
  }

  FrameCounter.prototype.next = function () {
    this.last = this.last >= FRAME_MAX ? 1 : this.last + 1;
    return this.last;
  };

  // Absolute position inside an extent of the pad, clamped to it.
  function scaleToCoordinate(offset, extent) {
    if (!(extent > 0)) return 0;
    var ratio = offset / extent;
    if (!(ratio > 0)) return 0;
    if (ratio >= 1) return COORDINATE_MAX;
    return Math.round(ratio * COORDINATE_MAX);
  }

  // Retry delays after failed reports: doubling up to a ceiling, from the
  // first again once a report gets through.
  function RetryBackoff() {
    this.failures = 0;
  }

  RetryBackoff.prototype.nextDelay = function () {
    var delay = RETRY_FIRST_MS * Math.pow(2, Math.min(this.failures, 10));
    this.failures += 1;
    return Math.min(delay, RETRY_MAX_MS);
  };

  RetryBackoff.prototype.reset = function () {
    this.failures = 0;
  };

  // What the page says about the next attempt, in whole seconds counting down.
  function retryCountdownText(remainingMs) {
    if (!(remainingMs > 0)) return 'retrying now';
    return 'retry in ' + Math.ceil(remainingMs / 1000) + ' s';
  }

  // The answer times of the last few reports: how long to wait for the next
  // answer, and whether the link is slow. A report that got no answer in
  // time counts with the time waited, so that a link slower than the wait
  // is waited for longer next time rather than never heard.
  function AnswerTimes(firstWaitMs) {
    this.samples = [];
    this.firstWait = firstWaitMs || ANSWER_TIMEOUT_MIN_MS;
  }

  // The first wait from the page's Navigation Timing entry: twice the load,
  // or up to its first byte while the rest is still coming in.
  AnswerTimes.firstWait = function (navigation) {
    var loadMs = navigation ? (navigation.responseEnd || navigation.responseStart) - navigation.fetchStart : NaN;
    if (!(loadMs > 0)) return ANSWER_TIMEOUT_MIN_MS;
    return Math.min(ANSWER_TIMEOUT_MAX_MS, Math.max(ANSWER_TIMEOUT_MIN_MS, Math.round(2 * loadMs)));
  };

  AnswerTimes.prototype.add = function (ms) {
    this.samples.push(ms);
    if (this.samples.length > ANSWER_SAMPLES) this.samples.shift();
  };

  AnswerTimes.prototype.median = function () {
    if (!this.samples.length) return null;
    var sorted = this.samples.slice().sort(function (a, b) { return a - b; });
    var middle = sorted.length >> 1;
    return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
  };

  AnswerTimes.prototype.timeout = function () {
    var median = this.median();
    if (median === null) return this.firstWait;
    return Math.min(ANSWER_TIMEOUT_MAX_MS, Math.max(ANSWER_TIMEOUT_MIN_MS, Math.round(3 * median)));
  };

  AnswerTimes.prototype.isSlow = function () {
    var median = this.median();
    return median !== null && median > SLOW_ANSWER_MS;
  };

  // What the reports say: the position, the two buttons and whether a finger
  // is on the pad. One report is in flight at most, so every press and lift
  // made meanwhile waits, with the position of its moment, and goes with the
  // next request, all of them in order: a tap shorter than a round trip
  // still reaches the application as a press and a lift. A request takes
  // BATCH_MAX reports at most; what does not fit goes in the next.
  //
  // A report is owed until a request carrying it is answered: one whose
  // request failed may have reached the application or not, so it goes
  // again with the frame it had, over the batch route, where the server
  // knows a repeat by its frame and passes it on once. Its echo is the
  // newest packet, as the server wants. A change gets its frame when it
  // first leaves, so the owed reports stay oldest first.
  //
  // Touches count only while the link works: while the page says it is not
  // connected, nothing is queued and a press does not count (it must be made
  // again once connected), so that no tap arrives seconds late; a lift
  // counts at once, and a button held since before keeps being held. What
  // was owed before the page said so still goes, in order, once the link is
  // back; but not a report first sent FRAMES_KEPT_MS ago or more: the server
  // knows a repeat by its frame only that long after the phone's last
  // report, so it could pass that one on twice, and it is stale by then.
  //
  // clock: ms now (tests inject one).
  var BATCH_MAX = 32;
  var FRAMES_KEPT_MS = 30000;
  var CONTACTS = ['buttonL', 'buttonR', 'onPad'];

  function ReportStates(clock) {
    this.clock = clock || function () { return performance.now(); };
    this.connected = false;
    this.now = { x: 32768, y: 32768, buttonL: false, buttonR: false, onPad: false };
    this.down = { buttonL: false, buttonR: false, onPad: false };  // whether counted or not
    this.owed = [];    // oldest first; frame 0 until first sent
    this.carried = 0;  // how many of them the request in flight carries
  }

  // present: the state of a moment no change asked for, not a change.
  function copyState(state, present) {
    return { x: state.x, y: state.y, buttonL: state.buttonL, buttonR: state.buttonR, onPad: state.onPad,
      frame: 0, present: Boolean(present) };
  }

  function sameState(a, b) {
    return a.x === b.x && a.y === b.y && CONTACTS.every(function (name) { return a[name] === b[name]; });
  }

  ReportStates.prototype.moveTo = function (x, y) {
    this.now.x = x;
    this.now.y = y;
  };

  // name: 'buttonL', 'buttonR' or 'onPad'; down as it is now, counted or
  // not. again: a contact that counts as made anew (a mouse that hovers).
  ReportStates.prototype.set = function (name, down, again) {
    var pressed = Boolean(down) && (again || !this.down[name]);
    this.down[name] = Boolean(down);
    down = Boolean(down) && (this.now[name] || (pressed && this.connected));
    if (down === this.now[name]) return;
    this.now[name] = down;
    if (this.connected) this.owed.push(copyState(this.now));
  };

  // The link is back (true) or the page stops reporting (false): a page
  // that stops drops what it owes, unless it keeps it for its last request.
  ReportStates.prototype.setConnected = function (connected, keepOwed) {
    this.connected = connected;
    if (connected || keepOwed) return;
    this.owed = [];
    this.carried = 0;
  };

  ReportStates.prototype.answered = function () {
    this.owed.splice(0, this.carried);
    this.carried = 0;
  };

  // The request got no answer: what it carried is owed still.
  ReportStates.prototype.failed = function () {
    this.connected = false;
    this.carried = 0;
  };

  // The states the next request carries, oldest first, each with its frame
  // (frames: a FrameCounter): the owed ones, then the state of now unless
  // the last of them says it already or the request is full. An unanswered
  // state of now is replaced, not kept beside it: since it, no press has
  // counted, so the newer one says all it did.
  ReportStates.prototype.take = function (frames) {
    this.forgetStale();
    var owed = this.owed;
    var last = owed[owed.length - 1];
    if (owed.length <= BATCH_MAX && !(last && sameState(last, this.now))) {
      if (last && last.present) owed.pop();
      if (owed.length < BATCH_MAX) owed.push(copyState(this.now, true));
    }
    var taken = owed.slice(0, BATCH_MAX);
    this.carried = taken.length;
    var now = this.clock();
    taken.forEach(function (state) {
      if (state.frame) return;
      state.frame = frames.next();
      state.sentAt = now;
    });
    return taken;
  };

  // Sent ones are the oldest, at the front.
  ReportStates.prototype.forgetStale = function () {
    var now = this.clock();
    var owed = this.owed;
    while (owed.length && owed[0].frame && now - owed[0].sentAt >= FRAMES_KEPT_MS) owed.shift();
  };

  // The next request's path: reports that went before go again over the
  // batch route, even alone, for the server to know them as repeats.
  ReportStates.prototype.request = function (frames, pointer, ackPacket) {
    this.forgetStale();
    var again = this.owed.length > 0 && this.owed[0].frame !== 0;
    return encodeRequestPath(this.take(frames).map(function (state) {
      return {
        pointer: pointer, frame: state.frame, x: state.x, y: state.y,
        buttonL: state.buttonL, buttonR: state.buttonR,
        ackMode: state.onPad ? ACK_MODE_ON_PAD : ACK_MODE_LIFTED,
        ackPacket: ackPacket
      };
    }), again);
  };

  // "/tolvex" and one report's 23 characters, or "/batch/" and one or more
  // of them separated by "/".
  function encodeRequestPath(reports, batch) {
    var paths = reports.map(encodeReportPath);
    if (paths.length === 1 && !batch) return paths[0];
    return '/batch/' + paths.map(function (path) { return path.slice(7); }).join('/');
  }

  // Decides when the next report leaves. One is in flight at most. A change
  // leaves at once when none is; one made while a report is in flight
  // leaves as soon as its answer is in, carrying the newest state. Without
  // changes one leaves IDLE_INTERVAL_MS after the last. After a failure it
  // waits for the back-off, unless a touch asks to try at once.
  //
  // io: now() in ms, setTimer(callback, ms) -> handle, clearTimer(handle),
  // send(): sends one report with the state of that moment and later calls
  // answered() or failed().
  function ReportPacer(io) {
    this.io = io;
    this.running = false;
    this.inFlight = false;
    this.changedSinceSent = false;
    this.lastWanted = false;
    this.timer = null;
    this.lastSentAt = -Infinity;
    this.retryAt = null;
    this.backoff = new RetryBackoff();
  }

  ReportPacer.prototype.start = function () {
    this.running = true;
    this.lastWanted = false;
    this.arm();
  };

  // No more reports until start(); an answer still on its way is let be.
  ReportPacer.prototype.stop = function () {
    this.running = false;
    this.lastWanted = false;
    this.clearTimer();
  };

  // One more report with the state of that moment, at once or after the
  // one in flight, then none until start().
  ReportPacer.prototype.finish = function () {
    var wasRunning = this.running;
    this.stop();
    if (!wasRunning) return;
    if (this.inFlight) this.lastWanted = true;
    else this.send();
  };

  ReportPacer.prototype.changed = function () {
    this.changedSinceSent = true;
    this.arm();
  };

  // A touch while the server is away tries again at once.
  ReportPacer.prototype.touched = function () {
    if (this.retryAt !== null) this.retryAt = this.io.now();
    this.changed();
  };

  ReportPacer.prototype.answered = function () {
    this.inFlight = false;
    this.retryAt = null;
    this.backoff.reset();
    this.afterReport();
  };

  // Returns the wait before the next attempt.
  ReportPacer.prototype.failed = function () {
    this.inFlight = false;
    var delay = this.backoff.nextDelay();
    this.retryAt = this.io.now() + delay;
    this.afterReport();
    return delay;
  };

  ReportPacer.prototype.afterReport = function () {
    if (this.lastWanted) {
      this.lastWanted = false;
      this.send();
      return;
    }
    this.arm();
  };

  ReportPacer.prototype.retryIn = function () {
    return this.retryAt === null ? 0 : Math.max(0, this.retryAt - this.io.now());
  };

  ReportPacer.prototype.clearTimer = function () {
    if (this.timer !== null) this.io.clearTimer(this.timer);
    this.timer = null;
  };

  ReportPacer.prototype.arm = function () {
    if (!this.running || this.inFlight) return;
    var now = this.io.now();
    var due;
    if (this.retryAt !== null) due = this.retryAt;
    else if (this.changedSinceSent) due = now;
    else due = this.lastSentAt + IDLE_INTERVAL_MS;
    if (due <= now) {
      this.send();
      return;
    }
    this.clearTimer();
    var self = this;
    this.timer = this.io.setTimer(function () {
      self.timer = null;
      if (self.running && !self.inFlight) self.send();
    }, due - now);
  };

  ReportPacer.prototype.send = function () {
    this.clearTimer();
    this.inFlight = true;
    this.changedSinceSent = false;
    this.lastSentAt = this.io.now();
    this.io.send();
  };

  // The fingers on the pad in the order they came down. The first points;
  // when it lifts, the next one still down takes over where it is, so a
  // second finger never leaves the pad dead under a finger that stays. A
  // finger that travels while the one pointing has rested leads instead: a
  // palm or a thumb that landed first and stays still does not hold the
  // pointer. Contacts as large as a palm are not taken at all.
  var LEAD_TRAVEL_PX = 12;
  var LEAD_REST_MS = 150;
  var PALM_SIZE_PX = 80;

  function PadFingers() {
    this.fingers = [];
  }

  // A contact of this size (PointerEvent width and height) is a palm.
  PadFingers.isPalm = function (width, height) {
    return Math.max(width || 0, height || 0) >= PALM_SIZE_PX;
  };

  PadFingers.prototype.indexOf = function (id) {
    for (var i = 0; i < this.fingers.length; i++) if (this.fingers[i].id === id) return i;
    return -1;
  };

  PadFingers.prototype.down = function (id, x, y, now) {
    var at = this.indexOf(id);
    if (at === -1) this.fingers.push({ id: id, x: x, y: y, fromX: x, fromY: y, movedAt: now || 0 });
    else this.move(id, x, y, now);
  };

  // True when the finger that moved is the one that points.
  PadFingers.prototype.move = function (id, x, y, now) {
    var at = this.indexOf(id);
    if (at === -1) return false;
    var finger = this.fingers[at];
    finger.x = x;
    finger.y = y;
    if (Math.abs(x - finger.fromX) + Math.abs(y - finger.fromY) < LEAD_TRAVEL_PX) return at === 0;
    finger.fromX = x;
    finger.fromY = y;
    finger.movedAt = now || 0;
    if (at !== 0 && (now || 0) - this.fingers[0].movedAt >= LEAD_REST_MS) {
      this.fingers.splice(at, 1);
      this.fingers.unshift(finger);
      return true;
    }
    return at === 0;
  };

  PadFingers.prototype.up = function (id) {
    var at = this.indexOf(id);
    if (at !== -1) this.fingers.splice(at, 1);
  };

  PadFingers.prototype.has = function (id) {
    return this.indexOf(id) !== -1;
  };

  PadFingers.prototype.clear = function () {
    this.fingers = [];
  };

  // The finger that points ({ id, x, y }), or null when none is down.
  PadFingers.prototype.active = function () {
    if (!this.fingers.length) return null;
    var finger = this.fingers[0];
    return { id: finger.id, x: finger.x, y: finger.y };
  };

  // The parameters of the address fragment ("#a=1&b=2") in order, undecoded.
  function hashParameters(hash) {
    var text = (hash || '').replace(/^#/, '');
    if (!text) return [];
    return text.split('&').map(function (part) {
      var equals = part.indexOf('=');
      return equals === -1 ? { name: part, value: null } : { name: part.slice(0, equals), value: part.slice(equals + 1) };
    });
  }

  // The class's access key from "#key=...". It goes into a cookie, so only
  // characters that cannot end or extend the cookie are taken.
  function keyFromHash(hash) {
    var found = null;
    hashParameters(hash).forEach(function (parameter) {
      if (parameter.name === 'key') found = parameter.value;
    });
    return found !== null && /^[A-Za-z0-9._~-]{1,128}$/.test(found) ? found : null;
  }

  // The fragment without its key, whatever the key was, the rest in order.
  function hashWithoutKey(hash) {
    var rest = (hash || '').replace(/^#/, '').split('&').filter(function (part) {
      return part !== '' && part !== 'key' && part.indexOf('key=') !== 0;
    });
    return rest.length ? '#' + rest.join('&') : '';
  }

  // Kept across browser sessions for a term's lessons, not for ever.
  var KEY_COOKIE_DAYS = 30;

  function keyCookie(key) {
    return 'TVXKey=' + key + '; path=/; Max-Age=' + KEY_COOKIE_DAYS * 86400 + '; SameSite=Strict';
  }

  // "#pointer=3", also among other parameters ("#a=1&pointer=3").
  function pointerFromHash(hash) {
    var match = /(?:^#?|&)pointer=([0-9]{1,2})(?:&|$)/.exec(hash || '');
    if (!match) return null;
    var value = parseInt(match[1], 10);
    return isValidPointer(value) ? value : null;
  }

  // The text an address gives as its pointer number, valid or not; null
  // when it names none.
  function askedPointerText(hash) {
    var match = /(?:^#?|&)pointer=([^&]*)/.exec(hash || '');
    if (!match) return null;
    try { return decodeURIComponent(match[1]); } catch (e) { return match[1]; }
  }

  function pointerFromStored(text) {
    if (typeof text !== 'string' || !/^[0-9]{1,2}$/.test(text)) return null;
    var value = parseInt(text, 10);
    return isValidPointer(value) ? value : null;
  }

  return {
    POINTER_COUNT: POINTER_COUNT,
    COORDINATE_MAX: COORDINATE_MAX,
    FRAME_MAX: FRAME_MAX,
    ACK_MODE_LIFTED: ACK_MODE_LIFTED,
    ACK_MODE_ON_PAD: ACK_MODE_ON_PAD,
    IDLE_INTERVAL_MS: IDLE_INTERVAL_MS,
    ANOTHER_PHONE_CODE: ANOTHER_PHONE_CODE,
    NUMBER_FREED_CODE: NUMBER_FREED_CODE,
    SLOW_ANSWER_MS: SLOW_ANSWER_MS,
    COMMANDS: COMMANDS,
    isValidPointer: isValidPointer,
    encodeReportPath: encodeReportPath,
    parseResponseText: parseResponseText,
    hexByte: hexByte,
    describeCommand: describeCommand,
    showFor: showFor,
    TEAMS: TEAMS,
    TICK: TICK,
    CROSS: CROSS,
    DIGIT_INK: DIGIT_INK,
    SHOWN_BACKGROUND: SHOWN_BACKGROUND,
    CommandTracker: CommandTracker,
    FrameCounter: FrameCounter,
    scaleToCoordinate: scaleToCoordinate,
    RetryBackoff: RetryBackoff,
    retryCountdownText: retryCountdownText,
    AnswerTimes: AnswerTimes,
    BATCH_MAX: BATCH_MAX,
    FRAMES_KEPT_MS: FRAMES_KEPT_MS,
    ReportStates: ReportStates,
    encodeRequestPath: encodeRequestPath,
    calmPattern: calmPattern,
    ReportPacer: ReportPacer,
    PadFingers: PadFingers,
    keyFromHash: keyFromHash,
    hashWithoutKey: hashWithoutKey,
    keyCookie: keyCookie,
    pointerFromHash: pointerFromHash,
    pointerFromStored: pointerFromStored,
    askedPointerText: askedPointerText
  };
});
