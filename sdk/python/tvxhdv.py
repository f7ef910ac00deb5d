"""Take the phones' pointer reports from a running TVXHandvane server and send
its phones commands. Standard library only; Linux and Windows.

    import tvxhdv
    with tvxhdv.open("/path/of/PathToIniFolder", from_now=True) as server:
        while True:
            event = server.wait(1.0)
            for report in server.read():
                print(report.pointer, report.x, report.y, report.left)

The server publishes its shared memory area in the rendezvous file
TVXHDVMemory.INI in the folder PathToIniFolder of TVXHandvane.INI (section
Paths). open() reads that file, maps the area and checks its layout. Only one
program may take the reports: a second reader (TVXTap watch, say) takes a
share of them. sdk/README.md tells the rest.
"""

import builtins
import os
import struct
import sys
import time

__all__ = ["open", "Error", "Full", "NoServer", "Report", "POINTERS",
           "SHORT_SINGLE", "NORMAL_SINGLE", "LONG_SINGLE",
           "SHORT_DOUBLE", "NORMAL_DOUBLE", "LONG_DOUBLE"]

POINTERS = 80  # phones are numbered 0 to 79

# The six vibrations the phone's page plays (command codes A0 to A5).
SHORT_SINGLE = 0xA0
NORMAL_SINGLE = 0xA1
LONG_SINGLE = 0xA2
SHORT_DOUBLE = 0xA3
NORMAL_DOUBLE = 0xA4
LONG_DOUBLE = 0xA5

FLAG_LEFT = 0x100
FLAG_RIGHT = 0x200
FLAG_ON_PAD = 0xC000

# The area's layout: 32-bit little-endian values at these byte offsets.
_AREA_SIZE = 4240072
_STRUCT_VERSION = 0x23020902
_AT_FILL_TEXT = 8
_AT_VERSION_BLOCK = 4008
_AT_REPORT_FIFO = 4036
_REPORT_FIFO_SIZE = 384036
_REPORT_SLOTS = 16000
_REPORT_BYTES = 24
_AT_COMMAND_FIFOS = 388072
_COMMAND_FIFO_SIZE = 6420
_COMMAND_SLOTS = 800
_COMMAND_FIFOS = 600
_CHECK_S = 0.1  # how often wait() asks whether the server still runs

