#!/usr/bin/env bash
# Runs one Windows program under Wine in a private prefix of its own, never ~/.wine.
# The prefix is copied from a template that is made once per build tree, the crash
# debugger is switched off (a crash must fail the test, not hang it), and the
# prefix's wineserver is stopped when the program ends.
# With WINE_RUN_XVFB=1 the program gets a private X server of its own (for tests
# that drive windows); screenshots it leaves as BMP in $WINE_RUN_SCREENS are
# turned into PNG files under <build>/screens when it ends.
#   wine-run.sh PROGRAM.exe [ARGS...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-common.sh"

prog=$1; shift
build_root=${WINE_TEST_ROOT:-$(cd "$(dirname "$prog")" && pwd)}
template="$build_root/wine-template"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

make_template() {
  # Built beside its final name and renamed, so a half-made template is never used.
  local tmp="$template.$$"
  rm -rf "$tmp"
  new_wine_prefix "$tmp"
  WINEPREFIX="$tmp" timeout 60 /usr/lib/wine/wine64 reg delete \
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true
  WINEPREFIX="$tmp" timeout 60 /usr/lib/wine/wine64 reg add \
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ /d 0 /f >/dev/null 2>&1
  # Wine draws window frames itself, as there is no window manager on Xvfb.
  WINEPREFIX="$tmp" timeout 60 /usr/lib/wine/wine64 reg add \
    'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
  WINEPREFIX="$tmp" timeout 60 wineserver -w
  mv "$tmp" "$template" 2>/dev/null || rm -rf "$tmp"
}

# A 32-bit program cannot run on a host that does not execute 32-bit code.
# Exit 77 is a skipped test for CTest: such a host cannot tell a good 32-bit
# build from a bad one.
is_32bit_program() {
  local pe_offset machine
  pe_offset=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  machine=$(od -An -t x2 -j $((pe_offset + 4)) -N 2 "$1" | tr -d ' ')
  [ "$machine" = 014c ]
}
if is_32bit_program "$prog" && ! host_runs_32bit_code; then
  echo "wine-run.sh: SKIPPED $(basename "$prog"): this machine does not execute 32-bit code" \
    "($(why_no_32bit_code)), so no 32-bit program can run under Wine here" >&2
  exit 77
fi

exec 9>"$build_root/wine-template.lock"
flock 9
[ -d "$template" ] || make_template
flock -u 9

export WINEPREFIX
WINEPREFIX=$(mktemp -d "$build_root/wine-prefix.XXXXXX")
cp -a "$template/." "$WINEPREFIX/"
xvfb_pid=""
screens_pending=""

start_xvfb() {
  # Xvfb picks a free display itself and writes its number to the pipe.
  local fifo="$WINEPREFIX/.xvfb-display" display=""
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r -t 30 display <"$fifo" || true
  rm -f "$fifo"
  if [ -z "$display" ]; then
    echo "wine-run.sh: Xvfb did not start" >&2
    exit 1
  fi
  export DISPLAY=":$display"
}

convert_screens() {
  local bmp
  for bmp in "$screens_pending"/*.bmp; do
    [ -f "$bmp" ] || continue
    convert "$bmp" "$build_root/screens/$(basename "${bmp%.bmp}").png" 2>/dev/null \
      || cp "$bmp" "$build_root/screens/"
  done
  rm -rf "$screens_pending"
}

cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  [ -z "$screens_pending" ] || convert_screens
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
if [ "${WINE_RUN_XVFB:-0}" = 1 ]; then
  start_xvfb
  mkdir -p "$build_root/screens"
  screens_pending=$(mktemp -d "$build_root/screens/.pending.XXXXXX")
  export WINE_RUN_SCREENS="$screens_pending"
fi
set +e
timeout "${WINE_RUN_TIMEOUT:-600}" /usr/lib/wine/wine64 "$prog" "$@"
rc=$?
set -e
exit $rc
