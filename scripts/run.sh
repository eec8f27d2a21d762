#!/usr/bin/env bash
# Builds the game in build/ and starts it from build/game. Without a display
# it runs under Xvfb for a few seconds, takes a screenshot, closes the window
# and says where the screenshot and the log are.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -DHALVEX_TESTS=OFF
cmake --build "$root/build" -j2
game="$root/build/game"
cd "$game"

if [ -n "${DISPLAY:-}" ]; then
  exec ./halvex
fi

shot="$game/screenshot.png"
menu="$game/screenshot-menu.png"
export game shot menu
status=0
"$root/tests/support/with-xvfb.sh" bash -c '
  ./halvex &
  pid=$!
  window=""
  for _ in $(seq 1 100); do
    window=$(xdotool search --name "Halvex v. 0.1" 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$window" ]; then
    echo "run: the window did not open; see $game/systemlog.txt" >&2
    wait "$pid"
    exit 1
  fi
  sleep 2
  # The main menu, with the pointer over its New Game button, which sits just
  # above the window centre (content/gui/menu.gui.txt); a click starts a new
  # game on the shipped level. Then walk, turn and shoot a little.
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove --window "$window" $((WIDTH / 2)) $((HEIGHT / 2 - 4))
  sleep 0.5
  import -window "$window" "$menu"
  xdotool click 1
  sleep 2
  # The view is drawn from the first turn or move on.
  xdotool mousemove_relative -- 40 0
  xdotool keydown w; sleep 0.5; xdotool keyup w
  # Shooting is polled each frame, so hold the button for a few frames.
  xdotool mousedown 1; sleep 0.6; xdotool mouseup 1
  sleep 0.5
  import -window "$window" "$shot"
  # The console ends the game: quit(1) always quits.
  xdotool key grave; sleep 0.3
  xdotool type --delay 40 "quit(1)"; xdotool key Return
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid"
' || status=$?
echo "Screenshot: $shot (menu: $menu)"
echo "Log:        $game/systemlog.txt"
exit $status
