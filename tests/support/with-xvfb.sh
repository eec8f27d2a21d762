#!/usr/bin/env bash
# Runs a command inside its own Xvfb server. The server picks a free display
# itself (-displayfd), so tests can run in parallel without racing for one.
# -noreset: a test that closes its last connection and opens a new one must
# not meet the server in the middle of its reset (SDL then finds no display).
set -u
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fifo" 2>/dev/null &
xvfb_pid=$!
read -r display <"$fifo"
rm -f "$fifo"
if [ -z "${display:-}" ]; then
  echo "with-xvfb: Xvfb did not start" >&2
  kill "$xvfb_pid" 2>/dev/null
  exit 1
fi
export DISPLAY=":$display"
"$@"
status=$?
kill "$xvfb_pid" 2>/dev/null
wait "$xvfb_pid" 2>/dev/null
exit $status
