"""TVXBridge between the real TVXHandvane and receivers nobody here wrote:
liblo's oscdump and oscsend, Python's websockets, Pure Data; with a runner
(wine) the server and the bridge run under it, the receivers natively.

  bridge_end_to_end_test.py --bin DIR [--suffix .exe] [--runner=env,...,wine]"""

import argparse
import asyncio
import http.client
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import websockets

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path[:0] = [os.path.join(SOURCE, "sdk", "python"), os.path.join(SOURCE, "tests", "support")]
import phones  # noqa: E402
from tvx_server import Server, Started, free_port, poll  # noqa: E402

parser = argparse.ArgumentParser()
parser.add_argument("--bin", default=os.path.join(SOURCE, "build", "bin"))
parser.add_argument("--suffix", default="")
parser.add_argument("--runner", default="")
ARGS, REST = parser.parse_known_args()
RUNNER = [part for part in ARGS.runner.split(",") if part]


class OscDump:
    """liblo's oscdump on a port of its own; its lines split into address,
    types and arguments."""

    def __init__(self, folder):
        self.port = free_port(socket.SOCK_DGRAM)
        self.started = Started(["oscdump", "-L", str(self.port)], os.path.join(folder, "oscdump.out"))
        poll(lambda: subprocess.run(["oscsend", "localhost", str(self.port), "/ready"]) is None
             or "/ready" in self.started.text(), 10)

    def messages(self, address=None):
        found = []
        for line in self.started.text().splitlines():
            parts = line.split(" ", 3)
            if len(parts) >= 3 and (address is None or parts[1] == address):
                found.append((parts[1], parts[2], parts[3] if len(parts) > 3 else ""))
        return found


PHONES_IN_PD = 20


def pd_patch(listen_port, bridge_port):
    """A patch as a Pd user builds it: the reports routed by address, one
    count per phone printed as it grows ("count: 3 17"), and on the test's
    /tvxhdv/sendback a vibration for phone 7 sent back."""
    lines = ["#N canvas 0 0 800 600 10;"]
    links = []

    def box(text, kind="obj"):
        lines.append("#X %s 10 10 %s;" % (kind, text))
        return len(lines) - 2

    def link(source, outlet, sink, inlet=0):
        links.append("#X connect %d %d %d %d;" % (source, outlet, sink, inlet))

    receive = box("netreceive -u -b %d" % listen_port)
    parse, trim, tvxhdv = box("oscparse"), box("list trim"), box("route tvxhdv")
    link(receive, 0, parse)
    link(parse, 0, trim)
    link(trim, 0, tvxhdv)
    phones = box("route %s sendback" % " ".join("p%d" % k for k in range(PHONES_IN_PD)))
    link(tvxhdv, 0, phones)
    box("table counts %d" % PHONES_IN_PD)
    pointer, old = box("t f f"), box("tabread counts")
    grown, new, write = box("+ 1"), box("t f f"), box("tabwrite counts")
    named, show = box("list prepend"), box("print count")
    link(pointer, 1, write, 1)
    link(pointer, 1, named, 1)
    link(pointer, 0, old)
    link(old, 0, grown)
    link(grown, 0, new)
    link(new, 1, write)
    link(new, 0, named)
    link(named, 0, show)
    for k in range(PHONES_IN_PD):
        report = box("route xy")
        link(phones, k, report)
        number = box("%d" % k, "msg")
        link(report, 0, number)
        link(number, 0, pointer)
    pattern = box("symbol short-single", "msg")
    link(phones, PHONES_IN_PD, pattern)
    formatted, prefixed = box("oscformat tvxhdv p7 vibrate"), box("list prepend send")
    trimmed, send = box("list trim"), box("netsend -u -b")
    link(pattern, 0, formatted)
    link(formatted, 0, prefixed)
    link(prefixed, 0, trimmed)
    link(trimmed, 0, send)
    loaded, connect = box("loadbang"), box("connect 127.0.0.1 %d" % bridge_port, "msg")
    ready = box("print ready")
    link(loaded, 0, connect)
    link(connect, 0, send)
    link(loaded, 0, ready)
    return "\n".join(lines + links) + "\n"


