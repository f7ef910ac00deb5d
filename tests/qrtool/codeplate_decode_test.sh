#!/usr/bin/env bash
# Runs Codeplate the way an operator does, with its INI beside it, and reads
# every image it writes back with zbarimg.
# Usage: codeplate_decode_test.sh ZBARIMG PROGRAM [EMULATOR...]
set -uo pipefail

zbarimg="$1"
program="$2"
shift 2
emulator=("$@")

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
name="$(basename "$program")"
cp "$program" "$work/$name"
ini="$work/${name%.*}.INI"
log="$work/${name%.*}.LOG"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Runs the program in its folder; sets status and output.
run_codeplate() {
  rm -f "$work"/*.bmp "$work"/codes/*.bmp
  output="$(cd "$work" && "${emulator[@]}" "./$name" 2>"$work/stderr")"
  status=$?
}

# Decodes a BMP the program wrote and compares its bytes with the expected text.
expect_decodes_to() {
  local bmp="$work/$1" expected="$2"
  if [ ! -f "$bmp" ]; then
    fail "$1 was not written"
    return
  fi
  perl "$(dirname "$0")/add_quiet_zone.pl" "$bmp" "$work/decoded.ppm"
  local decoded
  # -Sbinary: the symbol's bytes as they are, no guessing of character sets.
  decoded="$("$zbarimg" --quiet --raw -Sbinary "$work/decoded.ppm" 2>/dev/null)"
  [ "$decoded" == "$expected" ] || fail "$1 decodes to '$decoded', expected '$expected'"
}

write_ini() {
  printf '%s\r\n' "$@" >"$ini"
}

wifi='WIFI:T:WPA;S:Handvane Lab;P:correct horse battery;;'
url='http://192.168.1.20:8080/'
# Bytes beyond ASCII stay as they are stored (here UTF-8).
accented=$'Gr\xc3\xbc\xc3\x9fe aus K\xc3\xb6ln, Caf\xc3\xa9 \xe2\x82\xac 5'
long="$(printf 'L%.0s' {1..200})$(printf '0123456789%.0s' {1..5})abcdefghi"

# The two codes an operator prints: black modules, 8 pixels each.
write_ini '[General]' 'Log=FALSE' '[Input]' "AccessPoint=$wifi" "URL=$url" \
  '[Output]' 'File1=wifi.bmp' 'File2=url.bmp'
run_codeplate
[ "$status" -eq 0 ] || fail "a good run exits with $status"
[ -z "$output" ] || fail "a good run prints '$output'"
expect_decodes_to wifi.bmp "$wifi"
expect_decodes_to url.bmp "$url"
run_codeplate
[ "$(grep -c ': Entered ReadIni' "$log")" -eq 2 ] || fail "the log does not gain a line per run"

# Coloured modules, a small module size, texts beyond ASCII and of full length.
[ "${#long}" -eq 259 ] || fail "the long text has ${#long} characters"
write_ini '[Input]' 'NumberOfBMPPixelsPerQRCodePixel=3' 'PixelValueRed=256' \
  'PixelValueGreen=40' 'PixelValueBlue=511' "AccessPoint=$accented" "URL=$long" \
  '[Output]' 'File1=accented.bmp' 'File2=long.bmp'
run_codeplate
[ "$status" -eq 0 ] || fail "a coloured run exits with $status"
expect_decodes_to accented.bmp "$accented"
expect_decodes_to long.bmp "$long"

# URL=auto: this PC's page on the port of TVXHandvane.INI beside the program
# with the class's key, and a code per listed pointer beside File2 that names
# its number. (A key made at the server's start is believed only from a
# running server: the unit tests check that.)
mkdir -p "$work/codes"
printf '[Control]\r\nPort=8123\r\nAccessKey=Ab3dE6gH\r\n' >"$work/TVXHandvane.INI"
write_ini '[Input]' "AccessPoint=$wifi" 'URL=auto' 'Pointers=0,7-8,79' \
  '[Output]' 'File1=wifi.bmp' 'File2=codes/page.bmp'
run_codeplate
if [ "$status" -eq 0 ]; then
  perl "$(dirname "$0")/add_quiet_zone.pl" "$work/codes/page.bmp" "$work/decoded.ppm"
  page="$("$zbarimg" --quiet --raw -Sbinary "$work/decoded.ppm" 2>/dev/null)"
  [[ "$page" =~ ^http://[0-9]{1,3}(\.[0-9]{1,3}){3}:8123/#key=Ab3dE6gH$ ]] ||
    fail "URL=auto gives '$page'"
  for n in 0 7 8 79; do
    expect_decodes_to "codes/pointer$(printf %02d "$n").bmp" "${page%%#*}#pointer=$n&key=Ab3dE6gH"
  done
  [ "$(ls "$work"/codes | wc -l)" -eq 5 ] || fail "URL=auto wrote $(ls "$work"/codes)"
else
  # A machine without a network: refused, and no code of the page written.
  [[ "$output" == *"no network address"* ]] || fail "URL=auto fails with '$output'"
  [ -z "$(ls "$work"/codes)" ] || fail "URL=auto without a network wrote $(ls "$work"/codes)"
fi

# A bad pointer list is named and writes no pointer code; the two codes still come.
write_ini '[Input]' "AccessPoint=$wifi" "URL=$url" 'Pointers=0-9,80' \
  '[Output]' 'File1=wifi.bmp' 'File2=url.bmp'
run_codeplate
[ "$status" -ne 0 ] || fail "a bad pointer list exits with 0"
[[ "$output" == *'"80"'* ]] || fail "a bad pointer list prints '$output'"
expect_decodes_to url.bmp "$url"
[ -z "$(ls "$work"/pointer*.bmp 2>/dev/null)" ] || fail "a bad pointer list wrote pointer codes"

# Without an INI file nothing is written, and the message names the file.
rm -f "$ini"
run_codeplate
[[ "$output" == "Codeplate.INI is missing: "*"${ini##*/}."* ]] ||
  fail "without an INI file the program prints '$output'"
[ "$status" -ne 0 ] || fail "without an INI file the program reports success"
[ -z "$(ls "$work"/*.bmp 2>/dev/null)" ] || fail "without an INI file an image was written"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "all Codeplate runs decoded as expected"
