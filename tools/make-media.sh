#!/usr/bin/env bash
# The release command: builds the programs for the media, lays out the
# service pack's media folder and writes its ISO 9660 image and checksums.
#   make-media.sh [PAYLOAD]
# PAYLOAD is a folder holding Events/Events/... and Database/OrvDb.mdb; without
# one, the demo's stand-in payload is used. Everything goes to build/media/:
#   media/                   the folder to burn or copy: Update.exe, Velquin.exe,
#                            x64/Velquin.exe, Events/Events/..., Database/OrvDb.mdb,
#                            Version.bin (the project's version)
#   OrvexaSP-<version>.iso   its image, ISO 9660 with Joliet names
#   SHA256SUMS               checksums of the image and of every file of media/
# The debug information of each program stays in build/release-*/programs/.
# A missing piece of the payload or a failed build leaves build/media/ as it was.
# The build fails on a program over its size limit (cmake/ReleasePrograms.cmake);
# PROGRAM_SIZE_CHECK=WARN in the environment makes that a warning.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/media-common.sh
root=$PWD

payload=""
case $# in
  0) ;;
  1) payload=$(cd "$1" 2>/dev/null && pwd || echo "$1") ;;
  *) echo "usage: $0 [PAYLOAD]" >&2; exit 2 ;;
esac
# The payload is checked before anything is installed, built or written.
if [ -n "$payload" ]; then
  missing=$(missing_payload_pieces "$payload")
  if [ -n "$missing" ]; then
    echo "make-media.sh: the payload folder $payload lacks:" >&2
    sed 's/^/  /' <<<"$missing" >&2
    echo "Nothing was built or written." >&2
    exit 1
  fi
fi

bash tools/install-deps.sh release
for preset in release-i686 release-x86_64; do
  echo "=== $preset"
  cmake --preset "$preset" ${PROGRAM_SIZE_CHECK:+"-DPROGRAM_SIZE_CHECK=$PROGRAM_SIZE_CHECK"} >/dev/null
  cmake --build --preset "$preset"
done
version=$(pack_version build/release-i686)

# Laid out beside the final place and moved there whole at the end.
out=$root/build/media
work=$(mktemp -d "$root/build/media.XXXXXX")
trap 'rm -rf "$work"' EXIT
media=$work/media
mkdir -p "$media/x64"
if [ -z "$payload" ]; then
  echo "No payload named: using the demo's stand-in payload."
  payload=$work/demo-payload
  make_demo_payload "$payload" "$version"
fi
lay_out_payload "$media" "$payload" "$version"
rm -rf "$work/demo-payload"
cp build/release-i686/programs/Update.exe build/release-i686/programs/Velquin.exe "$media/"
cp build/release-x86_64/programs/Velquin.exe "$media/x64/"

# Dates from the last commit, so the same sources and payload give the same image.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
iso=OrvexaSP-$version.iso
if ! xorriso -as mkisofs -quiet -iso-level 3 -J -r -V "ORVEXA_SP_${version//./_}" \
  -o "$work/$iso" "$media" 2>"$work/xorriso.log"; then
  cat "$work/xorriso.log" >&2
  exit 1
fi
rm "$work/xorriso.log"
(cd "$work" && find media -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum "$iso" > SHA256SUMS)

rm -rf "$out"
mv "$work" "$out"
trap - EXIT
echo "Media of Orvexa Service Pack $version in $out:"
(cd "$out" && find media -type f | LC_ALL=C sort | while read -r f; do
  printf '  %-36s %9d bytes\n' "$f" "$(stat -c %s "$f")"
done)
printf '  %-36s %9d bytes\n' "$iso" "$(stat -c %s "$out/$iso")"
echo "  SHA256SUMS"
