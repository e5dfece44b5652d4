#!/usr/bin/env bash
# Runs the test command with its Unix stderr in the file $UPDATE_E2E_STDERR,
# where the test can read it, then hands the text on to CTest's output.
# Wine writes its debug channels to the stderr of the program that started
# the process, whatever that process's STARTUPINFO says, so the debug output
# of every Update.exe the tests start ends up here too.
#   with-stderr-file.sh COMMAND [ARGS...]
set -uo pipefail
: "${UPDATE_E2E_STDERR:?names the file for the stderr of the test}"
"$@" 2>"$UPDATE_E2E_STDERR"
rc=$?
cat "$UPDATE_E2E_STDERR" >&2
exit $rc
