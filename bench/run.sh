#!/usr/bin/env bash
# Runs the benchmarks on the x86_64 release build and prints their figures.
# They never pass or fail, and neither CTest nor the test command runs them.
#   bench/run.sh [install] [devices] [start] [sizes]     (all four without arguments)
#   install  Update.exe on 2,000 files (200 MB) and a 100 MB database, from the click
#            on "&Install" to the success page, and "Update.exe /quiet" from its start
#            to its end (process start included), beside a native cp -a + mv + rm -r of
#            the same files on the same disk and beside Wine's xcopy, each also made
#            durable (one sync -f of the file system after it; the native copy also
#            with one fsync per file); and the flush calls of Update's install of a
#            200-file and of the 2,000-file pack, counted with strace; Update.exe
#            carries the record of the pack it installs (a build for each pack)
#   devices  Velquin's list filled from 1,000 COM-port devices, beside a bare SetupAPI
#            walk of the same devices in the same prefix
#   start    process start to first window: Update.exe, Velquin.exe, a bare window program
#   sizes    the release programs, stripped and not, both builds; and each release
#            program built with and without its own std::__throw_* helpers
# The 64-bit build is measured because it runs on every machine Wine runs on.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh bench
preset=release-x86_64
build=$PWD/build/$preset
source tools/media-common.sh
# Builds the programs, Update.exe with the record $1 of the pack it is to
# install (a release build needs one). The figures are taken whatever the
# sizes; the build's own check reports those.
built=""
build_programs() {
  built=1
  cmake --preset "$preset" -DPROGRAM_SIZE_CHECK=WARN "-DUPDATE_PACK_RECORD=$1" >/dev/null
  cmake --build "$build" --target programs benchmarks >/dev/null
}
export WINE_TEST_ROOT=$build WINE_RUN_XVFB=1
echo "Machine: $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1);" \
  "$(/usr/lib/wine/wine64 --version 2>/dev/null); load average $(cut -d' ' -f1-3 /proc/loadavg)"

seconds_since() { awk -v a="$(date +%s.%N)" -v b="$1" 'BEGIN { printf "%.3f", a - b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
sum() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a + b }'; }
load() { cut -d' ' -f1 /proc/loadavg; }
# One figure and the machine's load when it was taken.
figure() { printf '  %-42s %7.3f s   (load %s)\n' "$1" "$2" "$3"; }

# An installation of the previous version at $1.
reset_installation() {
  rm -rf "$1"
  mkdir -p "$1/Events/Old" "$1/Database"
  for i in $(seq 0 19); do head -c 4096 /dev/zero | tr '\0' o > "$1/Events/Old/old$i.evt"; done
  echo "installed database" > "$1/Database/OrvDb.mdb"
}

# Service-pack media at $1, laid out as the release lays them out: $2 groups
# of 100 event files of 100 kB, and a database of $3 MB.
make_media() {
  local payload=$1.payload
  rm -rf "$payload"
  mkdir -p "$payload/Database"
  python3 - "$payload" "$2" "$3" <<'PY'
import os, sys
payload, groups, megabytes = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for group in range(groups):
    folder = os.path.join(payload, "Events", "Events", "Group%02d" % group)
    os.makedirs(folder)
    for n in range(100):
        with open(os.path.join(folder, "event%04d.evt" % (group * 100 + n)), "wb") as f:
            f.write(os.urandom(100_000))
with open(os.path.join(payload, "Database", "OrvDb.mdb"), "wb") as f:
    for _ in range(megabytes):
        f.write(os.urandom(1_000_000))
PY
  lay_out_payload "$1" "$payload" 1.9.0
  rm -rf "$payload"
}

# Adds to the media $1 the Update.exe that carries their record.
add_update() {
  write_pack_record "$1" "$1.record"
  build_programs "$1.record"
  cp "$build/programs/Update.exe" "$1/"
}

