/* tvxhdv.h - take the phones' pointer reports from a running TVXHandvane
 * server and send its phones commands, from C or C++, on Windows or Linux.
 *
 * One file, no dependency. Include it wherever it is used; in exactly one
 * source file define TVXHDV_IMPLEMENTATION before including it (before any
 * other header there, so that it can ask for the system calls it needs):
 *
 *     #define TVXHDV_IMPLEMENTATION
 *     #include "tvxhdv.h"
 *
 * The server publishes its shared memory area in the rendezvous file
 * TVXHDVMemory.INI in the folder PathToIniFolder of TVXHandvane.INI (section
 * Paths). tvxhdv_open() reads that file, maps the area and checks its layout;
 * tvxhdv_wait() and tvxhdv_read() take the reports; tvxhdv_send(),
 * tvxhdv_vibrate() and tvxhdv_show() put commands for a phone. sdk/README.md
 * tells the rest: what each field means, why only one program may take the
 * reports, and what happens when the server ends or starts again.
 *
 * A handle belongs to one thread at a time. Only one handle on a machine may
 * read the reports; the others open with TVXHDV_SEND_ONLY. */
#ifndef TVXHDV_H
#define TVXHDV_H

#if defined(TVXHDV_IMPLEMENTATION) && !defined(_WIN32) && !defined(_GNU_SOURCE)
#define _GNU_SOURCE /* shm_open, the OFD locks, futex and pidfd_open under -std=c99 */
#endif

#include <stdint.h>

/* Marks the functions whose result is the point of calling them (a handle, a
 * count, whether a command went out): the compiler warns when one is
 * dropped. [[nodiscard]] in C++17 and C23, GCC's and clang's attribute in
 * older C and C++, nothing for other compilers. Define it before including
 * this file to choose otherwise (empty: no warnings). */
#ifndef TVXHDV_NODISCARD
#if defined(__cplusplus) && defined(__has_cpp_attribute)
#if __has_cpp_attribute(nodiscard) && \
    (__cplusplus >= 201703L || (defined(_MSVC_LANG) && _MSVC_LANG >= 201703L))
#define TVXHDV_NODISCARD [[nodiscard]]
#endif
#elif !defined(__cplusplus) && defined(__STDC_VERSION__) && defined(__has_c_attribute)
#if __STDC_VERSION__ > 201710L && __has_c_attribute(nodiscard)
#define TVXHDV_NODISCARD [[nodiscard]]
#endif
#endif
#if !defined(TVXHDV_NODISCARD) && (defined(__GNUC__) || defined(__clang__))
#define TVXHDV_NODISCARD __attribute__((warn_unused_result))
#endif
#ifndef TVXHDV_NODISCARD
#define TVXHDV_NODISCARD
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Phones are numbered 0 to 79; the area holds command FIFOs for 600 numbers,
 * but the server reads only these 80. */
#define TVXHDV_POINTERS 80

/* Bits of tvxhdv_report.flags, also given as left, right and on_pad. */
#define TVXHDV_FLAG_LEFT 0x100u    /* left button down */
#define TVXHDV_FLAG_RIGHT 0x200u   /* right button down */
#define TVXHDV_FLAG_ON_PAD 0xC000u /* a finger is on the phone's pad */

/* One report of one phone, as the server forwarded it. */
typedef struct {
  uint32_t screen;  /* always 0: the page has one pad */
  uint32_t frame;   /* the phone's own count, 1 to 65535 then 1 again */
  uint32_t pointer; /* the phone's number, 0 to 79 */
  uint32_t x, y;    /* 0 to 65535 across the pad, left to right, top to bottom */
  uint32_t flags;   /* TVXHDV_FLAG_... bits */
  int left, right;  /* 1 while that button is down */
  int on_pad;       /* 1 while a finger is on the pad; 0 once it was lifted */
  uint64_t read_at_ms; /* when this library took it out of the area, in
                        * milliseconds of the system's monotonic clock */
} tvxhdv_report;

typedef struct tvxhdv tvxhdv;

/* tvxhdv_open flags */
#define TVXHDV_FROM_NOW 1u   /* skip the reports queued before the open */
#define TVXHDV_ANY_LAYOUT 2u /* take an area whose header does not match (TVXTap info) */
#define TVXHDV_WAIT_FOR_SERVER 4u /* a handle even while no server runs: its first
                                   * tvxhdv_wait() says TVXHDV_SERVER_NEW once one does */
#define TVXHDV_SEND_ONLY 8u /* commands only: takes no reports, so it may run beside
                             * the one program that reads them */

/* tvxhdv_wait results */
#define TVXHDV_TIMEOUT 0
#define TVXHDV_REPORTS 1
#define TVXHDV_SERVER_GONE 2 /* the server ended; the handle waits for the next */
/* (tvxhdv_last_error() then says why it let go: the server ended, another
 * replaced it, or its area was cut short or wiped) */
#define TVXHDV_SERVER_NEW 3 /* the handle now reads a new server's area */
#define TVXHDV_PRESENCE 4   /* phones joined or left: tvxhdv_presence() tells which */

/* tvxhdv_send, tvxhdv_vibrate and tvxhdv_show results */
#define TVXHDV_OK 0
#define TVXHDV_FULL (-1)         /* 799 commands wait for that phone already */
#define TVXHDV_NO_SERVER (-2)    /* no server runs: the command went nowhere */
#define TVXHDV_BAD_ARGUMENT (-3) /* pointer outside 0-79, code outside 1-253 */

/* The six vibrations the phone's page plays (command codes A0 to A5). */
#define TVXHDV_SHORT_SINGLE 0xA0
#define TVXHDV_NORMAL_SINGLE 0xA1
#define TVXHDV_LONG_SINGLE 0xA2
#define TVXHDV_SHORT_DOUBLE 0xA3
#define TVXHDV_NORMAL_DOUBLE 0xA4
#define TVXHDV_LONG_DOUBLE 0xA5

/* What the phone's page shows across its pad (tvxhdv_show): a tick, a cross,
 * one of 8 team colours (0 red, 1 orange, 2 yellow, 3 green, 4 turquoise,
 * 5 blue, 6 violet, 7 pink), a digit 0 to 9, or nothing again. */
#define TVXHDV_SHOW_CLEAR 0xB0
#define TVXHDV_SHOW_CORRECT 0xB1
#define TVXHDV_SHOW_WRONG 0xB2
/* A colour or digit out of range gives TVXHDV_NOT_A_CODE, which every
 * function refuses, rather than another command's code. n is evaluated
 * twice. */
#define TVXHDV_SHOW_COLOR(n) ((unsigned)(n) <= 7u ? 0xC0 + (int)(n) : TVXHDV_NOT_A_CODE)
#define TVXHDV_SHOW_NUMBER(n) ((unsigned)(n) <= 9u ? 0xD0 + (int)(n) : TVXHDV_NOT_A_CODE)
#define TVXHDV_NOT_A_CODE 0x100

/* A phone that joined (its first report after a silence) or left (silent for
 * more than a second, the server's own rule). */
typedef struct {
  unsigned pointer;
  int joined; /* 1 joined, 0 left, TVXHDV_RENAMED: its name changed (tvxhdv_name) */
} tvxhdv_presence_change;

/* Opens the area of the server that runs with its rendezvous file in folder
 * (NULL: the current folder; "": the root). NULL on failure;
 * tvxhdv_last_error() says why. With TVXHDV_WAIT_FOR_SERVER it fails only
 * when another program reads the reports already. */
TVXHDV_NODISCARD tvxhdv *tvxhdv_open(const char *folder, unsigned flags);
/* Why the last call that failed on this thread (with mingw: in this
 * process) failed, in a sentence. */
TVXHDV_NODISCARD const char *tvxhdv_last_error(void);
/* The clock of tvxhdv_report.read_at_ms: the system's monotonic clock in ms. */
TVXHDV_NODISCARD uint64_t tvxhdv_now_ms(void);
/* Takes up to max reports, oldest first, into out; never blocks. The count.
 * Once the handle was asked tvxhdv_presence(), it stops before the report of
 * a phone whose join it has not told yet (by tvxhdv_wait() saying
 * TVXHDV_PRESENCE, or tvxhdv_presence()): the next wait says so at once. */
TVXHDV_NODISCARD int tvxhdv_read(tvxhdv *h, tvxhdv_report *out, int max);
/* Drops every report that waits, in the area and in the handle (after a
 * stall, say), still noting each phone's last report and presence. The
 * count dropped. */
int tvxhdv_skip(tvxhdv *h);
/* Waits up to timeout_ms (0: just looks) until reports are there, sleeping
 * until the server puts one. Notices within a second when the server ends
 * (TVXHDV_SERVER_GONE, once; what it left queued stays readable) and, while
 * called, opens the next server's area by itself (TVXHDV_SERVER_NEW, once);
 * says TVXHDV_PRESENCE when phones joined or left. */
TVXHDV_NODISCARD int tvxhdv_wait(tvxhdv *h, int timeout_ms);
/* tvxhdv_wait(), returning at most once per gather_ms while reports keep
 * coming: it first naps out what is left of gather_ms since it last
 * returned, so that a busy server's reports are taken in batches. After a
 * quiet spell it returns as soon as a report comes, as tvxhdv_wait() does. */
TVXHDV_NODISCARD int tvxhdv_wait_gathered(tvxhdv *h, int timeout_ms, int gather_ms);
/* Takes up to max presence changes, oldest first, into out. The count. */
TVXHDV_NODISCARD int tvxhdv_presence(tvxhdv *h, tvxhdv_presence_change *out, int max);
/* Sets present[p] to 1 for every phone present now, else 0. */
void tvxhdv_present(tvxhdv *h, unsigned char present[TVXHDV_POINTERS]);
/* The last report of that pointer taken since the open and how long ago it
 * was taken, in ms (either may be NULL). 1 when there is one, else 0. Takes
 * the queued reports first, keeping them for tvxhdv_read(). */
TVXHDV_NODISCARD int tvxhdv_latest(tvxhdv *h, int pointer, tvxhdv_report *out,
                                   uint32_t *age_ms);
/* Puts command code (1-254) for the phone of that pointer; the phone gets it
 * with the answer to one of its next reports. TVXHDV_OK or why not. Code 0
 * means "no command" to the phone and FF is the server's own ("another
 * phone has your number"): the server passes on neither, so both are
 * refused here. */
TVXHDV_NODISCARD int tvxhdv_send(tvxhdv *h, int pointer, unsigned code);
/* Drops the commands that wait for the phone of that pointer (put by any
 * program): each becomes "no command", which the server passes over, one
 * per report of the phone. One the server is taking at that moment may still
 * go out. The count dropped; TVXHDV_NO_SERVER, TVXHDV_BAD_ARGUMENT, or
 * TVXHDV_FULL for a FIFO whose indices are damaged. */
TVXHDV_NODISCARD int tvxhdv_clear_queue(tvxhdv *h, int pointer);
/* Sends one of the vibrations TVXHDV_SHORT_SINGLE .. TVXHDV_LONG_DOUBLE. */
TVXHDV_NODISCARD int tvxhdv_vibrate(tvxhdv *h, int pointer, int pattern);
/* Shows TVXHDV_SHOW_CORRECT, _WRONG, _COLOR(0-7), _NUMBER(0-9) or _CLEAR on
 * the phone's pad; the same results as tvxhdv_send(). */
TVXHDV_NODISCARD int tvxhdv_show(tvxhdv *h, int pointer, int what);
/* 1 while the server whose area the handle holds runs. */
TVXHDV_NODISCARD int tvxhdv_connected(tvxhdv *h);
void tvxhdv_close(tvxhdv *h);

/* For tools that show the area as it is (TVXTap info). */
#define TVXHDV_COMMAND_FIFOS 600
typedef struct {
  char name[260];          /* SharedMemoryName from the rendezvous file */
  uint32_t creator;        /* CreatorProcessID */
  uint32_t total_size;     /* 4240072 */
  uint32_t struct_version; /* 0x23020902 */
  uint32_t version_block_size;
  uint32_t server_version; /* major << 24 | minor << 16 | build << 8 | revision */
  uint32_t report_fifo_block_size;
  int fill_text_matches;
  int reports_queued;
  uint32_t command_fifo_block_size[TVXHDV_COMMAND_FIFOS];
  int commands_queued[TVXHDV_COMMAND_FIFOS];
} tvxhdv_info;
/* Fills info from the area; 0 when the handle holds none. */
TVXHDV_NODISCARD int tvxhdv_get_info(tvxhdv *h, tvxhdv_info *info);
/* Ends the server whose area the handle holds, once the system confirms
 * that this process is still the one holding it. 1 on success. */
