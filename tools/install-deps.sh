#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine;
# with the argument "release", also what the release command needs; with
# "bench", that and what the benchmarks need (they measure the release build).
# Where the kernel refuses 32-bit code, it also sets up its emulation
# (set-up-32bit-emulation.sh). Safe to run again: it does nothing when every
# tool is already there.
set -euo pipefail

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686-posix)
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xdotool >/dev/null || need+=(xdotool)
command -v import >/dev/null || need+=(imagemagick)
command -v python3 >/dev/null || need+=(python3)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
[ -x /usr/lib/wine/wine ] || need+=(wine32:i386)
command -v wine >/dev/null || need+=(wine)
dpkg -s mingw-w64-tools >/dev/null 2>&1 || need+=(mingw-w64-tools)
# Wine's own Tahoma and MS Sans Serif, so the windows look as they do on Windows.
dpkg -s fonts-wine >/dev/null 2>&1 || need+=(fonts-wine)
if [ "${1:-}" = release ] || [ "${1:-}" = bench ]; then
  # The media's ISO 9660 image.
  command -v xorriso >/dev/null || need+=(xorriso)
  # Authenticode signing and verification of the programs on the media.
  command -v osslsigncode >/dev/null || need+=(osslsigncode)
  # The throwaway test-signing certificate, and the certificates taken out of a PKCS#12 file.
  command -v openssl >/dev/null || need+=(openssl)
  # The programs for the media use the win32 thread model: no winpthread.
  command -v i686-w64-mingw32-g++-win32 >/dev/null || need+=(g++-mingw-w64-i686-win32)
  command -v x86_64-w64-mingw32-g++-win32 >/dev/null || need+=(g++-mingw-w64-x86-64-win32)
fi
if [ "${1:-}" = bench ]; then
  # The install benchmark counts the flush calls of Update's install with it.
  command -v strace >/dev/null || need+=(strace)
fi

install_packages() {
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "Installing: ${need[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
}

[ ${#need[@]} -eq 0 ] || install_packages
# The shipped programs are 32-bit: where the kernel refuses 32-bit code, it is
# emulated, so that their tests run there too.
bash "$(dirname "${BASH_SOURCE[0]}")/set-up-32bit-emulation.sh"
