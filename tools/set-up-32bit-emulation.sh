#!/usr/bin/env bash
# Makes a machine whose kernel refuses 32-bit code run it through user-mode
# emulation, so that the shipped 32-bit programs are tested there too: qemu-user
# 10 from bookworm-backports (Debian 12's own 7.2 ignores MAP_FIXED_NOREPLACE,
# and Wine's address-space reservation then takes it from 47 s to minutes for
# each 32-bit process), and i386 ELF files, Wine's 32-bit loader among them,
# registered to its static qemu-i386 in binfmt_misc.
# Does nothing where 32-bit code already runs, natively or emulated. Each step is
# skipped when already done, so a second run changes nothing. A refused step
# (no root, no binfmt_misc) is named in a NOTE and the script ends without
# failing: the 32-bit tests are then skipped, as on any machine that lacks them.
# EMULATE_32BIT_CODE=1 sets up the emulation even where 32-bit code runs
# natively; it is there to test this script, and the entry it registers then
# takes every 32-bit program away from the kernel until it is removed
# (echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-common.sh"

BACKPORTS_SOURCE=/etc/apt/sources.list.d/bookworm-backports.sources
ENTRY=qemu-i386
# qemu's own rule for i386 ELF executables and shared objects (magic, mask).
# F opens the emulator once, now, so it serves in every mount namespace.
RULE=":$ENTRY:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00"
RULE+=":\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff"
RULE+=":$QEMU_I386:F"

# Every step changes the machine, so each needs root.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    echo "$1: not run: this user is not root and has no sudo" >&2
    return 1
  fi
}

refused() {
  echo "NOTE: 32-bit code cannot be emulated here: $*. The 32-bit tests will be skipped." >&2
  exit 0
}

case $(how_32bit_code_runs) in
  emulated) exit 0 ;;
  natively) [ "${EMULATE_32BIT_CODE:-0}" = 1 ] || exit 0 ;;
esac

# Backports get apt's priority 100, so only what is named with -t comes from
# there; the distribution's own sources stay as they are.
add_backports_source() {
  local targets mirror
  targets=$(apt-get indextargets --no-release-info --format '$(RELEASE) $(REPO_URI)')
  grep -q '^bookworm-backports ' <<<"$targets" && return 0
  mirror=$(awk '$1 == "bookworm" { print $2; exit }' <<<"$targets")
  [ -n "$mirror" ] || refused "no Debian 12 (bookworm) package source to add bookworm-backports beside"
  echo "Adding bookworm-backports from $mirror in $BACKPORTS_SOURCE"
  printf '%s\n' 'Types: deb' "URIs: $mirror" 'Suites: bookworm-backports' 'Components: main' \
    'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' \
    | as_root tee "$BACKPORTS_SOURCE" >/dev/null || refused "writing $BACKPORTS_SOURCE was refused"
  as_root apt-get update -qq || refused "apt-get update with bookworm-backports failed"
}

# qemu-user alone: the backports' qemu-user-static is now a transitional package
# whose qemu-user-binfmt has systemd register 31 other processors' programs
# at every boot, and never i386 on an x86_64 machine.
install_qemu() {
  local version
  version=$(dpkg-query -W -f '${Version}' qemu-user 2>/dev/null || true)
  if [ -x "$QEMU_I386" ] && dpkg --compare-versions "$version" ge 1:10; then
    return 0
  fi
  add_backports_source
  echo "Installing qemu-user from bookworm-backports"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    -t bookworm-backports qemu-user >/dev/null \
    || refused "installing qemu-user from bookworm-backports failed"
}

# Not mounted shows no register file, and so does the machine's own instance
# seen from a container's user namespace, which can mount one of its own.
mount_binfmt_misc() {
  [ -e "$BINFMT_DIR/register" ] && return 0
  [ -d "$BINFMT_DIR" ] || refused "the kernel has no binfmt_misc ($BINFMT_DIR is missing)"
  echo "Mounting binfmt_misc at $BINFMT_DIR"
  as_root mount -t binfmt_misc binfmt_misc "$BINFMT_DIR" \
    || refused "mounting binfmt_misc at $BINFMT_DIR was refused"
}

# An entry of our name that is there now does not serve (else 32-bit code
# would run); the kernel keeps names unique, so it goes first.
register_i386() {
  if [ -e "$BINFMT_DIR/$ENTRY" ]; then
    echo "Replacing the binfmt_misc entry $ENTRY, which did not start Wine's 32-bit loader:"
    sed 's/^/  /' "$BINFMT_DIR/$ENTRY"
    echo -1 | as_root tee "$BINFMT_DIR/$ENTRY" >/dev/null \
      || refused "removing the binfmt_misc entry $ENTRY was refused"
  fi
  echo "Registering i386 ELF files to $QEMU_I386 (binfmt_misc entry $ENTRY)"
  # The kernel reads the whole rule from one write, which printf makes.
  printf '%s\n' "$RULE" | as_root tee "$BINFMT_DIR/register" >/dev/null \
    || refused "registering i386 ELF files in binfmt_misc was refused"
}

install_qemu
mount_binfmt_misc
register_i386
if [ "$(how_32bit_code_runs)" != emulated ]; then
  # An entry that serves nothing goes again: the machine stays as it was found.
  echo -1 | as_root tee "$BINFMT_DIR/$ENTRY" >/dev/null || true
  refused "/usr/lib/wine/wine does not start even through $QEMU_I386"
fi
describe_32bit_code
