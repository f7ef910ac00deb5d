"""Simulated phones that report to a TVXHandvane server over HTTP as the
phone's page does, so that a consuming application can be built and tried
without a class of phones. Standard library only.

    python3 phones.py --port 8080 --count 5
        five phones, pointers 0 to 4, each drawing circles on its pad, tapping
        now and then and lifting its finger for a moment; each prints the
        commands it gets ("phone 3: Vibrate short single (packet 1)")
    python3 phones.py --host 192.168.1.20 --first 10 --count 3 --seconds 60
    python3 phones.py --count 80 --hz 60 --key 1234 --stamp
        80 phones at 60 reports a second each, on one core, with the class's
        key, X and Y carrying the send time (see --help)

    python3 phones.py --count 5 --taps 10 --batch --seconds 30
        five phones tapping ten times a second; the changes that wait for an
        answer go together over the batch route

Like the page in a browser, each phone keeps one connection alive, has one
request out at a time, reads its input all the time and sends every change
of a button or of the pad contact as a report of its own, in order; it goes
on from its last frame count when started again (kept in --state). All
phones run in one thread: one selector loop, non-blocking connects. At the
end one line tells what the answered requests carried:

    phones sent: reports=812 presses=150 releases=150 requests=420 connections=5 dropped=0
    unsent=0 unanswered=0 (on one line)

A request without an answer goes again with the frames it had: with --batch
over the batch route, where the server knows a repeat by its frame and
passes it on once (for FRAMES_KEPT_S after the phone's last report: what
was first sent longer ago goes no more). The single route has no such check, so without --batch
a request that was written and got no answer is not sent again (it counts
as unanswered): the server may have passed it on already.

As a module:

    phone = phones.Phone("127.0.0.1", 8080, pointer=3, key=None)
    code = phone.report(x=1000, y=2000, left=True)  # a new command, or None

A report is a GET of "/tolvex" and 23 hexadecimal characters (sdk/README.md);
the answer's four characters carry a numbered command packet, which the next
reports echo.
"""

import argparse
import collections
import errno
import http.client
import json
import math
import os
import selectors
import socket
import struct
import tempfile
import time

# The page reports at every move of a finger on the pad, which a phone's
# browser gives once a display frame, so as often as the answers come back
# up to sixty a second; with the finger lifted or resting, five a second.
ACTIVE_INTERVAL_S = 1 / 60
IDLE_INTERVAL_S = 0.2      # well inside the server's second of silence
SAMPLE_INTERVAL_S = 0.01   # how often a phone reads its input: taps between reports count
RETRY_S = 1.0              # after a failed connection
MAX_BATCH = 32             # reports in one request of the batch route, as the server takes
MAX_QUEUED = 4096          # changes kept while the server cannot be reached
# The server knows a repeat by its frame this long after a phone's last
# report: a report first sent longer ago goes no more, as the page does, for
# the server could pass it on twice (and it is stale by then).
FRAMES_KEPT_S = 30.0
REPORT_ROUTE = "/tolvex"
BATCH_ROUTE = "/batch"
WSAEWOULDBLOCK = 10035     # connect_ex's "in progress" on Windows
# What the summary counts: reports, presses and releases that answered requests
# carried; requests answered; connections made; changes dropped beyond
# MAX_QUEUED; reports still unsent at the end; requests written, not answered
# and not sent again.
COUNT_NAMES = ("reports", "presses", "releases", "requests", "connections", "dropped", "unsent",
               "unanswered")

COMMANDS = {
    0xA0: "Vibrate short single",
    0xA1: "Vibrate normal single",
    0xA2: "Vibrate long single",
    0xA3: "Vibrate short double",
    0xA4: "Vibrate normal double",
    0xA5: "Vibrate long double",
    0xB0: "Show nothing",
    0xB1: "Show correct",
    0xB2: "Show wrong",
}
COMMANDS.update({0xC0 + n: "Show team colour %d" % n for n in range(8)})
COMMANDS.update({0xD0 + n: "Show number %d" % n for n in range(10)})


