"""The real TVXHandvane for the Python tests: started in a folder of its own,
as often as asked, and the small waits they share."""

import os
import shutil
import socket
import subprocess
import time


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


def free_port(kind=socket.SOCK_STREAM):
    with socket.socket(socket.AF_INET, kind) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Started:
    """A program started in the background with its output in a file."""

    def __init__(self, command, output, **options):
        self.output = output
        with open(output, "w") as sink:
            self.process = subprocess.Popen(command, stdout=sink, stderr=subprocess.STDOUT,
                                            **options)

    def text(self):
        return read_text(self.output)

    def wait_for(self, text, timeout_s=60.0):
        if not poll(lambda: text in self.text() or self.process.poll() is not None, timeout_s) \
                or text not in self.text():
            raise AssertionError("no %r in: %s" % (text, self.text()))

    def end(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()


class Server:
    """TVXHandvane copied from bin into folder; with a runner (wine) it takes
    its paths on drive Z:."""

    def __init__(self, folder, bin, suffix="", runner=()):
        self.path, self.program, self.runner = folder, "TVXHandvane" + suffix, list(runner)
        for name in (self.program, "TVXHandvane.TXT", "TVXHandvane.LNG"):
            shutil.copy2(os.path.join(bin, name), folder)
        self.environment = dict(os.environ, XDG_CONFIG_HOME=os.path.join(folder, "config"),
                                XDG_STATE_HOME=os.path.join(folder, "state"))
        self.started = None
        self.runs = 0

    def system_path(self, path):
        return "Z:" + path.replace("/", "\\") if self.runner else path

    def start(self):
        """Starts it on a free port once the machine's area is free."""
        rendezvous = os.path.join(self.path, "TVXHDVMemory.INI")
        for _ in range(12):
            before = read_text(rendezvous)
            self.port = free_port()
            self.runs += 1
            with open(os.path.join(self.path, "TVXHandvane.INI"), "w") as ini:
                ini.write("[General]\nLog=FALSE\n[Paths]\nPathToIniFolder=%s\n[Control]\nPort=%d\n"
                          % (self.system_path(self.path), self.port))
            self.started = Started(
                self.runner + [os.path.join(self.path, self.program), "--console"],
                os.path.join(self.path, "server%d.out" % self.runs), cwd=self.path,
                env=self.environment, stdin=subprocess.PIPE)
            if poll(lambda: self.started.process.poll() is not None or (
                    read_text(rendezvous) not in ("", before)
                    and "Server started" in self.started.text()), 60):
                if self.started.process.poll() is None:
                    return
            time.sleep(10)  # another test's server holds the machine's area
        raise AssertionError("TVXHandvane did not start: " + self.started.text())

    def quit(self):
        self.started.process.communicate(b"quit\n", timeout=60)

    def end(self):
        if self.started is not None:
            self.started.end()
