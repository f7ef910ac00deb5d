#!/usr/bin/env bash
# Runs the dialog's tests, then reads back with zbarimg the capture of the
# QR code window that they leave, and compares it with the address they
# leave beside it (CAPTURE.txt). No capture: the test that makes it did not
# get that far, and has said why.
# Usage: decode_capture_after.sh ZBARIMG CAPTURE COMMAND...
set -uo pipefail

zbarimg="$1"
capture="$2"
shift 2

"$@"
status=$?
if [ -f "$capture" ] && [ -f "$capture.txt" ]; then
  decoded="$("$zbarimg" --quiet --raw "$capture" 2>/dev/null)"
  expected="$(cat "$capture.txt")"
  if [ "$decoded" != "$expected" ]; then
    echo "FAIL: the QR code window's capture decodes to '$decoded', expected '$expected'"
    exit 1
  fi
  echo "The QR code window's capture decodes to $decoded"
fi
exit "$status"
