#!/usr/bin/env bash
# Packs the built programs for handing out, into build/dist/:
#   TVXHandvane-<version>-windows-x64.zip    from build/win/bin
#   TVXHandvane-<version>-setup.exe          the same folder as a setup program
#                                            (tools/dist/setup.nsi)
#   TVXHandvane-<version>-linux-x64.tar.gz   from build/bin
# Both builds must be current (make build). The archives are reproducible:
# fixed order, owners and times (the last commit's, or SOURCE_DATE_EPOCH).
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
out="$repo/build/dist"
linux_bin="$repo/build/bin"
windows_bin="$repo/build/win/bin"
programs=(TVXHandvane Codeplate TVXTap TVXBridge)

die() {
  echo "make_dist: $*" >&2
  exit 1
}

# Both builds write the project's version; differing ones mean a stale build.
read_version() {
  local native windows
  native="$(cat "$repo/build/native/version.txt" 2>/dev/null)" || die "build/native is not configured"
  windows="$(cat "$repo/build/win/version.txt" 2>/dev/null)" || die "build/win is not configured"
  [ "$native" == "$windows" ] || die "build/native has version $native, build/win $windows"
  echo "$native"
}

# The package that holds a library file. dpkg may list it under /lib or
# /usr/lib (merged /usr), by the link's name or by its target's.
owning_package() {
  local file candidate owner
  for file in "$1" "$(readlink -f "$1")"; do
    for candidate in "$file" "/usr${file#/usr}" "${file#/usr}"; do
      owner="$(dpkg -S "$candidate" 2>/dev/null | sed -n '1{s/[:,].*//;p}')"
      if [ -n "$owner" ]; then
        echo "$owner"
        return
      fi
    done
  done
  die "no Debian package holds $1"
}

