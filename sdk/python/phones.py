"""Simulated phones that report to a TVXHandvane server over HTTP as the
phone's page does, so that a consuming application can be built and tried
without a class of phones. Standard library only.

    python3 phones.py --port 8080 --count 5
        five phones, pointers 0 to 4, each drawing circles on its pad, tapping
        now and then and lifting its finger for a while; each prints the
        commands it gets ("phone 3: Vibrate short single (packet 1)")
    python3 phones.py --host 192.168.1.20 --first 10 --count 3 --seconds 60
    python3 phones.py --count 80 --hz 60 --key 1234 --stamp
        80 phones at 60 reports a second each, on one core, with the class's
        key, X and Y carrying the send time (see --help)

Like the page in a browser, each phone keeps its connection alive and goes
on from its last frame count when started again (kept in --state).

As a module:

    phone = phones.Phone("127.0.0.1", 8080, pointer=3, key=None)
    code = phone.report(x=1000, y=2000, left=True)  # a new command, or None

A report is a GET of "/tolvex" and 23 hexadecimal characters (sdk/README.md);
the answer's four characters carry a numbered command packet, which the next
reports echo.
"""

import argparse
import http.client
import json
import math
import os
import selectors
import socket
import tempfile
import time

ACTIVE_INTERVAL_S = 0.033  # about 30 reports a second while something changes
IDLE_INTERVAL_S = 0.2      # five a second otherwise, well inside the server's second

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
    mode (2: finger on the pad, 1: lifted) and the echoed packet number."""
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

    def next_path(self, x, y, left=False, right=False, on_pad=True):
        self.frame = 1 if self.frame >= 0xFFFF else self.frame + 1
        return report_path(self.pointer, self.frame, x, y, left, right, on_pad, self.ack_packet)

    def headers(self):
        return {"Cookie": "TVXKey=" + self.key} if self.key else {}

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


def _motion(pointer, now):
    """Circles for three seconds with a tap in the middle, then the finger
    lifted for a second, over and over: x, y, left, on_pad."""
    phase = pointer * 0.7
    moment = (now + phase) % 4.0
    angle = moment * 2.0
    return (int(32767 + 20000 * math.cos(angle + phase)),
            int(32767 + 20000 * math.sin(angle + phase)), 1.4 < moment < 1.6, moment < 3.0)


class _Line:
    """One phone's kept-alive connection in the swarm's loop."""

    def __init__(self, phone):
        self.phone, self.socket, self.buffer, self.due, self.waiting = phone, None, b"", 0.0, False


class Swarm:
    """Many phones on one thread: each a non-blocking kept-alive connection,
    sending its next report when it is due and the answer to the last one
    is in."""

    def __init__(self, phones, hz=None, stamp=False, say=print):
        self.lines = [_Line(phone) for phone in phones]
        self.hz, self.stamp, self.say = hz, stamp, say
        self.selector = selectors.DefaultSelector()
        self.sent = self.answered = 0

    def _connect(self, line):
        line.socket = socket.create_connection((line.phone.host, line.phone.port),
                                               timeout=line.phone.timeout)
        line.socket.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        line.socket.setblocking(False)
        self.selector.register(line.socket, selectors.EVENT_READ, line)

    def _drop(self, line, error):
        if line.socket is not None:
            self.selector.unregister(line.socket)
            line.socket.close()
        line.socket, line.buffer, line.waiting = None, b"", False
        if error:
            self.say("phone %d: %s" % (line.phone.pointer, error))
            line.due = time.monotonic() + 1.0

    def _send(self, line, now):
        phone = line.phone
        x, y, left, on_pad = _motion(phone.pointer, now)
        if self.stamp:
            x, y = stamp_now()
        path = phone.next_path(x, y, left, False, on_pad)
        cookie = "Cookie: TVXKey=%s\r\n" % phone.key if phone.key else ""
        request = ("GET %s HTTP/1.1\r\nHost: %s\r\n%s\r\n" % (path, phone.host, cookie)).encode()
        try:
            if line.socket is None:
                self._connect(line)
            line.socket.sendall(request)
        except OSError as error:
            self._drop(line, error)
            return
        line.waiting = True
        self.sent += 1
        interval = 1.0 / self.hz if self.hz else (ACTIVE_INTERVAL_S if on_pad else IDLE_INTERVAL_S)
        line.due = max(line.due + interval, now)

    def _receive(self, line):
        try:
            data = line.socket.recv(4096)
        except BlockingIOError:
            return
        except OSError as error:
            self._drop(line, error)
            return
        if not data:
            self._drop(line, None)  # the server closed it: the next report opens another
            return
        line.buffer += data
        end = line.buffer.find(b"\r\n\r\n")
        if end < 0:
            return
        head = line.buffer[:end].decode("latin-1").lower().split("\r\n")
        length = next((int(h.split(":", 1)[1]) for h in head if h.startswith("content-length:")),
                      0)
        if len(line.buffer) < end + 4 + length:
            return
        body = line.buffer[end + 4:end + 4 + length].decode("latin-1")
        line.buffer, line.waiting = line.buffer[end + 4 + length:], False
        self.answered += 1
        code = line.phone.take_answer(body)
        if code is not None:
            self.say("phone %d: %s (packet %d)" % (line.phone.pointer,
                                                   COMMANDS.get(code, "Command %02X" % code),
                                                   line.phone.ack_packet))
        if any(h.startswith("connection:") and "close" in h for h in head):
            self._drop(line, None)

    def run(self, until):
        """Reports until time.monotonic() reaches until."""
        while True:
            now = time.monotonic()
            if now >= until:
                return
            for line in self.lines:
                if not line.waiting and line.due <= now:
                    self._send(line, now)
            waiting = [line.due for line in self.lines if not line.waiting]
            timeout = max(0.0, min(waiting + [until]) - time.monotonic())
            for key, _ in self.selector.select(min(timeout, 0.5)):
                self._receive(key.data)


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
                        help="reports a second of each phone (default: 30 while the finger "
                        "moves, 5 while it is lifted, as the page does)")
    parser.add_argument("--key", default=None, help="the class's access key, as the page sends it")
    parser.add_argument("--stamp", action="store_true",
                        help="X and Y carry the send time: milliseconds of the monotonic clock, "
                        "low 16 bits in X, high 16 in Y")
    parser.add_argument("--state", default=os.path.join(tempfile.gettempdir(),
                                                        "tvxhdv-phones.json"),
                        help="where each phone's frame count is kept between runs")
    options = parser.parse_args()
    if not (0 <= options.first and options.count >= 1 and options.first + options.count <= 80):
        parser.error("phones are numbered 0 to 79")

    frames = _load_frames(options.state)
    key = "%s:%d:%d"
    phones = [Phone(options.host, options.port, pointer, key=options.key,
                    frame=int(frames.get(key % (options.host, options.port, pointer), 0)))
              for pointer in range(options.first, options.first + options.count)]
    swarm = Swarm(phones, options.hz, options.stamp, lambda text: print(text, flush=True))
    try:
        swarm.run(time.monotonic() + options.seconds)
    except KeyboardInterrupt:
        pass
    finally:
        for phone in phones:
            frames[key % (options.host, options.port, phone.pointer)] = phone.frame
        _save_frames(options.state, frames)


if __name__ == "__main__":
    main()
