#!/usr/bin/env bash
# The main job: builds the 32-bit programs, lays out a demo in the build tree and
# opens one of them in a private Wine prefix of its own.
#   run-demo.sh [update]   Update.exe from the service pack's media:
#     C:\Orvexa     the installation: Events\ and Database\OrvDb.mdb, registry record 1.8.2
#     C:\media      the service pack: Update.exe, Events\Events\, Database\OrvDb.mdb, Version.bin
#                   (the project's version, 1.9.0)
#   run-demo.sh velquin    Velquin.exe on a machine with a few COM-port devices:
#     C:\Velquin    Velquin.exe and a kelPortHi.sys to install (a stand-in file, never started)
# With a display the window opens there; without one it opens under Xvfb and a
# screenshot is written.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/wine-common.sh
source tools/media-common.sh
program=${1:-update}
case $program in
  update | velquin) ;;
  *) echo "usage: $0 [update|velquin]" >&2; exit 2 ;;
esac

bash tools/install-deps.sh
# The programs are 32-bit; on a machine that cannot execute 32-bit code, not
# even emulated, the 64-bit build from the same sources is shown instead.
preset=mingw-i686 registry_view=/reg:32
describe_32bit_code
if host_runs_32bit_code; then
  echo "Showing the 32-bit build, as shipped."
else
  echo "Showing the 64-bit build instead."
  preset=mingw-x86_64 registry_view=/reg:64
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"

build=$PWD/build/$preset
demo=$build/demo-$program
rm -rf "$demo"; mkdir -p "$demo"
export WINEPREFIX=$demo/prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
new_wine_prefix "$WINEPREFIX"
drive_c=$WINEPREFIX/drive_c

lay_out_update() {
  local install=$drive_c/Orvexa media=$drive_c/media
  mkdir -p "$install/Events" "$install/Database"
  echo "old event log" > "$install/Events/Old.evt"
  echo "database 1.8.2" > "$install/Database/OrvDb.mdb"
  local version
  version=$(pack_version "$build")
  make_demo_payload "$demo/payload" "$version"
  lay_out_payload "$media" "$demo/payload" "$version"
  cp "$build/update/win32/ui/Update.exe" "$media/"
  local key='HKLM\SOFTWARE\KVB\Orvexa'
  /usr/lib/wine/wine64 reg add "$key" /v Version /t REG_SZ /d 1.8.2 /f "$registry_view" >/dev/null
  /usr/lib/wine/wine64 reg add "$key" /v Installpath /t REG_SZ /d 'C:\Orvexa' /f "$registry_view" >/dev/null
}

lay_out_velquin() {
  mkdir -p "$drive_c/Velquin"
  cp "$build/velquin/win32/ui/Velquin.exe" "$drive_c/Velquin/"
  echo "stand-in for the kelPortHi driver" > "$drive_c/Velquin/kelPortHi.sys"
  /usr/lib/wine/wine64 "$build/velquin/tests/e2e/velquin_demo_ports.exe"
}

# Opens the program; without a display, under Xvfb until its window (titled
# $2) is up, then writes a screenshot.
open_program() {
  local windows_path=$1 title=$2 shot=$demo/$program.png
  if [ -n "${DISPLAY:-}" ]; then
    /usr/lib/wine/wine64 start /wait /d "${windows_path%\\*}" "$windows_path"
    return
  fi
  Xvfb :77 -screen 0 1024x768x24 >/dev/null 2>&1 & xvfb=$!
  trap 'kill $xvfb 2>/dev/null; wineserver -k 2>/dev/null || true' EXIT
  export DISPLAY=:77
  sleep 1
  # A virtual desktop draws the title bars, which Xvfb without a window manager lacks.
  /usr/lib/wine/wine64 explorer /desktop=Demo,800x600 "$windows_path" & app=$!
  for _ in $(seq 120); do
    xdotool search --name "^$title\$" >/dev/null 2>&1 && break
    sleep 0.5
  done
  sleep 2
  import -window root "$shot"
  echo "No display: $program ran under Xvfb; screenshot at $shot"
  kill $app 2>/dev/null || true
}

if [ "$program" = update ]; then
  lay_out_update
  open_program 'C:\media\Update.exe' Welcome
else
  lay_out_velquin
  open_program 'C:\Velquin\Velquin.exe' Velquin
fi
