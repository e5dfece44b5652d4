# Wine helpers shared by the runner, the demo and the test command; sourced.

BINFMT_DIR=/proc/sys/fs/binfmt_misc
# The user-mode emulator that runs 32-bit code where the kernel refuses it
# (tools/set-up-32bit-emulation.sh); qemu-user's, a static binary.
QEMU_I386=/usr/bin/qemu-i386

# Prints the name of the enabled binfmt_misc entry that hands i386 ELF files to
# an emulator; fails when there is none. Such an entry goes before the kernel's
# own loader, so where there is one, every 32-bit program is emulated.
i386_binfmt_entry() {
  local entry
  [ "$(cat "$BINFMT_DIR/status" 2>/dev/null)" = enabled ] || return 1
  for entry in "$BINFMT_DIR"/*; do
    case ${entry##*/} in register | status) continue ;; esac
    # An ELF magic of 32-bit class whose machine field (byte 18) is 3, i386.
    if [ "$(head -n 1 "$entry")" = enabled ] \
      && grep -q '^magic 7f454c4601.\{26\}0300' "$entry"; then
      echo "${entry##*/}"
      return 0
    fi
  done
  return 1
}

# How this machine runs 32-bit code: "natively", "emulated" (through a
# binfmt_misc entry) or "none". Some kernels and sandboxes refuse 32-bit code
# (exec format error), and then no 32-bit program runs under Wine at all.
how_32bit_code_runs() {
  if ! timeout 60 /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo none
  elif i386_binfmt_entry >/dev/null; then
    echo emulated
  else
    echo natively
  fi
}

host_runs_32bit_code() {
  [ "$(how_32bit_code_runs)" != none ]
}

# Why 32-bit code does not run here: the first step of the emulation set-up
# that is missing, read from the machine itself.
why_no_32bit_code() {
  local entry
  if [ ! -x "$QEMU_I386" ]; then
    echo "the kernel refuses it and qemu-i386 is not installed"
  elif [ ! -d "$BINFMT_DIR" ]; then
    echo "the kernel refuses it and has no binfmt_misc to hand it to qemu-i386"
  elif [ ! -e "$BINFMT_DIR/register" ]; then
    echo "the kernel refuses it and binfmt_misc is not mounted at $BINFMT_DIR"
  elif ! entry=$(i386_binfmt_entry); then
    echo "the kernel refuses it and no enabled binfmt_misc entry hands i386 files to qemu-i386"
  else
    echo "/usr/lib/wine/wine does not start through the binfmt_misc entry $entry" \
      "($(sed -n 's/^interpreter //p' "$BINFMT_DIR/$entry"))"
  fi
}

# One line for the test command and the demo: which way 32-bit code runs here.
describe_32bit_code() {
  local entry
  case $(how_32bit_code_runs) in
    natively) echo "32-bit code runs natively here." ;;
    emulated)
      entry=$(i386_binfmt_entry)
      echo "32-bit code runs emulated here: binfmt_misc entry $entry hands it to" \
        "$(sed -n 's/^interpreter //p' "$BINFMT_DIR/$entry")."
      ;;
    none) echo "32-bit code does not run here: $(why_no_32bit_code)." ;;
  esac
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