TVXHDV_NODISCARD int tvxhdv_terminate_server(tvxhdv *h);

/* Names. A phone may give its pointer a name ("Mia"), at most 24 Unicode
 * characters, NFC, as the server checked it; the server keeps it while the
 * phone is present. Names live in memory only: a program that shows them
 * should not write them anywhere either (they are often children's). */
#define TVXHDV_RENAMED 2   /* tvxhdv_presence_change.joined: the name changed */
#define TVXHDV_NAME_MAX 96 /* bytes of UTF-8 in a name, without the NUL */
/* Copies the name of that pointer's phone, UTF-8, into buf (size bytes),
 * NUL-terminated when it fits (size > the length; TVXHDV_NAME_MAX + 1 always
 * does). The name's length in bytes, 0 when it has none (or the server
 * keeps no names), TVXHDV_BAD_ARGUMENT or TVXHDV_NO_SERVER. The first call
 * makes the handle tell renames among its presence changes (TVXHDV_RENAMED,
 * a name set, changed or dropped); a handle never asked tells none. */
TVXHDV_NODISCARD int tvxhdv_name(tvxhdv *h, unsigned pointer, char *buf, int size);

#ifdef __cplusplus
}
#endif
#endif /* TVXHDV_H */

/* ------------------------------------------------------------------------ */
#if defined(TVXHDV_IMPLEMENTATION) && !defined(TVXHDV_IMPLEMENTED)
#define TVXHDV_IMPLEMENTED

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/futex.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>
#ifndef F_OFD_GETLK
#define F_OFD_GETLK 36 /* Linux; older C libraries lack the names */
#define F_OFD_SETLK 37
#endif
#endif

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the area holds little-endian values"
#endif

/* The area's layout: 32-bit little-endian values at these byte offsets. */
#define TVXHDV__AREA_SIZE 4240072u
#define TVXHDV__STRUCT_VERSION 0x23020902u
#define TVXHDV__AT_STRUCT_VERSION 4u
#define TVXHDV__AT_FILL_TEXT 8u
#define TVXHDV__AT_VERSION_BLOCK 4008u /* size 28, reserved, server version, reserved */
#define TVXHDV__VERSION_BLOCK_SIZE 28u
#define TVXHDV__AT_REPORT_FIFO 4036u /* block size, write index, read index, slots */
#define TVXHDV__REPORT_FIFO_SIZE 384036u
#define TVXHDV__REPORT_SLOTS 16000u
#define TVXHDV__REPORT_BYTES 24u
#define TVXHDV__AT_COMMAND_FIFOS 388072u /* 600 blocks of 6420 bytes */
#define TVXHDV__COMMAND_FIFO_SIZE 6420u
#define TVXHDV__COMMAND_SLOTS 800u
#define TVXHDV__COMMAND_BYTES 8u
#define TVXHDV__AT_WRITE 4u /* in a FIFO block */
#define TVXHDV__AT_READ 8u
#define TVXHDV__AT_SLOTS 12u

/* Beside the area, by its name: the server's wake object, whose first 32-bit
 * value counts the readers asleep in tvxhdv_wait() (on Windows with an event
 * "<name> wake event" that the server sets after a put while one sleeps),
 * and the reader's claim (Linux: an OFD lock on "<name> reader", which holds
 * who claimed; Windows: a mutex "<name> reader" and who claimed in the
 * mapping "<name> reader who"). */
#define TVXHDV__WAKE_SUFFIX " wake"
#define TVXHDV__WAKE_EVENT_SUFFIX " wake event"
#define TVXHDV__READER_SUFFIX " reader"
#define TVXHDV__READER_WHO_SUFFIX " reader who"
#define TVXHDV__WHO_SIZE 512u
/* The names object "<name> names": a header (total size, layout version,
 * slot count, slot size, change count, reserved) and per pointer a slot of a
 * sequence count and 96 bytes of UTF-8, NUL-padded. The server makes the
 * count odd while it writes the slot. */
#define TVXHDV__NAMES_SUFFIX " names"
#define TVXHDV__NAMES_SIZE 8032u
#define TVXHDV__NAMES_VERSION 1u
#define TVXHDV__NAMES_AT_CHANGES 16u
#define TVXHDV__NAMES_AT_SLOTS 32u
#define TVXHDV__NAMES_SLOT_SIZE 100u

/* How often a waiting handle asks whether its server still runs, or, while
 * it has none, looks for the next one. */
#ifndef TVXHDV__CHECK_MS
#define TVXHDV__CHECK_MS 100u
#endif
/* A phone silent for longer than this has left, as the server counts it. */
#define TVXHDV__SILENCE_MS 1000u
#define TVXHDV__CHANGES_MAX 256

/* The text the server copies into the area; a different text means a
 * different build of the layout. Windows-1252, 3306 bytes. A macro, so that
 * a C++ build can compare it with the server's copy as it compiles. */
/* clang-format off */
#define TVXHDV__FILL_TEXT \
    "TVXHandvane shared memory area\r\n" \
    "==============================\r\n" \
    "This area belongs to the TVXHandvane server. The\r\n" \
    "server creates it at start and fills it with the\r\n" \
    "reports of the phones that act as pointers.\r\n" \
    "A consuming application on the same PC opens it\r\n" \
    "by the name written in TVXHDVMemory.INI, key\r\n" \
    "SharedMemoryName of section Memory.\r\n" \
    "Layout: a header, one FIFO of pointer reports\r\n" \
    "(server to consumer) and 600 FIFOs of commands\r\n" \
    "(consumer to server), one per pointer number.\r\n" \
    "All numbers are 32-bit little-endian values.\r\n" \
    "Every FIFO has one writer and one reader. The\r\n" \
    "writer moves only the write index, the reader\r\n" \
    "only the read index, always after the record.\r\n" \
    "A FIFO is empty when both indices are equal; it\r\n" \
    "holds at most one record less than its slots.\r\n" \
    "Read the write index before the record and store\r\n" \
    "the read index after it, and never move the\r\n" \
    "index that belongs to the other side.\r\n" \
    "The pointer FIFO holds 15999 reports. When the\r\n" \
    "consumer falls behind, new reports are dropped.\r\n" \
    "Take reports often and keep up with the phones.\r\n" \
    "Commands are 8-byte records; the low 8 bits of\r\n" \
    "the first value go to the phone of that pointer.\r\n" \
    "The creator's process id is in CreatorProcessID.\r\n" \
    "Do not write into the header or the reserved\r\n" \
    "fields; they belong to the server.\r\n" \
    "When this text does not match the copy of your\r\n" \
    "own program, the area comes from another build.\r\n" \
    "Compare StructVersion before you use the FIFOs.\r\n" \
    "The area exists while the server runs; after it\r\n" \
    "ends, open the area again from the new file.\r\n" \
    "Thank you for building your program on TVXHandvane.\r\n" \
    "Questions and notes go to the operator of this PC,\r\n" \
    "who can also end the server from the dialog.\r\n" \
    "-----------------------------------------------------------------\r\n" \
    "Gemeinsamer Speicher von TVXHandvane\r\n" \
    "====================================\r\n" \
    "Dieser Bereich geh\xF6rt dem TVXHandvane-Server. Er\r\n" \
    "legt ihn beim Start an und f\xFCllt ihn mit den\r\n" \
    "Meldungen der Handys, die als Zeiger dienen.\r\n" \
    "Eine Anwendung auf demselben PC \xF6" "ffnet ihn \xFC" "ber\r\n" \
    "den Namen in TVXHDVMemory.INI, Schl\xFCssel\r\n" \
    "SharedMemoryName im Abschnitt Memory.\r\n" \
    "Aufbau: ein Kopf, eine FIFO f\xFCr Zeigermeldungen\r\n" \
    "(Server an Anwendung) und 600 FIFOs f\xFCr Befehle\r\n" \
    "(Anwendung an Server), eine je Zeigernummer.\r\n" \
    "Alle Zahlen sind 32-Bit-Werte, Little-Endian.\r\n" \
    "Jede FIFO hat genau einen Schreiber und einen\r\n" \
    "Leser. Der Schreiber r\xFC" "ckt nur den Schreibindex\r\n" \
    "vor, der Leser nur den Leseindex, stets nach dem\r\n" \
    "Datensatz. Sind beide Indizes gleich, ist sie\r\n" \
    "leer; sie fasst einen Satz weniger als Pl\xE4tze.\r\n" \
    "Lies den Schreibindex vor dem Datensatz, setze\r\n" \
    "den Leseindex danach und \xE4ndere nie den Index\r\n" \
    "der Gegenseite.\r\n" \
    "Die Zeiger-FIFO fasst 15999 Meldungen. Bleibt\r\n" \
    "die Anwendung zur\xFC" "ck, gehen neue Meldungen\r\n" \
    "verloren. Hole sie oft ab und halte Schritt.\r\n" \
    "Befehle sind S\xE4tze zu 8 Bytes; die unteren 8 Bit\r\n" \
    "des ersten Werts gehen an das Handy des Zeigers.\r\n" \
    "Die Prozessnummer steht in CreatorProcessID.\r\n" \
    "Schreibe nicht in den Kopf oder in reservierte\r\n" \
    "Felder; sie geh\xF6ren dem Server.\r\n" \
    "Weicht dieser Text von der Kopie im eigenen\r\n" \
    "Programm ab, stammt der Bereich aus einem\r\n" \
    "anderen Build. Pr\xFC" "fe zuerst StructVersion.\r\n" \
    "Der Bereich besteht, solange der Server l\xE4uft;\r\n" \
    "danach \xF6" "ffne ihn neu \xFC" "ber die neue Datei.\r\n" \
    "Fragen und Hinweise an den Betreuer dieses PCs.\r\n" \
    "Gr\xFC\xDF" "e aus der Werkstatt, viel Spa\xDF damit!\r\n"
/* clang-format on */
static const char tvxhdv__fill_text[] = TVXHDV__FILL_TEXT;

/* The last error is kept per thread where that costs no library: mingw's
 * thread-local storage would need libwinpthread-1.dll beside the program. */
#if defined(_MSC_VER)
#define TVXHDV__THREAD __declspec(thread)
#elif defined(_WIN32)
#define TVXHDV__THREAD
#elif defined(__cplusplus) && __cplusplus >= 201103L
#define TVXHDV__THREAD thread_local
#elif defined(__GNUC__)
#define TVXHDV__THREAD __thread
#else
#define TVXHDV__THREAD
#endif

static TVXHDV__THREAD char tvxhdv__error[700];

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
static void
tvxhdv__fail(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(tvxhdv__error, sizeof tvxhdv__error, format, arguments);
  va_end(arguments);
}

const char *tvxhdv_last_error(void) {
  return tvxhdv__error;
}

static uint32_t tvxhdv__u32(const unsigned char *at) {
  uint32_t value;
  memcpy(&value, at, sizeof value);
  return value;
}

/* The system's monotonic clock in milliseconds. A program that tests its
 * own handling of silences may define TVXHDV_NOW_MS() as a clock of its own
 * before it includes the implementation. */
static uint64_t tvxhdv__system_ms(void) {
#ifdef _WIN32
  return (uint64_t)GetTickCount64();
#else
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / 1000000u;
#endif
}
#ifndef TVXHDV_NOW_MS
#define TVXHDV_NOW_MS() tvxhdv__system_ms()
#endif

uint64_t tvxhdv_now_ms(void) {
  return TVXHDV_NOW_MS();
}

static void tvxhdv__sleep_ms(uint32_t ms) {
#ifdef _WIN32
  Sleep(ms);
#else
  struct timespec step;
  step.tv_sec = (time_t)(ms / 1000u);
  step.tv_nsec = (long)(ms % 1000u) * 1000000L;
  nanosleep(&step, NULL);
#endif
}

/* What identifies one publication of the rendezvous file. */
typedef struct {
  int exists;
  uint64_t a, b, c;
} tvxhdv__stamp;