def report_path(pointer, frame, x, y, left=False, right=False, on_pad=True, ack_packet=0):
    """The path of one report: layout 1, screen 0, then the pointer, frame,
    X and Y in hexadecimal, the two buttons as 0 or 1, the acknowledgement
    mode (2: finger on the pad, 1: lifted) and the echoed packet number.
    The batch route takes the same 23 characters after "/tolvex", each
    after a "/": /batch/R1/R2/..."""
    return "/tolvex1%02X%02X%04X%04X%04X%d%d%02X%02X" % (
        0, pointer, frame, x, y, int(bool(left)), int(bool(right)), 2 if on_pad else 1,
        ack_packet)


def stamp_now():
    """The send time as X and Y: milliseconds of the monotonic clock (the
    one tvxhdv's read_at_ms counts on Linux), low 16 bits and high 16 bits."""
    ms = int(time.monotonic() * 1000) & 0xFFFFFFFF
    return ms & 0xFFFF, ms >> 16


class Phone:
    """One phone's page: counts its frames, echoes the packet numbers it gets
    and runs each command once. Its connection stays open between reports,
    as a browser keeps it."""

    def __init__(self, host, port, pointer, timeout=2.0, key=None, frame=0):
        if not 0 <= pointer < 80:
            raise ValueError("pointer %r does not exist: phones are numbered 0 to 79" % pointer)
        self.host, self.port, self.pointer, self.timeout = host, port, pointer, timeout
        self.key = key
        self.frame = frame    # 1 to 65535, then 1 again: the server drops frame 0 as stale
        self.ack_packet = 0   # the packet number of the last answer
        self.commands = []    # (packet, code) of every command received
        self._connection = None

    def next_frame(self):
        self.frame = 1 if self.frame >= 0xFFFF else self.frame + 1
        return self.frame

    def next_path(self, x, y, left=False, right=False, on_pad=True):
        return report_path(self.pointer, self.next_frame(), x, y, left, right, on_pad,
                           self.ack_packet)

    def headers(self):
        headers = {"Connection": "keep-alive"}  # else the server closes after each answer
        if self.key:
            headers["Cookie"] = "TVXKey=" + self.key
        return headers

    def report(self, x, y, left=False, right=False, on_pad=True):
        """Sends one report. Returns the code of a command the answer brought
        for the first time, else None. Raises OSError when the server cannot
        be reached."""
        path = self.next_path(x, y, left, right, on_pad)
        for attempt in (1, 2):
            if self._connection is None:
                self._connection = http.client.HTTPConnection(self.host, self.port,
                                                              timeout=self.timeout)
            try:
                self._connection.request("GET", path, headers=self.headers())
                answer = self._connection.getresponse().read().decode("latin-1")
                break
            except (http.client.HTTPException, ConnectionError):
                self.close()  # the server closed the kept connection: once more on a new one
                if attempt == 2:
                    raise
            except OSError:
                self.close()
                raise
        return self.take_answer(answer)

    def take_answer(self, answer):
        if len(answer) != 4:
            return None
        try:
            packet, code = int(answer[:2], 16), int(answer[2:], 16)
        except ValueError:
            return None
        # The server repeats a packet until its number comes back: a number
        # other than the one echoed is new.
        if packet == self.ack_packet:
            return None
        self.ack_packet = packet
        if code == 0:
            return None
        self.commands.append((packet, code))
        return code

    def close(self):
        if self._connection is not None:
            self._connection.close()
            self._connection = None


CYCLE_S = 4.0   # the default motion: one stroke with a tap in it,
LIFT_S = 0.25   # then the finger lifted as briefly as to start the next


def _motion(pointer, now):
    """A student pointing: circles with the finger on the pad and a tap in
    the middle, the finger lifted for a moment every four seconds, as one
    that ran out of pad starts again: x, y, left, on_pad."""
    phase = pointer * 0.7
    moment = (now + phase) % CYCLE_S
    angle = moment * 2.0
    return (int(32767 + 20000 * math.cos(angle + phase)),
            int(32767 + 20000 * math.sin(angle + phase)), 1.4 < moment < 1.6,
            moment < CYCLE_S - LIFT_S)


