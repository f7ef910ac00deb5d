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

  // About 30 reports a second while something changes. When nothing does,
  // five a second keep well inside the server's one second of silence, and
  // inside 300 ms even when a busy phone fires its timers late.
  var ACTIVE_INTERVAL_MS = 33;
  var IDLE_INTERVAL_MS = 200;
  var ANSWER_TIMEOUT_MS = 2000;
  var RETRY_FIRST_MS = 250;
  var RETRY_MAX_MS = 5000;

  var SHORT_MS = 100;
  var NORMAL_MS = 250;
  var LONG_MS = 500;
  var DOUBLE_PAUSE_MS = 150;

  var COMMANDS = {
    0xa0: { name: 'Vibrate short single', pattern: [SHORT_MS] },
    0xa1: { name: 'Vibrate normal single', pattern: [NORMAL_MS] },
    0xa2: { name: 'Vibrate long single', pattern: [LONG_MS] },
    0xa3: { name: 'Vibrate short double', pattern: [SHORT_MS, DOUBLE_PAUSE_MS, SHORT_MS] },
    0xa4: { name: 'Vibrate normal double', pattern: [NORMAL_MS, DOUBLE_PAUSE_MS, NORMAL_MS] },
    0xa5: { name: 'Vibrate long double', pattern: [LONG_MS, DOUBLE_PAUSE_MS, LONG_MS] }
  };

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

  function describeCommand(code) {
    var known = COMMANDS[code];
    if (known) return { code: code, name: known.name, pattern: known.pattern.slice() };
    return { code: code, name: 'Command ' + hexByte(code), pattern: null };
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

  function nextReportDelay(now, lastSentAt, changed) {
    var interval = changed ? ACTIVE_INTERVAL_MS : IDLE_INTERVAL_MS;
    return Math.max(0, lastSentAt + interval - now);
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
    ACTIVE_INTERVAL_MS: ACTIVE_INTERVAL_MS,
    IDLE_INTERVAL_MS: IDLE_INTERVAL_MS,
    ANSWER_TIMEOUT_MS: ANSWER_TIMEOUT_MS,
    COMMANDS: COMMANDS,
    isValidPointer: isValidPointer,
    encodeReportPath: encodeReportPath,
    parseResponseText: parseResponseText,
    hexByte: hexByte,
    describeCommand: describeCommand,
    CommandTracker: CommandTracker,
    FrameCounter: FrameCounter,
    scaleToCoordinate: scaleToCoordinate,
    nextReportDelay: nextReportDelay,
    RetryBackoff: RetryBackoff,
    pointerFromHash: pointerFromHash,
    pointerFromStored: pointerFromStored,
    askedPointerText: askedPointerText
  };
});