struct tvxhdv {
  char folder[1024];
  char file[1100]; /* the rendezvous file */
  char name[260];  /* the area's name */
  uint32_t creator;
  /* The area while the handle holds a server's: on Windows its view, on
   * Linux a mapping whose addresses only the kernel touches (futex words),
   * the area itself being read and written through fd. */
  unsigned char *area;
  unsigned char *wake; /* the server's wake object, NULL when it has none */
#ifdef _WIN32
  HANDLE mapping, wake_mapping, wake_event;
  HANDLE claim, claim_who; /* the reader's claim and who holds it */
#else
  int fd;
  int claim; /* the descriptor holding the reader's OFD lock, or -1 */
#endif
  char claim_name[260]; /* the area name the claim is for */
  int lost;             /* the area was found cut short or wiped */
  tvxhdv__stamp stamp;  /* the rendezvous file when the area was opened */
  uint64_t checked_ms;
  int event; /* TVXHDV_SERVER_GONE or _NEW, not yet handed out */
  int asleep; /* counted among the sleepers in the wake object */
  int refused; /* the last attach failed on another reader's claim */
  unsigned flags;
  tvxhdv_report last[TVXHDV_POINTERS];
  uint64_t heard_ms[TVXHDV_POINTERS]; /* when a report of it was last seen */
  unsigned char seen[TVXHDV_POINTERS];
  unsigned char present[TVXHDV_POINTERS];
  uint32_t noticed; /* the slot up to which queued reports count for presence */
  tvxhdv_presence_change changes[TVXHDV__CHANGES_MAX];
  int changes_first, changes_count, changes_new;
  /* Changes are numbered as they are noted: those below told_seq were told,
   * and a report waits in tvxhdv_read() while its phone's join is not. */
  uint32_t changes_total, told_seq;
  uint32_t joined_seq[TVXHDV_POINTERS];
  int follows; /* tvxhdv_presence() was called: the joins matter */
  uint64_t returned_ms; /* when tvxhdv_wait_gathered() last returned */
  tvxhdv_report *kept; /* reports tvxhdv_latest() took before tvxhdv_read() */
  int kept_first, kept_count;
  /* The server's names object beside the area; none with an older server. */
#ifdef _WIN32
  HANDLE names_mapping;
  unsigned char *names_view;
#else
  int names_fd;
#endif
  int names_asked;                     /* tvxhdv_name() was called: renames are told */
  uint32_t names_changes;              /* the object's change count when last looked */
  uint32_t names_seq[TVXHDV_POINTERS]; /* each slot's count when last looked */
};

#define TVXHDV__KEPT_MAX ((int)TVXHDV__REPORT_SLOTS - 1)

static void tvxhdv__take_stamp(const char *file, tvxhdv__stamp *stamp) {
  memset(stamp, 0, sizeof *stamp);
#ifdef _WIN32
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(file, GetFileExInfoStandard, &data)) return;
  stamp->a =
      ((uint64_t)data.ftCreationTime.dwHighDateTime << 32) | data.ftCreationTime.dwLowDateTime;
  stamp->b =
      ((uint64_t)data.ftLastWriteTime.dwHighDateTime << 32) | data.ftLastWriteTime.dwLowDateTime;
  stamp->c = data.nFileSizeLow;
#else
  struct stat info;
  if (stat(file, &info) != 0) return;
  stamp->a = (uint64_t)info.st_ino;
  stamp->b = (uint64_t)info.st_mtim.tv_sec * 1000000000u + (uint64_t)info.st_mtim.tv_nsec;
  stamp->c = (uint64_t)info.st_size;
#endif
  stamp->exists = 1;
}

static int tvxhdv__same_stamp(const tvxhdv__stamp *x, const tvxhdv__stamp *y) {
  return x->exists == y->exists && x->a == y->a && x->b == y->b && x->c == y->c;
}

static int tvxhdv__is_folder(const char *path) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesA(path[0] != '\0' ? path : "\\");
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
  struct stat info;
  return stat(path[0] != '\0' ? path : "/", &info) == 0 && S_ISDIR(info.st_mode);
#endif
}

static int tvxhdv__same_word(const char *a, size_t length, const char *b) {
  size_t i;
  if (strlen(b) != length) return 0;
  for (i = 0; i < length; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = (char)(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = (char)(y - 'A' + 'a');
    if (x != y) return 0;
  }
  return 1;
}

/* Up to size - 1 bytes of a regular file, NUL-terminated. On Windows the
 * file is opened so that the server can still remove or replace it
 * meanwhile: a reader holding it open must never make the next server's
 * start fail. Elsewhere it is opened without waiting, as the server opens
 * it, so that a FIFO or device put in its place cannot hold the open. */
static int tvxhdv__read_small_file(const char *file, char *text, size_t size, size_t *length) {
#ifdef _WIN32
  DWORD got = 0;
  BOOL read;
  HANDLE in =
      CreateFileA(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (in == INVALID_HANDLE_VALUE) return 0;
  if (GetFileType(in) != FILE_TYPE_DISK) {
    CloseHandle(in);
    return 0;
  }
  read = ReadFile(in, text, (DWORD)(size - 1), &got, NULL);
  CloseHandle(in);
  if (!read) return 0;
  *length = got;
#else
  struct stat info;
  ssize_t got;
  const int in = open(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (in < 0) return 0;
  if (fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(in);
    return 0;
  }
  *length = 0;
  while (*length < size - 1) {
    got = read(in, text + *length, size - 1 - *length);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    *length += (size_t)got;
  }
  close(in);
#endif
  text[*length] = '\0';
  return 1;
}

/* Reads SharedMemoryName and CreatorProcessID from section Memory; section
 * and key names in any letter case, as the system's INI reader takes them.
 * A name that no system would take (a NUL, a slash) counts as none. */
static int tvxhdv__read_rendezvous(const char *file, char *name, size_t name_size,
                                   uint32_t *creator) {
  char text[8192];
  size_t length, at = 0;
  int in_memory = 0, have_name = 0;
  if (!tvxhdv__read_small_file(file, text, sizeof text, &length)) return 0;
  *creator = 0;
  while (at < length) {
    size_t end = at, first, last, equals;
    while (end < length && text[end] != '\n' && text[end] != '\r') ++end;
    first = at;
    last = end;
    while (first < last && (text[first] == ' ' || text[first] == '\t')) ++first;
    while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t')) --last;
    at = end + 1;
    if (first == last) continue;
    if (text[first] == '[') {
      const char *close = (const char *)memchr(text + first, ']', last - first);
      size_t open = first + 1, shut = close != NULL ? (size_t)(close - text) : last;
      while (open < shut && text[open] == ' ') ++open;
      while (shut > open && text[shut - 1] == ' ') --shut;
      in_memory = tvxhdv__same_word(text + open, shut - open, "Memory");
      continue;
    }
    equals = first;
    while (equals < last && text[equals] != '=') ++equals;
    if (!in_memory || equals == last) continue;
    {
      size_t key_end = equals, value = equals + 1;
      while (key_end > first && (text[key_end - 1] == ' ' || text[key_end - 1] == '\t')) --key_end;
      while (value < last && (text[value] == ' ' || text[value] == '\t')) ++value;
      if (last - value >= 2 && (text[value] == '"' || text[value] == '\'') &&
          text[last - 1] == text[value]) {
        ++value;
        --last;
      }
      if (tvxhdv__same_word(text + first, key_end - first, "SharedMemoryName") &&
          last - value < name_size) {
        memcpy(name, text + value, last - value);
        name[last - value] = '\0';
        have_name = last > value && memchr(text + value, '\0', last - value) == NULL &&
                    memchr(text + value, '/', last - value) == NULL &&
                    memchr(text + value, '\\', last - value) == NULL;
      } else if (tvxhdv__same_word(text + first, key_end - first, "CreatorProcessID")) {
        text[last] = '\0';
        *creator = (uint32_t)strtoul(text + value, NULL, 16);
      }
    }
  }
  return have_name;
}

/* This program's file name and process id, for a reader refused later. */
static void tvxhdv__who_am_i(char *who, size_t size) {
  char path[400];
  const char *base;
  size_t i;
#ifdef _WIN32
  DWORD length = GetModuleFileNameA(NULL, path, (DWORD)sizeof path - 1);
  path[length < sizeof path ? length : 0] = '\0';
  snprintf(who, size, "%lu", (unsigned long)GetCurrentProcessId());
#else
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  path[length > 0 ? (size_t)length : 0] = '\0';
  snprintf(who, size, "%ld", (long)getpid());
#endif
  base = path;
  for (i = 0; path[i] != '\0'; ++i) {
    if (path[i] == '/' || path[i] == '\\') base = path + i + 1;
  }
  i = strlen(who);
  snprintf(who + i, size - i, " %s", base[0] != '\0' ? base : "(unknown program)");
}

/* "process 1234 (program)" from what a claim holds. */
static void tvxhdv__describe_who(const char *who, char *text, size_t size) {
  const char *space = strchr(who, ' ');
  if (who[0] == '\0' || space == NULL) {
    snprintf(text, size, "a program that did not say which");
  } else {
    snprintf(text, size, "%s (process %.*s)", space + 1, (int)(space - who), who);
  }
}

static void tvxhdv__refuse(tvxhdv *h, const char *who) {
  char holder[TVXHDV__WHO_SIZE + 40];
  tvxhdv__describe_who(who, holder, sizeof holder);
  tvxhdv__fail(
      "Another program reads the reports of the TVXHandvane server in \"%s\": %s. Only one "
      "program may read them (two would each get a share and lose the rest): end that one "
      "first, or open with TVXHDV_SEND_ONLY to send commands only.",
      h->folder, holder);
  h->refused = 1;
}

#ifdef _WIN32
/* The indices are written by the other process while this one reads them:
 * read the other side's index before the record (acquire), store this side's
 * index after it (release). */
#if defined(_MSC_VER) && !defined(__clang__)
static uint32_t tvxhdv__load(unsigned char *at) {
  return (uint32_t)_InterlockedOr((volatile long *)at, 0);
}
static void tvxhdv__store(unsigned char *at, uint32_t value) {
  _InterlockedExchange((volatile long *)at, (long)value);
}
#else
static uint32_t tvxhdv__load(unsigned char *at) {
  return __atomic_load_n((uint32_t *)(void *)at, __ATOMIC_ACQUIRE);
}
static void tvxhdv__store(unsigned char *at, uint32_t value) {
  __atomic_store_n((uint32_t *)(void *)at, value, __ATOMIC_RELEASE);
}
#endif

/* The server holds a mutex named after the area while it runs (its claim)
 * and one named after the area and its process id (its mark); the system
 * removes both when it ends, however it ends. Opening one for a moment, as
 * the server's own probe does, takes nothing from it. */
static int tvxhdv__mutex_exists(const char *name, const char *suffix, uint32_t creator) {
  char object[400];
  HANDLE mutex;
  if (creator != 0) {
    snprintf(object, sizeof object, "%s%s %lu", name, suffix, (unsigned long)creator);
  } else {
    snprintf(object, sizeof object, "%s%s", name, suffix);
  }
  mutex = OpenMutexA(SYNCHRONIZE, FALSE, object);
  if (mutex == NULL) return 0;
  CloseHandle(mutex);
  return 1;
}

static int tvxhdv__creator_runs(tvxhdv *h) {
  return tvxhdv__mutex_exists(h->name, " creator", h->creator);
}

/* Whether that process runs as the server of the area of that name. */
static int tvxhdv__server_runs(const char *name, uint32_t creator) {
  return creator != 0 && tvxhdv__mutex_exists(name, " creator", 0) &&
         tvxhdv__mutex_exists(name, " creator", creator);
}

/* A section keeps its size for as long as it exists. */
static int tvxhdv__whole(tvxhdv *h) {
  (void)h;
  return 1;
}

static int tvxhdv__get(tvxhdv *h, uint32_t at, void *to, size_t length) {
  memcpy(to, h->area + at, length);
  return 1;
}

static int tvxhdv__put(tvxhdv *h, uint32_t at, const void *from, size_t length) {
  memcpy(h->area + at, from, length);
  return 1;
}

/* The write and read index of the FIFO block at fifo. */
static int tvxhdv__indices(tvxhdv *h, uint32_t fifo, uint32_t *write, uint32_t *read) {
  *write = tvxhdv__load(h->area + fifo + TVXHDV__AT_WRITE);
  *read = tvxhdv__load(h->area + fifo + TVXHDV__AT_READ);
  return 1;
}

/* Moves this side's index at `at` from old to value. */
static int tvxhdv__set_index(tvxhdv *h, uint32_t at, uint32_t old, uint32_t value,
                             uint32_t slots) {
  (void)old;
  (void)slots;
  tvxhdv__store(h->area + at, value);
  return 1;
}

static void tvxhdv__release(tvxhdv *h) {
  if (h->claim_who != NULL) CloseHandle(h->claim_who);
  if (h->claim != NULL) CloseHandle(h->claim);
  h->claim = h->claim_who = NULL;
  h->claim_name[0] = '\0';
}

/* Claims the reports of the area named h->name for this handle: the mutex
 * exists while a reader holds it, and the system removes it with the
 * reader's last handle, however its program ends. */
static int tvxhdv__claim(tvxhdv *h) {
  char object[300], who[TVXHDV__WHO_SIZE] = "";
  HANDLE mutex;
  unsigned char *view;
  if (h->claim != NULL && strcmp(h->claim_name, h->name) == 0) return 1;
  tvxhdv__release(h);
  snprintf(object, sizeof object, "%s%s", h->name, TVXHDV__READER_SUFFIX);
  mutex = CreateMutexA(NULL, FALSE, object);
  if (mutex == NULL) {
    tvxhdv__fail("Could not claim the reports of the area \"%s\" (error %lu).", h->name,
                 (unsigned long)GetLastError());
    return 0;
  }
  snprintf(object, sizeof object, "%s%s", h->name, TVXHDV__READER_WHO_SUFFIX);
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, object);
    CloseHandle(mutex);
    if (mapping != NULL) {
      view = (unsigned char *)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, TVXHDV__WHO_SIZE);
      if (view != NULL) {
        memcpy(who, view, sizeof who - 1);
        UnmapViewOfFile(view);
      }
      CloseHandle(mapping);
    }
    tvxhdv__refuse(h, who);
    return 0;
  }
  h->claim = mutex;
  h->claim_who =
      CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, TVXHDV__WHO_SIZE, object);
  if (h->claim_who != NULL) {
    view = (unsigned char *)MapViewOfFile(h->claim_who, FILE_MAP_WRITE, 0, 0, TVXHDV__WHO_SIZE);
    if (view != NULL) {
      tvxhdv__who_am_i(who, sizeof who);
      memcpy(view, who, strlen(who) + 1);
      UnmapViewOfFile(view);
    }
  }
  /* A reader that ended while it slept is counted no more. */
  if (h->wake != NULL) InterlockedExchange((volatile LONG *)(void *)h->wake, 0);
  snprintf(h->claim_name, sizeof h->claim_name, "%s", h->name);
  return 1;
}

