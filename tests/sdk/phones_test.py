"""sdk/python/phones.py's swarm against a small server that answers as
TVXHandvane does over a slow link: one kept-alive connection a phone, and
every change of the buttons sent once and in order, one a request or
batched."""

import os
import socket
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sdk",
                                "python"))
import phones  # noqa: E402

CHANGES = 12       # each phone's finger goes down and up this many times in all, then rests
SAMPLES_A_STEP = 3  # reads of the input between two changes
DEADLINE_S = 30.0   # only a broken swarm makes a held answer wait this long


class Finger:
    """The phones' input, moved by the swarm's own reads rather than by the
    clock: every change is read, and the server can wait for the next."""

    def __init__(self):
        self.reads, self.made = {}, {}
        self.changed = threading.Condition()

    def __call__(self, pointer, now):
        with self.changed:
            self.reads[pointer] = self.reads.get(pointer, 0) + 1
            self.made[pointer] = min(self.reads[pointer] // SAMPLES_A_STEP, CHANGES)
            self.changed.notify_all()
            return 30000, 30000, self.made[pointer] % 2 == 1, True

    def wait(self, pointer, more):
        """Until the phone made more changes since now, or all of them."""
        with self.changed:
            target = min(self.made.get(pointer, 0) + more, CHANGES)
            self.changed.wait_for(lambda: self.made.get(pointer, 0) >= target, DEADLINE_S)


class LinkServer:
    """Holds each answer until its phone made `pile` more changes, so that
    changes pile up behind it as behind a slow link: a delay measured in
    changes rather than seconds. The late-th request (counted from 1) is
    held until the phone gives up on its connection. Records each request's
    connection and path."""

    def __init__(self, finger, pile, late=None):
        self.finger, self.pile, self.late = finger, pile, late
        self.requests, self.connections = [], 0
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
        connection.settimeout(DEADLINE_S)
        with connection:
            data = b""
            while True:
                while b"\r\n\r\n" not in data:
                    more = connection.recv(65536)
                    if not more:
                        return
                    data += more
                head, data = data.split(b"\r\n\r\n", 1)
                path = head.decode("latin-1").split(" ")[1]
                self.requests.append((number, path))
                if len(self.requests) == self.late:
                    connection.recv(1)  # the phone closes it when it gives up
                else:
                    self.finger.wait(int(reports_of(path)[0][3:5], 16), self.pile)
                try:
                    connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n0000")
                except OSError:
                    return  # the phone gave up on it

    def close(self):
        self.listener.close()


def reports_of(path):
    """The 23-character reports a request's path carries, in order."""
    if path.startswith("/tolvex"):
        return [path[len("/tolvex"):]]
    assert path.startswith("/batch/"), path
    return path[len("/batch/"):].split("/")


def items_of(server, pointer):
    return [item for _, path in server.requests for item in reports_of(path)
            if int(item[3:5], 16) == pointer]


class PhonesTest(unittest.TestCase):
    def run_phones(self, batch, pile, late=None):
        finger = Finger()
        server = LinkServer(finger, pile, late)
        self.addCleanup(server.close)
        swarm = phones.Swarm([phones.Phone("127.0.0.1", server.port, pointer)
                              for pointer in (3, 4)], say=lambda text: None, batch=batch,
                             motion=finger)
        self.addCleanup(swarm.close)
        # Every change comes in 1.5 s at a read each 10 ms; the rest goes in the grace.
        swarm.run(time.monotonic() + 1.5, grace=DEADLINE_S)
        swarm.summary()
        self.assertEqual(finger.made, {3: CHANGES, 4: CHANGES})
        return server, swarm.counts

    def check_sent_in_order(self, server, counts):
        self.assertEqual((server.connections, counts["connections"]), (2, 2))
        for pointer in (3, 4):
            items = items_of(server, pointer)
            self.assertEqual([int(item[5:9], 16) for item in items], list(range(1, len(items) + 1)))
            left = [item[17] == "1" for item in items]
            changes = sum(1 for before, after in zip([False] + left, left) if before != after)
            self.assertEqual(changes, CHANGES)  # each read change went, none twice
            connections = {number for number, path in server.requests
                           if int(reports_of(path)[0][3:5], 16) == pointer}
            self.assertEqual(len(connections), 1)  # one a phone, all its requests
        # Half of each phone's changes are presses, half releases: two phones.
        self.assertEqual((counts["presses"], counts["releases"]), (CHANGES, CHANGES))
        self.assertEqual((counts["dropped"], counts["unsent"], counts["unanswered"]), (0, 0, 0))
        self.assertEqual(counts["requests"], len(server.requests))
        self.assertEqual(counts["reports"], sum(len(reports_of(p)) for _, p in server.requests))

    def test_every_change_goes_once_and_in_order_one_a_request_or_batched(self):
        for batch in (False, True):
            with self.subTest(batch=batch):
                server, counts = self.run_phones(batch, pile=3 if batch else 1)
                self.check_sent_in_order(server, counts)
                sizes = [len(reports_of(path)) for _, path in server.requests]
                if batch:  # the three changes held back behind an answer went in one
                    self.assertGreaterEqual(max(sizes), 3)
                else:
                    self.assertTrue(all(path.startswith("/tolvex") for _, path in server.requests))
                # A batch carries changes only: each report's finger differs
                # from the one before it, oldest first.
                last = {}
                for _, path in server.requests:
                    items = reports_of(path)
                    for item in items:
                        if len(items) > 1:
                            self.assertNotEqual(item[17], last.get(item[3:5], "0"), path)
                        last[item[3:5]] = item[17]

    def test_a_request_answered_too_late_goes_again_with_its_frames_over_the_batch_route_only(self):
        for batch in (True, False):
            with self.subTest(batch=batch):
                server, counts = self.run_phones(batch, pile=1, late=3)
                late_path = server.requests[2][1]
                later = [path for _, path in server.requests[3:]
                         if reports_of(path)[0][3:5] == reports_of(late_path)[0][3:5]]
                # A server that passes on a report only when its frame is new
                # passes on frames 1, 2, 3... each once: none is skipped.
                for pointer in (3, 4):
                    frames = [int(item[5:9], 16) for item in items_of(server, pointer)]
                    fresh = [frame for at, frame in enumerate(frames)
                             if frame > max(frames[:at], default=0)]
                    self.assertEqual(fresh, list(range(1, len(fresh) + 1)))
                if batch:
                    self.assertTrue(later[0].startswith("/batch/"), later[0])
                    self.assertEqual(reports_of(later[0])[:len(reports_of(late_path))],
                                     reports_of(late_path))
                    self.assertEqual(counts["unanswered"], 0)
                else:
                    self.assertFalse(any(set(reports_of(path)) & set(reports_of(late_path))
                                         for path in later))
                    self.assertTrue(all(path.startswith("/tolvex") for path in later))
                    self.assertEqual(counts["unanswered"], 1)

    def test_reports_first_sent_as_long_ago_as_the_server_keeps_frames_go_no_more(self):
        swarm = phones.Swarm([phones.Phone("127.0.0.1", 1, 3)], say=lambda text: None, batch=True)
        self.addCleanup(swarm.close)
        line = swarm.lines[0]
        sent = [(1, 0, 0, True, False, True, 100.0), (2, 0, 0, False, False, True, 100.0)]
        unsent = [(0, 0, 0, False, True, True, 0.0)]
        for now, carried in ((100 + phones.FRAMES_KEPT_S - 0.01, sent + unsent),
                             (100 + phones.FRAMES_KEPT_S, unsent)):
            line.queued.extend(sent + unsent)
            self.assertEqual(swarm._next_states(line, now), carried)


if __name__ == "__main__":
    unittest.main()
