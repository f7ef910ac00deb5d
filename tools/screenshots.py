#!/usr/bin/env python3
"""Copies the windows' captures that the tests leave in the build folders
into docs/ as PNG files, for README.md:
  docs/dialog-windows.png       the Win32 dialog under wine (build/win/dialog.bmp)
  docs/system-menu-windows.png  its system menu with "Cursor screen" open
                                (build/win/system_menu.bmp)
  docs/qr-window.png            the address's QR code window (build/native/qr_window.png)
  docs/menu-linux.png           the Linux window's context menu (build/native/menu_linux.png)
Run it after `make test` (or the dialog_window_tests and qt_window_tests
suites) when the windows have changed: tools/screenshots.py"""
import shutil
import struct
import sys
import zlib
from pathlib import Path

repo = Path(__file__).resolve().parent.parent


def bmp_to_png(bmp: Path, png: Path) -> None:
    """A 24- or 32-bit uncompressed BMP, as the tests write them."""
    data = bmp.read_bytes()
    if data[:2] != b"BM":
        sys.exit(f"{bmp} is not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits, compression = struct.unpack_from("<HI", data, 28)
    if bits not in (24, 32) or compression not in (0, 3):
        sys.exit(f"{bmp}: {bits}-bit, compression {compression}: not a capture of the tests")
    step = bits // 8
    stride = (width * step + 3) & ~3
    rows = []
    for y in range(abs(height)):
        source = height - 1 - y if height > 0 else y
        row = data[offset + source * stride: offset + source * stride + width * step]
        pixels = bytearray()
        for x in range(width):
            b, g, r = row[x * step: x * step + 3]
            pixels += bytes((r, g, b))
        rows.append(b"\0" + bytes(pixels))

    def chunk(kind: bytes, body: bytes) -> bytes:
        return struct.pack(">I", len(body)) + kind + body + struct.pack(
            ">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0)
    png.write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                    chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def main() -> None:
    docs = repo / "docs"
    docs.mkdir(exist_ok=True)
    captures = {
        "build/win/dialog.bmp": "dialog-windows.png",
        "build/win/system_menu.bmp": "system-menu-windows.png",
        "build/native/qr_window.png": "qr-window.png",
        "build/native/menu_linux.png": "menu-linux.png",
    }
    for capture in captures:
        if not (repo / capture).is_file():
            sys.exit(f"{repo / capture} is missing: run the tests that capture the windows first")
    for capture, picture in captures.items():
        if capture.endswith(".bmp"):
            bmp_to_png(repo / capture, docs / picture)
        else:
            shutil.copyfile(repo / capture, docs / picture)
    print("screenshots: " + " ".join(f"docs/{picture}" for picture in captures.values()))


if __name__ == "__main__":
    main()
