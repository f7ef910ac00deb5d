"""The C# declaration of sdk/README.md, as its readers use it: compiled with
mcs and run under mono against libtvxhdv.so (a dllmap, as the README tells),
it reads the reports of simulated phones from the real TVXHandvane: each
whole, read_at_ms a time of the kit's clock, nothing written past the array.
Argument: the folder of the built TVXHandvane and libtvxhdv.so."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path[:0] = [os.path.join(SOURCE, "sdk", "python"), os.path.join(SOURCE, "tests", "support")]
import phones  # noqa: E402
from tvx_server import Server, Started  # noqa: E402

BIN = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(SOURCE, "build", "bin")

# Reads into four of five reports, the fifth a guard, until a report of
# pointer 5 arrives; prints it and the kit's clock then.
MAIN = """
static class Program {
  [DllImport("tvxhdv.dll", CallingConvention = CallingConvention.Cdecl)]
  static extern ulong tvxhdv_now_ms();
  static int Main(string[] args) {
    IntPtr h = Tvx.tvxhdv_open(args[0], 0);
    if (h == IntPtr.Zero) { Console.WriteLine(Marshal.PtrToStringAnsi(Tvx.tvxhdv_last_error())); return 1; }
    Console.WriteLine("open size " + Marshal.SizeOf(typeof(TvxReport)));
    var reports = new TvxReport[5];
    reports[4].x = 0xDEADBEEF;
    for (int tries = 0; tries < 600; ++tries) {
      Tvx.tvxhdv_wait(h, 100);
      int count = Tvx.tvxhdv_read(h, reports, 4);
      for (int i = 0; i < count; ++i) {
        TvxReport r = reports[i];
        if (r.pointer != 5) continue;
        Console.WriteLine("pointer " + r.pointer + " x " + r.x + " y " + r.y + " left " + r.left +
                          " on_pad " + r.on_pad + " read_at " + r.read_at_ms + " now " +
                          tvxhdv_now_ms() + " guard " + reports[4].x.ToString("X"));
        Tvx.tvxhdv_close(h);
        return 0;
      }
    }
    Console.WriteLine("no report");
    return 1;
  }
}
"""


def readme_declaration():
    with open(os.path.join(SOURCE, "sdk", "README.md")) as readme:
        blocks = re.findall(r"```csharp\n(.*?)```", readme.read(), re.S)
    assert len(blocks) == 1, "sdk/README.md should hold one C# block"
    return blocks[0]


class CSharpConsumerTest(unittest.TestCase):
    def test_the_readme_declaration_reads_whole_reports(self):
        folder = tempfile.mkdtemp(prefix="tvxhdv-cs-")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        program = os.path.join(folder, "consumer.exe")
        with open(os.path.join(folder, "consumer.cs"), "w") as source:
            source.write("using System;\nusing System.Runtime.InteropServices;\n")
            source.write(readme_declaration() + MAIN)
        subprocess.run(["mcs", "-out:" + program, os.path.join(folder, "consumer.cs")],
                       check=True)
        with open(program + ".config", "w") as config:
            config.write('<configuration><dllmap dll="tvxhdv.dll" target="%s"/></configuration>\n'
                         % os.path.join(BIN, "libtvxhdv.so"))

        server = Server(folder, BIN)
        self.addCleanup(server.end)
        server.start()
        consumer = Started(["mono", program, folder], os.path.join(folder, "consumer.out"))
        self.addCleanup(consumer.end)
        consumer.wait_for("open size")
        phone = phones.Phone("127.0.0.1", server.port, 5)
        self.addCleanup(phone.close)
        for x in range(1, 400):
            phone.report(4096 + x, 8192, left=True)
            if "pointer 5" in consumer.text() or consumer.process.poll() is not None:
                break
        consumer.wait_for("guard")
        said = consumer.text()
        self.assertIn("open size 48", said)
        line = re.search(r"pointer 5 x (\d+) y 8192 left 1 on_pad 1 read_at (\d+) now (\d+) "
                         r"guard DEADBEEF", said)
        self.assertIsNotNone(line, said)
        self.assertGreater(int(line.group(1)), 4096)
        read_at, now = int(line.group(2)), int(line.group(3))
        self.assertTrue(0 <= now - read_at < 10000, said)


if __name__ == "__main__":
    unittest.main()