class Client:
    """A WebSocket client on a thread of its own. One that does not read stops
    taking data from its socket once its small buffers are full."""

    def __init__(self, port, read=True, receive_buffer=None):
        self.messages = []
        self.arrived = []  # when each message came, time.monotonic()
        self.closed = None  # (code, reason) once the bridge closed it
        self.reading = threading.Event()
        if read:
            self.reading.set()
        self.connected = threading.Event()
        self.loop = asyncio.new_event_loop()
        self.thread = threading.Thread(target=self.loop.run_until_complete,
                                       args=(self.run(port, receive_buffer),), daemon=True)
        self.thread.start()
        if not self.connected.wait(30):
            raise AssertionError("no WebSocket connection")

    async def run(self, port, receive_buffer):
        options = {"ping_interval": None}
        if receive_buffer:
            sock = socket.socket()
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
            sock.connect(("127.0.0.1", port))
            options.update(sock=sock, max_queue=1, read_limit=1024)
        try:
            async with websockets.connect("ws://127.0.0.1:%d/" % port, **options) as self.ws:
                self.connected_at = time.monotonic()
                self.connected.set()
                while True:
                    if not self.reading.is_set():
                        await asyncio.sleep(0.05)
                        continue
                    message = await self.ws.recv()
                    self.arrived.append(time.monotonic())
                    self.messages.append(json.loads(message))
        except websockets.ConnectionClosed as closed:
            self.closed = (closed.rcvd.code, closed.rcvd.reason) if closed.rcvd else (None, "")
        finally:
            self.connected.set()

    def send(self, value):
        asyncio.run_coroutine_threadsafe(self.ws.send(json.dumps(value)), self.loop).result(10)

    def reports(self):
        return [(m["pointer"], m["frame"]) for m in list(self.messages) if "pointer" in m]

    def others(self):
        """The server's state and changes, and the errors."""
        return [m for m in list(self.messages) if not {"pointer", "join", "leave"} & set(m)]

    def errors(self):
        return [m for m in self.others() if "error" in m]

    def presence(self, kind):
        return [m[kind]["pointer"] for m in list(self.messages) if kind in m]

    def close(self):
        if self.closed is None and self.thread.is_alive():
            asyncio.run_coroutine_threadsafe(self.ws.close(), self.loop).result(10)
        self.thread.join(10)


class BridgeTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tvxbridge-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        self.server = Server(self.folder, ARGS.bin, ARGS.suffix, RUNNER)
        self.addCleanup(self.server.end)
        self.osc = OscDump(self.folder)
        self.addCleanup(self.osc.started.end)
        self.listen_port = free_port(socket.SOCK_DGRAM)
        self.ws_port = free_port()

    def start_bridge(self, serving=True, more=()):
        """The bridge; when serving, the server first and the bridge reading it."""
        if serving:
            self.server.start()
        self.bridge = Started(RUNNER + [os.path.join(ARGS.bin, "TVXBridge" + ARGS.suffix),
                                        "--folder", self.server.system_path(self.folder),
                                        "--osc", "127.0.0.1:%d" % self.osc.port,
                                        "--osc-listen", str(self.listen_port),
                                        "--ws", str(self.ws_port)] + list(more),
                              os.path.join(self.folder, "bridge.out"))
        self.addCleanup(self.bridge.end)
        self.bridge.wait_for("Reading the reports" if serving else "Waiting for a server")

    def client(self, **options):
        client = Client(self.ws_port, **options)
        self.addCleanup(client.close)
        return client

    def phone(self, pointer):
        return phones.Phone("127.0.0.1", self.server.port, pointer, timeout=10.0)

    def test_reports_in_order_commands_both_ways_and_bad_ones_answered(self):
        self.start_bridge(more=["--osc-scheme", "legacy"])
        client = self.client()
        # oscsend writes each bad message to a socket of the test's, which sends
        # it on so that the answer has somewhere to go, and hands that to oscdump.
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as capture, \
                socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
            capture.bind(("127.0.0.1", 0))
            capture.settimeout(10)
            sender.settimeout(10)
            for message in (("/tvxhdv/vibrate", "is", "3", "buzz"), ("/tvxhdv/send", "ii", "80", "1"),
                            ("/tvxhdv/jump", "i", "1"), ("/tvxhdv/p3/send", "i", "255"), None):
                if message:
                    subprocess.run(["oscsend", "localhost", str(capture.getsockname()[1])]
                                   + list(message), check=True)
                sender.sendto(capture.recv(65536) if message else b"not OSC at all!!",
                              ("127.0.0.1", self.listen_port))
                sender.sendto(sender.recv(65536), ("127.0.0.1", self.osc.port))
        self.assertTrue(poll(lambda: len(self.osc.messages("/tvxhdv/error")) == 5))
        errors = self.osc.messages("/tvxhdv/error")
        for (_, types, error), word in zip(errors, ["pattern", "pointer 80", "/tvxhdv/jump",
                                                    "255 never", "not an OSC"]):
            self.assertEqual(types, "s")
            self.assertIn(word, error)
        for text in ['not json', '{"send":{"pointer":3}}',
                     '{"vibrate":{"pointer":3,"pattern":"buzz"}}', '[1,2]']:
            asyncio.run_coroutine_threadsafe(client.ws.send(text), client.loop).result(10)
        self.assertTrue(poll(lambda: len(client.errors()) == 4), client.messages)
        self.assertTrue(all(set(m) == {"error"} for m in client.errors()), client.messages)

        pointers = {p: self.phone(p) for p in (3, 4, 5)}
        sent = []
        for i in range(90):
            phone = pointers[3 + i % 3]
            phone.report(65535 if i == 0 else i * 700, 16384, left=i % 2 == 0)
            sent.append((phone.pointer, phone.frame))
        poll(lambda: len(client.reports()) >= len(sent) and len(
            self.osc.messages("/tvxhdv/pointer")) >= len(sent))
        self.assertEqual(client.reports(), sent)
        self.assertEqual(next(m for m in client.messages if "pointer" in m), {"pointer": 3, "x": 1, "y": 16384 / 65535, "left": True,
                                              "right": False, "onPad": True, "frame": 1})
        osc = self.osc.messages("/tvxhdv/pointer")
        self.assertEqual(osc[0], ("/tvxhdv/pointer", "iffiiii", "3 1.000000 0.250004 1 0 1 1"))
        self.assertEqual([(int(a.split()[0]), int(a.split()[6])) for _, _, a in osc], sent)

        for message in (("/tvxhdv/vibrate", "is", "3", "long-double"),
                        ("/tvxhdv/vibrate", "ii", "4", "2"), ("/tvxhdv/p4/show", "s", "correct"),
                        ("/tvxhdv/send", "ii", "5", "194")):
            subprocess.run(["oscsend", "localhost", str(self.listen_port)] + list(message),
                           check=True)
        client.send({"vibrate": {"pointer": 5, "pattern": "short-single"}})
        client.send({"send": {"pointer": 3, "code": 161}})
        wanted = {3: [0xA1, 0xA5], 4: [0xA1, 0xB1], 5: [0xA0, 0xC2]}  # and none of the bad ones

        def answered():
            for phone in pointers.values():
                phone.report(100, 100)
            return all(sorted(c for _, c in pointers[p].commands) == codes
                       for p, codes in wanted.items())
        self.assertTrue(poll(answered), {p: phone.commands for p, phone in pointers.items()})
        self.assertEqual(len(client.errors()), 4)

    def test_follows_the_server_through_restarts(self):
        self.start_bridge(serving=False)
        self.assertTrue(poll(lambda: self.osc.messages("/tvxhdv/server")))
        client = self.client()
        self.assertTrue(poll(lambda: client.others() == [{"server": "gone", "present": []}]))

        for run in range(2):
            self.server.start()
            said = [{"server": "gone", "present": []}] + [{"server": "new"}, {"server": "gone"}] * run \
                + [{"server": "new"}]
            self.assertTrue(poll(lambda: client.others() == said), client.messages)
            self.assertTrue(poll(lambda: [a for _, _, a in self.osc.messages("/tvxhdv/server")]
                                 == ['"%s"' % m["server"] for m in said]), self.osc.messages())
            self.phone(7).report(500 + run, 600)
            self.assertTrue(poll(lambda: len(client.reports()) == run + 1))
            self.assertEqual(client.messages[-1]["x"], (500 + run) / 65535)
            self.server.quit()
            self.assertTrue(poll(lambda: client.others()[-1:] == [{"server": "gone"}]))
        self.assertTrue(poll(lambda: self.osc.messages("/tvxhdv/server")[-1][2] == '"gone"'))
        self.assertIsNone(self.bridge.process.poll())

    def test_a_second_bridge_says_who_reads_the_reports_and_not_that_no_server_runs(self):
        self.start_bridge()
        second_port = free_port()
        second = Started(RUNNER + [os.path.join(ARGS.bin, "TVXBridge" + ARGS.suffix),
                                   "--folder", self.server.system_path(self.folder),
                                   "--ws", str(second_port)],
                         os.path.join(self.folder, "second.out"))
        self.addCleanup(second.end)
        second.wait_for("Another program reads the reports")
        self.assertIn("TVXBridge", second.text())
        self.assertNotIn("Waiting for a server", second.text())
        client = Client(second_port)
        self.addCleanup(client.close)
        self.assertTrue(poll(lambda: client.others()), client.messages)
        said = client.others()
        self.assertEqual([m["server"] for m in said], ["busy"])
        self.assertIn("TVXBridge", said[0]["holder"])

    def test_a_client_that_connects_mid_class_learns_at_once_who_is_there(self):
        self.start_bridge()
        first = self.client()
        pointers = {p: self.phone(p) for p in (3, 4, 5)}
        for phone in pointers.values():
            phone.report(100, 100)
        self.assertTrue(poll(lambda: sorted(first.presence("join")) == [3, 4, 5]), first.messages)
        for pointer in (3, 4, 5):  # told before its report
            self.assertIn("join", next(m for m in first.messages
                                       if m.get("join", m).get("pointer") == pointer))
        late = self.client()
        self.assertTrue(poll(lambda: late.messages))
        self.assertEqual(late.messages[0], {"server": "running", "present": [
            {"pointer": 3}, {"pointer": 4}, {"pointer": 5}]})
        self.assertLess(late.arrived[0] - late.connected_at, 0.1)

        # Phone 4 names itself: every client hears it, a new one finds it.
        naming = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=10)
        naming.request("GET", "/name/04", headers={"TVXName": "Zo%C3%AB"})
        self.assertEqual(naming.getresponse().status, 204)
        naming.close()
        rename = {"rename": {"pointer": 4, "name": "Zo\u00eb"}}
        for client in (first, late):
            self.assertTrue(poll(lambda: rename in client.messages), client.messages[-3:])
        self.assertTrue(poll(lambda: self.osc.messages("/tvxhdv/p4/name")))
        newest = self.client()
        self.assertTrue(poll(lambda: newest.messages))
        self.assertEqual(newest.messages[0]["present"][1], {"pointer": 4, "name": "Zo\u00eb"})

        # Phone 3 falls silent; the others go on and are told commands by name.
        late.send({"show": {"pointer": 4, "what": "correct"}})
        late.send({"show": {"pointer": 5, "what": "digit", "n": 7}})

        def three_left():
            for pointer in (4, 5):
                pointers[pointer].report(200, 200)
            return late.presence("leave") == [3]
        self.assertTrue(poll(three_left), late.messages[-3:])
        self.assertEqual(first.presence("leave"), [3])
        self.assertEqual([c for _, c in pointers[4].commands], [0xB1])
        self.assertEqual([c for _, c in pointers[5].commands], [0xD7])
        self.assertEqual(late.errors(), [])

    def test_a_client_that_reads_nothing_is_let_go(self):
        self.start_bridge()
        keeping_up = [self.client(), self.client()]
        slow = self.client(read=False, receive_buffer=2048)
        stop, sent = threading.Event(), {}

        def report(pointer):
            phone = self.phone(pointer)
            while not stop.is_set():
                phone.report(phone.frame * 13 % 65536, 100)
                sent[pointer] = phone.frame
        reporters = [threading.Thread(target=report, args=(p,)) for p in range(10, 14)]
        for reporter in reporters:
            reporter.start()
        try:
            self.bridge.wait_for("fell more than a second behind", 120)
        finally:
            stop.set()
            for reporter in reporters:
                reporter.join()
        slow.reading.set()
        self.assertTrue(poll(lambda: slow.closed is not None, 30))
        self.assertEqual(slow.closed[0], 1008)
        self.assertIn("behind", slow.closed[1])

        expected = sorted((p, f) for p, last in sent.items() for f in range(1, last + 1))
        for client in keeping_up:
            self.assertTrue(poll(lambda: len(client.reports()) >= len(expected), 30))
            self.assertEqual(sorted(client.reports()), expected)
            for pointer in sent:  # each phone's reports in order
                frames = [f for p, f in client.reports() if p == pointer]
                self.assertEqual(frames, sorted(frames))
            self.assertIsNone(client.closed)
        # OSC went on too. A flood may overrun oscdump's socket, as UDP may,
        # so what is checked is a report sent once the flood is over.
        self.phone(20).report(1234, 100)
        self.assertTrue(poll(lambda: any(a.startswith("%f " % (1234 / 65535)) for _, _, a in
                                         self.osc.messages("/tvxhdv/p20/xy"))), self.osc.messages()[-5:])

    @unittest.skipUnless(shutil.which("pd"), "needs Pure Data: run tools/bootstrap")
    def test_pure_data_routes_and_counts_every_phone_by_address_and_vibrates_one(self):
        # Pd 0.51 brought [oscparse] and [oscformat].
        version = subprocess.run(["pd", "-version"], capture_output=True, text=True)
        found = re.search(r"Pd-0\.(\d+)", version.stdout + version.stderr)
        if not found or int(found.group(1)) < 51:
            self.skipTest("needs Pd 0.51 or later, not %r" % version.stdout)
        pd_port = free_port(socket.SOCK_DGRAM)
        patch = os.path.join(self.folder, "count_phones.pd")
        with open(patch, "w") as target:
            target.write(pd_patch(pd_port, self.listen_port))
        pd = Started(["pd", "-nogui", "-noaudio", "-nomidi", "-stderr", "-open", patch],
                     os.path.join(self.folder, "pd.out"))
        self.addCleanup(pd.end)
        pd.wait_for("ready: bang")
        self.start_bridge(more=["--osc", "127.0.0.1:%d" % pd_port])

        reports_each = 25
        for pointer in range(PHONES_IN_PD):
            phone = self.phone(pointer)
            for i in range(reports_each):
                phone.report(i * 2000, 100, left=i % 2 == 0)
            phone.close()
        wanted = {"count: %d %d" % (k, reports_each) for k in range(PHONES_IN_PD)}
        self.assertTrue(poll(lambda: wanted <= set(pd.text().splitlines())), pd.text()[-500:])
        counts = re.findall(r"count: \d+ (\d+)", pd.text())
        self.assertEqual(max(int(n) for n in counts), reports_each)  # none counted twice
        self.assertNotRegex(pd.text(), r"error|bad arguments")

        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
            sender.sendto(b"/tvxhdv/sendback\0\0\0\0,\0\0\0", ("127.0.0.1", pd_port))
        phone = self.phone(7)
        self.assertTrue(poll(lambda: phone.report(100, 100) == 0xA0), phone.commands)
        self.assertNotRegex(pd.text() + self.bridge.text(), r"error|bad arguments")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + REST, verbosity=2)