/* Sleeps up to ms or until the server puts a report after the write index
 * seen. Without the server's wake objects (an older server) it looks again
 * after a millisecond. */
static void tvxhdv__sleep_for_put(tvxhdv *h, uint32_t seen_write, uint32_t ms) {
  if (h->wake == NULL || h->wake_event == NULL) {
    Sleep(1);
    return;
  }
  if (!h->asleep) InterlockedIncrement((volatile LONG *)(void *)h->wake);
  h->asleep = 1;
  if (tvxhdv__load(h->area + TVXHDV__AT_REPORT_FIFO + TVXHDV__AT_WRITE) == seen_write) {
    WaitForSingleObject(h->wake_event, ms);
  }
}

/* Counts itself out of the sleepers as tvxhdv_wait() returns. */
static void tvxhdv__awake(tvxhdv *h) {
  if (h->asleep && h->wake != NULL) InterlockedDecrement((volatile LONG *)(void *)h->wake);
  h->asleep = 0;
}

/* Reads of the names object; 0 while there is none. */
static int tvxhdv__names_get(tvxhdv *h, uint32_t at, void *to, size_t length) {
  if (h->names_view == NULL) return 0;
  memcpy(to, h->names_view + at, length);
  return 1;
}
/* The view is read-only: a locked read (MSVC's tvxhdv__load) would fault on it. */
static int tvxhdv__names_word(tvxhdv *h, uint32_t at, uint32_t *value) {
  if (h->names_view == NULL) return 0;
  *value = *(volatile uint32_t *)(void *)(h->names_view + at);
  MemoryBarrier();
  return 1;
}

static void tvxhdv__unmap_names(tvxhdv *h) {
  if (h->names_view != NULL) UnmapViewOfFile(h->names_view);
  if (h->names_mapping != NULL) CloseHandle(h->names_mapping);
  h->names_view = NULL;
  h->names_mapping = NULL;
}

static void tvxhdv__map_names(tvxhdv *h) {
  char object[300];
  snprintf(object, sizeof object, "%s%s", h->name, TVXHDV__NAMES_SUFFIX);
  h->names_mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, object);
  if (h->names_mapping == NULL) return;
  h->names_view =
      (unsigned char *)MapViewOfFile(h->names_mapping, FILE_MAP_READ, 0, 0, TVXHDV__NAMES_SIZE);
  if (h->names_view == NULL) tvxhdv__unmap_names(h);
}

static void tvxhdv__unmap(tvxhdv *h) {
  tvxhdv__unmap_names(h);
  tvxhdv__awake(h);
  if (h->wake != NULL) UnmapViewOfFile(h->wake);
  if (h->wake_mapping != NULL) CloseHandle(h->wake_mapping);
  if (h->wake_event != NULL) CloseHandle(h->wake_event);
  if (h->area != NULL) UnmapViewOfFile(h->area);
  if (h->mapping != NULL) CloseHandle(h->mapping);
  h->area = h->wake = NULL;
  h->mapping = h->wake_mapping = h->wake_event = NULL;
}

static int tvxhdv__map(tvxhdv *h) {
  char object[300];
  DWORD error;
  if (!tvxhdv__mutex_exists(h->name, " creator", 0) || !tvxhdv__creator_runs(h)) {
    tvxhdv__fail(
        "The TVXHandvane server that published %s (process %lu) is not running any "
        "more. Start TVXHandvane.",
        h->file, (unsigned long)h->creator);
    return 0;
  }
  h->mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, h->name);
  if (h->mapping == NULL) {
    error = GetLastError();
    if (error == ERROR_ACCESS_DENIED) {
      tvxhdv__fail(
          "The area of the TVXHandvane server is not open to this program (error 5): "
          "run it as the user who started TVXHandvane, in the same Windows session.");
    } else {
      tvxhdv__fail(
          "Could not open the shared memory area \"%s\" (error %lu). Start TVXHandvane "
          "again.",
          h->name, (unsigned long)error);
    }
    return 0;
  }
  h->area =
      (unsigned char *)MapViewOfFile(h->mapping, FILE_MAP_ALL_ACCESS, 0, 0, TVXHDV__AREA_SIZE);
  if (h->area == NULL) {
    tvxhdv__fail(
        "Could not map the shared memory area \"%s\" (error %lu): it is shorter than the "
        "%u bytes it should be. End TVXHandvane and start it again.",
        h->name, (unsigned long)GetLastError(), TVXHDV__AREA_SIZE);
    tvxhdv__unmap(h);
    return 0;
  }
  snprintf(object, sizeof object, "%s%s", h->name, TVXHDV__WAKE_SUFFIX);
  h->wake_mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, object);
  if (h->wake_mapping != NULL) {
    h->wake = (unsigned char *)MapViewOfFile(h->wake_mapping, FILE_MAP_ALL_ACCESS, 0, 0, 4);
  }
  snprintf(object, sizeof object, "%s%s", h->name, TVXHDV__WAKE_EVENT_SUFFIX);
  h->wake_event = OpenEventA(SYNCHRONIZE, FALSE, object);
  tvxhdv__map_names(h);
  return 1;
}
#else
/* The server holds a write lock of its open file description (an OFD lock)
 * on the whole area while it runs; the kernel drops it when the server ends,
 * however it ends. Asking which lock would stand in the way of a read lock,
 * as the server's own probe does, takes none. */
