#!/usr/bin/env bash
# Runs a command on a private Xvfb display of its own (the windows under test
# need a display, and must not open on the user's), and stops that server after.
#   with-xvfb.sh COMMAND [ARGS...]
set -euo pipefail

number_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -f "$number_file"' EXIT

for _ in $(seq 100); do
  [ -s "$number_file" ] && break
  kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
[ -s "$number_file" ] || { echo "Xvfb gave no display in time" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$number_file")"
"$@"