def tapping(taps):
    """Circles with the finger on the pad, tapping taps times a second, each
    tap down for 40 % of its period; phones tap out of step."""
    def motion(pointer, now):
        x, y, _, _ = _motion(pointer, now)
        return x, y, (now * taps + pointer * 0.37) % 1.0 < 0.4, True
    return motion


class _Line:
    """One phone's kept-alive connection in the swarm's loop, and the changes
    of its buttons and pad contact that wait to be sent, oldest first. A
    report is (frame, x, y, left, right, on_pad, sent_at), its frame 0 and
    sent_at (time.monotonic()) 0 until it is first sent."""

    def __init__(self, phone):
        self.phone = phone
        self.socket = None
        self.connecting = False
        self.deadline = None     # when the connect or the answer is given up
        self.outgoing = b""      # the request's bytes not yet written
        self.buffer = b""        # the answer's bytes read so far
        self.in_flight = []      # the reports the request in flight carries
        self.waiting = False     # a request is out and its answer not yet in
        self.written = False     # all of it went to the server
        self.retried = False     # the request in flight went out again on a new connection
        self.due = 0.0           # when a report goes without a change
        self.retry_at = 0.0      # no request before it: the last connection failed
        self.sampled = None      # (left, right, on_pad) when the input was last read
        self.latest = None       # the report of the input as it was then
        self.queued = collections.deque()  # the report of each change
        self.delivered = (False, False)    # the buttons as the last answered report had them
        self.said = set()        # answers other than 200 already told of


