#!/usr/bin/env bash
# The release command: builds the programs for the media, signs them, lays out
# the service pack's media folder and writes its ISO 9660 image and checksums.
#   make-media.sh [--check] [PAYLOAD]
# PAYLOAD is a folder holding Events/Events/... and Database/OrvDb.mdb; without
# one, the demo's stand-in payload is used. Everything goes to build/media/:
#   media/                   the folder to burn or copy: Update.exe, Velquin.exe,
#                            x64/Velquin.exe (signed), Events/Events/...,
#                            Database/OrvDb.mdb, Version.bin (the project's version)
#   OrvexaSP-<version>.iso   its image, ISO 9660 with Joliet names
#   SHA256SUMS               checksums of the image and of every file of media/
# The programs are signed with the certificate named in SIGNING_PKCS12 and
# SIGNING_PASSWORD, or else test-signed with a throwaway one; each signature is
# verified (tools/media-signing.sh). The certificates are left in build/signing/.
# Update.exe carries the record of the pack it must find on the media (every
# file of Events/Events, the database and Version.bin by path, size and
# SHA-256), written to build/pack-record.txt before the build.
# The same commit gives the same bytes in any folder at any time: every date is
# the commit's (SOURCE_DATE_EPOCH), and the same key gives the same signatures.
# --check then builds the commit again in a fresh clone elsewhere and compares
# the programs before signing, their debug files and build/media/, naming the
# first file that differs.
# The debug information of each program stays in build/release-*/programs/.
# A missing piece of the payload or a failed build leaves build/media/ as it was.
# The build fails on a program over its size limit (cmake/release_programs.cmake);
# PROGRAM_SIZE_CHECK=WARN in the environment makes that a warning.
set -euo pipefail

usage() { echo "usage: $0 [--check] [PAYLOAD]" >&2; exit 2; }
check="" payload=""
[ "${1:-}" != --check ] || { check=1; shift; }
case $# in
  0) ;;
  1) payload=$(cd "$1" 2>/dev/null && pwd || echo "$1") ;;
  *) usage ;;
esac
# Named from where the command was started; the clone of --check needs it whole.
[ -z "${SIGNING_PKCS12:-}" ] || SIGNING_PKCS12=$(realpath -m -- "$SIGNING_PKCS12")
cd "$(dirname "$0")/.."
source tools/media-common.sh
source tools/media-signing.sh
source tools/media-rebuild-check.sh
root=$PWD

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

# The rebuild takes the commit, so the work tree must be that commit.
if [ -n "$check" ] && [ -n "$(git status --porcelain)" ]; then
  echo "make-media.sh --check: the work tree differs from its commit; commit or stash first:" >&2
  git status --short >&2
  exit 1
fi
if [ -n "$check" ] && [ -n "${SIGNING_TIMESTAMP_URL:-}" ]; then
  echo "make-media.sh --check: signing without the timestamp server, whose time is new on every run."
  unset SIGNING_TIMESTAMP_URL
fi

# Every date in the media is the last commit's.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  if ! SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null); then
    echo "make-media.sh: no commit to take the date from; set SOURCE_DATE_EPOCH" >&2
    exit 1
  fi
fi
export SOURCE_DATE_EPOCH

bash tools/install-deps.sh release
# Made beside their final places and moved there at the end, so that a failure
# leaves build/media and build/signing as they were.
mkdir -p build
work=$(mktemp -d "$root/build/media.XXXXXX")
trap 'rm -rf "$work"' EXIT
prepare_signing "$work/signing"
warn_test_signed

version=$(project_version)
iso=OrvexaSP-$version.iso

# The payload is laid out first: Update.exe carries the record of it, which
# the build takes from build/pack-record.txt.
if [ -n "$payload" ]; then
  lay_out_payload "$work/out/media" "$payload" "$version"
else
  echo "No payload named: using the demo's stand-in payload."
  make_demo_payload "$work/demo-payload" "$version"
  lay_out_payload "$work/out/media" "$work/demo-payload" "$version"
fi
write_pack_record "$work/out/media" build/pack-record.txt
echo "Record of the pack: $(wc -l < build/pack-record.txt) files, in build/pack-record.txt"

for preset in release-i686 release-x86_64; do
  echo "=== $preset"
  cmake --preset "$preset" ${PROGRAM_SIZE_CHECK:+"-DPROGRAM_SIZE_CHECK=$PROGRAM_SIZE_CHECK"} \
    "-DUPDATE_PACK_RECORD=$root/build/pack-record.txt" >/dev/null
  cmake --build --preset "$preset"
done
[ "$(pack_version build/release-i686)" = "$version" ] || {
  echo "make-media.sh: the build's version is not $version" >&2
  exit 1
}

# Signs the programs into the media folder $1 and verifies each signature.
add_signed_programs() {
  local media=$1 program
  mkdir -p "$media/x64"
  sign_program build/release-i686/programs/Update.exe "$media/Update.exe"
  sign_program build/release-i686/programs/Velquin.exe "$media/Velquin.exe"
  sign_program build/release-x86_64/programs/Velquin.exe "$media/x64/Velquin.exe"
  for program in Update.exe Velquin.exe x64/Velquin.exe; do
    verify_program "$media/$program"
  done
  echo "Signed and verified: Update.exe, Velquin.exe, x64/Velquin.exe"
}

# Writes the image $2 of the media folder $1. Every file, folder and volume
# date is SOURCE_DATE_EPOCH; xorriso orders the files by name, and -r gives
# every file the same owner and permissions, whatever the umask.
write_image() {
  local media=$1 image=$2 log
  if ! log=$(xorriso -as mkisofs -quiet -iso-level 3 -J -r -V "ORVEXA_SP_${version//./_}" \
    --modification-date="$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y%m%d%H%M%S00)" \
    --set_all_file_dates "=$SOURCE_DATE_EPOCH" -o "$image" "$media" 2>&1); then
    echo "$log" >&2
    return 1
  fi
}

# Adds the programs to the media folder laid out in the folder $1, and
# writes its image and SHA256SUMS there.
make_media() {
  local out=$1
  add_signed_programs "$out/media"
  write_image "$out/media" "$out/$iso"
  (cd "$out" && find media -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum "$iso" > SHA256SUMS)
}

# Lists what the media folder $1 holds.
print_media() {
  local out=$1 file
  echo "Media of Orvexa Service Pack $version in $out:"
  (cd "$out" && find media -type f | LC_ALL=C sort | while read -r file; do
    printf '  %-36s %9d bytes\n' "$file" "$(stat -c %s "$file")"
  done)
  printf '  %-36s %9d bytes\n' "$iso" "$(stat -c %s "$out/$iso")"
  echo "  SHA256SUMS"
  echo "Signed by: $(openssl x509 -in build/signing/certificate.pem -noout -subject)"
}

make_media "$work/out"
rm -rf build/media build/signing
mv "$work/out" build/media
mv "$work/signing" build/signing
rm -rf "$work"
trap - EXIT
print_media "$root/build/media"
warn_test_signed
[ -z "$check" ] || check_rebuild "$root" "$payload"
