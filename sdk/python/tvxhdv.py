"""Take the phones' pointer reports from a running TVXHandvane server and send
its phones commands. Standard library only; Linux and Windows.

    import tvxhdv
    with tvxhdv.open("/path/of/PathToIniFolder", from_now=True, wait=True) as server:
        while True:
            event = server.wait(1.0)
            if event == "presence":
                print(server.presence())
            for report in server.read():
                print(report.pointer, report.x, report.y, report.left)

The server publishes its shared memory area in the rendezvous file
TVXHDVMemory.INI in the folder PathToIniFolder of TVXHandvane.INI (section
Paths). open() reads that file, maps the area and checks its layout. Only one
program may take the reports: a second reader is refused, naming the one that
reads, unless it opens with send_only=True. sdk/README.md tells the rest.
"""

import builtins
import os
import struct
import sys
import time

__all__ = ["open", "Server", "Error", "Full", "NoServer", "Report", "POINTERS",
           "SHORT_SINGLE", "NORMAL_SINGLE", "LONG_SINGLE",
           "SHORT_DOUBLE", "NORMAL_DOUBLE", "LONG_DOUBLE",
           "SHOW_CLEAR", "SHOW_CORRECT", "SHOW_WRONG", "SHOW_COLOR", "SHOW_NUMBER",
           "RENAMED"]

POINTERS = 80  # phones are numbered 0 to 79

# The six vibrations the phone's page plays (command codes A0 to A5).
SHORT_SINGLE = 0xA0
NORMAL_SINGLE = 0xA1
LONG_SINGLE = 0xA2
SHORT_DOUBLE = 0xA3
NORMAL_DOUBLE = 0xA4
LONG_DOUBLE = 0xA5

# What the phone's page shows across its pad (Server.show): a tick, a cross,
# one of 8 team colours (0 red, 1 orange, 2 yellow, 3 green, 4 turquoise,
# 5 blue, 6 violet, 7 pink), a digit 0 to 9, or nothing again.
SHOW_CLEAR = 0xB0
SHOW_CORRECT = 0xB1
SHOW_WRONG = 0xB2


def SHOW_COLOR(n):  # noqa: N802 - named as the C macro
    """The show code of team colour n, 0 to 7."""
    if not isinstance(n, int) or not 0 <= n <= 7:
        raise ValueError("colour %r does not exist: team colours are 0 to 7" % (n,))
    return 0xC0 + n


def SHOW_NUMBER(n):  # noqa: N802 - named as the C macro
    """The show code of digit n, 0 to 9."""
    if not isinstance(n, int) or not 0 <= n <= 9:
        raise ValueError("number %r cannot be shown: the page shows 0 to 9" % (n,))
    return 0xD0 + n


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
_AT_REPORTS = _AT_REPORT_FIFO + 12
_AT_COMMAND_FIFOS = 388072
_COMMAND_FIFO_SIZE = 6420
_COMMAND_SLOTS = 800
_COMMAND_FIFOS = 600
_CHECK_S = 0.1    # how often wait() asks whether the server still runs
_SILENCE_S = 1.0  # a phone silent for longer has left, as the server counts it
_CHANGES_MAX = 256
_WHO_SIZE = 512

# Names. A phone may give its pointer a name, at most 24 Unicode characters,
# NFC, as the server checked it. Once name() was asked, presence() tells a
# name set, changed or dropped as (pointer, RENAMED). Names live in memory
# only: do not write them anywhere (they are often children's).
RENAMED = 2
# The names object "<area name> names" beside the area: a header (total
# size, layout version, slot count, slot size, change count, reserved) and
# per pointer a slot of a sequence count and 96 bytes of UTF-8, NUL-padded.
# The server makes the count odd while it writes the slot.
_NAMES_SIZE = 8032
_NAMES_VERSION = 1
_NAMES_AT_CHANGES = 16
_NAMES_AT_SLOTS = 32
_NAMES_SLOT_SIZE = 100
_NAME_MAX = 96

# The clock of every time here; a test may put one of its own in its place.
_now = time.monotonic


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

    __slots__ = ("screen", "frame", "pointer", "x", "y", "flags", "left", "right", "on_pad",
                 "read_at")

    def __init__(self, screen, frame, pointer, x, y, flags, read_at=0.0):
        self.screen = screen    # always 0: the page has one pad
        self.frame = frame      # the phone's own count, 1 to 65535 then 1 again
        self.pointer = pointer  # the phone's number, 0 to 79
        self.x = x              # 0 to 65535 across the pad, left to right
        self.y = y              # 0 to 65535, top to bottom
        self.flags = flags
        self.left = bool(flags & FLAG_LEFT)
        self.right = bool(flags & FLAG_RIGHT)
        self.on_pad = flags & FLAG_ON_PAD == FLAG_ON_PAD  # False once the finger was lifted
        self.read_at = read_at  # when this module took it out of the area, time.monotonic()

    def __repr__(self):
        return ("Report(pointer=%d, frame=%d, x=%d, y=%d, left=%s, right=%s, on_pad=%s)"
                % (self.pointer, self.frame, self.x, self.y, self.left, self.right, self.on_pad))


def _who_am_i():
    """This program's process id and name, for a reader refused later."""
    program = os.path.basename(sys.argv[0] if sys.argv and sys.argv[0] else sys.executable)
    return "%d %s" % (os.getpid(), program or "(unknown program)")


def _refusal(folder, who):
    pid, _, program = who.partition(" ")
    holder = ("%s (process %s)" % (program, pid) if program
              else "a program that did not say which")
    return ("Another program reads the reports of the TVXHandvane server in %r: %s. Only one "
            "program may read them (two would each get a share and lose the rest): end that "
            "one first, or open with send_only=True to send commands only." % (folder, holder))


class _Refused(Error):
    """Another reader holds the reports."""