class Swarm:
    """Many phones on one thread: each a non-blocking kept-alive connection,
    all in one selector loop. Like the page, a phone reads its input all the
    time and queues every change of a button or of the pad contact, each
    sent as a report of its own and in order; one request is out at a time.
    With batch, one request carries up to MAX_BATCH waiting reports over the
    batch route; without, they go one a request. Between changes a report
    goes every interval (or 1/hz)."""

    def __init__(self, phones, hz=None, stamp=False, say=print, batch=False, motion=None):
        self.lines = [_Line(phone) for phone in phones]
        self.hz, self.stamp, self.say, self.batch = hz, stamp, say, batch
        self.motion = motion or _motion
        self.selector = selectors.DefaultSelector()
        self.sent = self.answered = 0
        self.counts = dict.fromkeys(COUNT_NAMES, 0)
        self._addresses = {}

    def summary(self):
        """One line of counts: what the phones' answered requests carried."""
        self.counts["unsent"] = sum(len(line.queued) + len(line.in_flight) for line in self.lines)
        return "phones sent: " + " ".join("%s=%d" % (name, self.counts[name])
                                          for name in COUNT_NAMES)

    # The input, read every SAMPLE_INTERVAL_S.

    def _sample(self, line, now):
        x, y, left, on_pad = self.motion(line.phone.pointer, now)
        state = (bool(left), False, bool(on_pad))
        if line.sampled is not None and state != line.sampled:
            if len(line.queued) >= MAX_QUEUED:
                line.queued.popleft()
                self.counts["dropped"] += 1
            line.queued.append((0, x, y) + state + (0.0,))
        line.sampled = state
        line.latest = (0, x, y) + state + (0.0,)

    def _interval(self, line):
        if self.hz:
            return 1.0 / self.hz
        return ACTIVE_INTERVAL_S if line.sampled is None or line.sampled[2] else IDLE_INTERVAL_S

    # Sending.

    def _next_states(self, line, now):
        """What the next request carries: the waiting changes, oldest first,
        or else the input as last read."""
        while line.queued and line.queued[0][0] and now - line.queued[0][6] >= FRAMES_KEPT_S:
            line.queued.popleft()  # sent ones are the oldest
        if not line.queued:
            return [line.latest]
        count = min(len(line.queued), MAX_BATCH if self.batch else 1)
        return [line.queued.popleft() for _ in range(count)]

    def _framed(self, line, reports):
        """The reports with their frames: one sent before keeps its own (and
        its stamp), a new one gets the next."""
        framed, now = [], time.monotonic()
        for frame, x, y, left, right, on_pad, sent_at in reports:
            if not frame:
                if self.stamp:
                    x, y = stamp_now()
                frame, sent_at = line.phone.next_frame(), now
            framed.append((frame, x, y, left, right, on_pad, sent_at))
        return framed

    def _request(self, line, reports, again):
        phone = line.phone
        items = [report_path(phone.pointer, frame, x, y, left, right, on_pad,
                             phone.ack_packet)[len(REPORT_ROUTE):]
                 for frame, x, y, left, right, on_pad, _ in reports]
        # Sent again, even alone, over the batch route: its check of frames
        # keeps the server from passing a report on twice.
        if len(items) == 1 and not (again and self.batch):
            path = REPORT_ROUTE + items[0]
        else:
            path = BATCH_ROUTE + "/" + "/".join(items)
        cookie = "Cookie: TVXKey=%s\r\n" % phone.key if phone.key else ""
        return ("GET %s HTTP/1.1\r\nHost: %s\r\nConnection: keep-alive\r\n%s\r\n"
                % (path, phone.host, cookie)).encode()

    def _send(self, line, now, reports):
        again = reports[0][0] != 0
        line.in_flight = self._framed(line, reports)
        line.outgoing = self._request(line, line.in_flight, again)
        line.waiting, line.written = True, False
        line.deadline = now + line.phone.timeout
        line.due = max(line.due + self._interval(line), now)
        if line.socket is None:
            self._connect(line)
        else:
            self._write(line)

    def _address(self, phone):
        place = (phone.host, phone.port)
        if place not in self._addresses:  # looked up once: the loop never waits for it
            family, kind, _, _, address = socket.getaddrinfo(
                phone.host, phone.port, 0, socket.SOCK_STREAM)[0]
            self._addresses[place] = (family, kind, address)
        return self._addresses[place]

    def _connect(self, line):
        try:
            family, kind, address = self._address(line.phone)
            line.socket = socket.socket(family, kind)
            line.socket.setblocking(False)
            line.socket.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            result = line.socket.connect_ex(address)
        except OSError as error:
            self._fail(line, error)
            return
        if result not in (0, errno.EINPROGRESS, errno.EWOULDBLOCK, errno.EAGAIN, WSAEWOULDBLOCK):
            self._fail(line, OSError(result, os.strerror(result)))
            return
        line.connecting = True
        self.selector.register(line.socket, selectors.EVENT_WRITE, line)

    def _connected(self, line):
        result = line.socket.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR)
        if result != 0:
            self._fail(line, OSError(result, os.strerror(result)))
            return
        line.connecting = False
        self.counts["connections"] += 1
        self._write(line)

    def _write(self, line):
        try:
            written = line.socket.send(line.outgoing)
        except (BlockingIOError, InterruptedError):
            written = 0
        except OSError as error:
            self._lost(line, error)
            return
        line.outgoing = line.outgoing[written:]
        events = selectors.EVENT_READ | (selectors.EVENT_WRITE if line.outgoing else 0)
        self.selector.modify(line.socket, events, line)
        if not line.outgoing:
            line.written = True
            self.sent += 1

    # Answers.

    def _receive(self, line):
        try:
            data = line.socket.recv(4096)
        except (BlockingIOError, InterruptedError):
            return
        except OSError as error:
            self._lost(line, error)
            return
        if not data:
            self._lost(line, None)  # the server closed it: the next report opens another
            return
        line.buffer += data
        end = line.buffer.find(b"\r\n\r\n")
        if not line.waiting:
            line.buffer = b""  # nothing was asked
            return
        if end < 0:
            return
        head = line.buffer[:end].decode("latin-1").lower().split("\r\n")
        length = next((int(h.split(":", 1)[1]) for h in head if h.startswith("content-length:")),
                      0)
        if len(line.buffer) < end + 4 + length:
            return
        body = line.buffer[end + 4:end + 4 + length].decode("latin-1")
        line.buffer = line.buffer[end + 4 + length:]
        self._answered(line, head[0], body)
        if any(h.startswith("connection:") and "close" in h for h in head):
            self._drop(line)

    def _answered(self, line, status, body):
        phone = line.phone
        line.waiting, line.written, line.retried, line.deadline = False, False, False, None
        self.answered += 1
        self.counts["requests"] += 1
        if " 200 " not in status + " ":
            if status not in line.said:
                line.said.add(status)
                self.say("phone %d: %s %s" % (phone.pointer, status.upper(), body.strip()))
            line.in_flight = []
            return
        for state in line.in_flight:
            self._count(line, state[3:5])
        line.in_flight = []
        code = phone.take_answer(body)
        if code is not None:
            self.say("phone %d: %s (packet %d)" % (phone.pointer,
                                                   COMMANDS.get(code, "Command %02X" % code),
                                                   phone.ack_packet))

    def _count(self, line, buttons):
        self.counts["reports"] += 1
        for before, after in zip(line.delivered, buttons):
            if after and not before:
                self.counts["presses"] += 1
            elif before and not after:
                self.counts["releases"] += 1
        line.delivered = tuple(buttons)

    # Failures: what was in flight goes again, in its place, with its frames.

    def _drop(self, line, abort=False):
        if line.socket is not None:
            self.selector.unregister(line.socket)
            if abort:
                # Reset, not closed: the kernel would go on sending what the
                # request left unsent, and the server could take a single
                # report of it for fresh long after the ones that replaced it.
                line.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            line.socket.close()
        line.socket, line.buffer, line.outgoing, line.connecting = None, b"", b"", False

    def _requeue(self, line):
        if line.written and not self.batch:
            self.counts["unanswered"] += 1  # the single route would pass it on twice
        else:
            line.queued.extendleft(reversed(line.in_flight))
        line.in_flight, line.waiting, line.written, line.deadline = [], False, False, None

    def _lost(self, line, error):
        """The kept connection broke. A request in flight goes once more at
        once on a new connection, as a browser does, unless only the batch
        route could tell it from the one written; again, it is a failure."""
        if not line.waiting:
            self._drop(line)
            return
        if line.retried or (line.written and not self.batch):
            self._fail(line, error or "the server closed the connection")
            return
        reports = line.in_flight
        self._drop(line)
        line.retried = True
        self._send(line, time.monotonic(), reports)

    def _fail(self, line, error):
        self._drop(line, abort=line.waiting)
        if line.waiting:
            self._requeue(line)
        line.retried = False
        self.say("phone %d: %s" % (line.phone.pointer, error))
        line.retry_at = time.monotonic() + RETRY_S

    def _expire(self, now):
        for line in self.lines:
            if line.deadline is not None and now >= line.deadline:
                self._fail(line, "no answer within %g s" % line.phone.timeout
                           if not line.connecting else
                           "no connection within %g s" % line.phone.timeout)

    # The loop.

    def _idle(self):
        return all(not line.waiting and not line.queued for line in self.lines)

    def run(self, until, grace=None):
        """Reports until time.monotonic() reaches until, then sends what
        still waits, for at most grace seconds more (default: a phone's
        timeout)."""
        grace = max(line.phone.timeout for line in self.lines) if grace is None else grace
        next_sample = time.monotonic()
        while True:
            now = time.monotonic()
            finishing = now >= until
            if finishing and (self._idle() or now >= until + grace):
                break
            if not finishing and now >= next_sample:
                for line in self.lines:
                    self._sample(line, now)
                next_sample = max(next_sample + SAMPLE_INTERVAL_S, now)
            self._expire(now)
            for line in self.lines:
                if line.waiting or now < line.retry_at:
                    continue
                due = not finishing and line.due <= now
                if due:
                    self._sample(line, now)  # a change of this moment goes now, in its place
                if line.queued or due:  # a change goes at once
                    self._send(line, now, self._next_states(line, now))
            wake = [line.retry_at if line.queued else max(line.due, line.retry_at)
                    for line in self.lines if not line.waiting]
            wake += [line.deadline for line in self.lines if line.deadline is not None]
            wake.append(until + grace if finishing else min(next_sample, until))
            timeout = max(0.0, min(wake) - time.monotonic())
            if not self.selector.get_map():  # select() of no sockets fails on Windows
                time.sleep(min(timeout, 0.5))
                continue
            for key, events in self.selector.select(min(timeout, 0.5)):
                line = key.data
                if key.fileobj is not line.socket:
                    continue  # dropped meanwhile
                if line.connecting:
                    self._connected(line)
                    continue
                if events & selectors.EVENT_WRITE and line.outgoing:
                    self._write(line)
                if events & selectors.EVENT_READ and key.fileobj is line.socket \
                        and not line.connecting:
                    self._receive(line)

    def close(self):
        for line in self.lines:
            self._drop(line)
        self.selector.close()


