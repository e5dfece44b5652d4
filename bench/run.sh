#!/usr/bin/env bash
# Runs the benchmarks on the x86_64 release build and prints their figures.
# They never pass or fail, and neither CTest nor the test command runs them.
#   bench/run.sh [install] [devices] [start] [sizes]     (all four without arguments)
#   install  Update.exe on 2,000 files (200 MB) and a 100 MB database, from the click
#            on "&Install" to the success page, beside a native cp -a + mv + rm -r of
#            the same files on the same disk and beside Wine's xcopy
#   devices  Velquin's list filled from 1,000 COM-port devices, beside a bare SetupAPI
#            walk of the same devices in the same prefix
#   start    process start to first window: Update.exe, Velquin.exe, a bare window program
#   sizes    the release programs, stripped and not, both builds
# The 64-bit build is measured because it runs on every machine Wine runs on.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
preset=release-x86_64
build=$PWD/build/$preset
# The figures are taken whatever the sizes; the build's own check reports those.
cmake --preset "$preset" -DPROGRAM_SIZE_CHECK=WARN >/dev/null
cmake --build "$build" --target programs benchmarks >/dev/null
export WINE_TEST_ROOT=$build WINE_RUN_XVFB=1
echo "Machine: $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1);" \
  "$(/usr/lib/wine/wine64 --version 2>/dev/null); load average $(cut -d' ' -f1-3 /proc/loadavg)"

seconds_since() { awk -v a="$(date +%s.%N)" -v b="$1" 'BEGIN { printf "%.3f", a - b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# An installation of the previous version at $1.
reset_installation() {
  rm -rf "$1"
  mkdir -p "$1/Events/Old" "$1/Database"
  for i in $(seq 0 19); do head -c 4096 /dev/zero | tr '\0' o > "$1/Events/Old/old$i.evt"; done
  echo "installed database" > "$1/Database/OrvDb.mdb"
}

bench_install() {
  local root=$build/bench-install
  local media=$root/media install=$root/install
  echo "=== install step: 2,000 files (200 MB) and a 100 MB database"
  rm -rf "$root"
  mkdir -p "$media/Database"
  python3 - "$media" <<'PY'
import os, sys
media = sys.argv[1]
for group in range(20):
    folder = os.path.join(media, "Events", "Events", "Group%02d" % group)
    os.makedirs(folder)
    for n in range(100):
        with open(os.path.join(folder, "event%04d.evt" % (group * 100 + n)), "wb") as f:
            f.write(os.urandom(100_000))
with open(os.path.join(media, "Database", "OrvDb.mdb"), "wb") as f:
    for _ in range(100):
        f.write(os.urandom(1_000_000))
PY
  printf '[1.9.0]\r\n' > "$media/Version.bin"
  cp "$build/programs/Update.exe" "$media/"

  local figures
  figures=$(bash tools/wine-run.sh "$build/bench/bench_install.exe" "$media" "$install" | tr -d "\r")
  local update xcopy native start
  update=$(sed -n 's/^update //p' <<<"$figures")
  xcopy=$(sed -n 's/^xcopy //p' <<<"$figures")
  [ -n "$update" ] || { echo "$figures"; return; }

  reset_installation "$install"
  sync
  start=$(date +%s.%N)
  cp -a "$media/Events/Events" "$install/Events.new"
  mv "$install/Events" "$install/Events.old"
  mv "$install/Events.new" "$install/Events"
  rm -r "$install/Events.old"
  cp -a "$media/Database/OrvDb.mdb" "$install/Database/OrvDb.mdb"
  native=$(seconds_since "$start")

  printf '  %-38s %7.3f s\n' "native cp -a + mv + rm -r" "$native" \
    "Update.exe, Install to success page" "$update" "Wine xcopy + rename + rd" "$xcopy"
  echo "  Update / native: $(ratio "$update" "$native")x   xcopy / native: $(ratio "$xcopy" "$native")x"
  rm -rf "$root"
}

bench_devices() {
  echo "=== device walk: 1,000 COM-port devices"
  bash tools/wine-run.sh "$build/bench/bench_devices.exe" "$build/programs/Velquin.exe" 1000 |
    tr -d '\r' | sed 's/^/  /'
}

bench_start() {
  echo "=== start: process start to first visible window (median of 9 rounds after one warm-up)"
  bash tools/wine-run.sh "$build/bench/bench_start.exe" "bare=$build/bench/bench_bare_window.exe" \
    "Update=$build/programs/Update.exe" "Velquin=$build/programs/Velquin.exe" |
    tr -d '\r' | sed 's/^/  /'
}

bench_sizes() {
  echo "=== sizes of the release programs (bytes)"
  printf '  %-26s %10s %10s %10s\n' program linked stripped debug-info
  local tree exe
  for tree in release-i686 release-x86_64; do
    for exe in update/win32/ui/Update.exe velquin/win32/Velquin.exe; do
      local name linked=$PWD/build/$tree/$exe
      name=$(basename "$exe")
      local stripped=$PWD/build/$tree/programs/$name
      if [ ! -f "$stripped" ]; then
        printf '  %-26s not built (tools/make-media.sh builds it)\n' "$tree/$name"
        continue
      fi
      printf '  %-26s %10d %10d %10d\n' "$tree/$name" "$(stat -c %s "$linked")" \
        "$(stat -c %s "$stripped")" "$(stat -c %s "$stripped.debug")"
    done
  done
}

[ $# -gt 0 ] || set -- install devices start sizes
for what in "$@"; do
  case $what in
    install | devices | start | sizes) "bench_$what" ;;
    *) echo "unknown benchmark: $what" >&2; exit 2 ;;
  esac
done