# The text the server copies into the area (Windows-1252); a different text
# means a different build of the layout.
_FILL_TEXT = (
    b"TVXHandvane shared memory area\r\n"
    b"==============================\r\n"
    b"This area belongs to the TVXHandvane server. The\r\n"
    b"server creates it at start and fills it with the\r\n"
    b"reports of the phones that act as pointers.\r\n"
    b"A consuming application on the same PC opens it\r\n"
    b"by the name written in TVXHDVMemory.INI, key\r\n"
    b"SharedMemoryName of section Memory.\r\n"
    b"Layout: a header, one FIFO of pointer reports\r\n"
    b"(server to consumer) and 600 FIFOs of commands\r\n"
    b"(consumer to server), one per pointer number.\r\n"
    b"All numbers are 32-bit little-endian values.\r\n"
    b"Every FIFO has one writer and one reader. The\r\n"
    b"writer moves only the write index, the reader\r\n"
    b"only the read index, always after the record.\r\n"
    b"A FIFO is empty when both indices are equal; it\r\n"
    b"holds at most one record less than its slots.\r\n"
    b"Read the write index before the record and store\r\n"
    b"the read index after it, and never move the\r\n"
    b"index that belongs to the other side.\r\n"
    b"The pointer FIFO holds 15999 reports. When the\r\n"
    b"consumer falls behind, new reports are dropped.\r\n"
    b"Take reports often and keep up with the phones.\r\n"
    b"Commands are 8-byte records; the low 8 bits of\r\n"
    b"the first value go to the phone of that pointer.\r\n"
    b"The creator's process id is in CreatorProcessID.\r\n"
    b"Do not write into the header or the reserved\r\n"
    b"fields; they belong to the server.\r\n"
    b"When this text does not match the copy of your\r\n"
    b"own program, the area comes from another build.\r\n"
    b"Compare StructVersion before you use the FIFOs.\r\n"
    b"The area exists while the server runs; after it\r\n"
    b"ends, open the area again from the new file.\r\n"
    b"Thank you for building your program on TVXHandvane.\r\n"
    b"Questions and notes go to the operator of this PC,\r\n"
    b"who can also end the server from the dialog.\r\n"
    b"-----------------------------------------------------------------\r\n"
    b"Gemeinsamer Speicher von TVXHandvane\r\n"
    b"====================================\r\n"
    b"Dieser Bereich geh\xF6rt dem TVXHandvane-Server. Er\r\n"
    b"legt ihn beim Start an und f\xFCllt ihn mit den\r\n"
    b"Meldungen der Handys, die als Zeiger dienen.\r\n"
    b"Eine Anwendung auf demselben PC \xF6ffnet ihn \xFCber\r\n"
    b"den Namen in TVXHDVMemory.INI, Schl\xFCssel\r\n"
    b"SharedMemoryName im Abschnitt Memory.\r\n"
    b"Aufbau: ein Kopf, eine FIFO f\xFCr Zeigermeldungen\r\n"
    b"(Server an Anwendung) und 600 FIFOs f\xFCr Befehle\r\n"
    b"(Anwendung an Server), eine je Zeigernummer.\r\n"
    b"Alle Zahlen sind 32-Bit-Werte, Little-Endian.\r\n"
    b"Jede FIFO hat genau einen Schreiber und einen\r\n"
    b"Leser. Der Schreiber r\xFCckt nur den Schreibindex\r\n"
    b"vor, der Leser nur den Leseindex, stets nach dem\r\n"
    b"Datensatz. Sind beide Indizes gleich, ist sie\r\n"
    b"leer; sie fasst einen Satz weniger als Pl\xE4tze.\r\n"
    b"Lies den Schreibindex vor dem Datensatz, setze\r\n"
    b"den Leseindex danach und \xE4ndere nie den Index\r\n"
    b"der Gegenseite.\r\n"
    b"Die Zeiger-FIFO fasst 15999 Meldungen. Bleibt\r\n"
    b"die Anwendung zur\xFCck, gehen neue Meldungen\r\n"
    b"verloren. Hole sie oft ab und halte Schritt.\r\n"
    b"Befehle sind S\xE4tze zu 8 Bytes; die unteren 8 Bit\r\n"
    b"des ersten Werts gehen an das Handy des Zeigers.\r\n"
    b"Die Prozessnummer steht in CreatorProcessID.\r\n"
    b"Schreibe nicht in den Kopf oder in reservierte\r\n"
    b"Felder; sie geh\xF6ren dem Server.\r\n"
    b"Weicht dieser Text von der Kopie im eigenen\r\n"
    b"Programm ab, stammt der Bereich aus einem\r\n"
    b"anderen Build. Pr\xFCfe zuerst StructVersion.\r\n"
    b"Der Bereich besteht, solange der Server l\xE4uft;\r\n"
    b"danach \xF6ffne ihn neu \xFCber die neue Datei.\r\n"
    b"Fragen und Hinweise an den Betreuer dieses PCs.\r\n"
    b"Gr\xFC\xDFe aus der Werkstatt, viel Spa\xDF damit!\r\n"
    b"\0")


class Error(Exception):
    """Why the area could not be opened or a command not sent."""


class Full(Error):
    """799 commands wait for that phone already."""


class NoServer(Error):
    """No server runs: the command went nowhere."""


class Report:
    """One report of one phone, as the server forwarded it."""

    __slots__ = ("screen", "frame", "pointer", "x", "y", "flags", "left", "right", "on_pad")

    def __init__(self, screen, frame, pointer, x, y, flags):
        self.screen = screen    # always 0: the page has one pad
        self.frame = frame      # the phone's own count, 1 to 65535 then 1 again
        self.pointer = pointer  # the phone's number, 0 to 79
        self.x = x              # 0 to 65535 across the pad, left to right
        self.y = y              # 0 to 65535, top to bottom
        self.flags = flags
        self.left = bool(flags & FLAG_LEFT)
        self.right = bool(flags & FLAG_RIGHT)
        self.on_pad = flags & FLAG_ON_PAD == FLAG_ON_PAD  # False once the finger was lifted

    def __repr__(self):
        return ("Report(pointer=%d, frame=%d, x=%d, y=%d, left=%s, right=%s, on_pad=%s)"
                % (self.pointer, self.frame, self.x, self.y, self.left, self.right, self.on_pad))


