#!/usr/bin/env bash
# The main job: builds the 32-bit programs, lays out a demo in the build tree and
# opens Update.exe from the demo's media folder.
#   demo/prefix      a private Wine prefix holding the product record (1.8.2)
#   demo/Orvexa      the installation: Events\ and Database\OrvDb.mdb
#   demo/media       the service pack: Update.exe, Events\Events\, Database\OrvDb.mdb, Version.bin (1.9.0)
# With a display the window opens there; without one it opens under Xvfb and a
# screenshot is written.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686

build=$PWD/build/mingw-i686
exe=$build/update/win32/ui/Update.exe
if [ ! -f "$exe" ]; then
  echo "Update.exe is not built yet; the portable logic and its tests are: run tools/test-all.sh." >&2
  exit 1
fi

demo=$build/demo
rm -rf "$demo"; mkdir -p "$demo"
export WINEPREFIX=$demo/prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
WINEARCH=win64 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
# Debian's Wine does not find its own fonts (MS Sans Serif, Tahoma) by itself;
# the prefix's Fonts folder is where it does look.
if [ -d /usr/share/wine/fonts ]; then
  cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
fi

install=$WINEPREFIX/drive_c/Orvexa
mkdir -p "$install/Events" "$install/Database"
echo "old event log" > "$install/Events/Old.evt"
echo "database 1.8.2" > "$install/Database/OrvDb.mdb"
media=$WINEPREFIX/drive_c/media
mkdir -p "$media/Events/Events/Sub" "$media/Database"
echo "event definitions 1.9.0" > "$media/Events/Events/Events.evt"
echo "sub events" > "$media/Events/Events/Sub/More.evt"
echo "database 1.9.0" > "$media/Database/OrvDb.mdb"
printf '[1.9.0]\r\n' > "$media/Version.bin"
cp "$exe" "$media/"

key='HKLM\SOFTWARE\KVB\Orvexa'
/usr/lib/wine/wine64 reg add "$key" /v Version /t REG_SZ /d 1.8.2 /f /reg:32 >/dev/null
/usr/lib/wine/wine64 reg add "$key" /v Installpath /t REG_SZ /d 'C:\Orvexa' /f /reg:32 >/dev/null

if [ -n "${DISPLAY:-}" ]; then
  /usr/lib/wine/wine64 "$media/Update.exe"
else
  Xvfb :77 -screen 0 1024x768x24 >/dev/null 2>&1 & xvfb=$!
  trap 'kill $xvfb 2>/dev/null; wineserver -k 2>/dev/null || true' EXIT
  export DISPLAY=:77
  sleep 1
  # A virtual desktop draws the title bars, which Xvfb without a window manager lacks.
  /usr/lib/wine/wine64 explorer /desktop=Demo,800x600 "C:\\media\\Update.exe" & app=$!
  # Until the wizard's window is up (bounded), then a moment for it to paint.
  for _ in $(seq 120); do
    xdotool search --name '^Welcome$' >/dev/null 2>&1 && break
    sleep 0.5
  done
  sleep 2
  import -window root "$demo/update-welcome.png"
  echo "No display: Update ran under Xvfb; screenshot at $demo/update-welcome.png"
  kill $app 2>/dev/null || true
fi
