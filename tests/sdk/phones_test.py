"""sdk/python/phones.py against a small server that answers as TVXHandvane
does after a link's delay: one kept-alive connection a phone, and every
change of the buttons sent once and in order, one a request or batched."""

import os
import re
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PHONES = os.path.join(SOURCE, "sdk", "python", "phones.py")


class LinkServer:
    """Answers every request "0000" after delay seconds, the late-th request
    (counted from 1) after LATE_S, past the phones' timeout; keeps the
    connection only when asked to, as TVXHandvane does. Records each
    request's connection and path."""

    LATE_S = 2.5

    def __init__(self, delay, late=None):
        self.delay, self.late, self.requests, self.connections = delay, late, [], 0
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            self.connections += 1
            threading.Thread(target=self._serve, args=(connection, self.connections),
                             daemon=True).start()

    def _serve(self, connection, number):
        with connection:
            data = b""
            while True:
                while b"\r\n\r\n" not in data:
                    more = connection.recv(65536)
                    if not more:
                        return
                    data += more
                head, data = data.split(b"\r\n\r\n", 1)
                head = head.decode("latin-1")
                self.requests.append((number, head.split(" ")[1]))
                late = len(self.requests) == self.late
                time.sleep(self.LATE_S if late else self.delay)  # the link's, not a wait for an event
                keep = "\r\nconnection: keep-alive" in head.lower()
                try:
                    connection.sendall(("HTTP/1.0 200 OK\r\nContent-Length: 4\r\nConnection: %s"
                                        "\r\n\r\n0000" % ("Keep-Alive" if keep else "close")).encode())
                except OSError:
                    return  # the phone gave up on it
                if not keep:
                    return

    def close(self):
        self.listener.close()


def reports_of(path):
    """The 23-character reports a request's path carries, in order."""
    if path.startswith("/tolvex"):
        return [path[len("/tolvex"):]]
    assert path.startswith("/batch/"), path
    return path[len("/batch/"):].split("/")


class PhonesTest(unittest.TestCase):
    def run_phones(self, delay, *options, late=None):
        server = LinkServer(delay, late)
        self.addCleanup(server.close)
        folder = tempfile.mkdtemp(prefix="tvxhdv-phones-")
        output = subprocess.run(
            [sys.executable, PHONES, "--port", str(server.port), "--first", "3", "--count", "2",
             "--seconds", "1.5", "--state", os.path.join(folder, "state.json")] + list(options),
            check=True, timeout=60, stdout=subprocess.PIPE).stdout.decode()
        counts = dict((name, int(value)) for name, value in
                      re.findall(r"(\w+)=(\d+)", output.splitlines()[-1]))
        return server, counts

    def check_sent_in_order(self, server, counts, taps):
        self.assertEqual(server.connections, 2)
        self.assertEqual(counts["connections"], 2)
        presses = releases = reports = 0
        connections = []
        for pointer in (3, 4):
            items = [item for _, path in server.requests for item in reports_of(path)
                     if int(item[3:5], 16) == pointer]
            connections.append({number for number, path in server.requests
                                if int(reports_of(path)[0][3:5], 16) == pointer})
            frames = [int(item[5:9], 16) for item in items]
            self.assertEqual(frames, list(range(1, len(frames) + 1)))
            left = [item[17] == "1" for item in items]
            steps = list(zip([False] + left, left))
            presses += sum(1 for before, after in steps if after and not before)
            releases += sum(1 for before, after in steps if before and not after)
            reports += len(items)
        self.assertEqual(sorted(connections), [{1}, {2}])  # one a phone, all its requests
        self.assertEqual((counts["reports"], counts["presses"], counts["releases"]),
                         (reports, presses, releases))
        self.assertEqual((counts["dropped"], counts["unsent"]), (0, 0))
        self.assertEqual(counts["requests"], len(server.requests))
        # Read all the time, not only when a report goes: most taps count.
        self.assertGreater(presses, taps * 1.5 * 2 * 0.5)

    def test_every_change_goes_once_and_in_order_one_a_request(self):
        server, counts = self.run_phones(0.05, "--taps", "4")
        self.check_sent_in_order(server, counts, 4)
        self.assertTrue(all(path.startswith("/tolvex") for _, path in server.requests))

    def test_changes_that_wait_for_an_answer_go_together_over_the_batch_route(self):
        server, counts = self.run_phones(0.1, "--taps", "20", "--batch")
        self.check_sent_in_order(server, counts, 20)
        sizes = [len(reports_of(path)) for _, path in server.requests]
        self.assertGreater(max(sizes), 2)
        self.assertLessEqual(max(sizes), 32)
        # A batch carries changes only: each report's finger differs from the
        # one before it, oldest first.
        last = {}
        for _, path in server.requests:
            items = reports_of(path)
            for item in items:
                pointer = item[3:5]
                if len(items) > 1:
                    self.assertNotEqual(item[17], last.get(pointer, "0"), path)
                last[pointer] = item[17]

    def test_a_request_answered_too_late_goes_again_with_its_frames_over_the_batch_route_only(self):
        for batch in (True, False):
            with self.subTest(batch=batch):
                options = ["--taps", "4"] + (["--batch"] if batch else [])
                server, counts = self.run_phones(0.05, *options, late=3)
                late_path = server.requests[2][1]
                later = [path for number, path in server.requests[3:]
                         if reports_of(path)[0][3:5] == reports_of(late_path)[0][3:5]]
                # A server that passes on a report only when its frame is new
                # passes on frames 1, 2, 3... each once: none is skipped.
                for pointer in ("03", "04"):
                    frames = [int(item[5:9], 16) for _, path in server.requests
                              for item in reports_of(path) if item[3:5] == pointer]
                    fresh = [frame for at, frame in enumerate(frames)
                             if frame > max(frames[:at], default=0)]
                    self.assertEqual(fresh, list(range(1, len(fresh) + 1)))
                if batch:
                    again = later[0]
                    self.assertTrue(again.startswith("/batch/"), again)
                    self.assertEqual(reports_of(again)[:len(reports_of(late_path))],
                                     reports_of(late_path))
                    self.assertEqual(counts["unanswered"], 0)
                else:
                    self.assertFalse(any(set(reports_of(path)) & set(reports_of(late_path))
                                         for path in later))
                    self.assertTrue(all(path.startswith("/tolvex") for path in later))
                    self.assertEqual(counts["unanswered"], 1)


if __name__ == "__main__":
    unittest.main()
