#!/bin/sh
# Starts a built TVXHandvane in a scratch folder for the page's browser test:
#   real-server.sh BIN_DIR DIR PORT POINTER [KEY [LANGUAGE]]
# BIN_DIR holds the program, its TVXHandvane.TXT and .LNG (build/bin, or
# build/win/bin for the Windows build under wine). The program's INI in DIR
# sets the port, the selected pointer, the access key (none without KEY) and
# DIR as the shared memory folder; the profile and the error log go to DIR as
# well.
set -eu
bin=$1 dir=$2 port=$3 pointer=$4 key=${5:-} language=${6:-}

if [ -e "$bin/TVXHandvane.exe" ]; then
  program=TVXHandvane.exe
  export WINEPREFIX="${WINEPREFIX:-$dir/wineprefix}" WINEDEBUG=-all
  folder=$(winepath -w "$dir")
else
  program=TVXHandvane
  export XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state"
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_STATE_HOME"
  folder=$dir
fi

cp "$bin/$program" "$bin/TVXHandvane.TXT" "$bin/TVXHandvane.LNG" "$dir/"
printf '[General]\r\nLog=TRUE\r\nLogLevel=1\r\n[Paths]\r\nPathToWorkingDir=%s\r\nPathToIniFolder=%s\r\n[Control]\r\nPort=%s\r\nSelectedPointer=%s\r\nAccessKey=%s\r\nPageLanguage=%s\r\n' \
  "$folder" "$folder" "$port" "$pointer" "$key" "$language" >"$dir/TVXHandvane.INI"

cd "$dir"
if [ "$program" = TVXHandvane.exe ]; then
  exec wine "./$program" --console
fi
exec "./$program" --console