if sys.platform == "win32":
    import ctypes
    from ctypes import wintypes

    _kernel32 = ctypes.WinDLL("kernel32", use_last_error=True)
    _kernel32.OpenMutexW.restype = ctypes.c_void_p
    _kernel32.OpenMutexW.argtypes = [wintypes.DWORD, wintypes.BOOL, wintypes.LPCWSTR]
    _kernel32.OpenFileMappingW.restype = ctypes.c_void_p
    _kernel32.OpenFileMappingW.argtypes = [wintypes.DWORD, wintypes.BOOL, wintypes.LPCWSTR]
    _kernel32.MapViewOfFile.restype = ctypes.c_void_p
    _kernel32.MapViewOfFile.argtypes = [ctypes.c_void_p, wintypes.DWORD, wintypes.DWORD,
                                        wintypes.DWORD, ctypes.c_size_t]
    _kernel32.UnmapViewOfFile.argtypes = [ctypes.c_void_p]
    _kernel32.CloseHandle.argtypes = [ctypes.c_void_p]
    _SYNCHRONIZE = 0x00100000
    _FILE_MAP_ALL_ACCESS = 0x000F001F

    def _mutex_exists(name):
        handle = _kernel32.OpenMutexW(_SYNCHRONIZE, False, name)
        if not handle:
            return False
        _kernel32.CloseHandle(handle)
        return True

    class _Area:
        """The mapped area. The server holds a mutex named after the area
        (its claim) and one named after the area and its process id while it
        runs; opening one for a moment, as the server's own probe does, takes
        nothing from it."""

        def __init__(self, name, creator, file):
            self._claim = name + " creator"
            self._mark = "%s creator %d" % (name, creator)
            if not (_mutex_exists(self._claim) and _mutex_exists(self._mark)):
                raise Error("The TVXHandvane server that published %s (process %d) is not "
                            "running any more. Start TVXHandvane." % (file, creator))
            self._mapping = _kernel32.OpenFileMappingW(_FILE_MAP_ALL_ACCESS, False, name)
            if not self._mapping:
                error = ctypes.get_last_error()
                if error == 5:
                    raise Error("The area of the TVXHandvane server is not open to this program "
                                "(error 5): run it as the user who started TVXHandvane, in the "
                                "same Windows session.")
                raise Error("Could not open the shared memory area %r (error %d). Start "
                            "TVXHandvane again." % (name, error))
            self._view = _kernel32.MapViewOfFile(self._mapping, _FILE_MAP_ALL_ACCESS, 0, 0,
                                                 _AREA_SIZE)
            if not self._view:
                _kernel32.CloseHandle(self._mapping)
                raise Error("The shared memory area %r is shorter than the %d bytes it should "
                            "be. End TVXHandvane and start it again." % (name, _AREA_SIZE))
            memory = (ctypes.c_char * _AREA_SIZE).from_address(self._view)
            self.bytes = memoryview(memory).cast("B")
            self.words = self.bytes.cast("I")

        def creator_runs(self):
            return _mutex_exists(self._mark)

        def whole(self):
            return True  # a section keeps its size for as long as it exists

        def close(self):
            self.words.release()
            self.bytes.release()
            _kernel32.UnmapViewOfFile(self._view)
            _kernel32.CloseHandle(self._mapping)

    def _server_runs(name, creator):
        """Whether that process runs as the server of the area of that name."""
        return (creator != 0 and _mutex_exists(name + " creator")
                and _mutex_exists("%s creator %d" % (name, creator)))