def _load_frames(path):
    try:
        with open(path) as state:
            return json.load(state)
    except (OSError, ValueError):
        return {}


def _save_frames(path, frames):
    try:
        with open(path + ".tmp", "w") as state:
            json.dump(frames, state)
        os.replace(path + ".tmp", path)
    except OSError:
        pass


def main():
    parser = argparse.ArgumentParser(description="Phones that report to TVXHandvane over HTTP.")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=8080, help="Port under [Control] (8080)")
    parser.add_argument("--first", type=int, default=0, help="the first phone's pointer number")
    parser.add_argument("--count", type=int, default=1, help="how many phones (default 1)")
    parser.add_argument("--seconds", type=float, default=float("inf"),
                        help="how long they report (default: until Ctrl+C)")
    parser.add_argument("--hz", type=float, default=None,
                        help="reports a second of each phone between changes (default: 60 while "
                        "the finger moves on the pad, 5 while it is lifted, as the page does; "
                        "fewer where the answers take longer); a change goes at once")
    parser.add_argument("--key", default=None, help="the class's access key, as the page sends it")
    parser.add_argument("--stamp", action="store_true",
                        help="X and Y carry the send time: milliseconds of the monotonic clock, "
                        "low 16 bits in X, high 16 in Y")
    parser.add_argument("--state", default=os.path.join(tempfile.gettempdir(),
                                                        "tvxhdv-phones.json"),
                        help="where each phone's frame count is kept between runs")
    parser.add_argument("--batch", action="store_true",
                        help="send the changes that waited for an answer together, up to %d "
                        "reports a request, over /batch" % MAX_BATCH)
    parser.add_argument("--taps", type=float, default=None,
                        help="taps a second of each phone, the finger staying on the pad "
                        "(default: one tap every four seconds)")
    options = parser.parse_args()
    if not (0 <= options.first and options.count >= 1 and options.first + options.count <= 80):
        parser.error("phones are numbered 0 to 79")
    if options.taps is not None and options.taps <= 0:
        parser.error("--taps must be above 0")

    frames = _load_frames(options.state)
    key = "%s:%d:%d"
    phones = [Phone(options.host, options.port, pointer, key=options.key,
                    frame=int(frames.get(key % (options.host, options.port, pointer), 0)))
              for pointer in range(options.first, options.first + options.count)]
    swarm = Swarm(phones, options.hz, options.stamp, lambda text: print(text, flush=True),
                  batch=options.batch, motion=tapping(options.taps) if options.taps else None)
    try:
        swarm.run(time.monotonic() + options.seconds)
    except KeyboardInterrupt:
        pass
    finally:
        swarm.close()
        for phone in phones:
            frames[key % (options.host, options.port, phone.pointer)] = phone.frame
        _save_frames(options.state, frames)
        print(swarm.summary(), flush=True)


if __name__ == "__main__":
    main()