# What the wizard does, natively: the new Events copied beside the old, swapped
# in by renaming, the old removed, and the database copied over.
native_install() {
  cp -a "$1/Events/Events" "$2/Events.new"
  mv "$2/Events" "$2/Events.old"
  mv "$2/Events.new" "$2/Events"
  rm -r "$2/Events.old"
  cp -a "$1/Database/OrvDb.mdb" "$2/Database/OrvDb.mdb"
}

# Every file the native install wrote, flushed one by one.
fsync_each_file() { find "$1/Events" "$1/Database" -type f -print0 | xargs -0 sync; }

# Prints the seconds of the native install from media $1 to $2 on a clean disk,
# the seconds of the command after it, and the load.
time_native() {
  local media=$1 install=$2 start copy
  shift 2
  reset_installation "$install"
  sync
  start=$(date +%s.%N)
  native_install "$media" "$install"
  copy=$(seconds_since "$start")
  start=$(date +%s.%N)
  "$@"
  echo "$copy $(seconds_since "$start") $(load)"
}

# One measurement of bench_install.exe in mode $1 from media $2 to $3: the disk
# is made clean (sync) right before the step, and the command after it runs,
# timed, as soon as the step has printed its figure. Prints the seconds of the
# step, those of the command after it, and the load; nothing if it failed.
time_wine() {
  local mode=$1 media=$2 install=$3 pipes pid line step="" after=0 start to from
  shift 3
  pipes=$(mktemp -d)
  mkfifo "$pipes/in" "$pipes/out"
  bash tools/wine-run.sh "$build/bench/bench_install.exe" "$mode" "$media" "$install" \
    <"$pipes/in" >"$pipes/out" &
  pid=$!
  exec {to}>"$pipes/in" {from}<"$pipes/out"
  while IFS= read -r -t 900 line <&"$from"; do
    line=${line%$'\r'}
    case $line in
      ready) sync; echo go >&"$to" ;;
      "$mode "*)
        step=${line#"$mode "}
        start=$(date +%s.%N)
        "$@"
        after=$(seconds_since "$start")
        echo go >&"$to" ;;
      measured) ;;
      *) echo "  $line" >&2 ;;
    esac
  done
  exec {to}>&- {from}<&-
  wait "$pid" || true
  rm -rf "$pipes"
  [ -z "$step" ] || echo "$step $after $(load)"
}

# The flush calls (fsync and its kin) of every process of a run of Update.exe
# from media $1 to $2: the harness, Update.exe and the prefix's wineserver and
# services, whichever of them does the flushing.
count_flushes() {
  local trace output
  trace=$(mktemp)
  output=$(printf 'go\ngo\n' |
    strace -f --seccomp-bpf -c -o "$trace" -e trace=fsync,fdatasync,syncfs,sync \
      bash tools/wine-run.sh "$build/bench/bench_install.exe" update "$1" "$2")
  if grep -q '^update [0-9]' <<<"$output"; then
    awk '$NF ~ /^(fsync|fdatasync|syncfs|sync)$/ { calls += $4 } END { print calls + 0 }' "$trace"
  else
    echo "? (the install failed)"
  fi
  rm -f "$trace"
}

# A record for a build that installs no pack here: the demo's.
default_record() {
  local demo=$build/bench-demo
  rm -rf "$demo"
  make_demo_payload "$demo/payload" "$(project_version)"
  lay_out_payload "$demo/media" "$demo/payload" "$(project_version)"
  write_pack_record "$demo/media" "$demo/record"
  echo "$demo/record"
}

