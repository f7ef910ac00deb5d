"""sdk/python/tvxhdv.py against the server's layout: every offset, size and
flag it holds, and its fill text byte for byte, as the C++ build prints them.
Argument: the layout_agreement program of that build."""

import os
import subprocess
import sys
import unittest

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(SOURCE, "sdk", "python"))
import tvxhdv  # noqa: E402

PROGRAM = sys.argv.pop(1) if len(sys.argv) > 1 else None


class LayoutTest(unittest.TestCase):
    def test_numbers_and_fill_text_agree(self):
        printed = subprocess.run([PROGRAM], check=True, capture_output=True, text=True).stdout
        server = dict(line.split(" ", 1) for line in printed.splitlines())
        self.assertEqual(tvxhdv._FILL_TEXT, bytes.fromhex(server.pop("FILL_TEXT")))
        self.assertEqual(len(server), 22)
        public = ("POINTERS", "FLAG_LEFT", "FLAG_RIGHT", "FLAG_ON_PAD")
        for name, value in server.items():
            with self.subTest(name=name):
                self.assertEqual(getattr(tvxhdv, name if name in public else "_" + name), int(value))


if __name__ == "__main__":
    unittest.main()
