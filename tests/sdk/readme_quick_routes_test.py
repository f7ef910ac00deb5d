"""Every shell block under "Quick routes" in sdk/README.md, run as a reader
would from a clone after `make run`: a real TVXHandvane in build/run, the
built programs in build/bin, the README's ports swapped for free ones.
The simulated phones' block runs throughout; each route must show reports
from them, and the OSC command must reach phone 3.
Argument: the folder of the built programs."""

import ctypes
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))
from tvx_server import Server, Started, free_port, poll  # noqa: E402

BIN = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(SOURCE, "build", "bin"))
README = os.path.join(SOURCE, "sdk", "README.md")
# A time tag, an address of TVXBridge's, the type tags and the values.
OSCDUMP_LINE = r"[0-9a-f]{8}\.[0-9a-f]{8} /tvxhdv/[a-z0-9/]+ [ifs]+( [-0-9a-z.\"]+)+"
REPORT_LINE = r"pointer \d x \d+ y \d+ left [01] on_pad [01]"


def quick_route_blocks():
    with open(README) as readme:
        text = readme.read()
    section = re.search(r"^## Quick routes\n(.*?)^## ", text, re.M | re.S)
    assert section, "sdk/README.md has no Quick routes section"
    return re.findall(r"```sh\n(.*?)```", section.group(1), re.S)


# What each block is, told by how it starts: "phones" runs throughout, a
# "reader" runs until it has shown what is asked, "once" must end with 0.
ROUTES = [
    (r"python3 sdk/python/phones\.py ", "phones", None),
    (r"cd sdk/c && cc example\.c", "reader", REPORT_LINE),
    (r"cd sdk/python && python3 example\.py", "reader", REPORT_LINE),
    (r"cd sdk/c && cc -shared", "once", "library"),
    (r"build/bin/TVXBridge .*--osc ", "reader", OSCDUMP_LINE),
    (r"oscsend ", "once", "phone 3: Vibrate long double"),
    (r"build/bin/TVXBridge .*--ws ", "reader", r'\{"pointer":\d+,"x":'),
]


class QuickRoutesTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="tvxhdv-routes-")
        self.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        shutil.copytree(os.path.join(SOURCE, "sdk"), os.path.join(self.root, "sdk"))
        os.makedirs(os.path.join(self.root, "build", "run"))
        os.symlink(BIN, os.path.join(self.root, "build", "bin"))
        self.server = Server(os.path.join(self.root, "build", "run"), BIN)
        self.addCleanup(self.server.end)
        self.server.start()
        self.ports = {"8080": self.server.port, "8090": free_port(),
                      "9000": free_port(socket.SOCK_DGRAM), "9001": free_port(socket.SOCK_DGRAM)}
        self.runs = 0

    def start(self, block):
        command = re.sub(r"\b(8080|8090|9000|9001)\b", lambda m: str(self.ports[m.group(1)]), block)
        self.runs += 1
        started = Started(["bash", "-c", command], os.path.join(self.root, "run%d.out" % self.runs),
                          cwd=self.root, start_new_session=True,
                          env=dict(os.environ, TMPDIR=self.root))
        self.addCleanup(self.stop, started)
        return started

    def stop(self, started):
        if started.process.poll() is None:
            os.killpg(started.process.pid, signal.SIGKILL)
        started.process.wait()

    def wait_for(self, started, pattern):
        self.assertTrue(poll(lambda: re.search(pattern, started.text()), 60),
                        "no %r in: %s" % (pattern, started.text()))

    def test_every_quick_route_runs_as_written(self):
        phones = reader = None
        for block in quick_route_blocks():
            kinds = [(kind, expected) for start, kind, expected in ROUTES if re.match(start, block)]
            self.assertEqual(len(kinds), 1, "no single check for the quick route:\n" + block)
            kind, expected = kinds[0]
            if kind == "phones":
                phones = self.start(block)
            elif kind == "reader":
                if reader is not None:
                    self.stop(reader)  # one program reads the reports at a time
                reader = self.start(block)
                self.wait_for(reader, expected)
            else:
                once = self.start(block)
                self.assertEqual(once.process.wait(timeout=120), 0, once.text())
                if expected == "library":
                    library = ctypes.CDLL(os.path.join(self.root, "sdk", "c", "libtvxhdv.so"))
                    self.assertTrue(hasattr(library, "tvxhdv_open"))
                else:
                    self.wait_for(phones, expected)
        self.assertEqual(self.runs, len(ROUTES), "a route of the checks is missing from the README")

    def test_the_oscdump_sample_has_the_form_oscdump_prints(self):
        with open(README) as readme:
            self.assertRegex(readme.read(), "`%s`" % OSCDUMP_LINE)


if __name__ == "__main__":
    unittest.main()
