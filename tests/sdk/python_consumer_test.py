"""sdk/python against the real TVXHandvane: reports, a vibration reaching the
phone's answer, the backlog skipped on request and a restart followed.
Argument: the folder of the built TVXHandvane and TVXHandvane.TXT."""

import http.client
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import unittest

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path[:0] = [os.path.join(SOURCE, "sdk", "python"), os.path.join(SOURCE, "tests", "support")]
import phones  # noqa: E402
import tvxhdv  # noqa: E402
from tvx_server import Server, poll, read_text  # noqa: E402

BIN = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(SOURCE, "build", "bin")
KIT = dict(os.environ, PYTHONPATH=os.path.join(SOURCE, "sdk", "python"))
AREA_SIZE = tvxhdv._AREA_SIZE


class ConsumerTest(unittest.TestCase):
    def setUp(self):
        folder = tempfile.mkdtemp(prefix="tvxhdv-")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        self.server = Server(folder, BIN)
        self.addCleanup(self.server.end)

    def phone(self, pointer):
        return phones.Phone("127.0.0.1", self.server.port, pointer)

    def next_event(self, consumer):
        """The next event other than "timeout" and "presence" (whose changes
        it takes)."""
        def event():
            said = consumer.wait(0.1)
            consumer.presence()
            return said not in ("timeout", "presence") and said
        return poll(event)

    def area_file(self, consumer):
        return "/dev/shm/" + consumer._name

    def test_reports_commands_and_the_backlog(self):
        with self.assertRaisesRegex(tvxhdv.Error, "TVXHDVMemory.INI"):
            tvxhdv.open(self.server.path)
        self.server.start()
        phone = self.phone(3)
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
            for pointer, code in ((80, 1), (3, 0), (3, 0xFF), (3, 0x100)):
                with self.assertRaises(ValueError, msg=(pointer, code)):
                    consumer.send(pointer, code)
            with self.assertRaises(ValueError):
                consumer.vibrate(3, 0x41)
            self.phone(6).report(1, 1)  # its join is not told yet
            self.assertEqual(consumer.read(), [])
            self.assertEqual(consumer.wait(0), "presence")
            self.assertEqual([r.pointer for r in consumer.read()], [6])
            # A gathering wait returns at most once per gathering time.
            phone.report(1, 1)
            self.assertEqual(consumer.wait_gathered(10, 0.3), "reports")
            returned = tvxhdv._now()
            consumer.read()
            phone.report(1, 1)
            self.assertEqual(consumer.wait_gathered(10, 0.3), "reports")
            self.assertGreaterEqual(tvxhdv._now() - returned, 0.3)
        self.server.quit()

    def test_a_phones_name_reaches_the_kit_and_a_rename_is_told(self):
        self.server.start()
        phone = self.phone(3)
        self.addCleanup(phone.close)
        phone.report(1, 1)
        with tvxhdv.open(self.server.path) as consumer:
            self.assertEqual(consumer.name(3), "")  # asked: renames are told from now on
            connection = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=5)
            connection.request("GET", "/name/03", headers={"TVXName": "Zo%C3%AB"})
            self.assertEqual(connection.getresponse().status, 204)
            connection.close()

            def renamed():
                consumer.wait(0.1)
                return (3, tvxhdv.RENAMED) in consumer.presence()
            self.assertTrue(poll(renamed))
            self.assertEqual(consumer.name(3), "Zo\u00eb")
            self.assertEqual(consumer.name(4), "")
            with self.assertRaises(ValueError):
                consumer.send(3, 0xFE)
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
            self.phone(7).report(300, 600)
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
            self.phone(7).report(500, 600)
            self.assertEqual(self.next_event(consumer), "reports")
            self.assertEqual([(r.pointer, r.x) for r in consumer.read()], [(7, 500)])
        self.server.quit()

    def test_opens_before_the_server_hears_phones_come_and_go_and_sleeps_in_its_waits(self):
        skew = [0.0]
        real_now = tvxhdv._now
        tvxhdv._now = lambda: real_now() + skew[0]
        self.addCleanup(setattr, tvxhdv, "_now", real_now)
        with tvxhdv.open(self.server.path, wait=True) as consumer:
            self.assertEqual(consumer.wait(0), "timeout")
            self.assertFalse(consumer.connected)
            self.assertIn("TVXHDVMemory.INI", consumer.reason)
            self.server.start()
            self.assertEqual(self.next_event(consumer), "server_new")
            phone = self.phone(3)
            phone.report(100, 200)
            self.assertEqual(consumer.wait(10), "presence")  # before the report itself
            self.assertEqual((consumer.presence(), consumer.present), ([(3, True)], {3}))
            self.assertEqual(consumer.wait(0), "reports")
            before = tvxhdv._now()
            [report] = consumer.read()
            self.assertTrue(before <= report.read_at <= tvxhdv._now())
            skew[0] += 2.0  # a stall of the consumer's own while the phone goes on
            phone.report(100, 200)
            self.assertEqual((consumer.present, consumer.presence()), ({3}, []))
            self.assertEqual(len(consumer.read()), 1)
            phone.report(100, 200)
            self.assertEqual(self.next_event(consumer), "reports")
            self.assertEqual(consumer.skip(), 1)
            self.assertEqual(consumer.read(), [])
            self.assertEqual(consumer.latest(3)[0].frame, 3)  # the skipped one still counts
            skew[0] += 0.9  # within the server's second: still there
            self.assertEqual(consumer.wait(0), "timeout")
            skew[0] += 0.2
            self.assertEqual(consumer.wait(0), "presence")
            self.assertEqual((consumer.presence(), consumer.present), ([(3, False)], set()))

            # A wait sleeps until a put wakes it; reports read across the wrap
            # of the slots (both indices moved while the server is idle).
            sleepers = os.open(self.area_file(consumer) + " wake", os.O_RDONLY)
            self.addCleanup(os.close, sleepers)
            area = os.open(self.area_file(consumer), os.O_RDWR)
            self.addCleanup(os.close, area)
            os.pwrite(area, struct.pack("<II", 15998, 15998), 4036 + 4)
            said = []
            waiter = threading.Thread(target=lambda: said.append(consumer.wait(60)))
            waiter.start()
            asleep = poll(lambda: os.pread(sleepers, 4, 0) == b"\1\0\0\0")
            phone, frames = self.phone(5), []
            phone.report(1, 1)
            waiter.join(10)
            self.assertTrue(asleep)
            self.assertIn(said, (["presence"], ["reports"]))
            self.assertEqual(os.pread(sleepers, 4, 0), b"\0\0\0\0")
            for _ in range(4):
                if frames:
                    phone.report(1, 1)
                self.assertEqual(self.next_event(consumer), "reports")
                frames += [r.frame for r in consumer.read()]
            self.assertEqual(frames, [1, 2, 3, 4])
            self.assertEqual(os.pread(area, 4, 4036 + 8), struct.pack("<I", 2))
            self.assertEqual(consumer.wait(0), "timeout")
        self.server.quit()

    def test_one_reader_and_commands_beside_it(self):
        self.server.start()
        reader = subprocess.Popen([sys.executable, "-c", "import sys, time, tvxhdv\n"
                                   "server = tvxhdv.open(sys.argv[1])\nprint('open', flush=True)\n"
                                   "time.sleep(600)", self.server.path],
                                  env=KIT, stdout=subprocess.PIPE)
        self.addCleanup(reader.stdout.close)
        self.addCleanup(reader.kill)
        self.assertEqual(reader.stdout.readline(), b"open\n")
        with self.assertRaisesRegex(tvxhdv.Error, r"-c \(process %d\)" % reader.pid):
            tvxhdv.open(self.server.path, wait=True)
        with tvxhdv.open(self.server.path, send_only=True) as sender:
            sender.show(3, tvxhdv.SHOW_COLOR(5))
            self.assertEqual(self.phone(3).report(1, 1), 0xC5)
            for wrong in (tvxhdv.SHORT_SINGLE, 0xC8, 0xDA):
                with self.assertRaises(ValueError):
                    sender.show(3, wrong)
            with self.assertRaises(ValueError):
                tvxhdv.SHOW_NUMBER(10)
            self.assertEqual(sender.read(), [])  # takes nothing from the reader
            for code in (tvxhdv.SHORT_SINGLE, tvxhdv.SHOW_CORRECT, tvxhdv.LONG_DOUBLE):
                sender.send(4, code)
            self.assertEqual(sender.clear_queue(4), 3)
            sender.show(4, tvxhdv.SHOW_WRONG)
            phone = self.phone(4)  # passes over one emptied record per report
            self.assertEqual([phone.report(1, 1) for _ in range(4)], [None] * 3 + [0xB2])
        reader.kill()
        reader.wait()
        with tvxhdv.open(self.server.path):  # the killed reader's claim is gone
            with self.assertRaisesRegex(tvxhdv.Error, r"python_consumer_test.py \(process %d\)"
                                        % os.getpid()):
                tvxhdv.open(self.server.path)
        self.server.quit()

    def test_an_area_cut_short_is_let_go_and_named_not_fatal(self):
        self.server.start()
        with tvxhdv.open(self.server.path) as consumer:
            area, server = self.area_file(consumer), self.server.started.process.pid
            # Stopped, the server cannot make its area anew before the kit looks.
            os.kill(server, signal.SIGSTOP)
            try:
                os.truncate(area, 0)
                with self.assertRaisesRegex(tvxhdv.Error, "is 0 bytes, shorter than the %d"
                                            % AREA_SIZE):
                    tvxhdv.open(self.server.path)
                os.truncate(area, AREA_SIZE)
                consumer._checked -= tvxhdv._CHECK_S  # its next wait looks at once
                event = consumer.wait(0)
            finally:
                os.kill(server, signal.SIGCONT)
            self.assertEqual(event, "server_gone")
            self.assertRegex(consumer.reason, "lost its contents")
        self.server.quit()

    def test_a_rendezvous_file_that_is_no_file_or_names_nothing_usable(self):
        rendezvous = os.path.join(self.server.path, "TVXHDVMemory.INI")
        os.mkfifo(rendezvous)
        with self.assertRaisesRegex(tvxhdv.Error, "no regular file"):
            tvxhdv.open(self.server.path)
        os.remove(rendezvous)
        with open(rendezvous, "w") as file:
            file.write("[Memory]\nSharedMemoryName=a\0b\nCreatorProcessID=1\n")
        with self.assertRaisesRegex(tvxhdv.Error, "names no SharedMemoryName"):
            tvxhdv.open(self.server.path)
        with self.assertRaisesRegex(tvxhdv.Error, "in '/'"):  # the root, not this folder
            tvxhdv.open("")

    def test_a_consumer_with_a_dev_shm_of_its_own_is_told_so(self):
        self.server.start()
        probe = ("import sys, tvxhdv\ntry:\n    tvxhdv.open(sys.argv[1])\n"
                 "except tvxhdv.Error as error:\n    print(error)\n")
        said = {}
        for name, command in (("kit", [sys.executable, "-c", probe, self.server.path]),
                              ("tap", [os.path.join(BIN, "TVXTap"), "--folder",
                                       self.server.path, "info"])):
            said[name] = subprocess.run(
                ["unshare", "--user", "--map-root-user", "--mount", "sh", "-c",
                 'mount -t tmpfs tmpfs /dev/shm && exec "$@"', "sh"] + command, env=KIT,
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60).stdout.decode()
            if "unshare:" in said[name]:
                self.skipTest("no mount namespace here: " + said[name])
        self.assertIn("a TVXHandvane server that runs", said["kit"])
        for text in said.values():
            self.assertIn("/dev/shm of its own", text)
        self.server.quit()

    def test_a_batch_of_reports_arrives_whole_and_in_order_or_not_at_all(self):
        self.server.start()
        items = ["10007%04X%04X0000%d00200" % (frame, frame * 16, frame % 2) for frame in (1, 2, 3)]
        connection = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=30)
        self.addCleanup(connection.close)
        with tvxhdv.open(self.server.path, from_now=True) as consumer:
            for path, status, body in (("/batch/" + "/".join(items[:2]) + "/" + items[2][:22] + "g",
                                        400, b"Bad batch: report 3 has a character that is no "
                                        b"hex digit\n"),
                                       ("/batch/" + "/".join(items), 200, b"0000")):
                connection.request("GET", path, headers={"Connection": "keep-alive"})
                answer = connection.getresponse()
                self.assertEqual((answer.status, answer.read()), (status, body))
            self.assertEqual(self.next_event(consumer), "reports")
            reports = poll(lambda: consumer.read() or None)
            self.assertEqual([(r.pointer, r.frame, r.x, r.left) for r in reports],
                             [(7, 1, 16, True), (7, 2, 32, False), (7, 3, 48, True)])
        self.server.quit()

    def test_simulated_phones_go_on_from_their_last_frame_and_stamp_their_send_time(self):
        self.server.start()
        run = [sys.executable, os.path.join(SOURCE, "sdk", "python", "phones.py"), "--port",
               str(self.server.port), "--first", "5", "--count", "2", "--hz", "50", "--stamp",
               "--state", os.path.join(self.server.path, "phones.json"), "--seconds", "0.4"]
        with tvxhdv.open(self.server.path, from_now=True) as consumer:
            frames = {}
            # The second run taps quickly: its changes go over the batch route.
            for extra in ([], ["--batch", "--taps", "20"]):
                said = subprocess.run(run + extra, check=True, timeout=60,
                                      stdout=subprocess.PIPE).stdout.decode()
                sent = dict(re.findall(r"(\w+)=(\d+)", said.splitlines()[-1]))
                reports, presses, left = 0, 0, {}
                while consumer.wait(0.5) != "timeout":
                    for report in consumer.read():
                        frames.setdefault(report.pointer, []).append(report.frame)
                        sent_ms = report.y << 16 | report.x
                        self.assertLess((int(report.read_at * 1000) - sent_ms) & 0xFFFFFFFF,
                                        5000)
                        reports += 1
                        presses += report.left and not left.get(report.pointer, False)
                        left[report.pointer] = report.left
                self.assertEqual((int(sent["reports"]), int(sent["unsent"])), (reports, 0))
                if extra:
                    self.assertEqual(int(sent["presses"]), presses)
                    self.assertGreater(presses, 4)
            for pointer in (5, 6):
                self.assertEqual(frames[pointer], list(range(1, len(frames[pointer]) + 1)))
                self.assertGreater(len(frames[pointer]), 20)  # two runs, one count
        self.server.quit()


if __name__ == "__main__":
    unittest.main()