if sys.platform == "win32":
    import ctypes
    from ctypes import wintypes

    _kernel32 = ctypes.WinDLL("kernel32", use_last_error=True)
    for _function, _result, _arguments in (
            ("OpenMutexW", ctypes.c_void_p, [wintypes.DWORD, wintypes.BOOL, wintypes.LPCWSTR]),
            ("CreateMutexW", ctypes.c_void_p, [ctypes.c_void_p, wintypes.BOOL, wintypes.LPCWSTR]),
            ("OpenFileMappingW", ctypes.c_void_p,
             [wintypes.DWORD, wintypes.BOOL, wintypes.LPCWSTR]),
            ("CreateFileMappingW", ctypes.c_void_p,
             [ctypes.c_void_p, ctypes.c_void_p, wintypes.DWORD, wintypes.DWORD, wintypes.DWORD,
              wintypes.LPCWSTR]),
            ("MapViewOfFile", ctypes.c_void_p,
             [ctypes.c_void_p, wintypes.DWORD, wintypes.DWORD, wintypes.DWORD, ctypes.c_size_t]),
            ("OpenEventW", ctypes.c_void_p, [wintypes.DWORD, wintypes.BOOL, wintypes.LPCWSTR]),
            ("WaitForSingleObject", wintypes.DWORD, [ctypes.c_void_p, wintypes.DWORD]),
            ("UnmapViewOfFile", wintypes.BOOL, [ctypes.c_void_p]),
            ("CloseHandle", wintypes.BOOL, [ctypes.c_void_p])):
        getattr(_kernel32, _function).restype = _result
        getattr(_kernel32, _function).argtypes = _arguments
    _SYNCHRONIZE = 0x00100000
    _FILE_MAP_ALL_ACCESS = 0x000F001F
    _FILE_MAP_READ = 0x0004
    _PAGE_READWRITE = 0x04
    _ERROR_ALREADY_EXISTS = 183
    _INVALID_HANDLE_VALUE = ctypes.c_void_p(-1).value

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
        nothing from it. A section keeps its size while it exists."""

        def __init__(self, name, creator, file):
            self.name, self.reason = name, None
            self._claim = self._claim_who = self._wake_mapping = self._event = None
            self._mark = "%s creator %d" % (name, creator)
            if not (_mutex_exists(name + " creator") and _mutex_exists(self._mark)):
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
            self._bytes = memoryview(memory).cast("B")
            self._words = self._bytes.cast("I")
            self._wake = None
            self._wake_mapping = _kernel32.OpenFileMappingW(_FILE_MAP_ALL_ACCESS, False,
                                                            name + " wake")
            if self._wake_mapping:
                self._wake = _kernel32.MapViewOfFile(self._wake_mapping, _FILE_MAP_ALL_ACCESS,
                                                     0, 0, 4)
            self._event = _kernel32.OpenEventW(_SYNCHRONIZE, False, name + " wake event")

        def creator_runs(self):
            return _mutex_exists(self._mark)

        def whole(self):
            return True

        def get(self, at, length):
            return bytes(self._bytes[at:at + length])

        def put(self, at, data):
            self._bytes[at:at + len(data)] = data
            return True

        def indices(self, fifo):
            return self._words[(fifo + 4) // 4], self._words[(fifo + 8) // 4]

        def set_index(self, at, old, value, slots):
            self._words[at // 4] = value
            return True

        def claim(self, folder):
            mutex = _kernel32.CreateMutexW(None, False, self.name + " reader")
            if not mutex:
                raise Error("Could not claim the reports of the area %r (error %d)."
                            % (self.name, ctypes.get_last_error()))
            if ctypes.get_last_error() == _ERROR_ALREADY_EXISTS:
                _kernel32.CloseHandle(mutex)
                who = b""
                mapping = _kernel32.OpenFileMappingW(_FILE_MAP_READ, False,
                                                     self.name + " reader who")
                if mapping:
                    view = _kernel32.MapViewOfFile(mapping, _FILE_MAP_READ, 0, 0, _WHO_SIZE)
                    if view:
                        who = ctypes.string_at(view, _WHO_SIZE).split(b"\0")[0]
                        _kernel32.UnmapViewOfFile(view)
                    _kernel32.CloseHandle(mapping)
                raise _Refused(_refusal(folder, who.decode("utf-8", "replace")))
            self._claim = mutex
            self._claim_who = _kernel32.CreateFileMappingW(
                _INVALID_HANDLE_VALUE, None, _PAGE_READWRITE, 0, _WHO_SIZE,
                self.name + " reader who")
            if self._claim_who:
                view = _kernel32.MapViewOfFile(self._claim_who, _FILE_MAP_ALL_ACCESS, 0, 0,
                                               _WHO_SIZE)
                if view:
                    who = _who_am_i().encode("utf-8")[:_WHO_SIZE - 1] + b"\0"
                    ctypes.memmove(view, who, len(who))
                    _kernel32.UnmapViewOfFile(view)
            if self._wake:
                ctypes.c_uint32.from_address(self._wake).value = 0  # a reader gone asleep

        def sleep_for_put(self, seen_write, seconds):
            """Sleeps until the server puts a report after the write index
            seen, or for seconds. Only the one reader sleeps, so its mark in
            the server's wake object is a plain store; the wait comes back
            within the check interval even should the server miss it."""
            if not (self._wake and self._event):
                time.sleep(0.001)
                return
            sleepers = ctypes.c_uint32.from_address(self._wake)
            sleepers.value = 1
            try:
                if self.indices(_AT_REPORT_FIFO)[0] == seen_write:
                    _kernel32.WaitForSingleObject(self._event, max(1, int(seconds * 1000)))
            finally:
                sleepers.value = 0

        def close(self):
            for view in (self._wake,):
                if view:
                    _kernel32.UnmapViewOfFile(view)
            self._words.release()
            self._bytes.release()
            _kernel32.UnmapViewOfFile(self._view)
            for handle in (self._mapping, self._wake_mapping, self._event):
                if handle:
                    _kernel32.CloseHandle(handle)

        def release(self):
            for handle in (self._claim_who, self._claim):
                if handle:
                    _kernel32.CloseHandle(handle)
            self._claim = self._claim_who = None

    def _server_runs(name, creator):
        """Whether that process runs as the server of the area of that name."""
        return (creator != 0 and _mutex_exists(name + " creator")
                and _mutex_exists("%s creator %d" % (name, creator)))

    class _Names:
        """The server's names object beside the area, read only; none with
        an older server."""

        def __init__(self, name):
            self._view = None
            self._mapping = _kernel32.OpenFileMappingW(_FILE_MAP_READ, False, name + " names")
            if self._mapping:
                self._view = _kernel32.MapViewOfFile(self._mapping, _FILE_MAP_READ, 0, 0,
                                                     _NAMES_SIZE)

        def get(self, at, length):
            return ctypes.string_at(self._view + at, length) if self._view else None

        def close(self):
            if self._view:
                _kernel32.UnmapViewOfFile(self._view)
            if self._mapping:
                _kernel32.CloseHandle(self._mapping)
            self._view = self._mapping = None

else:
    import ctypes
    import fcntl
    import mmap

    # fcntl's names for the OFD lock calls, with Linux's values where missing.
    _F_OFD_GETLK = getattr(fcntl, "F_OFD_GETLK", 36)
    _F_OFD_SETLK = getattr(fcntl, "F_OFD_SETLK", 37)
    _FLOCK = "hhqqi4x"  # struct flock: type, whence, start, length, pid
    _SYS_FUTEX = {"x86_64": 202, "aarch64": 98, "i386": 240, "i686": 240,
                  "armv7l": 240}.get(os.uname().machine)
    _FUTEX_WAIT, _FUTEX_WAKE_OP = 0, 5
    _FUTEX_OP_SET, _FUTEX_OP_ADD = 0, 1
    _libc = ctypes.CDLL(None, use_errno=True)
    _libc.syscall.restype = ctypes.c_long
    _libc.mmap.restype = ctypes.c_void_p
    _libc.mmap.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int, ctypes.c_int,
                           ctypes.c_int, ctypes.c_long]
    _libc.munmap.argtypes = [ctypes.c_void_p, ctypes.c_size_t]

    class _Timespec(ctypes.Structure):
        _fields_ = [("tv_sec", ctypes.c_long), ("tv_nsec", ctypes.c_long)]

    def _map(fd, size):
        """A shared mapping that only the kernel touches (futex words)."""
        address = _libc.mmap(None, size, mmap.PROT_READ | mmap.PROT_WRITE, mmap.MAP_SHARED,
                             fd, 0)
        return None if address in (None, ctypes.c_void_p(-1).value) else address

    def _atomic_op(address, op, argument):
        """One atomic operation of the kernel's on a 32-bit value of a
        mapping: it fails (EFAULT) instead of faulting when the page is gone."""
        if _SYS_FUTEX is None or address is None:
            return False
        encoded = (op << 28) | ((argument & 0xFFF) << 12)
        return _libc.syscall(ctypes.c_long(_SYS_FUTEX), ctypes.c_void_p(address),
                             ctypes.c_long(_FUTEX_WAKE_OP), ctypes.c_long(0), ctypes.c_long(0),
                             ctypes.c_void_p(address), ctypes.c_long(encoded)) >= 0

    def _atomic_add(address, amount):
        while amount > 0:
            step = min(amount, 2047)  # a 12-bit signed argument
            if not _atomic_op(address, _FUTEX_OP_ADD, step):
                return False
            amount -= step
        return True

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

    def _area_elsewhere(creator, name):
        """Whether that process runs, as the server or holding the area in its
        own /dev/shm, while this program finds no area of that name in its
        /dev/shm (a container, a sandbox)."""
        if not 0 < creator <= 0x7FFFFFFF:
            return False
        try:
            os.kill(creator, 0)
        except PermissionError:
            pass
        except OSError:
            return False
        if os.path.exists("/proc/%d/root/dev/shm/%s" % (creator, name)):
            return True
        try:
            with builtins.open("/proc/%d/comm" % creator, "rb") as comm:
                return comm.read(32).startswith(b"TVXHandvane")
        except OSError:
            return False

    class _Area:
        """The area, read and written through its descriptor: anyone who may
        open it may also cut it short, and a read through a mapping of a page
        past its end raises SIGBUS however soon after a size check it comes;
        a read through the descriptor reads short instead. The server holds
        a write lock of its open file description on the whole area while it
        runs; the kernel drops it when the server ends. Asking which lock
        would stand in the way of a read lock takes none."""

        def __init__(self, name, creator, file):
            self.name, self.creator, self.reason, self.lost = name, creator, None, False
            self._fd = self._claim = -1
            self._address = self._wake = None
            try:
                # What shm_open("/" + name) opens on Linux.
                self._fd = os.open("/dev/shm/" + name, os.O_RDWR | os.O_CLOEXEC)
            except PermissionError:
                raise Error("The area of the TVXHandvane server is not open to this program: "
                            "run it as the user who started TVXHandvane.") from None
            except FileNotFoundError:
                if _area_elsewhere(creator, name):
                    raise Error(
                        "%s names process %d, a TVXHandvane server that runs, but its shared "
                        "memory area %r is not visible from here: this program has a /dev/shm of "
                        "its own (a container or a sandbox). Run it beside TVXHandvane, or share "
                        "the server's /dev/shm with it." % (file, creator, name)) from None
            except OSError:
                pass
            # The area's name is one per machine: a server started from another
            # folder may hold it now, and only the one the file names is this
            # folder's.
            if self._fd < 0 or not self.creator_runs() or not _held_by(self._fd, creator):
                self.close()
                raise Error("The TVXHandvane server that published %s (process %d) is not "
                            "running any more. Start TVXHandvane." % (file, creator))
            if not self.whole():
                self.close()
                raise Error(self.reason)
            self._address = _map(self._fd, _AREA_SIZE)
            try:
                wake = os.open("/dev/shm/%s wake" % name, os.O_RDWR | os.O_CLOEXEC)
            except OSError:
                return
            self._wake = _map(wake, 4096)
            os.close(wake)

        def creator_runs(self):
            return _claimed(self._fd)

        def whole(self):
            """Whether the object is still as long as the area; else says so."""
            size = os.fstat(self._fd).st_size
            if size >= _AREA_SIZE:
                return True
            self.reason = ("The shared memory area %r of the TVXHandvane server (process %d) is "
                           "%d bytes, shorter than the %d bytes it should be: something cut it "
                           "short. End TVXHandvane and start it again."
                           % (self.name, self.creator, size, _AREA_SIZE))
            return False

        def _lose(self):
            if not self.lost and self.whole():
                self.reason = ("The shared memory area %r of the TVXHandvane server (process "
                               "%d) lost its contents: something cut it short and grew it "
                               "again. End TVXHandvane and start it again."
                               % (self.name, self.creator))
            self.lost = True

        def get(self, at, length):
            data = b""
            while len(data) < length:
                try:
                    more = os.pread(self._fd, length - len(data), at + len(data))
                except InterruptedError:
                    continue
                except OSError:
                    more = b""
                if not more:
                    self._lose()
                    return None
                data += more
            return data

        def put(self, at, data):
            done = 0
            while done < len(data):
                try:
                    written = os.pwrite(self._fd, data[done:], at + done)
                except InterruptedError:
                    continue
                except OSError:
                    written = 0
                if written <= 0:
                    self._lose()
                    return False
                done += written
            return True

        def indices(self, fifo):
            """The write and read index of the FIFO block at fifo. The kernel
            may copy a read byte by byte, so a read that met the other side's
            store could hold half of each: it counts once a second agrees."""
            first = self.get(fifo + 4, 8)
            for _ in range(8):
                if first is None:
                    return None
                second = self.get(fifo + 4, 8)
                if second == first:
                    break
                first = second
            return struct.unpack("<II", first) if first is not None else None

        def set_index(self, at, old, value, slots):
            """Moves this side's index from old to value, forward round the
            ring only, in atomic steps of the kernel's, so that the other side
            never sees it behind where it was, nor half stored."""
            if value == old:
                return True
            address = None if self._address is None else self._address + at
            done = True
            if old >= slots or value < old:
                done = ((old >= slots or _atomic_add(address, slots - 1 - old))
                        and _atomic_op(address, _FUTEX_OP_SET, 0))
                old = 0
            if done and _atomic_add(address, value - old):
                return True
            if ctypes.get_errno() == 14:  # EFAULT: the page is gone
                self._lose()
                return False
            return self.put(at, struct.pack("<I", value))  # no such operation here

        def claim(self, folder):
            """Claims the reports with an OFD lock on a small object beside
            the area, which the kernel drops with the descriptor, however the
            program ends; the object holds who claimed."""
            fd = os.open("/dev/shm/%s reader" % self.name, os.O_RDWR | os.O_CREAT | os.O_CLOEXEC,
                         0o600)
            try:
                fcntl.fcntl(fd, _F_OFD_SETLK,
                            struct.pack(_FLOCK, fcntl.F_WRLCK, os.SEEK_SET, 0, 0, 0))
            except OSError:
                who = os.pread(fd, _WHO_SIZE - 1, 0).split(b"\0")[0]
                os.close(fd)
                raise _Refused(_refusal(folder, who.decode("utf-8", "replace"))) from None
            try:
                os.ftruncate(fd, _WHO_SIZE)
                os.pwrite(fd, _who_am_i().encode("utf-8")[:_WHO_SIZE - 1] + b"\0", 0)
            except OSError:
                pass  # it reads all the same; only a refused one is told less
            self._claim = fd
            _atomic_op(self._wake, _FUTEX_OP_SET, 0)  # a reader that ended asleep

        def sleep_for_put(self, seen_write, seconds):
            """Sleeps until the server puts a report after the write index
            seen: counted among the sleepers in the server's wake object, on
            the write index, which the server's put wakes while it counts any.
            Without the wake object (an older server) it looks every ms."""
            if not _atomic_op(self._wake, _FUTEX_OP_ADD, 1):
                time.sleep(0.001)
                return
            timeout = _Timespec(int(seconds), int((seconds % 1.0) * 1e9))
            _libc.syscall(ctypes.c_long(_SYS_FUTEX),
                          ctypes.c_void_p(self._address + _AT_REPORT_FIFO + 4),
                          ctypes.c_long(_FUTEX_WAIT), ctypes.c_long(seen_write),
                          ctypes.byref(timeout), ctypes.c_long(0), ctypes.c_long(0))
            _atomic_op(self._wake, _FUTEX_OP_ADD, -1)

        def close(self):
            if self._wake is not None:
                _libc.munmap(self._wake, 4096)
            if self._address is not None:
                _libc.munmap(self._address, _AREA_SIZE)
            if self._fd >= 0:
                os.close(self._fd)
            self._fd, self._address, self._wake = -1, None, None

        def release(self):
            if self._claim >= 0:
                os.close(self._claim)
            self._claim = -1

    class _Names:
        """The server's names object beside the area, read through its
        descriptor as the area is; none with an older server."""

        def __init__(self, name):
            try:
                self._fd = os.open("/dev/shm/%s names" % name, os.O_RDONLY | os.O_CLOEXEC)
            except OSError:
                self._fd = -1

        def get(self, at, length):
            if self._fd < 0:
                return None
            try:
                data = os.pread(self._fd, length, at)
            except OSError:
                return None
            return data if len(data) == length else None

        def close(self):
            if self._fd >= 0:
                os.close(self._fd)
            self._fd = -1


def _read_rendezvous(file):
    """SharedMemoryName and CreatorProcessID from section Memory; section and
    key names in any letter case, as the system's INI reader takes them. The
    file is opened without waiting and must be a regular file, as the server
    takes it; a name that no system would take (a NUL, a slash) is none."""
    try:
        fd = os.open(file, os.O_RDONLY | getattr(os, "O_NONBLOCK", 0)
                     | getattr(os, "O_NOCTTY", 0) | getattr(os, "O_BINARY", 0))
    except (OSError, ValueError):
        return None, 0
    try:
        import stat
        if not stat.S_ISREG(os.fstat(fd).st_mode):
            return None, 0
        text = b""
        while len(text) < 8192:
            more = os.read(fd, 8192 - len(text))
            if not more:
                break
            text += more
    except OSError:
        return None, 0
    finally:
        os.close(fd)
    name, creator, in_memory = None, 0, False
    for line in text.decode("latin-1").splitlines():
        line = line.strip(" \t")
        if line.startswith("["):
            in_memory = line[1:].split("]")[0].strip().lower() == "memory"
        elif in_memory and "=" in line:
            key, value = (part.strip(" \t") for part in line.split("=", 1))
            if len(value) >= 2 and value[0] in "\"'" and value[-1] == value[0]:
                value = value[1:-1]
            if key.lower() == "sharedmemoryname":
                name = value if value and not any(c in value for c in "\0/\\") else None
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
    except (OSError, ValueError):
        return None
    return (info.st_ino, info.st_mtime_ns, info.st_size, info.st_ctime_ns)


def _check_pointer(pointer):
    if not isinstance(pointer, int) or not 0 <= pointer < POINTERS:
        raise ValueError("pointer %r does not exist: phones are numbered 0 to 79" % (pointer,))


def _refuse_damaged_fifo(pointer, write, read):
    """Indices outside the ring: nothing in that command FIFO can be trusted."""
    if write >= _COMMAND_SLOTS or read >= _COMMAND_SLOTS:
        raise Full("The command FIFO of pointer %d is damaged (write index %d, read index %d)."
                   % (pointer, write, read))


def _ring(start, end):
    return end - start if end >= start else end + _REPORT_SLOTS - start


class Server:
    """The area of a running server, opened by open()."""

    def __init__(self, folder, from_now=False, wait=False, send_only=False, any_layout=False):
        self._folder = folder
        # As the server builds the name: an empty folder means the root.
        separators = "\\/" if sys.platform == "win32" else "/"
        self._file = folder + ("" if folder and folder[-1] in separators else os.sep) + \
            "TVXHDVMemory.INI"
        self._send_only, self._any_layout = send_only, any_layout
        self._area = None
        self._claimed = None  # the area name this holds the reports of
        self._event = None
        self.reason = None   # why it let go of the server's area, or why it has none
        self._last = {}      # pointer: last report taken
        self._heard = {}     # pointer: when a report of it was last seen
        self._changes = []   # (pointer, joined) not yet taken
        self._changes_new = False
        # Changes are numbered as they are noted: those below _told were
        # told, and a report waits in read() while its phone's join is not.
        self._changes_total, self._told, self._joined_at = 0, 0, {}
        self._follows = False  # presence() was called: the joins matter
        self._returned = None  # when wait_gathered() last returned
        self._noticed = 0
        self._kept = []      # reports latest() took before read()
        self._names = None   # the names object beside the area
        self._names_asked = False  # name() was called: renames are told
        self._names_changes, self._names_seq = 0, [0] * POINTERS
        try:
            self._attach()
        except _Refused:
            raise
        except Error as error:
            if not wait:
                raise
            self.reason = str(error)
            self._checked = _now() - _CHECK_S  # the first wait() looks at once
            return
        if from_now and not send_only:
            indices = self._area.indices(_AT_REPORT_FIFO)
            if indices and indices[0] < _REPORT_SLOTS and indices[1] < _REPORT_SLOTS:
                self._area.set_index(_AT_REPORT_FIFO + 8, indices[1], indices[0], _REPORT_SLOTS)

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()

    def _attach(self):
        self._stamp = _stamp(self._file)
        if self._stamp is None:
            if not os.path.isdir(self._folder or os.sep):
                raise Error("The folder %r does not exist. Pass the folder that PathToIniFolder "
                            "under [Paths] in TVXHandvane.INI names." % self._folder)
            raise Error("No TVXHandvane server runs with its area in %r (there is no "
                        "TVXHDVMemory.INI). Start TVXHandvane, or pass the folder that "
                        "PathToIniFolder under [Paths] in TVXHandvane.INI names."
                        % (self._folder or os.sep))
        self._name, self._creator = _read_rendezvous(self._file)
        if self._name is None:
            raise Error("%s names no SharedMemoryName under [Memory] (or one that holds a "
                        "slash, or it is no regular file). Start TVXHandvane again." % self._file)
        area = _Area(self._name, self._creator, self._file)
        problem = None if self._any_layout else self._layout_problem(area)
        if problem:
            area.close()
            raise Error("The header of the shared memory area %r does not match this "
                        "tvxhdv.py: %s. Either the running TVXHandvane is another version (use "
                        "the tvxhdv.py that came with it) or something wrote over the area (end "
                        "TVXHandvane and start it again)." % (self._name, problem))
        if not self._send_only:
            self._claim(area)
        # The read index is this side's own: one outside the slots is set to
        # the write index, which drops what the FIFO held.
        write, read = area.indices(_AT_REPORT_FIFO) or (0, 0)
        if read >= _REPORT_SLOTS and not self._send_only:
            area.set_index(_AT_REPORT_FIFO + 8, read, write if write < _REPORT_SLOTS else 0,
                           _REPORT_SLOTS)
        self._noticed = read
        self._area = area
        self._checked = _now()
        # A new server starts without names: every name it gets is a rename.
        self._names = _Names(self._name)
        self._names_changes, self._names_seq = 0, [0] * POINTERS

    def _claim(self, area):
        if self._claimed is not None and self._claimed[0] == area.name:
            return
        if self._claimed is not None:
            self._claimed[1].release()
            self._claimed = None
        try:
            area.claim(self._folder)
        except Error:
            area.close()
            raise
        self._claimed = (area.name, area)

    @staticmethod
    def _layout_problem(area):
        header = area.get(0, _AT_REPORT_FIFO + 4)
        if header is None:
            return "it was cut short"
        words = struct.unpack_from("<2I", header)
        if words[0] != _AREA_SIZE:
            return "its size field says %d, not 4240072" % words[0]
        if words[1] != _STRUCT_VERSION:
            return "its StructVersion is %08X, not 23020902" % words[1]
        sizes = [area.get(_AT_COMMAND_FIFOS + i * _COMMAND_FIFO_SIZE, 4)
                 for i in range(_COMMAND_FIFOS)]
        if (struct.unpack_from("<I", header, _AT_VERSION_BLOCK)[0] != 28
                or struct.unpack_from("<I", header, _AT_REPORT_FIFO)[0] != _REPORT_FIFO_SIZE
                or any(size != struct.pack("<I", _COMMAND_FIFO_SIZE) for size in sizes)):
            return "its block sizes differ"
        if header[_AT_FILL_TEXT:_AT_FILL_TEXT + len(_FILL_TEXT)] != _FILL_TEXT:
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

    def _let_go(self, reason):
        self.reason = reason
        self._detach()
        self._event = "server_gone"

    def _usable(self):
        """False, having let go of the area, when it was cut short or lost its
        contents: nothing in it can be read any more."""
        if self._area is None:
            return False
        if not getattr(self._area, "lost", False) and self._area.whole():
            return True
        self._let_go(self._area.reason)
        return False

    def _header_intact(self):
        header = self._area.get(0, 8)
        if header is None:
            return False
        size, version = struct.unpack("<2I", header)
        if self._any_layout or (size, version) == (_AREA_SIZE, _STRUCT_VERSION):
            return True
        self._area.reason = ("The shared memory area %r of the TVXHandvane server (process %d) "
                             "lost its contents: its header says %08X %08X now. Something cut "
                             "it short and grew it again, or wrote over it. End TVXHandvane and "
                             "start it again." % (self._name, self._creator, size, version))
        self._area.lost = True
        return False

    def _check(self):
        """Lets go of the area once its server ended, another replaced it or
        it was damaged; reason then says which."""
        if self._area is None:
            return
        self._checked = _now()
        if not self._header_intact() or not self._usable():
            self._usable()
            return
        runs = self._area.creator_runs()
        if runs and not self._replaced():
            return
        self._keep_queued()  # what the ended server left stays readable
        self._let_go("Another TVXHandvane server has published its area in %r." % self._folder
                     if runs else "The TVXHandvane server that published %s (process %d) has "
                     "ended." % (self._file, self._creator))

    def _detach(self):
        if self._names is not None:
            self._names.close()
            self._names = None
        if self._area is not None:
            self._area.close()
            self._area = None

    def _report_fifo(self):
        """The report FIFO's indices, when this may take reports from it."""
        if self._send_only or not self._usable():
            return None
        indices = self._area.indices(_AT_REPORT_FIFO)
        if indices is None:
            self._usable()
            return None
        write, read = indices
        return indices if write < _REPORT_SLOTS and read < _REPORT_SLOTS else None

    def _hear(self, pointer, now):
        if pointer >= POINTERS:
            return
        if pointer not in self._heard:
            self._change(pointer, True)
        self._heard[pointer] = now

    def _change(self, pointer, joined):
        self._changes.append((pointer, joined))
        del self._changes[:-_CHANGES_MAX]
        if joined is True:
            self._joined_at[pointer] = self._changes_total
        self._changes_total += 1
        self._changes_new = True

    def _told_of(self, pointer):
        """Whether a report of that pointer may be handed out: its phone's
        join was told, or this object's user does not follow the joins."""
        return not self._follows or pointer >= POINTERS or \
            self._joined_at.get(pointer, -1) < self._told

    def _notice(self, write, read, now):
        """Notes which phones the reports queued since the last look come
        from, without taking them."""
        if _ring(read, self._noticed) > _ring(read, write):
            self._noticed = read
        while self._noticed != write:
            count = min(64, (write if write > self._noticed else _REPORT_SLOTS) - self._noticed)
            data = self._area.get(_AT_REPORTS + self._noticed * _REPORT_BYTES,
                                  count * _REPORT_BYTES)
            if data is None:
                return
            for i in range(count):
                self._hear(struct.unpack_from("<I", data, i * _REPORT_BYTES + 8)[0], now)
            self._noticed = (self._noticed + count) % _REPORT_SLOTS

    def _leaves(self, now):
        """Notes the phones silent for longer than the server allows as gone;
        when the next one will be, or None."""
        for pointer, heard in sorted(self._heard.items()):
            if now - heard > _SILENCE_S:
                del self._heard[pointer]
                self._change(pointer, False)
        return min(self._heard.values()) + _SILENCE_S if self._heard else None

    def _look(self, now):
        """Notes the phones of the reports waiting in the area, then those
        silent for too long: a consumer that stalled finds the phones that
        went on reporting meanwhile still present. The FIFO's indices (or
        None) and when the next phone will leave (or None)."""
        indices = self._report_fifo()  # may find the area cut short
        if indices is not None:
            self._notice(indices[0], indices[1], now)
        self._renames()
        return indices, self._leaves(now)

    def _names_word(self, at):
        """A value of the names object; it counts once two reads agree."""
        first = self._names.get(at, 4) if self._names is not None else None
        for _ in range(8):
            second = self._names.get(at, 4) if first is not None else None
            if second is None or second == first:
                break
            first = second
        return None if first is None else struct.unpack("<I", first)[0]

    def _names_usable(self):
        header = self._names.get(0, 16) if self._names is not None else None
        return header is not None and struct.unpack("<4I", header) == (
            _NAMES_SIZE, _NAMES_VERSION, POINTERS, _NAMES_SLOT_SIZE)

    def _name_slot(self, pointer):
        """The pointer's name as bytes, copied between two reads of an equal,
        even count; None when there is none to read or the server kept
        writing it."""
        at = _NAMES_AT_SLOTS + pointer * _NAMES_SLOT_SIZE
        for _ in range(1000):
            before = self._names_word(at)
            if before is None:
                return None
            if before & 1:
                continue
            data = self._names.get(at + 4, _NAME_MAX)
            if data is None:
                return None
            if self._names_word(at) == before:
                return data.split(b"\0")[0]
        return None

    def _renames(self):
        """Notes every slot changed since the last look as renamed, once
        name() was asked."""
        if not self._names_asked:
            return
        changes = self._names_word(_NAMES_AT_CHANGES)
        if changes is None or changes == self._names_changes or not self._names_usable():
            return
        self._names_changes = changes
        for pointer in range(POINTERS):
            seq = self._names_word(_NAMES_AT_SLOTS + pointer * _NAMES_SLOT_SIZE)
            if seq is not None and seq != self._names_seq[pointer]:
                self._names_seq[pointer] = seq
                self._change(pointer, RENAMED)

    def _take(self, limit, hold_back=False):
        """Takes up to limit reports out of the area, noting each as its
        pointer's last; with hold_back, stops before one whose phone's join
        was not told."""
        indices = self._report_fifo()
        if indices is None:
            return []
        write, read = indices
        first, reports, now = read, [], _now()
        while read != write and (limit is None or len(reports) < limit):
            count = min(64, (write if write > read else _REPORT_SLOTS) - read)
            if limit is not None:
                count = min(count, limit - len(reports))
            data = self._area.get(_AT_REPORTS + read * _REPORT_BYTES, count * _REPORT_BYTES)
            if data is None:
                return reports
            taken = 0
            for i in range(count):
                report = Report(*struct.unpack_from("<6I", data, i * _REPORT_BYTES), read_at=now)
                if report.pointer < POINTERS:
                    self._hear(report.pointer, now)
                if hold_back and not self._told_of(report.pointer):
                    break
                taken += 1
                reports.append(report)
                if report.pointer < POINTERS:
                    self._last[report.pointer] = report
            read = (read + taken) % _REPORT_SLOTS
            if taken < count:
                break
        if reports:
            self._area.set_index(_AT_REPORT_FIFO + 8, first, read, _REPORT_SLOTS)
        return reports

    def _keep_queued(self):
        """Moves what is queued in the area into this object, for read(); one
        that never reads loses the oldest instead of the newest."""
        self._kept.extend(self._take(None))
        del self._kept[:-(_REPORT_SLOTS - 1)]

    def read(self, limit=None):
        """Takes the queued reports (up to limit), oldest first; never blocks."""
        told = 0
        while told < len(self._kept) and (limit is None or told < limit) and \
                self._told_of(self._kept[told].pointer):
            told += 1
        kept, self._kept = self._kept[:told], self._kept[told:]
        if self._kept:
            return kept
        return kept + self._take(None if limit is None else limit - len(kept), True)

    def skip(self):
        """Drops every report that waits, in the area and here (after a stall,
        say), still noting each phone's last report and presence. The count."""
        dropped = len(self._kept) + len(self._take(_REPORT_SLOTS))
        self._kept = []
        return dropped

    def wait(self, timeout_s):
        """Waits up to timeout_s (0: just looks) until reports are there,
        sleeping until the server puts one: "reports" or "timeout". Notices
        within a second when the server ends ("server_gone", once; what it
        left queued stays readable; reason says why) and, while called, opens
        the next server's area by itself ("server_new", once); says
        "presence" when phones joined or left (presence() tells which)."""
        start = _now()
        while True:
            now = _now()
            if now - self._checked >= _CHECK_S:
                if self._area is not None:
                    self._check()
                elif self._event is None:
                    self._checked = now
                    try:
                        self._attach()
                        self._event = "server_new"
                    except _Refused as refused:
                        self.reason = str(refused)
                    except Error as error:
                        self.reason = str(error)
            indices, leave_at = self._look(now)
            if self._event is not None:
                event, self._event = self._event, None
                return event
            if self._changes_new:
                self._changes_new = False
                self._told = self._changes_total
                return "presence"
            if self._kept or (indices is not None and indices[0] != indices[1]):
                return "reports"
            if timeout_s <= 0 or now - start >= timeout_s:
                return "timeout"
            until = min(start + timeout_s, self._checked + _CHECK_S)
            if leave_at is not None:
                until = min(until, leave_at + 0.001)
            seconds = max(until - now, 0.001)
            if indices is not None:
                self._area.sleep_for_put(indices[0], seconds)
            else:
                time.sleep(seconds)

    def wait_gathered(self, timeout_s, gather_s):
        """wait(), returning at most once per gather_s while reports keep
        coming: it first naps out what is left of gather_s since it last
        returned, so that a busy server's reports are taken in batches.
        After a quiet spell it returns as soon as a report comes."""
        if gather_s > 0 and self._returned is not None:
            nap = min(gather_s - (_now() - self._returned), max(timeout_s, 0))
            if nap > 0:
                time.sleep(nap)
                timeout_s -= nap
        event = self.wait(timeout_s)
        self._returned = None if event == "timeout" else _now()
        return event

    def presence(self):
        """The phones that joined or left since the last call, oldest first,
        as (pointer, joined) with joined True or False; once name() was
        asked, also (pointer, RENAMED) when a phone's name changed."""
        self._follows = True
        self._look(_now())
        changes, self._changes, self._changes_new = self._changes, [], False
        self._told = self._changes_total
        return changes

    @property
    def present(self):
        """The pointers of the phones present now, a set."""
        self._look(_now())
        return set(self._heard)

    def latest(self, pointer):
        """(report, age in seconds) of the last report of that pointer taken
        since the open, or None. Takes the queued reports first, keeping them
        for read()."""
        _check_pointer(pointer)
        self._keep_queued()
        if pointer not in self._last:
            return None
        report = self._last[pointer]
        return report, _now() - report.read_at

    def name(self, pointer):
        """The name the phone of that pointer gave itself, "" when it has
        none (or the server keeps no names). The first call makes presence()
        tell renames too. Raises NoServer while this holds no server's area."""
        _check_pointer(pointer)
        if not self._usable():
            raise NoServer(self.reason or "No TVXHandvane server runs with its area in %r."
                           % self._folder)
        if not self._names_asked:
            # From now on renames are told; those before this call are not.
            self._names_asked = True
            self._names_changes = self._names_word(_NAMES_AT_CHANGES) or 0
            self._names_seq = [self._names_word(_NAMES_AT_SLOTS + p * _NAMES_SLOT_SIZE) or 0
                               for p in range(POINTERS)]
        data = self._name_slot(pointer) if self._names_usable() else None
        return "" if data is None else data.decode("utf-8", "replace")

    def _command_fifo(self, pointer, not_done):
        """The place of the command FIFO of that pointer and its write and
        read index. Raises NoServer once the area is gone; not_done ends the
        message when no server runs at all: what the call left undone."""
        held = self._area is not None
        self._check()
        if self._area is None:
            raise NoServer(self.reason if held else "No TVXHandvane server runs with its area in "
                           "%r: %s" % (self._folder, not_done))
        fifo = _AT_COMMAND_FIFOS + pointer * _COMMAND_FIFO_SIZE
        indices = self._area.indices(fifo)
        if indices is None:
            self._usable()
            raise NoServer(self.reason)
        write, read = indices
        return fifo, write, read

    def send(self, pointer, code):
        """Puts command code (1-253) for the phone of that pointer; the phone
        gets it with the answer to one of its next reports. Code 0 means "no
        command" to the phone, FE and FF are the server's own ("the teacher
        freed your number", "another phone has your number"): the server
        passes on none of them, so they are refused."""
        _check_pointer(pointer)
        if not isinstance(code, int) or not 1 <= code <= 253:
            raise ValueError("command code %r never reaches a phone: codes are 1 to 253 (0 means "
                             "no command, and the server keeps FE and FF for itself)" % (code,))
        fifo, write, read = self._command_fifo(pointer, "the command was not sent.")
        _refuse_damaged_fifo(pointer, write, read)
        following = 0 if write + 1 == _COMMAND_SLOTS else write + 1
        if following == read:
            raise Full("The command FIFO of pointer %d is full: its phone takes one command per "
                       "report." % pointer)
        if not (self._area.put(fifo + 12 + write * 8, struct.pack("<II", code, 0))
                and self._area.set_index(fifo + 4, write, following, _COMMAND_SLOTS)):
            self._usable()
            raise NoServer(self.reason)

    def clear_queue(self, pointer):
        """Drops the commands that wait for the phone of that pointer: each
        becomes "no command", which the server passes over, one per report
        of the phone (the server alone may move the read index). One the
        server is taking at that moment may still go out. The count dropped."""
        _check_pointer(pointer)
        fifo, write, read = self._command_fifo(pointer, "nothing was dropped.")
        slots = self._area.get(fifo + 12, _COMMAND_SLOTS * 8)
        if slots is None:
            self._usable()
            raise NoServer(self.reason)
        _refuse_damaged_fifo(pointer, write, read)
        waiting = [(read + i) % _COMMAND_SLOTS for i in range((write - read) % _COMMAND_SLOTS)]
        runs = [(read, _COMMAND_SLOTS), (0, write)] if write < read else [(read, write)]
        for start, end in runs:
            if not self._area.put(fifo + 12 + start * 8, bytes((end - start) * 8)):
                self._usable()
                raise NoServer(self.reason)
        return sum(1 for slot in waiting if slots[slot * 8] != 0)

    def vibrate(self, pointer, pattern):
        """Sends one of the vibrations SHORT_SINGLE .. LONG_DOUBLE."""
        if pattern not in range(SHORT_SINGLE, LONG_DOUBLE + 1):
            raise ValueError("vibration %r does not exist: use SHORT_SINGLE to LONG_DOUBLE"
                             % (pattern,))
        self.send(pointer, pattern)

    def show(self, pointer, what):
        """Shows SHOW_CORRECT, SHOW_WRONG, SHOW_COLOR(0-7), SHOW_NUMBER(0-9) or
        SHOW_CLEAR across the phone's pad."""
        if not (isinstance(what, int) and (SHOW_CLEAR <= what <= SHOW_WRONG
                                           or 0xC0 <= what <= 0xC7 or 0xD0 <= what <= 0xD9)):
            raise ValueError("%r is nothing the phone shows: use SHOW_CORRECT, SHOW_WRONG, "
                             "SHOW_COLOR(0 to 7), SHOW_NUMBER(0 to 9) or SHOW_CLEAR" % (what,))
        self.send(pointer, what)

    @property
    def connected(self):
        """True while the server whose area this holds runs."""
        self._check()
        return self._area is not None

    def close(self):
        self._detach()
        if self._claimed is not None:
            self._claimed[1].release()
            self._claimed = None


def open(folder=".", from_now=False, wait=False, send_only=False):
    """Opens the area of the server that runs with its rendezvous file in
    folder ("": the root). from_now skips the reports queued before the open;
    wait gives a Server even while no server runs, whose first wait() says
    "server_new" once one does; send_only takes no reports, so it may run
    beside the one program that reads them. Raises Error with the reason
    when there is no server (without wait) or another program reads."""
    return Server(folder, from_now, wait, send_only)
