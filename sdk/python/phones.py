"""Simulated phones that report to a TVXHandvane server over HTTP as the
phone's page does, so that a consuming application can be built and tried
without a class of phones. Standard library only.

    python3 phones.py --port 8080 --count 5
        five phones, pointers 0 to 4, each drawing circles on its pad, tapping
        now and then and lifting its finger for a while; each prints the
        commands it gets ("phone 3: Vibrate short single (packet 1)")
    python3 phones.py --host 192.168.1.20 --first 10 --count 3 --seconds 60

As a module:

    phone = phones.Phone("127.0.0.1", 8080, pointer=3)
    code = phone.report(x=1000, y=2000, left=True)  # a new command, or None

A report is a GET of "/tolvex" and 23 hexadecimal characters (sdk/README.md);
the answer's four characters carry a numbered command packet, which the next
reports echo.
"""

import argparse
import http.client
import math
import threading
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
}


def report_path(pointer, frame, x, y, left=False, right=False, on_pad=True, ack_packet=0):
    """The path of one report: layout 1, screen 0, then the pointer, frame,
    X and Y in hexadecimal, the two buttons as 0 or 1, the acknowledgement
    mode (2: finger on the pad, 1: lifted) and the echoed packet number."""
    return "/tolvex1%02X%02X%04X%04X%04X%d%d%02X%02X" % (
        0, pointer, frame, x, y, int(bool(left)), int(bool(right)), 2 if on_pad else 1,
        ack_packet)


class Phone:
    """One phone's page: counts its frames, echoes the packet numbers it gets
    and runs each command once."""

    def __init__(self, host, port, pointer, timeout=2.0):
        if not 0 <= pointer < 80:
            raise ValueError("pointer %r does not exist: phones are numbered 0 to 79" % pointer)
        self.host, self.port, self.pointer, self.timeout = host, port, pointer, timeout
        self.frame = 0        # 1 to 65535, then 1 again: the server drops frame 0 as stale
        self.ack_packet = 0   # the packet number of the last answer
        self.commands = []    # (packet, code) of every command received

    def report(self, x, y, left=False, right=False, on_pad=True):
        """Sends one report on a connection of its own, as a browser does.
        Returns the code of a command the answer brought for the first time,
        else None. Raises OSError when the server cannot be reached."""
        self.frame = 1 if self.frame >= 0xFFFF else self.frame + 1
        path = report_path(self.pointer, self.frame, x, y, left, right, on_pad, self.ack_packet)
        connection = http.client.HTTPConnection(self.host, self.port, timeout=self.timeout)
        try:
            connection.request("GET", path, headers={"Connection": "close"})
            answer = connection.getresponse().read().decode("latin-1")
        finally:
            connection.close()
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


def _play(phone, until, stop, lock):
    """Circles for three seconds with a tap in the middle, then lifts the
    finger for a second, over and over."""
    phase = phone.pointer * 0.7
    while not stop.is_set() and time.monotonic() < until:
        moment = (time.monotonic() + phase) % 4.0
        on_pad = moment < 3.0
        angle = moment * 2.0
        x = int(32767 + 20000 * math.cos(angle + phase))
        y = int(32767 + 20000 * math.sin(angle + phase))
        try:
            code = phone.report(x, y, left=1.4 < moment < 1.6, on_pad=on_pad)
        except OSError as error:
            with lock:
                print("phone %d: %s" % (phone.pointer, error), flush=True)
            stop.wait(1.0)
            continue
        if code is not None:
            with lock:
                print("phone %d: %s (packet %d)" % (
                    phone.pointer, COMMANDS.get(code, "Command %02X" % code),
                    phone.ack_packet), flush=True)
        stop.wait(ACTIVE_INTERVAL_S if on_pad else IDLE_INTERVAL_S)


def main():
    parser = argparse.ArgumentParser(description="Phones that report to TVXHandvane over HTTP.")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=8080, help="Port under [Control] (8080)")
    parser.add_argument("--first", type=int, default=0, help="the first phone's pointer number")
    parser.add_argument("--count", type=int, default=1, help="how many phones (default 1)")
    parser.add_argument("--seconds", type=float, default=float("inf"),
                        help="how long they report (default: until Ctrl+C)")
    options = parser.parse_args()
    if not (0 <= options.first and options.count >= 1 and options.first + options.count <= 80):
        parser.error("phones are numbered 0 to 79")

    until = time.monotonic() + options.seconds
    stop, lock = threading.Event(), threading.Lock()
    threads = [threading.Thread(target=_play, daemon=True,
                                args=(Phone(options.host, options.port, pointer), until, stop,
                                      lock))
               for pointer in range(options.first, options.first + options.count)]
    for thread in threads:
        thread.start()
    try:
        for thread in threads:
            while thread.is_alive():
                thread.join(0.2)
    except KeyboardInterrupt:
        stop.set()


if __name__ == "__main__":
    main()