else:
    import fcntl
    import mmap

    # fcntl's names for the OFD lock calls, with Linux's values where missing.
    _F_OFD_GETLK = getattr(fcntl, "F_OFD_GETLK", 36)
    _FLOCK = "hhqqi4x"  # struct flock: type, whence, start, length, pid

    def _claimed(fd):
        probe = struct.pack(_FLOCK, fcntl.F_RDLCK, os.SEEK_SET, 0, 0, 0)
        try:
            answer = fcntl.fcntl(fd, _F_OFD_GETLK, probe)
        except OSError:
            return False
        return struct.unpack(_FLOCK, answer)[0] != fcntl.F_UNLCK

    def _held_by(fd, creator):
        """True when one of that process's descriptors is the area and holds
        the server's lock on it, as the kernel lists it in that descriptor's
        fdinfo."""
        if not os.path.isdir("/proc/self/fdinfo"):
            return True  # nothing to ask
        area = os.fstat(fd)
        try:
            descriptors = os.listdir("/proc/%d/fd" % creator)
        except OSError:
            return False
        for descriptor in descriptors:
            try:
                target = os.stat("/proc/%d/fd/%s" % (creator, descriptor))
                if (target.st_dev, target.st_ino) != (area.st_dev, area.st_ino):
                    continue
                with builtins.open("/proc/%d/fdinfo/%s" % (creator, descriptor)) as info:
                    if any(line.startswith("lock:") and "OFDLCK" in line and "WRITE" in line
                           for line in info):
                        return True
            except OSError:
                continue
        return False

    def _server_runs(name, creator):
        """Whether that process runs as the server of the area of that name."""
        try:
            fd = os.open("/dev/shm/" + name, os.O_RDONLY | os.O_CLOEXEC)
        except OSError:
            return False
        try:
            return _claimed(fd) and _held_by(fd, creator)
        finally:
            os.close(fd)

    class _Area:
        """The mapped area. The server holds a write lock of its open file
        description on the whole area while it runs; the kernel drops it when
        the server ends. Asking which lock would stand in the way of a read
        lock, as the server's own probe does, takes none."""

        def __init__(self, name, creator, file):
            try:
                # What shm_open("/" + name) opens on Linux.
                self._fd = os.open("/dev/shm/" + name, os.O_RDWR | os.O_CLOEXEC)
            except PermissionError:
                raise Error("The area of the TVXHandvane server is not open to this program: "
                            "run it as the user who started TVXHandvane.") from None
            except OSError:
                self._fd = -1
            # The area's name is one per machine: a server started from another
            # folder may hold it now, and only the one the file names is this
            # folder's.
            if self._fd < 0 or not self.creator_runs() or not self._held_by(creator):
                self._close_file()
                raise Error("The TVXHandvane server that published %s (process %d) is not "
                            "running any more. Start TVXHandvane." % (file, creator))
            if not self.whole():
                self._close_file()
                raise Error("The shared memory area %r of the TVXHandvane server (process %d) "
                            "is %d bytes, shorter than the %d bytes it should be: something "
                            "cut it short. End TVXHandvane and start it again."
                            % (name, creator, self.size, _AREA_SIZE))
            self._map = mmap.mmap(self._fd, _AREA_SIZE, mmap.MAP_SHARED,
                                  mmap.PROT_READ | mmap.PROT_WRITE)
            self.bytes = memoryview(self._map)
            self.words = self.bytes.cast("I")

        def creator_runs(self):
            return _claimed(self._fd)

        def whole(self):
            """Whether the object is still as long as the area. Anyone who
            may open it may also cut it short, and touching a page past its
            end then raises SIGBUS: the area is asked before it is used."""
            self.size = os.fstat(self._fd).st_size
            return self.size >= _AREA_SIZE

        def _held_by(self, creator):
            return _held_by(self._fd, creator)

        def _close_file(self):
            if self._fd >= 0:
                os.close(self._fd)
                self._fd = -1

        def close(self):
            self.words.release()
            self.bytes.release()
            self._map.close()
            self._close_file()


def _read_rendezvous(file):
    """SharedMemoryName and CreatorProcessID from section Memory; section and
    key names in any letter case, as the system's INI reader takes them."""
    try:
        with builtins.open(file, "rb") as source:
            text = source.read(8192).decode("latin-1")
    except OSError:
        return None, 0
    name, creator, in_memory = None, 0, False
    for line in text.splitlines():
        line = line.strip(" \t")
        if line.startswith("["):
            in_memory = line[1:].split("]")[0].strip().lower() == "memory"
        elif in_memory and "=" in line:
            key, value = (part.strip(" \t") for part in line.split("=", 1))
            if len(value) >= 2 and value[0] in "\"'" and value[-1] == value[0]:
                value = value[1:-1]
            if key.lower() == "sharedmemoryname" and value:
                name = value
            elif key.lower() == "creatorprocessid":
                try:
                    creator = int(value, 16)
                except ValueError:
                    creator = 0
    return name, creator


def _stamp(file):
    """What identifies one publication of the rendezvous file."""
    try:
        info = os.stat(file)
    except OSError:
        return None
    return (info.st_ino, info.st_mtime_ns, info.st_size, info.st_ctime_ns)


def _check_pointer(pointer):
    if not isinstance(pointer, int) or not 0 <= pointer < POINTERS:
        raise ValueError("pointer %r does not exist: phones are numbered 0 to 79" % (pointer,))


