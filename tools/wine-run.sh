#!/usr/bin/env bash
# Runs one Windows program under Wine in a private prefix of its own, never ~/.wine.
# The prefix is copied from a template that is made once per build tree, the crash
# debugger is switched off (a crash must fail the test, not hang it), and the
# prefix's wineserver is stopped when the program ends.
#   wine-run.sh PROGRAM.exe [ARGS...]
set -euo pipefail

prog=$1; shift
build_root=${WINE_TEST_ROOT:-$(cd "$(dirname "$prog")" && pwd)}
template="$build_root/wine-template"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

make_template() {
  # Built beside its final name and renamed, so a half-made template is never used.
  local tmp="$template.$$"
  rm -rf "$tmp"
  WINEPREFIX="$tmp" WINEARCH=win64 timeout 300 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  WINEPREFIX="$tmp" timeout 60 /usr/lib/wine/wine64 reg delete \
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true
  WINEPREFIX="$tmp" timeout 60 /usr/lib/wine/wine64 reg add \
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ /d 0 /f >/dev/null 2>&1
  WINEPREFIX="$tmp" timeout 60 wineserver -w
  mv "$tmp" "$template" 2>/dev/null || rm -rf "$tmp"
}

exec 9>"$build_root/wine-template.lock"
flock 9
[ -d "$template" ] || make_template
flock -u 9

export WINEPREFIX
WINEPREFIX=$(mktemp -d "$build_root/wine-prefix.XXXXXX")
cp -a "$template/." "$WINEPREFIX/"
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
set +e
timeout "${WINE_RUN_TIMEOUT:-600}" /usr/lib/wine/wine64 "$prog" "$@"
rc=$?
set -e
exit $rc