# The Debian packages of the libraries the programs link directly; apt brings
# in what those need. libc, libgcc and libstdc++ are left out: every Debian
# system has them, apt itself runs on them. Qt loads its platform plugins at
# run time, so those come from no link entry and are named here.
runtime_packages() {
  local program library path
  {
    for program; do
      while read -r library; do
        path="$(ldd "$program" | awk -v name="$library" '$1 == name && $2 == "=>" { print $3 }')"
        [ -f "$path" ] || die "$program needs $library, which is not installed"
        owning_package "$path"
        if [[ "$library" == libQt6Gui.so* ]]; then
          dpkg -S '*/qt6/plugins/platforms/libqxcb.so' 2>/dev/null | sed -n '1{s/[:,].*//;p}'
          dpkg -S '*/qt6/plugins/platforms/libqwayland-generic.so' 2>/dev/null | sed -n '1{s/[:,].*//;p}'
        fi
      done < <(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')
    done
  } | grep -vxE 'libc6|libgcc-s1|libstdc\+\+6' | LC_ALL=C sort -u | paste -sd ' '
}

# Copies a text file, with CR LF line ends when asked.
copy_text() {
  local from="$1" to="$2" line_ends="$3"
  if [ "$line_ends" == crlf ]; then
    sed 's/\r$//; s/$/\r/' "$from" >"$to"
  else
    cp "$from" "$to"
  fi
}

# Lays out one archive's folder: the programs (stripped), the page, the
# shipped settings, the empty www/ folder, the README and the kit for
# application writers.
stage() {
  local folder="$1" bin="$2" suffix="$3" strip="$4" line_ends="$5" readme="$6"
  mkdir -p "$folder/www"
  local program
  for program in "${programs[@]}"; do
    # Stripping a Windows program stamps its header with SOURCE_DATE_EPOCH.
    [ -f "$bin/$program$suffix" ] || die "$bin/$program$suffix is missing: make build first"
    SOURCE_DATE_EPOCH="$epoch" "$strip" -o "$folder/$program$suffix" "$bin/$program$suffix"
  done
  cp "$bin/TVXHandvane.TXT" "$folder/"
  copy_text "$bin/TVXHandvane.LNG" "$folder/TVXHandvane.LNG" "$line_ends"
  copy_text "$repo/app/shipped/TVXHandvane.INI" "$folder/TVXHandvane.INI" "$line_ends"
  copy_text "$repo/qrtool/shipped/Codeplate.INI" "$folder/Codeplate.INI" "$line_ends"
  copy_text "$readme" "$folder/README.txt" "$line_ends"
  local file
  for file in README.md c/tvxhdv.h c/example.c python/tvxhdv.py python/example.py \
    python/phones.py; do
    mkdir -p "$(dirname "$folder/sdk/$file")"
    copy_text "$repo/sdk/$file" "$folder/sdk/$file" "$line_ends"
  done
  find "$folder" -type d -exec chmod 755 {} +
  find "$folder" -type f -exec chmod 644 {} +
  for program in "${programs[@]}"; do chmod 755 "$folder/$program$suffix"; done
  find "$folder" -exec touch -h -d "@$epoch" {} +
}

# The setup program's uninstaller removes what the setup program put there:
# every file of the folder, then the folders, deepest first. The settings
# are among them; an update keeps them, an uninstall removes them.
uninstall_list() {
  local folder="$1" path
  (cd "$folder" && find . -type f | LC_ALL=C sort) | while read -r path; do
    path="${path#./}"
    echo "Delete \"\$INSTDIR\\${path//\//\\}\""
  done
  (cd "$folder" && find . -mindepth 1 -type d | LC_ALL=C sort -r) | while read -r path; do
    path="${path#./}"
    echo "RMDir \"\$INSTDIR\\${path//\//\\}\""
  done
}

command -v zip >/dev/null || die "zip is missing: run tools/bootstrap"
command -v makensis >/dev/null || die "makensis is missing: run tools/bootstrap"
version="$(read_version)"
epoch="${SOURCE_DATE_EPOCH:-$(git -C "$repo" log -1 --format=%ct 2>/dev/null || date +%s)}"

rm -rf "$out"
mkdir -p "$out/stage"
trap 'rm -rf "$out/stage"' EXIT

windows_name="TVXHandvane-$version-windows-x64"
sed "s/@VERSION@/$version/" "$repo/tools/dist/README.windows.txt" >"$out/stage/README.windows.txt"
stage "$out/stage/$windows_name" "$windows_bin" .exe x86_64-w64-mingw32-strip crlf \
  "$out/stage/README.windows.txt"
(cd "$out/stage" && find "$windows_name" | LC_ALL=C sort |
  TZ=UTC zip -X -q -@ "$out/$windows_name.zip")

setup_name="TVXHandvane-$version-setup.exe"
uninstall_list "$out/stage/$windows_name" >"$out/stage/uninstall.nsh"
SOURCE_DATE_EPOCH="$epoch" makensis -V2 -DVERSION="$version" \
  -DSOURCE="$out/stage/$windows_name" -DUNINSTALL_LIST="$out/stage/uninstall.nsh" \
  -DICON="$repo/http/favicon.ico" -DOUTFILE="$out/$setup_name" "$repo/tools/dist/setup.nsi" >/dev/null ||
  die "makensis failed on tools/dist/setup.nsi"

linux_name="TVXHandvane-$version-linux-x64"
packages="$(runtime_packages "${programs[@]/#/$linux_bin/}")"
sed "s/@VERSION@/$version/; s/@PACKAGES@/$packages/" "$repo/tools/dist/README.linux.txt" \
  >"$out/stage/README.linux.txt"
stage "$out/stage/$linux_name" "$linux_bin" "" strip lf "$out/stage/README.linux.txt"
tar -C "$out/stage" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$epoch" \
  -cf - "$linux_name" | gzip -9n >"$out/$linux_name.tar.gz"

echo "make_dist: $out/$windows_name.zip"
echo "make_dist: $out/$setup_name"
echo "make_dist: $out/$linux_name.tar.gz (needs: $packages)"