class Server:
    """The area of a running server, opened by open()."""

    def __init__(self, folder, from_now):
        self._folder = folder
        self._file = os.path.join(folder, "TVXHDVMemory.INI")
        self._area = None
        self._event = None
        self._last = {}      # pointer: (report, time taken)
        self._kept = []      # reports latest() took before read()
        self._attach()
        self._checked = time.monotonic()
        if from_now:
            words = self._area.words
            write = words[(_AT_REPORT_FIFO + 4) // 4]
            if write < _REPORT_SLOTS:
                words[(_AT_REPORT_FIFO + 8) // 4] = write

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()

    def _attach(self):
        self._stamp = _stamp(self._file)
        if self._stamp is None:
            if not os.path.isdir(self._folder):
                raise Error("The folder %r does not exist. Pass the folder that PathToIniFolder "
                            "under [Paths] in TVXHandvane.INI names." % self._folder)
            raise Error("No TVXHandvane server runs with its area in %r (there is no "
                        "TVXHDVMemory.INI). Start TVXHandvane, or pass the folder that "
                        "PathToIniFolder under [Paths] in TVXHandvane.INI names." % self._folder)
        self._name, self._creator = _read_rendezvous(self._file)
        if self._name is None:
            raise Error("%s names no SharedMemoryName under [Memory]. Start TVXHandvane again."
                        % self._file)
        area = _Area(self._name, self._creator, self._file)
        problem = self._layout_problem(area)
        if problem:
            area.close()
            raise Error("The header of the shared memory area %r does not match this "
                        "tvxhdv.py: %s. Either the running TVXHandvane is another version (use "
                        "the tvxhdv.py that came with it) or something wrote over the area (end "
                        "TVXHandvane and start it again)." % (self._name, problem))
        # The read index is this side's own: one outside the slots is set to
        # the write index, which drops what the FIFO held.
        words = area.words
        if words[(_AT_REPORT_FIFO + 8) // 4] >= _REPORT_SLOTS:
            write = words[(_AT_REPORT_FIFO + 4) // 4]
            words[(_AT_REPORT_FIFO + 8) // 4] = write if write < _REPORT_SLOTS else 0
        self._area = area

    @staticmethod
    def _layout_problem(area):
        words = area.words
        if words[0] != _AREA_SIZE:
            return "its size field says %d, not 4240072" % words[0]
        if words[1] != _STRUCT_VERSION:
            return "its StructVersion is %08X, not 23020902" % words[1]
        if (words[_AT_VERSION_BLOCK // 4] != 28 or words[_AT_REPORT_FIFO // 4] != _REPORT_FIFO_SIZE
                or any(words[(_AT_COMMAND_FIFOS + i * _COMMAND_FIFO_SIZE) // 4] != _COMMAND_FIFO_SIZE
                       for i in range(_COMMAND_FIFOS))):
            return "its block sizes differ"
        if area.bytes[_AT_FILL_TEXT:_AT_FILL_TEXT + len(_FILL_TEXT)] != _FILL_TEXT:
            return "its FillText differs"
        return None

    def _replaced(self):
        """True when the rendezvous file now names another running server. A
        file caught half written, or written over by something else, names
        none: the server held stays followed."""
        now = _stamp(self._file)
        if now is None or now == self._stamp:
            return False
        name, creator = _read_rendezvous(self._file)
        if name is None:
            return False
        if name != self._name or creator != self._creator:
            return _server_runs(name, creator)
        self._stamp = now  # the same server's file, touched
        return False

    def _usable(self):
        """False, having let go of the area, when it was cut short: nothing in
        it can be read any more."""
        if self._area is None:
            return False
        if self._area.whole():
            return True
        self._detach()
        self._event = "server_gone"
        return False

    def _check(self):
        """Lets go of the area once its server ended, another replaced it or
        it was cut short."""
        if not self._usable():
            return
        self._checked = time.monotonic()
        if self._area.creator_runs() and not self._replaced():
            return
        self._keep_queued()  # what the ended server left stays readable
        self._detach()
        self._event = "server_gone"

    def _detach(self):
        if self._area is not None:
            self._area.close()
            self._area = None

    def _queued(self):
        if not self._usable():
            return 0
        words = self._area.words
        write = words[(_AT_REPORT_FIFO + 4) // 4]
        read = words[(_AT_REPORT_FIFO + 8) // 4]
        if write >= _REPORT_SLOTS or read >= _REPORT_SLOTS:
            return 0
        return write - read if write >= read else write + _REPORT_SLOTS - read

    def _take(self, limit):
        """Takes up to limit reports out of the area, noting each as its
        pointer's last. The write index is read before the records, the read
        index stored after them, each as one aligned 32-bit access."""
        if not self._usable():
            return []
        words, data = self._area.words, self._area.bytes
        write = words[(_AT_REPORT_FIFO + 4) // 4]
        read = words[(_AT_REPORT_FIFO + 8) // 4]
        if write >= _REPORT_SLOTS or read >= _REPORT_SLOTS:
            return []
        reports, now = [], time.monotonic()
        while read != write and (limit is None or len(reports) < limit):
            at = _AT_REPORT_FIFO + 12 + read * _REPORT_BYTES
            report = Report(*struct.unpack_from("<6I", data, at))
            reports.append(report)
            if report.pointer < POINTERS:
                self._last[report.pointer] = (report, now)
            read = 0 if read + 1 == _REPORT_SLOTS else read + 1
        if reports:
            words[(_AT_REPORT_FIFO + 8) // 4] = read
        return reports

    def _keep_queued(self):
        """Moves what is queued in the area into this object, for read(); one
        that never reads loses the oldest instead of the newest."""
        self._kept.extend(self._take(None))
        del self._kept[:-(_REPORT_SLOTS - 1)]

    def read(self, limit=None):
        """Takes the queued reports (up to limit), oldest first; never blocks."""
        kept, self._kept = self._kept, []
        if limit is not None and len(kept) > limit:
            kept, self._kept = kept[:limit], kept[limit:]
        return kept + self._take(None if limit is None else limit - len(kept))

    def wait(self, timeout_s):
        """Waits up to timeout_s (0: just looks) until reports are there:
        "reports" or "timeout". Notices within a second when the server ends
        ("server_gone", once; what it left queued stays readable) and, while
        called, opens the next server's area by itself ("server_new", once)."""
        start = time.monotonic()
        while True:
            now = time.monotonic()
            if now - self._checked >= _CHECK_S:
                if self._area is not None:
                    self._check()
                elif self._event is None:
                    self._checked = now
                    try:
                        self._attach()
                        self._event = "server_new"
                    except Error:
                        pass
            reports = self._kept or self._queued()  # may find the area cut short
            if self._event is not None:
                event, self._event = self._event, None
                return event
            if reports:
                return "reports"
            if now - start >= timeout_s:
                return "timeout"
            time.sleep(0.001)

    def latest(self, pointer):
        """(report, age in seconds) of the last report of that pointer taken
        since the open, or None. Takes the queued reports first, keeping them
        for read()."""
        _check_pointer(pointer)
        self._keep_queued()
        if pointer not in self._last:
            return None
        report, taken = self._last[pointer]
        return report, time.monotonic() - taken

    def send(self, pointer, code):
        """Puts command code (0-255) for the phone of that pointer; the phone
        gets it with the answer to one of its next reports."""
        _check_pointer(pointer)
        if not isinstance(code, int) or not 0 <= code <= 255:
            raise ValueError("command code %r is outside 0 to 255" % (code,))
        self._check()
        if self._area is None:
            raise NoServer("No TVXHandvane server runs with its area in %r: the command was not "
                           "sent." % self._folder)
        words = self._area.words
        block = (_AT_COMMAND_FIFOS + pointer * _COMMAND_FIFO_SIZE) // 4
        write, read = words[block + 1], words[block + 2]
        if write >= _COMMAND_SLOTS or read >= _COMMAND_SLOTS:
            raise Full("The command FIFO of pointer %d is damaged (write index %d, read index %d)."
                       % (pointer, write, read))
        following = 0 if write + 1 == _COMMAND_SLOTS else write + 1
        if following == read:
            raise Full("The command FIFO of pointer %d is full: its phone takes one command per "
                       "report." % pointer)
        words[block + 3 + write * 2] = code
        words[block + 4 + write * 2] = 0
        words[block + 1] = following

    def vibrate(self, pointer, pattern):
        """Sends one of the vibrations SHORT_SINGLE .. LONG_DOUBLE."""
        if pattern not in range(SHORT_SINGLE, LONG_DOUBLE + 1):
            raise ValueError("vibration %r does not exist: use SHORT_SINGLE to LONG_DOUBLE"
                             % (pattern,))
        self.send(pointer, pattern)

    @property
    def connected(self):
        """True while the server whose area this holds runs."""
        self._check()
        return self._area is not None

    def close(self):
        self._detach()


def open(folder=".", from_now=False):
    """Opens the area of the server that runs with its rendezvous file in
    folder. from_now skips the reports queued before the open. Raises Error
    with the reason when there is none."""
    return Server(folder, from_now)
