#!/usr/bin/env bash
# Builds everything and runs every test: the portable logic natively under the
# sanitizers, then both Windows builds with their tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/wine-common.sh
bash tools/install-deps.sh
# Which way the mingw-i686 tests run the programs: natively, emulated, or not at all.
describe_32bit_code

status=0
for preset in native mingw-i686 mingw-x86_64; do
  echo "=== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  # Wine tests share two cores badly; one at a time keeps them inside their time-outs.
  ctest --preset "$preset" || status=1
done
case $(how_32bit_code_runs) in
  none)
    echo "NOTE: the mingw-i686 tests were built but skipped: $(why_no_32bit_code);" \
      "only a machine that runs 32-bit programs, natively or emulated, tests that build."
    ;;
  *) echo "$(describe_32bit_code) The mingw-i686 tests ran the 32-bit programs." ;;
esac
# No wineserver or Xvfb of ours may outlive the run.
pkill -f "$(pwd)/build/.*/wine-prefix" 2>/dev/null || true
exit $status
