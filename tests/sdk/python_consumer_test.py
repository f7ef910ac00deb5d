"""sdk/python against the real TVXHandvane: reports, a vibration reaching the
phone's answer, the backlog skipped on request and a restart followed.
Argument: the folder of the built TVXHandvane and TVXHandvane.TXT."""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(SOURCE, "sdk", "python"))
import phones  # noqa: E402
import tvxhdv  # noqa: E402

BIN = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(SOURCE, "build", "bin")


def poll(condition, timeout_s=30.0):
    end = time.monotonic() + timeout_s
    while time.monotonic() < end:
        result = condition()
        if result:
            return result
        time.sleep(0.05)
    return condition()


def read_text(path):
    try:
        with open(path, errors="replace") as source:
            return source.read()
    except OSError:
        return ""


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class ServerFolder:
    """TVXHandvane copied into a folder of its own, started and ended."""

    def __init__(self):
        self.path = tempfile.mkdtemp(prefix="tvxhdv-")
        for name in ("TVXHandvane", "TVXHandvane.TXT"):
            shutil.copy2(os.path.join(BIN, name), self.path)
        self.environment = dict(os.environ, XDG_CONFIG_HOME=os.path.join(self.path, "config"),
                                XDG_STATE_HOME=os.path.join(self.path, "state"))
        self.process = None

    def start(self):
        """Starts it on a free port once the machine's area is free."""
        for _ in range(12):
            self.port = free_port()
            with open(os.path.join(self.path, "TVXHandvane.INI"), "w") as ini:
                ini.write("[General]\nLog=FALSE\n[Paths]\nPathToIniFolder=%s\n[Control]\nPort=%d\n"
                          % (self.path, self.port))
            output = open(os.path.join(self.path, "server.out"), "w")
            self.process = subprocess.Popen([os.path.join(self.path, "TVXHandvane"), "--console"],
                                            cwd=self.path, env=self.environment,
                                            stdin=subprocess.PIPE, stdout=output,
                                            stderr=subprocess.STDOUT)
            output.close()
            rendezvous = os.path.join(self.path, "TVXHDVMemory.INI")
            marker = "CreatorProcessID=%08X" % self.process.pid
            if poll(lambda: self.process.poll() is not None or (
                    marker in read_text(rendezvous) and "Server started" in read_text(
                        os.path.join(self.path, "server.out")))):
                if self.process.poll() is None:
                    return
            # Another test's server holds the machine's area: wait its turn.
            time.sleep(10)
        raise AssertionError("TVXHandvane did not start: "
                             + read_text(os.path.join(self.path, "server.out")))

    def quit(self):
        self.process.communicate(b"quit\n", timeout=30)

    def remove(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.path, ignore_errors=True)


class ConsumerTest(unittest.TestCase):
    def setUp(self):
        self.server = ServerFolder()
        self.addCleanup(self.server.remove)

    def next_event(self, consumer):
        return poll(lambda: (lambda event: event != "timeout" and event)(consumer.wait(0.1)))

    def test_reports_commands_and_the_backlog(self):
        with self.assertRaisesRegex(tvxhdv.Error, "TVXHDVMemory.INI"):
            tvxhdv.open(self.server.path)
        self.server.start()
        phone = phones.Phone("127.0.0.1", self.server.port, 3)
        self.assertIsNone(phone.report(100, 200))  # queued before the application started

        with tvxhdv.open(self.server.path, from_now=True) as consumer:
            self.assertEqual(consumer.wait(0), "timeout")
            phone.report(4096, 8192, left=True)
            self.assertEqual(self.next_event(consumer), "reports")
            [report] = consumer.read()
            self.assertEqual((report.pointer, report.frame, report.x, report.y), (3, 2, 4096, 8192))
            self.assertEqual((report.left, report.right, report.on_pad), (True, False, True))
            latest, age = consumer.latest(3)
            self.assertEqual(latest.frame, 2)
            self.assertIsNone(consumer.latest(4))

            consumer.vibrate(3, tvxhdv.LONG_DOUBLE)
            self.assertEqual(phone.report(4096, 8192, on_pad=False), tvxhdv.LONG_DOUBLE)
            self.assertEqual([r.on_pad for r in consumer.read()], [False])
            with self.assertRaises(ValueError):
                consumer.send(80, 1)
            with self.assertRaises(ValueError):
                consumer.vibrate(3, 0x41)
        self.server.quit()

    def test_follows_the_server_across_a_restart(self):
        self.server.start()
        with tvxhdv.open(self.server.path) as consumer:
            # A rendezvous file caught half written names no running server.
            rendezvous = os.path.join(self.server.path, "TVXHDVMemory.INI")
            whole = read_text(rendezvous)
            with open(rendezvous, "w") as half:
                half.write("[Memory]\nSharedMemoryName=TVXH")
            self.assertTrue(consumer.connected)
            with open(rendezvous, "w") as restored:
                restored.write(whole)
            phones.Phone("127.0.0.1", self.server.port, 7).report(300, 600)
            self.server.quit()
            # What the ended server left is read, before or after it is seen gone.
            left, event = [], "reports"
            while event == "reports":
                event = self.next_event(consumer)
                left += [r.x for r in consumer.read()]
            self.assertEqual((event, left), ("server_gone", [300]))
            self.assertFalse(consumer.connected)
            with self.assertRaises(tvxhdv.NoServer):
                consumer.send(3, 0x41)

            self.server.start()
            self.assertEqual(self.next_event(consumer), "server_new")
            self.assertTrue(consumer.connected)
            phones.Phone("127.0.0.1", self.server.port, 7).report(500, 600)
            self.assertEqual(self.next_event(consumer), "reports")
            self.assertEqual([(r.pointer, r.x) for r in consumer.read()], [(7, 500)])
        self.server.quit()

    def test_an_area_cut_short_is_let_go_and_named(self):
        self.server.start()
        with tvxhdv.open(self.server.path) as consumer:
            area = "/dev/shm/" + consumer._name
            os.truncate(area, 0)
            try:
                self.assertEqual(consumer.wait(0), "server_gone")
                with self.assertRaisesRegex(tvxhdv.Error, "is 0 bytes, shorter than the 4240072"):
                    tvxhdv.open(self.server.path)
            finally:
                os.truncate(area, 4240072)
        self.server.quit()


if __name__ == "__main__":
    unittest.main()
