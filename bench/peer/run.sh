#!/usr/bin/env bash
# Side by side with Debian's OpenArena engine: both engines draw the same views
# (bench/peer/views.txt) at 800 x 600 with the same eye, direction and vertical
# field of view, one after the other on a private X server. Prints per view the
# mean grey of both pictures, their mean absolute grey difference, both frame
# rates (Mesa's gallium HUD, dumped invisibly, the same way for both) and the
# frame-time ratio; saves each view's pictures as one labelled PNG.
#   bench/peer/run.sh [build folder] [VIEW...]
# The other engine is a black box: command line and console only.
set -u
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=$src/build-rel
if [ $# -gt 0 ] && [ -d "$1" ]; then
  build=$(cd "$1" && pwd)
  shift
fi
only=("$@")
baseoa=/usr/share/games/openarena/baseoa
out=$build/peer-results
work=$out/work
width=800
height=600
settle=${PEER_SETTLE:-4}      # seconds from a view being set to the first sample
samples=${PEER_SAMPLES:-8}    # one-second frame-rate samples per engine and view
peer_only=${PEER_ONLY:-0}     # 1: the peer's side alone (to check views)
# The peer's picture judged: "grabbed" (its frame buffer, as drawn) or
# "displayed" (as its gamma ramp would show it on a screen that applies it).
look=${PEER_LOOK:-grabbed}
# More of the peer's console settings, to take its pictures apart, e.g.
# PEER_SETTINGS="+set r_toneMap 0"
peer_settings=${PEER_SETTINGS:-}
# Lua run in Halvex before each view is taken, e.g. HALVEX_EXEC="setToneCurve(0.3)"
halvex_exec=${HALVEX_EXEC:-}

"$src/scripts/setup.sh" --peer || exit 1
[ "$peer_only" = 1 ] || {
# ccache speeds rebuilds where it is installed; nothing installs it.
launcher=$(command -v ccache || true)
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DHALVEX_SANITIZE=OFF -DHALVEX_TESTS=OFF \
  -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" -DCMAKE_C_COMPILER_LAUNCHER="$launcher" >/dev/null || exit 1
nice cmake --build "$build" -j2 --target halvex >/dev/null || exit 1
# cmake's game-folder targets (textures, menu, settings) come with a full build
nice cmake --build "$build" -j2 >/dev/null || exit 1
}

rm -rf "$out"
mkdir -p "$work"

# Halvex's vertical field of view (the window's projection, set where
# src/app/Startup.cpp creates the window) and the peer's cg_fov, a
# horizontal angle at the window's aspect, giving the same vertical angle.
halvex_vfov=45
peer_fov=$(awk -v v=$halvex_vfov -v w=$width -v h=$height \
  'BEGIN { pi = atan2(0, -1); printf "%.3f", 360 / pi * atan2(sin(v * pi / 360) * w / h, cos(v * pi / 360)) }')
# Seen with the peer's viewpos: the eye sits this far above the height
# setviewpos is given (with noclip on), and a teleport carries the player
# about this far along its yaw before it stops.
peer_eye_height=27
peer_drift=16

xvfb_pid=""
display=""
start_display() {
  local fifo=$work/display.fifo
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 ${width}x${height}x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
  xvfb_pid=$!
  read -r display <"$fifo"
  rm -f "$fifo"
  [ -n "$display" ] || { echo "peer bench: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$display"
}
stop_display() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=""
}
trap 'stop_display' EXIT

# Lines of a HUD dump so far: samples before a mark belong to loading.
sample_count() { [ -f "$1/fps" ] && wc -l <"$1/fps" || echo 0; }

# Median of the frame-rate samples after line FROM (excluded) of a dump.
median_fps() {
  tail -n +$(($2 + 1)) "$1/fps" 2>/dev/null | sort -g |
    awk '{ v[NR] = $1 } END { if (NR == 0) print 0; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# waits until COMMAND succeeds or SECONDS pass
wait_for() {
  local seconds=$1; shift
  local end=$((SECONDS + seconds))
  until "$@"; do
    [ $SECONDS -ge $end ] && return 1
    sleep 0.25
  done
}

gallium_env() {
  echo GALLIUM_HUD=fps GALLIUM_HUD_VISIBLE=false GALLIUM_HUD_PERIOD=1 GALLIUM_HUD_DUMP_DIR="$1"
}

# Settle, sample, then grab the picture; prints the median fps.
measure() { # hud_dir picture
  sleep "$settle"
  local from
  from=$(sample_count "$1")
  sleep "$samples"
  local fps
  fps=$(median_fps "$1" "$from")
  import -window root "$2"
  echo "$fps"
}

# --- Halvex -----------------------------------------------------------------
halvex_game=$work/halvex-game
prepare_halvex() {
  cp -r "$build/game" "$halvex_game"
  rm -f "$halvex_game/systemlog.txt"
  echo "setRes(\"${width}x${height}\", 0)" >"$halvex_game/videoSettings.lua"
}

# run_halvex NAME LEVEL X Y Z YAW: prints fps; picture in $work/NAME-halvex.png
run_halvex() {
  local name=$1 level=$2 x=$3 y=$4 z=$5 yaw=$6
  local hud=$work/$name-halvex-hud
  mkdir -p "$hud"
  rm -f "$halvex_game/bench-ready"
  local lua="$halvex_exec setHud(0) setViewPos($x, $y, $z, $yaw, 0) viewPos() local f = io.open('bench-ready', 'w') f:close()"
  (cd "$halvex_game" && exec env $(gallium_env "$hud") ./halvex --data "$baseoa" --map "maps/$level.bsp" --exec "$lua" \
    >"$work/$name-halvex.out" 2>&1) &
  local pid=$!
  if ! wait_for 120 test -f "$halvex_game/bench-ready"; then
    echo "peer bench: Halvex did not reach the view $name" >&2
    kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
    echo 0
    return
  fi
  measure "$hud" "$work/$name-halvex.png"
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  [ -f "$halvex_game/systemlog.txt" ] && mv "$halvex_game/systemlog.txt" "$work/$name-halvex.log"
}

# --- the peer ---------------------------------------------------------------
peer_home=$work/peer-home
peer_in=""
peer_log=""
peer_say() { echo "$1" >&5; }

# the last "(x y z) : yaw" line of its console, as "x y z yaw"
peer_viewpos() {
  grep -a -E '^\([-0-9.]+ [-0-9.]+ [-0-9.]+\) : [-0-9.]+' "$peer_log" | tail -1 | tr -d '():' | awk '{ print $1, $2, $3, $4 }'
}

# Puts the eye at X Y Z looking along YAW: setviewpos short of the mark by the
# drift, then again by what is left, as viewpos reports it. The drift varies
# with the frame rate, so on a busy machine it may take a few tries.
peer_place() { # x y z yaw
  local x=$1 y=$2 z=$3 yaw=$4 drift=$peer_drift try at along
  for try in 1 2 3 4 5 6; do
    read -r tx ty < <(awk -v x=$x -v y=$y -v yaw=$yaw -v d=$drift \
      'BEGIN { r = yaw * atan2(0, -1) / 180; printf "%.2f %.2f\n", x - d * cos(r), y - d * sin(r) }')
    peer_say "setviewpos $tx $ty $(awk -v z=$z -v e=$peer_eye_height 'BEGIN { print z - e }') $yaw"
    sleep 2.5
    peer_say "viewpos"
    sleep 0.5
    at=$(peer_viewpos)
    # how far past the mark along the view the eye came to rest
    along=$(echo "$at" | awk -v x=$x -v y=$y -v yaw=$yaw \
      'BEGIN { r = yaw * atan2(0, -1) / 180 } { printf "%.1f", ($1 - x) * cos(r) + ($2 - y) * sin(r) }')
    awk -v a="$along" 'BEGIN { exit !(a <= 1.5 && a >= -1.5) }' && break
    drift=$(awk -v d=$drift -v a=$along 'BEGIN { print d + a }')
  done
  echo "$at"
}

# With hardware gamma the engine leaves the overbright factor to the display's
# gamma ramp, which Xvfb does not apply (xrandr shows no ramp): the picture a
# player sees is the grabbed one times 2^bits, clamped per channel as a ramp
# would. The engine prints which way it went.
show_as_displayed() {
  local bits
  bits=$(sed -n 's/^GAMMA: hardware w\/ \([0-9]*\) overbright bits.*/\1/p' "$peer_log" | tail -1)
  [ -n "$bits" ] && [ "$bits" -gt 0 ] &&
    mogrify -evaluate multiply $((1 << bits)) "$1"
}

# run_peer NAME LEVEL X Y Z YAW: prints "fps|x y z yaw"; picture in $work/NAME-peer.png
run_peer() {
  local name=$1 level=$2 x=$3 y=$4 z=$5 yaw=$6
  local hud=$work/$name-peer-hud
  mkdir -p "$hud" "$peer_home"
  peer_in=$work/peer.in
  peer_log=$work/$name-peer.log
  rm -f "$peer_in"
  mkfifo "$peer_in"
  exec 5<>"$peer_in"
  env HOME="$peer_home" $(gallium_env "$hud") setsid /usr/games/openarena \
    +set s_initsound 0 +set r_fullscreen 0 +set r_mode -1 \
    +set r_customwidth $width +set r_customheight $height \
    +set r_swapInterval 0 +set com_maxfps 1000 +set r_picmip 0 \
    +set cg_fov "$peer_fov" +set cg_draw2D 0 +set cg_drawGun 0 +set con_notifytime 0 \
    +set cg_bobup 0 +set cg_bobpitch 0 +set cg_bobroll 0 +set cl_allowDownload 0 $peer_settings \
    +devmap "$level" <&5 >"$peer_log" 2>&1 &
  local pid=$!
  local fps=0 at=""
  if wait_for 120 grep -s -q -a "entered the game" "$peer_log"; then
    sleep 1
    peer_say "noclip"
    at=$(peer_place "$x" "$y" "$z" "$yaw")
    fps=$(measure "$hud" "$work/$name-peer.png")
    cp "$work/$name-peer.png" "$work/$name-peer-grabbed.png"
    show_as_displayed "$work/$name-peer.png"
  else
    echo "peer bench: the peer did not enter $level" >&2
  fi
  peer_say "quit"
  wait_for 10 bash -c "! kill -0 $pid 2>/dev/null" || kill -- -"$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  exec 5>&-
  rm -f "$peer_in"
  echo "$fps|$at"
}

grey() { convert "$1" -colorspace Gray -format '%[fx:mean*255]' info: 2>/dev/null || echo 0; }
grey_difference() {
  convert "$1" -colorspace Gray "$work/a.png" && convert "$2" -colorspace Gray "$work/b.png" &&
    compare -metric MAE "$work/a.png" "$work/b.png" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p' |
    awk '{ printf "%.1f", $1 * 255 }'
}

side_by_side() { # out title halvex label peer label displayed label
  montage -font DejaVu-Sans -background '#202020' -fill white -pointsize 16 \
    -label "$4" "$3" -label "$6" "$5" -label "$8" "$7" -tile 3x1 -geometry +4+4 \
    -title "$2" "$1" 2>/dev/null
}

# --- views ------------------------------------------------------------------
start_display
[ "$peer_only" = 1 ] || prepare_halvex
views=()
while read -r name level x y z yaw rest; do
  case $name in ''|'#'*) continue ;; esac
  if [ ${#only[@]} -gt 0 ]; then
    keep=0
    for o in "${only[@]}"; do [ "$o" = "$name" ] && keep=1; done
    [ $keep = 1 ] || continue
  fi
  views+=("$name $level $x $y $z $yaw")
done <"$here/views.txt"

echo "Side by side with Debian's OpenArena engine, $width x $height, vertical field of view $halvex_vfov (peer cg_fov $peer_fov)"
echo "grey: mean of 255 (H Halvex, the peer's frame buffer, as shown through its gamma ramp); grey% and absdif against the peer $look;"
echo "fps: medians of one-second samples; ratio: frame time Halvex / peer; eye: the peer's resting eye off the mark (units)"
printf '%-18s %6s %6s %6s %6s %6s %7s %7s %6s %4s\n' view grey:H peer shown grey% absdif fps:H peer ratio eye
pass_grey=0; pass_diff=0; pass_time=0; count=0; sum_ratio=0
index=0
for view in "${views[@]}"; do
  read -r name level x y z yaw <<<"$view"
  # alternate which engine goes first so the machine's drift falls on both
  if [ "$peer_only" = 1 ]; then
    hfps=0
    peer=$(run_peer "$name" "$level" "$x" "$y" "$z" "$yaw")
  elif [ $((index % 2)) = 0 ]; then
    hfps=$(run_halvex "$name" "$level" "$x" "$y" "$z" "$yaw")
    peer=$(run_peer "$name" "$level" "$x" "$y" "$z" "$yaw")
  else
    peer=$(run_peer "$name" "$level" "$x" "$y" "$z" "$yaw")
    hfps=$(run_halvex "$name" "$level" "$x" "$y" "$z" "$yaw")
  fi
  index=$((index + 1))
  pfps=${peer%%|*}
  pat=${peer#*|}
  hpic=$work/$name-halvex.png
  gpic=$work/$name-peer-grabbed.png
  dpic=$work/$name-peer.png
  for p in "$hpic" "$gpic" "$dpic"; do
    [ -f "$p" ] || convert -size ${width}x${height} xc:black "$p"
  done
  ppic=$gpic
  [ "$look" = displayed ] && ppic=$dpic
  hg=$(grey "$hpic"); pg=$(grey "$gpic"); dg=$(grey "$dpic")
  diff=$(grey_difference "$hpic" "$ppic")
  # the peer's resting eye against the mark (viewpos prints whole units)
  off=$(echo "$pat" | awk -v x=$x -v y=$y -v z=$z '{ printf "%.0f", sqrt(($1-x)^2 + ($2-y)^2 + ($3-z)^2) }')
  judged=$pg
  [ "$look" = displayed ] && judged=$dg
  read -r gp ratio ok_grey ok_diff ok_time < <(awk -v hg=$hg -v pg=$judged -v d=${diff:-999} -v hf=$hfps -v pf=$pfps 'BEGIN {
      gp = pg > 0 ? 100 * (hg - pg) / pg : 0
      ratio = (hf > 0 && pf > 0) ? pf / hf : 0
      printf "%+.0f %.2f %d %d %d\n", gp, ratio, (gp >= -15 && gp <= 15), (d <= 10), (ratio > 0 && ratio <= 1) }')
  printf '%-18s %6.1f %6.1f %6.1f %5s%% %6s %7.2f %7.2f %6s %4s\n' "$name" "$hg" "$pg" "$dg" "$gp" "$diff" "$hfps" "$pfps" "$ratio" "${off:-?}"
  side_by_side "$out/$name.png" "$name: $level, eye $x $y $z, yaw $yaw; mean abs grey difference $diff ($look)" \
    "$hpic" "Halvex: grey $hg, $hfps fps" "$gpic" "OpenArena as grabbed: grey $pg, $pfps fps" \
    "$dpic" "OpenArena as its gamma ramp shows it: grey $dg"
  count=$((count + 1))
  pass_grey=$((pass_grey + ok_grey)); pass_diff=$((pass_diff + ok_diff)); pass_time=$((pass_time + ok_time))
  sum_ratio=$(awk -v s=$sum_ratio -v r=$ratio 'BEGIN { print s + r }')
done
stop_display

echo
echo "Targets over $count views (pictures side by side in $out):"
echo "  mean grey within 15 % of the peer's:        $pass_grey of $count (target: all)"
echo "  mean abs grey difference at most 10 of 255:  $pass_diff of $count (target: $((count - count / 6)), as 10 of 12)"
echo "  frame time at most the peer's:              $pass_time of $count (target: all); mean ratio" \
  "$(awk -v s=$sum_ratio -v n=$count 'BEGIN { printf "%.2f", n ? s / n : 0 }')"
