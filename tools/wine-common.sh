# Wine helpers shared by the runner, the demo and the test command; sourced.

# True when this machine executes 32-bit code. Some kernels and sandboxes refuse
# it (exec format error), and then no 32-bit program runs under Wine at all.
host_runs_32bit_code() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Makes a new win64 prefix (which runs 32-bit and 64-bit programs) at $1.
new_wine_prefix() {
  WINEPREFIX="$1" WINEARCH=win64 timeout 300 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  # Debian's Wine does not find its own fonts (Marlett for the frame buttons,
  # Tahoma, MS Sans Serif) by itself; the prefix's Fonts folder is where it looks.
  if [ -d /usr/share/wine/fonts ]; then
    cp /usr/share/wine/fonts/* "$1/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
}