static int tvxhdv__claimed(int fd) {
  struct flock probe;
  memset(&probe, 0, sizeof probe);
  probe.l_type = F_RDLCK;
  probe.l_whence = SEEK_SET;
  return fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

static int tvxhdv__creator_runs(tvxhdv *h) {
  return tvxhdv__claimed(h->fd);
}

/* Whether the object is still as long as the area; else says so. */
static int tvxhdv__whole(tvxhdv *h) {
  struct stat info;
  memset(&info, 0, sizeof info);
  if (fstat(h->fd, &info) == 0 && (uint64_t)info.st_size >= TVXHDV__AREA_SIZE) return 1;
  tvxhdv__fail(
      "The shared memory area \"%s\" of the TVXHandvane server (process %lu) is %lu bytes, "
      "shorter than the %u bytes it should be: something cut it short. End TVXHandvane and "
      "start it again.",
      h->name, (unsigned long)h->creator, (unsigned long)info.st_size, TVXHDV__AREA_SIZE);
  return 0;
}

/* Anyone who may open the area may also cut it short, and a read through a
 * mapping of a page past its end raises SIGBUS, however soon after a size
 * check it comes. So the area is read and written through its descriptor,
 * which then reads short instead, and the handle lets go of it. */
static void tvxhdv__lose(tvxhdv *h) {
  if (!h->lost && tvxhdv__whole(h)) {
    tvxhdv__fail(
        "The shared memory area \"%s\" of the TVXHandvane server (process %lu) lost its "
        "contents: something cut it short and grew it again. End TVXHandvane and start it "
        "again.",
        h->name, (unsigned long)h->creator);
  }
  h->lost = 1;
}

static int tvxhdv__get(tvxhdv *h, uint32_t at, void *to, size_t length) {
  size_t done = 0;
  while (done < length) {
    const ssize_t got = pread(h->fd, (char *)to + done, length - done, (off_t)(at + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      memset(to, 0, length);
      tvxhdv__lose(h);
      return 0;
    }
    done += (size_t)got;
  }
  return 1;
}

static int tvxhdv__put(tvxhdv *h, uint32_t at, const void *from, size_t length) {
  size_t done = 0;
  while (done < length) {
    const ssize_t put =
        pwrite(h->fd, (const char *)from + done, length - done, (off_t)(at + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      tvxhdv__lose(h);
      return 0;
    }
    done += (size_t)put;
  }
  return 1;
}

/* The write and read index of the FIFO block at fifo. The kernel may copy
 * a read byte by byte, so a read that met the other side's store could hold
 * half of each: it counts once a second read agrees. */
static int tvxhdv__indices(tvxhdv *h, uint32_t fifo, uint32_t *write, uint32_t *read) {
  unsigned char first[8], second[8];
  int attempt;
  if (!tvxhdv__get(h, fifo + TVXHDV__AT_WRITE, first, 8)) return 0;
  for (attempt = 0; attempt < 8; ++attempt) {
    if (!tvxhdv__get(h, fifo + TVXHDV__AT_WRITE, second, 8)) return 0;
    if (memcmp(first, second, 8) == 0) break;
    memcpy(first, second, 8);
  }
  *write = tvxhdv__u32(first);
  *read = tvxhdv__u32(first + 4);
  return 1;
}

/* One atomic operation of the kernel's on a 32-bit value of a mapping: it
 * fails (EFAULT) instead of faulting when the page is gone. */
static int tvxhdv__atomic_op(unsigned char *word, int op, int argument) {
  return syscall(SYS_futex, word, FUTEX_WAKE_OP, 0, (unsigned long)0, word,
                 FUTEX_OP(op, argument & 0xFFF, FUTEX_OP_CMP_EQ, 0)) >= 0;
}

static int tvxhdv__atomic_add(unsigned char *word, uint32_t amount) {
  while (amount > 0) {
    const uint32_t step = amount > 2047u ? 2047u : amount; /* a 12-bit signed argument */
    if (!tvxhdv__atomic_op(word, FUTEX_OP_ADD, (int)step)) return 0;
    amount -= step;
  }
  return 1;
}

/* Moves this side's index at `at` from old to value, forward round the ring
 * only, so that the other side never sees it behind where it was, nor half
 * stored. */
static int tvxhdv__set_index(tvxhdv *h, uint32_t at, uint32_t old, uint32_t value,
                             uint32_t slots) {
  unsigned char *word = h->area + at;
  unsigned char bytes[4];
  if (value == old) return 1;
  if (old >= slots || value < old) {
    if ((old < slots && !tvxhdv__atomic_add(word, slots - 1 - old)) ||
        !tvxhdv__atomic_op(word, FUTEX_OP_SET, 0)) {
      goto refused;
    }
    old = 0;
  }
  if (tvxhdv__atomic_add(word, value - old)) return 1;
refused:
  if (errno == EFAULT) {
    tvxhdv__lose(h);
    return 0;
  }
  /* A kernel that refuses the operation (a sandbox's filter): a plain write. */
  memcpy(bytes, &value, 4);
  return tvxhdv__put(h, at, bytes, 4);
}

static void tvxhdv__release(tvxhdv *h) {
  if (h->claim >= 0) close(h->claim);
  h->claim = -1;
  h->claim_name[0] = '\0';
}

/* Claims the reports of the area named h->name for this handle: an OFD lock
 * on a small object beside the area, which the kernel drops when the
 * descriptor closes, however the program ends. The object holds who claimed. */
static int tvxhdv__claim(tvxhdv *h) {
  char object[300], who[TVXHDV__WHO_SIZE];
  struct flock lock;
  int fd;
  if (h->claim >= 0 && strcmp(h->claim_name, h->name) == 0) return 1;
  tvxhdv__release(h);
  snprintf(object, sizeof object, "/%s%s", h->name, TVXHDV__READER_SUFFIX);
  fd = shm_open(object, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    tvxhdv__fail("Could not claim the reports of the area \"%s\" (%s).", h->name,
                 strerror(errno));
    return 0;
  }
  memset(&lock, 0, sizeof lock);
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    memset(who, 0, sizeof who);
    if (pread(fd, who, sizeof who - 1, 0) < 0) who[0] = '\0';
    close(fd);
    tvxhdv__refuse(h, who);
    return 0;
  }
  memset(who, 0, sizeof who);
  tvxhdv__who_am_i(who, sizeof who);
  if (ftruncate(fd, TVXHDV__WHO_SIZE) != 0 || pwrite(fd, who, sizeof who, 0) < 0) {
    /* it reads the reports all the same; only a refused one is told less */
  }
  h->claim = fd;
  /* A reader that ended while it slept is counted no more. */
  if (h->wake != NULL) tvxhdv__atomic_op(h->wake, FUTEX_OP_SET, 0);
  snprintf(h->claim_name, sizeof h->claim_name, "%s", h->name);
  return 1;
}

/* Sleeps up to ms or until the server puts a report after the write index
 * seen: it counts itself among the sleepers in the server's wake object and
 * waits on the write index, which the server's put wakes while it counts
 * any. Without the wake object (an older server) it looks again after a
 * millisecond. */
static void tvxhdv__sleep_for_put(tvxhdv *h, uint32_t seen_write, uint32_t ms) {
  struct timespec timeout;
  if (!h->asleep && (h->wake == NULL || !tvxhdv__atomic_op(h->wake, FUTEX_OP_ADD, 1))) {
    tvxhdv__sleep_ms(1);
    return;
  }
  h->asleep = 1;
  timeout.tv_sec = (time_t)(ms / 1000u);
  timeout.tv_nsec = (long)(ms % 1000u) * 1000000L;
  syscall(SYS_futex, h->area + TVXHDV__AT_REPORT_FIFO + TVXHDV__AT_WRITE, FUTEX_WAIT, seen_write,
          &timeout, NULL, 0);
}

/* Counts itself out of the sleepers as tvxhdv_wait() returns. */
static void tvxhdv__awake(tvxhdv *h) {
  if (h->asleep && h->wake != NULL) tvxhdv__atomic_op(h->wake, FUTEX_OP_ADD, -1);
  h->asleep = 0;
}

/* The names object is read through its descriptor, as the area is: one cut
 * short reads short instead of faulting. 0 while there is none. */
static int tvxhdv__names_get(tvxhdv *h, uint32_t at, void *to, size_t length) {
  size_t done = 0;
  while (h->names_fd >= 0 && done < length) {
    const ssize_t got = pread(h->names_fd, (char *)to + done, length - done, (off_t)(at + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += (size_t)got;
  }
  if (done == length) return 1;
  memset(to, 0, length);
  return 0;
}
/* The kernel may copy a value byte by byte: it counts once two reads agree. */
static int tvxhdv__names_word(tvxhdv *h, uint32_t at, uint32_t *value) {
  unsigned char first[4], second[4];
  int attempt;
  if (!tvxhdv__names_get(h, at, first, 4)) return 0;
  for (attempt = 0; attempt < 8; ++attempt) {
    if (!tvxhdv__names_get(h, at, second, 4)) return 0;
    if (memcmp(first, second, 4) == 0) break;
    memcpy(first, second, 4);
  }
  *value = tvxhdv__u32(first);
  return 1;
}

static void tvxhdv__unmap_names(tvxhdv *h) {
  if (h->names_fd >= 0) close(h->names_fd);
  h->names_fd = -1;
}

static void tvxhdv__map_names(tvxhdv *h) {
  char object[300];
  snprintf(object, sizeof object, "/%s%s", h->name, TVXHDV__NAMES_SUFFIX);
  h->names_fd = shm_open(object, O_RDONLY | O_CLOEXEC, 0);
}

static void tvxhdv__unmap(tvxhdv *h) {
  tvxhdv__unmap_names(h);
  tvxhdv__awake(h);
  if (h->wake != NULL) munmap(h->wake, 4096);
  if (h->area != NULL) munmap(h->area, TVXHDV__AREA_SIZE);
  if (h->fd >= 0) close(h->fd);
  h->area = h->wake = NULL;
  h->fd = -1;
}

/* True when one of the process's descriptors is the area and holds the
 * server's lock on it, as the kernel lists it in that descriptor's fdinfo. */
static int tvxhdv__holds_area(pid_t pid, int fd) {
  char path[96], line[256];
  struct stat area, target;
  struct dirent *entry;
  int holds = 0;
  DIR *descriptors;
  if (fstat(fd, &area) != 0) return 0;
  snprintf(path, sizeof path, "/proc/%ld/fd", (long)pid);
  descriptors = opendir(path);
  if (descriptors == NULL) return 0;
  while (!holds && (entry = readdir(descriptors)) != NULL) {
    FILE *info;
    if (entry->d_name[0] == '.') continue;
    snprintf(path, sizeof path, "/proc/%ld/fd/%.20s", (long)pid, entry->d_name);
    if (stat(path, &target) != 0 || target.st_dev != area.st_dev || target.st_ino != area.st_ino) {
      continue;
    }
    snprintf(path, sizeof path, "/proc/%ld/fdinfo/%.20s", (long)pid, entry->d_name);
    info = fopen(path, "r");
    if (info == NULL) continue;
    while (!holds && fgets(line, sizeof line, info) != NULL) {
      holds = strncmp(line, "lock:", 5) == 0 && strstr(line, "OFDLCK") != NULL &&
              strstr(line, "WRITE") != NULL;
    }
    fclose(info);
  }
  closedir(descriptors);
  return holds;
}

/* Whether that process runs as the server of the area of that name. */
static int tvxhdv__server_runs(const char *name, uint32_t creator) {
  char object[270];
  int fd, runs;
  snprintf(object, sizeof object, "/%s", name);
  fd = shm_open(object, O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return 0;
  runs = tvxhdv__claimed(fd) &&
         (access("/proc/self/fdinfo", F_OK) != 0 || tvxhdv__holds_area((pid_t)creator, fd));
  close(fd);
  return runs;
}

/* Whether the process of that id runs, as the server or holding the area in
 * its own /dev/shm, while this program finds no area of that name in its
 * /dev/shm (a container, a sandbox). */
static int tvxhdv__area_elsewhere(uint32_t id, const char *name) {
  char path[400], command[32] = "";
  struct stat info;
  FILE *comm;
  if (id == 0 || id > (uint32_t)INT_MAX || (kill((pid_t)id, 0) != 0 && errno != EPERM)) return 0;
  snprintf(path, sizeof path, "/proc/%lu/root/dev/shm/%s", (unsigned long)id, name);
  if (stat(path, &info) == 0) return 1;
  snprintf(path, sizeof path, "/proc/%lu/comm", (unsigned long)id);
  comm = fopen(path, "r");
  if (comm == NULL) return 0;
  if (fgets(command, sizeof command, comm) == NULL) command[0] = '\0';
  fclose(comm);
  return strncmp(command, "TVXHandvane", 11) == 0;
}

static int tvxhdv__map(tvxhdv *h) {
  char object[300];
  void *view;
  snprintf(object, sizeof object, "/%s", h->name);
  h->fd = shm_open(object, O_RDWR | O_CLOEXEC, 0);
  if (h->fd < 0 && errno == EACCES) {
    tvxhdv__fail(
        "The area of the TVXHandvane server is not open to this program: run it as "
        "the user who started TVXHandvane.");
    return 0;
  }
  if (h->fd < 0 && errno == ENOENT && tvxhdv__area_elsewhere(h->creator, h->name)) {
    tvxhdv__fail(
        "%s names process %lu, a TVXHandvane server that runs, but its shared memory area "
        "\"%s\" is not visible from here: this program has a /dev/shm of its own (a "
        "container or a sandbox). Run it beside TVXHandvane, or share the server's /dev/shm "
        "with it.",
        h->file, (unsigned long)h->creator, h->name);
    return 0;
  }
  /* The area's name is one per machine: a server started from another folder
   * may hold it now, and only the one the file names is this folder's. */
  if (h->fd < 0 || !tvxhdv__creator_runs(h) ||
      (access("/proc/self/fdinfo", F_OK) == 0 && !tvxhdv__holds_area((pid_t)h->creator, h->fd))) {
    tvxhdv__fail(
        "The TVXHandvane server that published %s (process %lu) is not running any "
        "more. Start TVXHandvane.",
        h->file, (unsigned long)h->creator);
    tvxhdv__unmap(h);
    return 0;
  }
  if (!tvxhdv__whole(h)) {
    tvxhdv__unmap(h);
    return 0;
  }
  /* Only the kernel touches this mapping: the futex words in it. */
  view = mmap(NULL, TVXHDV__AREA_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, h->fd, 0);
  if (view == MAP_FAILED) {
    tvxhdv__fail("Could not map the shared memory area \"%s\" (%s).", h->name, strerror(errno));
    tvxhdv__unmap(h);
    return 0;
  }
  h->area = (unsigned char *)view;
  snprintf(object, sizeof object, "/%s%s", h->name, TVXHDV__WAKE_SUFFIX);
  {
    const int wake = shm_open(object, O_RDWR | O_CLOEXEC, 0);
    if (wake >= 0) {
      view = mmap(NULL, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, wake, 0);
      if (view != MAP_FAILED) h->wake = (unsigned char *)view;
      close(wake);
    }
  }
  tvxhdv__map_names(h);
  return 1;
}

#endif

#define TVXHDV__REPORTS_AT (TVXHDV__AT_REPORT_FIFO + TVXHDV__AT_SLOTS)

/* The layout check: the area must be the one this header describes. Its
 * header differs when the server comes from another version, or when
 * something wrote over it: the message names what differs and both ways out. */
static int tvxhdv__layout_matches(tvxhdv *h) {
  static unsigned char header[TVXHDV__AT_REPORT_FIFO + 4];
  char problem[80] = "";
  unsigned i;
  if (!tvxhdv__get(h, 0, header, sizeof header)) return 0;
  if (tvxhdv__u32(header) != TVXHDV__AREA_SIZE) {
    snprintf(problem, sizeof problem, "its size field says %lu, not 4240072",
             (unsigned long)tvxhdv__u32(header));
  } else if (tvxhdv__u32(header + TVXHDV__AT_STRUCT_VERSION) != TVXHDV__STRUCT_VERSION) {
    snprintf(problem, sizeof problem, "its StructVersion is %08lX, not 23020902",
             (unsigned long)tvxhdv__u32(header + TVXHDV__AT_STRUCT_VERSION));
  } else if (tvxhdv__u32(header + TVXHDV__AT_VERSION_BLOCK) != TVXHDV__VERSION_BLOCK_SIZE ||
             tvxhdv__u32(header + TVXHDV__AT_REPORT_FIFO) != TVXHDV__REPORT_FIFO_SIZE) {
    snprintf(problem, sizeof problem, "its block sizes differ");
  } else if (memcmp(header + TVXHDV__AT_FILL_TEXT, tvxhdv__fill_text,
                    sizeof tvxhdv__fill_text) != 0) {
    snprintf(problem, sizeof problem, "its FillText differs");
  }
  for (i = 0; problem[0] == '\0' && i < TVXHDV_COMMAND_FIFOS; ++i) {
    unsigned char size[4];
    if (!tvxhdv__get(h, TVXHDV__AT_COMMAND_FIFOS + i * TVXHDV__COMMAND_FIFO_SIZE, size, 4)) {
      return 0;
    }
    if (tvxhdv__u32(size) != TVXHDV__COMMAND_FIFO_SIZE) {
      snprintf(problem, sizeof problem, "its block sizes differ");
    }
  }
  if (problem[0] == '\0') return 1;
  tvxhdv__fail(
      "The header of the shared memory area \"%s\" does not match this tvxhdv.h: %s. Either "
      "the running TVXHandvane is another version (use the tvxhdv.h that came with it) or "
      "something wrote over the area (end TVXHandvane and start it again).",
      h->name, problem);
  return 0;
}

/* Opens the area the rendezvous file names, when its server runs, and
 * claims its reports unless the handle only sends. */
static int tvxhdv__attach(tvxhdv *h) {
  uint32_t write = 0, read = 0;
  h->refused = 0;
  tvxhdv__take_stamp(h->file, &h->stamp);
  if (!h->stamp.exists) {
    if (!tvxhdv__is_folder(h->folder)) {
      tvxhdv__fail(
          "The folder \"%s\" does not exist. Pass the folder that PathToIniFolder under "
          "[Paths] in TVXHandvane.INI names.",
          h->folder);
    } else {
      tvxhdv__fail(
          "No TVXHandvane server runs with its area in \"%s\" (there is no "
          "TVXHDVMemory.INI). Start TVXHandvane, or pass the folder that "
          "PathToIniFolder under [Paths] in TVXHandvane.INI names.",
          h->folder[0] != '\0' ? h->folder : "/");
    }
    return 0;
  }
  if (!tvxhdv__read_rendezvous(h->file, h->name, sizeof h->name, &h->creator)) {
    tvxhdv__fail(
        "%s names no SharedMemoryName under [Memory] (or one that holds a slash, or it is no "
        "regular file). Start TVXHandvane again.",
        h->file);
    return 0;
  }
  h->lost = 0;
  if (!tvxhdv__map(h)) return 0;
  /* A new server starts without names: every name it gets is a rename. */
  h->names_changes = 0;
  memset(h->names_seq, 0, sizeof h->names_seq);
  if ((h->flags & TVXHDV_ANY_LAYOUT) == 0 && !tvxhdv__layout_matches(h)) {
    tvxhdv__unmap(h);
    return 0;
  }
  if ((h->flags & TVXHDV_SEND_ONLY) == 0 && !tvxhdv__claim(h)) {
    tvxhdv__unmap(h);
    return 0;
  }
  /* The read index is this side's own: one found outside the slots is set
   * to the write index, which drops what the FIFO held. */
  if (!tvxhdv__indices(h, TVXHDV__AT_REPORT_FIFO, &write, &read)) {
    tvxhdv__unmap(h);
    return 0;
  }
  if (read >= TVXHDV__REPORT_SLOTS && (h->flags & TVXHDV_SEND_ONLY) == 0) {
    tvxhdv__set_index(h, TVXHDV__AT_REPORT_FIFO + TVXHDV__AT_READ, read,
                      write < TVXHDV__REPORT_SLOTS ? write : 0, TVXHDV__REPORT_SLOTS);
  }
  h->noticed = read;
  h->checked_ms = TVXHDV_NOW_MS();
  return 1;
}

/* True when the rendezvous file now names another running server than the
 * one whose area the handle holds. A file caught half written, or written
 * over by something else, names none: the server held stays followed. */
static int tvxhdv__replaced(tvxhdv *h) {
  tvxhdv__stamp now;
  char name[260];
  uint32_t creator;
  tvxhdv__take_stamp(h->file, &now);
  if (!now.exists || tvxhdv__same_stamp(&now, &h->stamp)) return 0;
  if (!tvxhdv__read_rendezvous(h->file, name, sizeof name, &creator)) return 0;
  if (strcmp(name, h->name) != 0 || creator != h->creator) {
    return tvxhdv__server_runs(name, creator);
  }
  h->stamp = now; /* the same server's file, touched */
  return 0;
}

static void tvxhdv__keep_queued(tvxhdv *h);

/* False, having let go of the area, when it was cut short or lost its
 * contents: nothing in it can be read any more. tvxhdv_last_error() says so. */
static int tvxhdv__usable(tvxhdv *h) {
  if (h->area == NULL) return 0;
  if (!h->lost) return 1;
  tvxhdv__unmap(h);
  h->event = TVXHDV_SERVER_GONE;
  return 0;
}

/* Whether the header still says what the server wrote; an area cut short
 * and grown again holds zeros instead. */
static int tvxhdv__header_intact(tvxhdv *h) {
  unsigned char header[8];
  if (!tvxhdv__get(h, 0, header, sizeof header)) return 0;
  if ((h->flags & TVXHDV_ANY_LAYOUT) != 0 ||
      (tvxhdv__u32(header) == TVXHDV__AREA_SIZE &&
       tvxhdv__u32(header + 4) == TVXHDV__STRUCT_VERSION)) {
    return 1;
  }
  tvxhdv__fail(
      "The shared memory area \"%s\" of the TVXHandvane server (process %lu) lost its "
      "contents: its header says %08lX %08lX now. Something cut it short and grew it again, "
      "or wrote over it. End TVXHandvane and start it again.",
      h->name, (unsigned long)h->creator, (unsigned long)tvxhdv__u32(header),
      (unsigned long)tvxhdv__u32(header + 4));
  h->lost = 1;
  return 0;
}

/* Lets go of the area once its server has ended, another has replaced it or
 * it was damaged; tvxhdv_last_error() then says which. */
static void tvxhdv__check(tvxhdv *h) {
  int runs;
  if (h->area == NULL) return;
  h->checked_ms = TVXHDV_NOW_MS();
  if (!tvxhdv__whole(h) || !tvxhdv__header_intact(h)) h->lost = 1;
  if (!tvxhdv__usable(h)) return;
  runs = tvxhdv__creator_runs(h);
  if (runs && !tvxhdv__replaced(h)) return;
  if (runs) {
    tvxhdv__fail("Another TVXHandvane server has published its area in \"%s\".", h->folder);
  } else {
    tvxhdv__fail("The TVXHandvane server that published %s (process %lu) has ended.", h->file,
                 (unsigned long)h->creator);
  }
  tvxhdv__keep_queued(h); /* what the ended server left stays readable */
  tvxhdv__unmap(h);
  h->event = TVXHDV_SERVER_GONE;
}

tvxhdv *tvxhdv_open(const char *folder, unsigned flags) {
  tvxhdv *h;
  size_t length;
  if (folder == NULL) folder = ".";
  length = strlen(folder);
  if (length >= 1000) {
    tvxhdv__fail("The folder name is too long (%lu characters).", (unsigned long)length);
    return NULL;
  }
  h = (tvxhdv *)calloc(1, sizeof *h);
  if (h == NULL) {
    tvxhdv__fail("Out of memory.");
    return NULL;
  }
#ifndef _WIN32
  h->fd = -1;
  h->claim = -1;
  h->names_fd = -1;
#endif
  h->flags = flags;
  memcpy(h->folder, folder, length + 1);
  /* As the server builds the name: an empty folder means the root. */
#ifdef _WIN32
  snprintf(h->file, sizeof h->file, "%s%sTVXHDVMemory.INI", folder,
           length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/') ? "" : "\\");
#else
  snprintf(h->file, sizeof h->file, "%s%sTVXHDVMemory.INI", folder,
           length > 0 && folder[length - 1] == '/' ? "" : "/");
#endif
  if (!tvxhdv__attach(h)) {
    if ((flags & TVXHDV_WAIT_FOR_SERVER) == 0 || h->refused) {
      tvxhdv__release(h);
      free(h);
      return NULL;
    }
    /* The first tvxhdv_wait() looks for the server at once. */
    h->checked_ms = TVXHDV_NOW_MS() - TVXHDV__CHECK_MS;
    return h;
  }
  if ((flags & (TVXHDV_FROM_NOW | TVXHDV_SEND_ONLY)) == TVXHDV_FROM_NOW) {
    uint32_t write, read;
    if (tvxhdv__indices(h, TVXHDV__AT_REPORT_FIFO, &write, &read) &&
        write < TVXHDV__REPORT_SLOTS && read < TVXHDV__REPORT_SLOTS) {
      tvxhdv__set_index(h, TVXHDV__AT_REPORT_FIFO + TVXHDV__AT_READ, read, write,
                        TVXHDV__REPORT_SLOTS);
    }
  }
  return h;
}

void tvxhdv_close(tvxhdv *h) {
  if (h == NULL) return;
  tvxhdv__unmap(h);
  tvxhdv__release(h);
  free(h->kept);
  free(h);
}

int tvxhdv_connected(tvxhdv *h) {
  if (h == NULL) return 0;
  tvxhdv__check(h);
  return h->area != NULL;
}

/* The report FIFO's indices, when the handle may take reports from it. */
static int tvxhdv__report_fifo(tvxhdv *h, uint32_t *write, uint32_t *read) {
  if ((h->flags & TVXHDV_SEND_ONLY) != 0 || !tvxhdv__usable(h)) return 0;
  if (!tvxhdv__indices(h, TVXHDV__AT_REPORT_FIFO, write, read)) {
    tvxhdv__usable(h); /* lets go of an area found cut short */
    return 0;
  }
  return *write < TVXHDV__REPORT_SLOTS && *read < TVXHDV__REPORT_SLOTS;
}

static uint32_t tvxhdv__ring(uint32_t from, uint32_t to) {
  return to >= from ? to - from : to + TVXHDV__REPORT_SLOTS - from;
}

/* Reports queued in the area; 0 while none can be taken. */
static int tvxhdv__queued(tvxhdv *h) {
  uint32_t write, read;
  if (!tvxhdv__report_fifo(h, &write, &read)) return 0;
  return (int)tvxhdv__ring(read, write);
}

static void tvxhdv__change(tvxhdv *h, unsigned pointer, int joined) {
  tvxhdv_presence_change *change;
  if (h->changes_count == TVXHDV__CHANGES_MAX) { /* nobody asks: the oldest go */
    h->changes_first = (h->changes_first + 1) % TVXHDV__CHANGES_MAX;
    --h->changes_count;
  }
  change = &h->changes[(h->changes_first + h->changes_count++) % TVXHDV__CHANGES_MAX];
  change->pointer = pointer;
  change->joined = joined;
  if (joined == 1) h->joined_seq[pointer] = h->changes_total;
  ++h->changes_total;
  h->changes_new = 1;
}

/* Whether a report of that pointer may be handed out: its phone's join was
 * told, or the handle's user does not follow the joins. */
static int tvxhdv__told(const tvxhdv *h, uint32_t pointer) {
  return !h->follows || pointer >= TVXHDV_POINTERS ||
         (int32_t)(h->told_seq - h->joined_seq[pointer]) > 0;
}

/* A report of that pointer was seen now. */
static void tvxhdv__heard(tvxhdv *h, uint32_t pointer, uint64_t now) {
  if (pointer >= TVXHDV_POINTERS) return;
  h->heard_ms[pointer] = now;
  if (!h->present[pointer]) {
    h->present[pointer] = 1;
    tvxhdv__change(h, pointer, 1);
  }
}

/* Notes which phones the reports queued since the last look come from,
 * without taking them. */
static void tvxhdv__notice(tvxhdv *h, uint32_t write, uint32_t read, uint64_t now) {
  unsigned char batch[64 * TVXHDV__REPORT_BYTES];
  if (tvxhdv__ring(read, h->noticed) > tvxhdv__ring(read, write)) h->noticed = read;
  while (h->noticed != write) {
    uint32_t count = (write > h->noticed ? write : TVXHDV__REPORT_SLOTS) - h->noticed, i;
    if (count > 64) count = 64;
    if (!tvxhdv__get(h, TVXHDV__REPORTS_AT + h->noticed * TVXHDV__REPORT_BYTES, batch,
                     count * TVXHDV__REPORT_BYTES)) {
      return;
    }
    for (i = 0; i < count; ++i) tvxhdv__heard(h, tvxhdv__u32(batch + i * 24 + 8), now);
    h->noticed = (h->noticed + count) % TVXHDV__REPORT_SLOTS;
  }
}

/* Notes the phones silent for longer than the server allows as gone; when
 * the next one will be, or 0. */
static uint64_t tvxhdv__leaves(tvxhdv *h, uint64_t now) {
  uint64_t next = 0;
  unsigned p;
  for (p = 0; p < TVXHDV_POINTERS; ++p) {
    if (!h->present[p]) continue;
    if (now - h->heard_ms[p] > TVXHDV__SILENCE_MS) {
      h->present[p] = 0;
      tvxhdv__change(h, p, 0);
    } else if (next == 0 || h->heard_ms[p] + TVXHDV__SILENCE_MS + 1 < next) {
      next = h->heard_ms[p] + TVXHDV__SILENCE_MS + 1;
    }
  }
  return next;
}

/* Takes up to max reports out of the area, noting each as its pointer's
 * last; with hold_back, stops before one whose phone's join was not told. */
static int tvxhdv__take(tvxhdv *h, tvxhdv_report *out, int max, int hold_back) {
  unsigned char batch[64 * TVXHDV__REPORT_BYTES];
  uint32_t write, read, first;
  uint64_t now;
  int count = 0, held = 0;
  if (max <= 0 || !tvxhdv__report_fifo(h, &write, &read)) return 0;
  now = TVXHDV_NOW_MS();
  first = read;
  while (!held && count < max && read != write) {
    uint32_t n = (write > read ? write : TVXHDV__REPORT_SLOTS) - read, i;
    if (n > 64) n = 64;
    if (n > (uint32_t)(max - count)) n = (uint32_t)(max - count);
    if (!tvxhdv__get(h, TVXHDV__REPORTS_AT + read * TVXHDV__REPORT_BYTES, batch,
                     n * TVXHDV__REPORT_BYTES)) {
      return count;
    }
    for (i = 0; i < n; ++i) {
      const unsigned char *slot = batch + i * TVXHDV__REPORT_BYTES;
      tvxhdv_report *report = &out[count];
      if (hold_back) {
        const uint32_t pointer = tvxhdv__u32(slot + 8);
        if (pointer < TVXHDV_POINTERS) tvxhdv__heard(h, pointer, now);
        if (!tvxhdv__told(h, pointer)) {
          held = 1;
          break;
        }
      }
      ++count;
      report->screen = tvxhdv__u32(slot);
      report->frame = tvxhdv__u32(slot + 4);
      report->pointer = tvxhdv__u32(slot + 8);
      report->x = tvxhdv__u32(slot + 12);
      report->y = tvxhdv__u32(slot + 16);
      report->flags = tvxhdv__u32(slot + 20);
      report->left = (report->flags & TVXHDV_FLAG_LEFT) != 0;
      report->right = (report->flags & TVXHDV_FLAG_RIGHT) != 0;
      report->on_pad = (report->flags & TVXHDV_FLAG_ON_PAD) == TVXHDV_FLAG_ON_PAD;
      report->read_at_ms = now;
      if (report->pointer < TVXHDV_POINTERS) {
        h->last[report->pointer] = *report;
        h->seen[report->pointer] = 1;
        tvxhdv__heard(h, report->pointer, now);
      }
    }
    read = (read + i) % TVXHDV__REPORT_SLOTS;
  }
  if (count > 0) {
    tvxhdv__set_index(h, TVXHDV__AT_REPORT_FIFO + TVXHDV__AT_READ, first, read,
                      TVXHDV__REPORT_SLOTS);
  }
  return count;
}

/* Moves what is queued in the area into the handle, for tvxhdv_read(); one
 * that never reads loses the oldest instead of the newest. */
static void tvxhdv__keep_queued(tvxhdv *h) {
  tvxhdv_report batch[64];
  int count, i;
  if (h->kept == NULL) {
    if (tvxhdv__queued(h) == 0) return;
    h->kept = (tvxhdv_report *)malloc(sizeof(tvxhdv_report) * TVXHDV__KEPT_MAX);
    if (h->kept == NULL) return;
  }
  while ((count = tvxhdv__take(h, batch, 64, 0)) > 0) {
    for (i = 0; i < count; ++i) {
      if (h->kept_count == TVXHDV__KEPT_MAX) {
        h->kept_first = (h->kept_first + 1) % TVXHDV__KEPT_MAX;
        --h->kept_count;
      }
      h->kept[(h->kept_first + h->kept_count++) % TVXHDV__KEPT_MAX] = batch[i];
    }
  }
}

int tvxhdv_read(tvxhdv *h, tvxhdv_report *out, int max) {
  int count = 0;
  if (h == NULL || out == NULL) return 0;
  while (count < max && h->kept_count > 0) {
    if (!tvxhdv__told(h, h->kept[h->kept_first].pointer)) return count;
    out[count++] = h->kept[h->kept_first];
    h->kept_first = (h->kept_first + 1) % TVXHDV__KEPT_MAX;
    --h->kept_count;
  }
  if (h->kept_count > 0) return count;
  return count + tvxhdv__take(h, out + count, max - count, 1);
}

int tvxhdv_skip(tvxhdv *h) {
  tvxhdv_report batch[64];
  int dropped, count, rounds = 0;
  if (h == NULL) return 0;
  dropped = h->kept_count;
  h->kept_first = h->kept_count = 0;
  /* Up to a FIFO's worth: a server that puts as fast cannot hold it here. */
  while (rounds++ < (int)TVXHDV__REPORT_SLOTS / 64 + 1 &&
         (count = tvxhdv__take(h, batch, 64, 0)) > 0) {
    dropped += count;
  }
  return dropped;
}

int tvxhdv_latest(tvxhdv *h, int pointer, tvxhdv_report *out, uint32_t *age_ms) {
  if (h == NULL || pointer < 0 || pointer >= TVXHDV_POINTERS) return 0;
  tvxhdv__keep_queued(h);
  if (!h->seen[pointer]) return 0;
  if (out != NULL) *out = h->last[pointer];
  if (age_ms != NULL) *age_ms = (uint32_t)(TVXHDV_NOW_MS() - h->last[pointer].read_at_ms);
  return 1;
}

/* Whether the names object is the one this header describes. */
static int tvxhdv__names_usable(tvxhdv *h) {
  unsigned char header[16];
  return tvxhdv__names_get(h, 0, header, sizeof header) &&
         tvxhdv__u32(header) == TVXHDV__NAMES_SIZE &&
         tvxhdv__u32(header + 4) == TVXHDV__NAMES_VERSION &&
         tvxhdv__u32(header + 8) == TVXHDV_POINTERS &&
         tvxhdv__u32(header + 12) == TVXHDV__NAMES_SLOT_SIZE;
}

/* Copies the pointer's name between two reads of an equal, even count: the
 * server was not writing it meanwhile. name holds TVXHDV_NAME_MAX + 1 bytes.
 * 0 when there is no names object, or the server kept writing. */
static int tvxhdv__name_slot(tvxhdv *h, unsigned pointer, char *name, uint32_t *seq) {
  const uint32_t at = TVXHDV__NAMES_AT_SLOTS + pointer * TVXHDV__NAMES_SLOT_SIZE;
  int attempt;
  for (attempt = 0; attempt < 1000; ++attempt) {
    uint32_t before, after;
    if (!tvxhdv__names_word(h, at, &before)) return 0;
    if ((before & 1u) != 0) continue;
    if (!tvxhdv__names_get(h, at + 4, name, TVXHDV_NAME_MAX)) return 0;
#ifdef _WIN32
    MemoryBarrier();
#endif
    if (!tvxhdv__names_word(h, at, &after)) return 0;
    if (before == after) {
      name[TVXHDV_NAME_MAX] = '\0';
      *seq = before;
      return 1;
    }
  }
  return 0;
}

/* Tells every slot changed since the last look as renamed, once the handle
 * was asked for a name. */
static void tvxhdv__renames(tvxhdv *h) {
  uint32_t changes, seq;
  unsigned p;
  if (!h->names_asked || !tvxhdv__names_word(h, TVXHDV__NAMES_AT_CHANGES, &changes) ||
      changes == h->names_changes || !tvxhdv__names_usable(h)) {
    return;
  }
  h->names_changes = changes;
  for (p = 0; p < TVXHDV_POINTERS; ++p) {
    if (!tvxhdv__names_word(h, TVXHDV__NAMES_AT_SLOTS + p * TVXHDV__NAMES_SLOT_SIZE, &seq) ||
        seq == h->names_seq[p]) {
      continue;
    }
    h->names_seq[p] = seq;
    tvxhdv__change(h, p, TVXHDV_RENAMED);
  }
}

/* Notes the phones of the reports waiting in the area, then those silent
 * for too long: a consumer that stalled finds the phones that went on
 * reporting meanwhile still present. When the next one will leave, or 0. */
static uint64_t tvxhdv__look(tvxhdv *h, uint64_t now, int *reads, uint32_t *write,
                             uint32_t *read) {
  *write = *read = 0;
  *reads = tvxhdv__report_fifo(h, write, read); /* may find the area cut short */
  if (*reads) tvxhdv__notice(h, *write, *read, now);
  tvxhdv__renames(h);
  return tvxhdv__leaves(h, now);
}

int tvxhdv_presence(tvxhdv *h, tvxhdv_presence_change *out, int max) {
  int count = 0;
  uint32_t write, read;
  int reads;
  if (h == NULL || out == NULL) return 0;
  h->follows = 1;
  tvxhdv__look(h, TVXHDV_NOW_MS(), &reads, &write, &read);
  while (count < max && h->changes_count > 0) {
    out[count++] = h->changes[h->changes_first];
    h->changes_first = (h->changes_first + 1) % TVXHDV__CHANGES_MAX;
    --h->changes_count;
  }
  h->told_seq = h->changes_total - (uint32_t)h->changes_count;
  if (h->changes_count == 0) h->changes_new = 0;
  return count;
}

void tvxhdv_present(tvxhdv *h, unsigned char present[TVXHDV_POINTERS]) {
  uint32_t write, read;
  int reads;
  if (present == NULL) return;
  if (h == NULL) {
    memset(present, 0, TVXHDV_POINTERS);
    return;
  }
  tvxhdv__look(h, TVXHDV_NOW_MS(), &reads, &write, &read);
  memcpy(present, h->present, TVXHDV_POINTERS);
}

static int tvxhdv__wait(tvxhdv *h, int timeout_ms) {
  const uint64_t start = TVXHDV_NOW_MS();
  for (;;) {
    const uint64_t now = TVXHDV_NOW_MS();
    uint64_t until = start + (uint64_t)(timeout_ms > 0 ? timeout_ms : 0), leave_at;
    uint32_t write, read;
    int reads;
    if (now - h->checked_ms >= TVXHDV__CHECK_MS) {
      if (h->area != NULL) {
        tvxhdv__check(h);
      } else if (h->event == 0) {
        h->checked_ms = now;
        if (tvxhdv__attach(h)) h->event = TVXHDV_SERVER_NEW;
      }
    }
    leave_at = tvxhdv__look(h, now, &reads, &write, &read);
    if (h->event != 0) {
      const int event = h->event;
      h->event = 0;
      return event;
    }
    if (h->changes_new) {
      h->changes_new = 0;
      h->told_seq = h->changes_total;
      return TVXHDV_PRESENCE;
    }
    if (h->kept_count > 0 || (reads && write != read)) return TVXHDV_REPORTS;
    if (timeout_ms <= 0 || now >= until) return TVXHDV_TIMEOUT;
    if (h->checked_ms + TVXHDV__CHECK_MS < until) until = h->checked_ms + TVXHDV__CHECK_MS;
    if (leave_at != 0 && leave_at < until) until = leave_at;
    if (until <= now) until = now + 1;
    if (reads) {
      tvxhdv__sleep_for_put(h, write, (uint32_t)(until - now));
    } else {
      tvxhdv__sleep_ms((uint32_t)(until - now));
    }
  }
}

int tvxhdv_wait(tvxhdv *h, int timeout_ms) {
  int event;
  if (h == NULL) return TVXHDV_TIMEOUT;
  event = tvxhdv__wait(h, timeout_ms);
  tvxhdv__awake(h);
  return event;
}

int tvxhdv_wait_gathered(tvxhdv *h, int timeout_ms, int gather_ms) {
  int event;
  if (h == NULL) return TVXHDV_TIMEOUT;
  if (gather_ms > 0 && h->returned_ms != 0) {
    const uint64_t since = TVXHDV_NOW_MS() - h->returned_ms;
    if (since < (uint64_t)gather_ms) {
      uint32_t nap = (uint32_t)((uint64_t)gather_ms - since);
      if (timeout_ms <= 0) nap = 0;
      if (timeout_ms > 0 && nap > (uint32_t)timeout_ms) nap = (uint32_t)timeout_ms;
      if (nap > 0) tvxhdv__sleep_ms(nap);
      timeout_ms -= (int)nap;
    }
  }
  event = tvxhdv_wait(h, timeout_ms);
  h->returned_ms = event == TVXHDV_TIMEOUT ? 0 : TVXHDV_NOW_MS();
  return event;
}

static int tvxhdv__check_arguments(int pointer, unsigned code) {
  if (pointer < 0 || pointer >= TVXHDV_POINTERS) {
    tvxhdv__fail("Pointer %d does not exist: phones are numbered 0 to 79.", pointer);
    return 0;
  }
  if (code == TVXHDV_NOT_A_CODE) {
    tvxhdv__fail("A colour or digit out of range is nothing the phone shows: colours are 0 to "
                 "7, digits 0 to 9.");
    return 0;
  }
  if (code > 255) {
    tvxhdv__fail("Command code %u is too large: codes are 1 to 254.", code);
    return 0;
  }
  if (code == 0 || code == 0xFE || code == 0xFF) {
    tvxhdv__fail(
        "Command code %u never reaches a phone: 0 means no command, and the server "
        "keeps FE and FF for itself. Codes are 1 to 253.",
        code);
    return 0;
  }
  return 1;
}

/* Places *fifo at the command FIFO of the pointer and reads its indices:
 * TVXHDV_OK, or TVXHDV_NO_SERVER once the area is gone. not_done ends the
 * message when no server runs at all: what the call left undone. */
static int tvxhdv__command_fifo(tvxhdv *h, int pointer, const char *not_done, uint32_t *fifo,
                                uint32_t *write, uint32_t *read) {
  const int held = h->area != NULL;
  tvxhdv__check(h); /* when it lets go of the area, it says why */
  if (h->area == NULL) {
    if (!held) {
      tvxhdv__fail("No TVXHandvane server runs with its area in \"%s\": %s", h->folder, not_done);
    }
    return TVXHDV_NO_SERVER;
  }
  *fifo = TVXHDV__AT_COMMAND_FIFOS + (uint32_t)pointer * TVXHDV__COMMAND_FIFO_SIZE;
  if (!tvxhdv__indices(h, *fifo, write, read)) {
    tvxhdv__usable(h);
    return TVXHDV_NO_SERVER;
  }
  return TVXHDV_OK;
}

/* Indices outside the ring: nothing in the FIFO can be trusted. Says so. */
static int tvxhdv__command_fifo_damaged(int pointer, uint32_t write, uint32_t read) {
  if (write < TVXHDV__COMMAND_SLOTS && read < TVXHDV__COMMAND_SLOTS) return 0;
  tvxhdv__fail("The command FIFO of pointer %d is damaged (write index %lu, read index %lu).",
               pointer, (unsigned long)write, (unsigned long)read);
  return 1;
}

int tvxhdv_send(tvxhdv *h, int pointer, unsigned code) {
  unsigned char record[8] = {0};
  uint32_t fifo, write, read, next;
  int found;
  if (h == NULL || !tvxhdv__check_arguments(pointer, code)) return TVXHDV_BAD_ARGUMENT;
  found = tvxhdv__command_fifo(h, pointer, "the command was not sent.", &fifo, &write, &read);
  if (found != TVXHDV_OK) return found;
  if (tvxhdv__command_fifo_damaged(pointer, write, read)) return TVXHDV_FULL;
  next = write + 1 == TVXHDV__COMMAND_SLOTS ? 0 : write + 1;
  if (next == read) {
    tvxhdv__fail("The command FIFO of pointer %d is full: its phone takes one command per report.",
                 pointer);
    return TVXHDV_FULL;
  }
  record[0] = (unsigned char)code;
  if (!tvxhdv__put(h, fifo + TVXHDV__AT_SLOTS + write * TVXHDV__COMMAND_BYTES, record, 8) ||
      !tvxhdv__set_index(h, fifo + TVXHDV__AT_WRITE, write, next, TVXHDV__COMMAND_SLOTS)) {
    tvxhdv__usable(h);
    return TVXHDV_NO_SERVER;
  }
  return TVXHDV_OK;
}

/* The server alone moves the read index, so the queue cannot be shortened
 * from this side: setting the write index back to the read index would,
 * if the server took a command meanwhile, leave the write index one behind
 * it, and the server would take 799 old records for new. The records
 * between the indices are this side's until taken: they are emptied. */
int tvxhdv_clear_queue(tvxhdv *h, int pointer) {
  static const unsigned char nothing[TVXHDV__COMMAND_SLOTS * TVXHDV__COMMAND_BYTES] = {0};
  unsigned char slots[TVXHDV__COMMAND_SLOTS * TVXHDV__COMMAND_BYTES];
  uint32_t fifo, write, read, slot;
  int dropped = 0, found;
  if (h == NULL || !tvxhdv__check_arguments(pointer, 1)) return TVXHDV_BAD_ARGUMENT;
  found = tvxhdv__command_fifo(h, pointer, "nothing was dropped.", &fifo, &write, &read);
  if (found != TVXHDV_OK) return found;
  if (!tvxhdv__get(h, fifo + TVXHDV__AT_SLOTS, slots, sizeof slots)) {
    tvxhdv__usable(h);
    return TVXHDV_NO_SERVER;
  }
  if (tvxhdv__command_fifo_damaged(pointer, write, read)) return TVXHDV_FULL;
  for (slot = read; slot != write; slot = slot + 1 == TVXHDV__COMMAND_SLOTS ? 0 : slot + 1) {
    if (slots[slot * TVXHDV__COMMAND_BYTES] != 0) ++dropped;
  }
  /* At most two runs: up to the end of the ring, then from its start. */
  if (write < read) {
    if (!tvxhdv__put(h, fifo + TVXHDV__AT_SLOTS + read * TVXHDV__COMMAND_BYTES, nothing,
                     (TVXHDV__COMMAND_SLOTS - read) * TVXHDV__COMMAND_BYTES)) {
      tvxhdv__usable(h);
      return TVXHDV_NO_SERVER;
    }
    read = 0;
  }
  if (!tvxhdv__put(h, fifo + TVXHDV__AT_SLOTS + read * TVXHDV__COMMAND_BYTES, nothing,
                   (write - read) * TVXHDV__COMMAND_BYTES)) {
    tvxhdv__usable(h);
    return TVXHDV_NO_SERVER;
  }
  return dropped;
}

int tvxhdv_vibrate(tvxhdv *h, int pointer, int pattern) {
  if (pattern < TVXHDV_SHORT_SINGLE || pattern > TVXHDV_LONG_DOUBLE) {
    tvxhdv__fail("Vibration %d does not exist: use TVXHDV_SHORT_SINGLE to TVXHDV_LONG_DOUBLE.",
                 pattern);
    return TVXHDV_BAD_ARGUMENT;
  }
  return tvxhdv_send(h, pointer, (unsigned)pattern);
}

int tvxhdv_show(tvxhdv *h, int pointer, int what) {
  if (!((what >= TVXHDV_SHOW_CLEAR && what <= TVXHDV_SHOW_WRONG) ||
        (what >= TVXHDV_SHOW_COLOR(0) && what <= TVXHDV_SHOW_COLOR(7)) ||
        (what >= TVXHDV_SHOW_NUMBER(0) && what <= TVXHDV_SHOW_NUMBER(9)))) {
    tvxhdv__fail(
        "%d is nothing the phone shows: use TVXHDV_SHOW_CORRECT, _WRONG, _COLOR(0 to 7), "
        "_NUMBER(0 to 9) or _CLEAR.",
        what);
    return TVXHDV_BAD_ARGUMENT;
  }
  return tvxhdv_send(h, pointer, (unsigned)what);
}

int tvxhdv_get_info(tvxhdv *h, tvxhdv_info *info) {
  static unsigned char header[TVXHDV__AT_REPORT_FIFO + 12];
  unsigned i;
  if (h == NULL || info == NULL || h->area == NULL) {
    tvxhdv__fail("The handle holds no server's area.");
    return 0;
  }
  if (!tvxhdv__usable(h) || !tvxhdv__get(h, 0, header, sizeof header)) return 0;
  memset(info, 0, sizeof *info);
  memcpy(info->name, h->name, sizeof info->name);
  info->creator = h->creator;
  info->total_size = tvxhdv__u32(header);
  info->struct_version = tvxhdv__u32(header + TVXHDV__AT_STRUCT_VERSION);
  info->version_block_size = tvxhdv__u32(header + TVXHDV__AT_VERSION_BLOCK);
  info->server_version = tvxhdv__u32(header + TVXHDV__AT_VERSION_BLOCK + 8);
  info->report_fifo_block_size = tvxhdv__u32(header + TVXHDV__AT_REPORT_FIFO);
  info->fill_text_matches =
      memcmp(header + TVXHDV__AT_FILL_TEXT, tvxhdv__fill_text, sizeof tvxhdv__fill_text) == 0;
  {
    uint32_t write, read;
    if (tvxhdv__indices(h, TVXHDV__AT_REPORT_FIFO, &write, &read) &&
        write < TVXHDV__REPORT_SLOTS && read < TVXHDV__REPORT_SLOTS) {
      info->reports_queued = (int)tvxhdv__ring(read, write);
    }
  }
  for (i = 0; i < TVXHDV_COMMAND_FIFOS; ++i) {
    const uint32_t fifo = TVXHDV__AT_COMMAND_FIFOS + i * TVXHDV__COMMAND_FIFO_SIZE;
    unsigned char size[4];
    uint32_t write = 0, read = 0;
    if (!tvxhdv__get(h, fifo, size, 4) || !tvxhdv__indices(h, fifo, &write, &read)) return 0;
    info->command_fifo_block_size[i] = tvxhdv__u32(size);
    if (write < TVXHDV__COMMAND_SLOTS && read < TVXHDV__COMMAND_SLOTS) {
      info->commands_queued[i] =
          (int)(write >= read ? write - read : write + TVXHDV__COMMAND_SLOTS - read);
    }
  }
  return 1;
}

int tvxhdv_terminate_server(tvxhdv *h) {
  int ended = 0;
  if (h == NULL || h->area == NULL) {
    tvxhdv__fail("The handle holds no server's area.");
    return 0;
  }
#ifdef _WIN32
  {
    /* While this handle is open the id cannot pass to another process. */
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, h->creator);
    if (process != NULL) {
      if (tvxhdv__creator_runs(h)) ended = TerminateProcess(process, 0) != 0;
      CloseHandle(process);
    }
  }
#else
  if (h->creator != 0 && h->creator <= (uint32_t)INT_MAX) {
    const pid_t pid = (pid_t)h->creator;
    /* Taken before the check, the pidfd stays with the process checked:
     * should it end meanwhile and its id pass on, the signal reaches nobody. */
    int process = -1;
#ifdef SYS_pidfd_open
    process = (int)syscall(SYS_pidfd_open, pid, 0);
#endif
    if (process >= 0) {
#ifdef SYS_pidfd_send_signal
      ended = tvxhdv__holds_area(pid, h->fd) &&
              syscall(SYS_pidfd_send_signal, process, SIGTERM, NULL, 0) == 0;
#endif
      close(process);
    } else if (errno == ENOSYS) {
      ended = tvxhdv__holds_area(pid, h->fd) && kill(pid, SIGTERM) == 0;
    }
  }
#endif
  if (!ended) {
    tvxhdv__fail(
        "Could not end process %lu: it is not the TVXHandvane server that holds the "
        "area (it may have ended already).",
        (unsigned long)h->creator);
  }
  return ended;
}

int tvxhdv_name(tvxhdv *h, unsigned pointer, char *buf, int size) {
  char name[TVXHDV_NAME_MAX + 1];
  uint32_t seq = 0, changes = 0;
  int length;
  if (h == NULL || pointer >= TVXHDV_POINTERS || size < 0 || (buf == NULL && size > 0)) {
    tvxhdv__fail("tvxhdv_name needs a handle, a pointer 0 to 79 and a buffer of size bytes.");
    return TVXHDV_BAD_ARGUMENT;
  }
  if (!tvxhdv__usable(h)) {
    tvxhdv__fail("The handle holds no server's area: no names to give.");
    return TVXHDV_NO_SERVER;
  }
  if (!h->names_asked) {
    /* From now on renames are told; those before this call are not. */
    unsigned p;
    h->names_asked = 1;
    if (tvxhdv__names_word(h, TVXHDV__NAMES_AT_CHANGES, &changes)) h->names_changes = changes;
    for (p = 0; p < TVXHDV_POINTERS; ++p) {
      (void)tvxhdv__names_word(h, TVXHDV__NAMES_AT_SLOTS + p * TVXHDV__NAMES_SLOT_SIZE,
                               &h->names_seq[p]);
    }
  }
  if (!tvxhdv__names_usable(h) || !tvxhdv__name_slot(h, pointer, name, &seq)) return 0;
  length = (int)strlen(name);
  if (size > 0) {
    memcpy(buf, name, (size_t)(length < size ? length + 1 : size));
  }
  return length;
}

#endif /* TVXHDV_IMPLEMENTATION */