bench_install() {
  local root=$build/bench-install
  local media=$root/media install=$root/install
  echo "=== install step: 2,000 files (200 MB) and a 100 MB database"
  rm -rf "$root"
  make_media "$media" 20 100
  make_media "$root/media-200" 2 1
  add_update "$root/media-200"
  add_update "$media"  # last: the build's programs are for these media

  local native fsynced update quiet xcopy
  read -ra native <<<"$(time_native "$media" "$install" sync -f "$install")"
  read -ra fsynced <<<"$(time_native "$media" "$install" fsync_each_file "$install")"
  read -ra update <<<"$(time_wine update "$media" "$install" true)"
  read -ra quiet <<<"$(time_wine quiet "$media" "$install" true)"
  read -ra xcopy <<<"$(time_wine xcopy "$media" "$install" sync -f "$install")"
  if [ ${#update[@]} -eq 0 ] || [ ${#quiet[@]} -eq 0 ] || [ ${#xcopy[@]} -eq 0 ]; then
    rm -rf "$root"
    return
  fi
  local flushes200 flushes2000
  flushes200=$(count_flushes "$root/media-200" "$install")
  flushes2000=$(count_flushes "$media" "$install")
  rm -rf "$root"

  local durable_native durable_xcopy
  durable_native=$(sum "${native[0]}" "${native[1]}")
  durable_xcopy=$(sum "${xcopy[0]}" "${xcopy[1]}")
  figure "native cp -a + mv + rm -r" "${native[0]}" "${native[2]}"
  figure "native, then one sync -f" "$durable_native" "${native[2]}"
  figure "native, then one fsync per file" "$(sum "${fsynced[0]}" "${fsynced[1]}")" "${fsynced[2]}"
  figure "Update.exe, Install to success page" "${update[0]}" "${update[2]}"
  figure "Update.exe /quiet, start to end" "${quiet[0]}" "${quiet[2]}"
  figure "Wine xcopy + rename + rd" "${xcopy[0]}" "${xcopy[2]}"
  figure "Wine xcopy + rename + rd, then one sync -f" "$durable_xcopy" "${xcopy[2]}"
  echo "  Update / native: $(ratio "${update[0]}" "${native[0]}")x" \
    "  xcopy / native: $(ratio "${xcopy[0]}" "${native[0]}")x" \
    "  Update / durable native: $(ratio "${update[0]}" "$durable_native")x"
  echo "  Update / durable xcopy: $(ratio "${update[0]}" "$durable_xcopy")x"
  echo "  /quiet - wizard's install step: $(sum "${quiet[0]}" "-${update[0]}") s" \
    "(the wizard's figure leaves out its process start)"
  echo "  flush calls: 200 files $flushes200, 2000 files $flushes2000"
}

bench_devices() {
  [ -n "$built" ] || build_programs "$(default_record)"
  echo "=== device walk: 1,000 COM-port devices"
  bash tools/wine-run.sh "$build/bench/bench_devices.exe" "$build/programs/Velquin.exe" 1000 |
    tr -d '\r' | sed 's/^/  /'
}

bench_start() {
  [ -n "$built" ] || build_programs "$(default_record)"
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
    for exe in update/win32/ui/Update.exe velquin/win32/ui/Velquin.exe; do
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
  bench_library_throws
}

# What the programs' own std::__throw_* helpers (common/win32/library_throws.cpp)
# save: each release program built with and without them, from the same sources
# and the same pack record, in trees of their own.
bench_library_throws() {
  local record=$PWD/build/pack-record.txt
  [ -f "$record" ] || record=$PWD/update/tests/e2e/pack-record.txt
  echo "=== the std::__throw_* helpers of the programs: stripped bytes with and without"
  echo "  (Update.exe carries ${record#"$PWD"/})"
  printf '  %-26s %10s %10s %10s\n' program without with saved
  local tree own exe
  for tree in release-i686 release-x86_64; do
    for own in ON OFF; do
      cmake --preset "$tree" -B "build/bench-throws/$tree-$own" -DPROGRAM_SIZE_CHECK=WARN \
        "-DUPDATE_PACK_RECORD=$record" "-DOWN_LIBRARY_THROWS=$own" >/dev/null
      cmake --build "build/bench-throws/$tree-$own" --target programs >/dev/null
    done
    for exe in Update.exe Velquin.exe; do
      local with without
      with=$(stat -c %s "build/bench-throws/$tree-ON/programs/$exe")
      without=$(stat -c %s "build/bench-throws/$tree-OFF/programs/$exe")
      printf '  %-26s %10d %10d %10d\n' "$tree/$exe" "$without" "$with" $((without - with))
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
