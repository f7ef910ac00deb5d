#!/usr/bin/env bash
# Unpacks the archives `make dist` wrote and uses them as an operator would,
# each from its unpacked folder with the files it ships: the Linux programs
# natively, the Windows ones under wine. The server answers a report and
# serves its page, TVXTap sees the report, Codeplate writes two codes that
# read back as the texts of its shipped settings (the page on this PC for
# URL=auto). Then a newcomer follows the Windows README with the setup
# program under wine: installs it silently, starts the installed server,
# reads the address it prints, fetches the page there and sees a report
# arrive; an update keeps the settings, and the uninstaller removes it all.
#   check_archives.sh DIST_DIR
set -uo pipefail

repo="$(cd "$(dirname "$0")/../.." && pwd)"
dist="$(cd "$1" && pwd)"
work="$(mktemp -d)"
export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
export WINEPREFIX="$repo/build/win/wineprefix" WINEDEBUG=-all
# Only what the archive holds: no extra DLL search path for the Windows programs.
unset WINEPATH

background=()
cleanup() {
  local pid
  for pid in "${background[@]}"; do kill -9 "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

source "$repo/tests/dist/lib.sh"
is_running() { kill -0 "$1" 2>/dev/null; }
has_exited() { ! is_running "$1"; }
stop() {
  kill "$1" 2>/dev/null
  wait_for 10 has_exited "$1" || kill -9 "$1" 2>/dev/null
}

# The command line of one of the unpacked programs, native or under wine.
program_command() {
  if [ "$system" != linux ]; then
    command=(wine "./$1.exe")
  else
    command=("./$1")
  fi
}

# Runs a program in its folder, as an operator does.
run_program() {
  program_command "$1"
  shift
  (cd "$folder" && exec "${command[@]}" "$@")
}

# Starts a program in its folder in the background, its output in a file;
# started is its process id (exec keeps it the program's own).
start_program() {
  local output="$1"
  program_command "$2"
  shift 2
  (cd "$folder" && exec "${command[@]}" "$@" </dev/null >"$output" 2>&1) &
  started=$!
  background+=("$started")
}

expect_listing() {
  local actual="$1" top="$2" suffix="$3"
  local expected
  expected="$(printf '%s\n' "$top/" "$top/Codeplate$suffix" "$top/Codeplate.INI" "$top/README.txt" \
    "$top/TVXHandvane$suffix" "$top/TVXHandvane.INI" "$top/TVXHandvane.TXT" \
    "$top/TVXHandvane.LNG" \
    "$top/TVXTap$suffix" "$top/TVXBridge$suffix" "$top/www/" "$top/sdk/" "$top/sdk/README.md" "$top/sdk/c/" \
    "$top/sdk/c/tvxhdv.h" "$top/sdk/c/example.c" "$top/sdk/python/" "$top/sdk/python/tvxhdv.py" \
    "$top/sdk/python/example.py" "$top/sdk/python/phones.py" | LC_ALL=C sort)"
  [ "$(LC_ALL=C sort <<<"$actual")" == "$expected" ] || fail "the archive holds: $(tr "\n" " " <<<"$actual")"
}

check_readme() {
  local readme="$folder/README.txt"
  if [ "$system" == windows ]; then
    [ "$(grep -c $'\r$' "$readme")" -eq "$(wc -l <"$readme")" ] || fail "README.txt has lines without CR LF"
  else
    local packages
    packages="$(sed -n 's/^ *sudo apt-get install //p' "$readme")"
    [ -n "$packages" ] || fail "README.txt has no apt-get install line"
    dpkg-query -W $packages >/dev/null 2>&1 || fail "README.txt names packages that are not installed: $packages"
  fi
  ! grep -q '@[A-Z]*@' "$readme" || fail "README.txt keeps a placeholder"
  # The controls the README names for the teacher, named as the window shows them.
  local flowing control
  flowing="$(tr -s '[:space:]' ' ' <"$readme")"
  for control in "Enable Stimulation of the Windows Cursor" \
    "Enable feeding the data into the TVX Shared Memory"; do
    [[ "$flowing" == *"\"$control\""* ]] || fail "README.txt does not name \"$control\""
    grep -qaF "$control" "$folder/TVXHandvane$([ "$system" == windows ] && echo .exe)" ||
      fail "the window has no \"$control\", which README.txt names"
  done
}

# Starts the server with the shipped settings on a free port. The shared
# memory name is one per machine: while another checkout's test holds it,
# the server ends at once, so it is tried again for up to two minutes.
start_server() {
  local deadline=$((SECONDS + 120))
  while :; do
    port="$(free_port)"
    sed -i "s/^Port=[0-9]*/Port=$port/" "$folder/TVXHandvane.INI"
    start_program "$work/$system-server.out" TVXHandvane --console
    server=$started
    if wait_for 60 eval '[ -f "$folder/TVXHDVMemory.INI" ] || has_exited $server' &&
      [ -f "$folder/TVXHDVMemory.INI" ]; then
      return 0
    fi
    kill -9 "$server" 2>/dev/null
    ((SECONDS < deadline)) || break
    sleep 2
  done
  fail "the server did not start: $(cat "$work/$system-server.out")"
  return 1
}

# Reports until TVXTap, started beside the server, shows one.
check_report_reaches_tap() {
  start_program "$work/$system-tap.out" TVXTap watch
  local tap=$started answer
  answer="$(http_get "$port" "$(report_path 1)")"
  [ "$answer" == 0000 ] || fail "a report is answered with '$answer'"
  reports_reach "$work/$system-tap.out" 'pointer=3 frame=[0-9]* screen=0 x=4096 y=8192 flags=0xC100 left=1' 1 ||
    fail "TVXTap saw no report: $(tail -n 3 "$work/$system-tap.out")"
  stop "$tap"
}

# Builds the archive's C example as an application writer would and reports
# until it prints the report.
check_report_reaches_example() {
  local compiler=cc example="$work/$system-example" run=()
  [ "$system" == windows ] && compiler=x86_64-w64-mingw32-gcc && example="$example.exe" && run=(wine)
  "$compiler" -std=c99 -Wall -Wextra -Werror -o "$example" "$folder/sdk/c/example.c" ||
    { fail "sdk/c/example.c does not build"; return; }
  (cd "$folder" && exec "${run[@]}" "$example" . </dev/null >"$work/$system-example.out" 2>&1) &
  local reader=$!
  background+=("$reader")
  reports_reach "$work/$system-example.out" 'pointer 3 x 4096 y 8192 left 1 on_pad 1' 100 ||
    fail "the example saw no report: $(tail -n 3 "$work/$system-example.out")"
  stop "$reader"
}

check_server() {
  start_server || return
  wait_for 10 grep -q "TVXHandvane $version" "$work/$system-server.out" ||
    fail "the server does not name version $version: $(cat "$work/$system-server.out")"
  http_get "$port" / >"$work/page" && cmp -s "$work/page" "$folder/TVXHandvane.TXT" ||
    fail "/ does not serve TVXHandvane.TXT"
  echo "beside the program" >"$folder/www/note.txt"
  [ "$(http_get "$port" /note.txt)" == "beside the program" ] || fail "www/ is not served"
  check_report_reaches_tap
  check_report_reaches_example
  run_program TVXBridge --version | grep -q "TVXBridge $version" || fail "TVXBridge does not start"

  run_program TVXTap terminate || fail "TVXTap could not end the server"
  wait_for 30 has_exited "$server" || fail "the server still runs after TVXTap terminate"
  [ -s "$folder/TVXHandvane.LOG" ] || fail "no TVXHandvane.LOG beside the program"
}

ini_value() {
  sed -n "s/^$1=//p" "$2" | tr -d '\r'
}

check_codeplate() {
  local output
  output="$(run_program Codeplate 2>&1)" || fail "Codeplate failed: $output"
  [ -z "$output" ] || fail "Codeplate printed '$output'"
  local pair file text decoded
  for pair in File1:AccessPoint File2:URL; do
    file="$(ini_value "${pair%:*}" "$folder/Codeplate.INI")"
    text="$(ini_value "${pair#*:}" "$folder/Codeplate.INI")"
    if [ ! -f "$folder/$file" ]; then
      fail "Codeplate did not write $file"
      continue
    fi
    decoded="$(decode_code "$folder/$file")"
    if [ "$text" == auto ]; then
      # This PC's page on the port of the TVXHandvane.INI beside Codeplate.
      local page="^http://[0-9]{1,3}(\.[0-9]{1,3}){3}:$(ini_value Port "$folder/TVXHandvane.INI")/\$"
      [[ "$decoded" =~ $page ]] || fail "$file decodes to '$decoded', expected $page"
    else
      [ "$decoded" == "$text" ] || fail "$file decodes to '$decoded', expected '$text'"
    fi
  done
}

# A value under the setup program's Uninstall key, or nothing.
uninstall_value() {
  wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TVXHandvane' /v "$1" \
    2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}

windows_folder() {
  winepath -u "$(wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r')" 2>/dev/null
}

# The file a Start-menu shortcut opens, as Windows reads it from the .lnk.
shortcut_target() {
  lnkinfo "$1" 2>/dev/null | sed -n 's/^[[:space:]]*Local path[[:space:]]*: //p'
}

# setup.exe /S under wine, as an operator without administrator rights: the
# exit code alone says nothing (a setup program for the wrong architecture
# exits 0 and installs nothing), so the files, the shortcuts and the
# registry are read back.
check_setup() {
  system=setup
  local setup="$1" unpacked="$2"
  local installed start_menu
  installed="$(windows_folder LOCALAPPDATA)/Programs/TVXHandvane"
  start_menu="$(windows_folder APPDATA)/Microsoft/Windows/Start Menu/Programs/TVXHandvane"
  # What an earlier run may have left in this prefix.
  rm -rf "$installed" "$start_menu"
  wine reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TVXHandvane' /f \
    >/dev/null 2>&1

  wine "$setup" /S || fail "the setup program exited with $?"
  [ -f "$installed/TVXHandvane.exe" ] || { fail "the setup program installed nothing"; return; }
  local file
  while read -r file; do
    cmp -s "$unpacked/$file" "$installed/$file" || fail "$file is not installed as the zip holds it"
  done < <(cd "$unpacked" && find . -type f | sed 's|^\./||')
  [ -d "$installed/www" ] || fail "no www folder installed"
  local windows_installed='C:\users\'"$(id -un)"'\AppData\Local\Programs\TVXHandvane' pair
  for pair in TVXHandvane.lnk:TVXHandvane.exe README.lnk:README.txt Codeplate.lnk:Codeplate.exe; do
    [ "$(shortcut_target "$start_menu/${pair%:*}")" == "$windows_installed\\${pair#*:}" ] ||
      fail "${pair%:*} opens '$(shortcut_target "$start_menu/${pair%:*}")'"
  done
  [ "$(shortcut_target "$start_menu/TVXHandvane folder.lnk")" == "$windows_installed" ] ||
    fail "the folder's shortcut opens '$(shortcut_target "$start_menu/TVXHandvane folder.lnk")'"
  for pair in "DisplayVersion:$version" "UninstallString:\"$windows_installed\Uninstall.exe\""; do
    [ "$(uninstall_value "${pair%%:*}")" == "${pair#*:}" ] ||
      fail "the Uninstall key's ${pair%%:*} is '$(uninstall_value "${pair%%:*}")'"
  done
  [ -n "$(uninstall_value Publisher)" ] || fail "the Uninstall key names no Publisher"
  local size
  size="$(uninstall_value EstimatedSize)"
  (( ${size:-0} > 1000 )) || fail "the Uninstall key's EstimatedSize is '$size' KB"

  # The README's steps: start the program, take the address it shows for
  # the phones, open it (on loopback: the test reaches nothing else), and a
  # phone's report arrives.
  folder="$installed"
  start_server || return
  address_shown "$work/$system-server.out" 10 ||
    fail "the server shows no address for the phones: $(cat "$work/$system-server.out")"
  http_get "$port" / >"$work/page" && cmp -s "$work/page" "$installed/TVXHandvane.TXT" ||
    fail "the address shown does not serve the page"
  check_report_reaches_tap
  run_program TVXTap terminate || fail "TVXTap could not end the installed server"
  wait_for 30 has_exited "$server" || fail "the installed server still runs"
  [ -s "$installed/TVXHandvane.LOG" ] || fail "the installed server could not write its log"

  # While TVXHandvane runs, neither an update nor the uninstaller changes a
  # thing, and silent they say so in their exit code. The uninstaller runs in
  # place (_?=) here: the copy of itself it usually hands over to returns
  # before it has done anything, so its code says nothing.
  start_server || return
  rm -f "$installed/Codeplate.exe"
  echo "the operator's note" >>"$installed/README.txt"
  local readme_hash
  readme_hash="$(sha256sum <"$installed/README.txt")"
  wine "$setup" /S && fail "an update while TVXHandvane runs exited with 0"
  wine "$installed/Uninstall.exe" /S "_?=$(winepath -w "$installed")" &&
    fail "the uninstaller exited with 0 while TVXHandvane runs"
  [ "$(sha256sum <"$installed/README.txt")" == "$readme_hash" ] &&
    [ ! -e "$installed/Codeplate.exe" ] && [ -f "$installed/TVXHandvane.exe" ] ||
    fail "an update or the uninstaller changed files while TVXHandvane ran"
  run_program TVXTap terminate || fail "TVXTap could not end the installed server"
  wait_for 30 has_exited "$server" || fail "the installed server still runs"

  # An update keeps the operator's settings and brings the programs anew.
  echo "; the operator's" >>"$installed/Codeplate.INI"
  rm -f "$installed/TVXTap.exe"
  wine "$setup" /S || fail "the setup program exited with $? on an update"
  [ "$(ini_value Port "$installed/TVXHandvane.INI")" == "$port" ] || fail "an update reset TVXHandvane.INI"
  grep -q "the operator's" "$installed/Codeplate.INI" || fail "an update reset Codeplate.INI"
  [ -f "$installed/TVXTap.exe" ] && [ -f "$installed/Codeplate.exe" ] ||
    fail "an update did not bring back TVXTap.exe and Codeplate.exe"

  # The uninstaller hands itself to a copy that works on after it returns.
  local uninstall
  uninstall="$(uninstall_value QuietUninstallString)"
  wine "$(winepath -u "$(sed 's/^"\([^"]*\)".*/\1/' <<<"$uninstall")")" /S ||
    fail "the uninstaller exited with $?"
  wait_for 30 eval '[ ! -e "$installed" ]' || fail "the uninstaller left: $(cd "$installed" && find . -type f)"
  wait_for 30 eval '[ ! -e "$start_menu" ]' || fail "the uninstaller left the Start-menu folder"
  [ -z "$(uninstall_value UninstallString)" ] || fail "the uninstaller left its Uninstall key"

  # An install in a folder of the operator's choice is updated there.
  # /D takes the rest of the command line unquoted: wine would quote a space.
  local elsewhere="$work/elsewhere"
  wine "$setup" /S "/D=$(winepath -w "$elsewhere")" || fail "the setup program exited with $? for /D"
  rm -f "$elsewhere/TVXTap.exe"
  wine "$setup" /S || fail "the setup program exited with $? on an update elsewhere"
  [ -f "$elsewhere/TVXTap.exe" ] && [ ! -e "$installed" ] ||
    fail "an update did not go where the install went"
  wine "$elsewhere/Uninstall.exe" /S "_?=$(winepath -w "$elsewhere")" ||
    fail "the uninstaller exited with $? elsewhere"
  [ -z "$(uninstall_value UninstallString)" ] || fail "the uninstaller left its Uninstall key"
}

check_archive() {
  system="$1"
  local archive="$2" top listing
  top="$(basename "$archive")"
  top="${top%.zip}"
  top="${top%.tar.gz}"
  version="${top#TVXHandvane-}"
  version="${version%-*-x64}"
  mkdir -p "$work/$system"
  if [ "$system" == windows ]; then
    listing="$(unzip -Z1 "$archive")" && unzip -q "$archive" -d "$work/$system" || { fail "cannot unpack"; return; }
    expect_listing "$listing" "$top" .exe
  else
    listing="$(tar -tzf "$archive")" && tar -xzf "$archive" -C "$work/$system" || { fail "cannot unpack"; return; }
    expect_listing "$listing" "$top" ""
  fi
  folder="$work/$system/$top"
  check_readme
  check_codeplate
  check_server
}

shopt -s nullglob
linux=("$dist"/TVXHandvane-*-linux-x64.tar.gz)
windows=("$dist"/TVXHandvane-*-windows-x64.zip)
setup=("$dist"/TVXHandvane-*-setup.exe)
if [ "${#linux[@]}" -ne 1 ] || [ "${#windows[@]}" -ne 1 ] || [ "${#setup[@]}" -ne 1 ]; then
  echo "FAIL: $dist should hold one archive of each kind"
  exit 1
fi
[ -f "$WINEPREFIX/system.reg" ] || wineboot --init >/dev/null 2>&1

check_archive linux "${linux[0]}"
check_archive windows "${windows[0]}"
windows_top="$(basename "${windows[0]}" .zip)"
mkdir -p "$work/zip"
unzip -q "${windows[0]}" -d "$work/zip"
check_setup "${setup[0]}" "$work/zip/$windows_top"

finish "both archives unpack and run, and the setup program installs, updates and uninstalls"
