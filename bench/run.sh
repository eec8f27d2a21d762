#!/usr/bin/env bash
# Runs every benchmark from one optimised build (no sanitizers). Each prints its
# figures beside a baseline measured in the same run.
#   bench/run.sh [build folder]
# The side-by-side run against the OpenArena engine is separate (slow, and it
# installs that engine): bench/peer/run.sh.
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build-bench}
"$src/scripts/setup.sh" --tests
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DHALVEX_SANITIZE=OFF -DHALVEX_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_tga bench_level bench_content bench_motion bench_curves bench_mapc bench_game halvex_maps halvex_textures
maps=$build/testdata/openarena
cmake -DPK3=/usr/share/games/openarena/baseoa/pak1-maps.pk3 -DOUT="$maps" \
      -P "$src/tests/support/extract_maps.cmake"
xvfb="$src/tests/support/with-xvfb.sh"
cd "$build"
echo "== TGA decoding";            "$build/bench/resources/bench_tga"
echo "== Level loading and frames"; "$xvfb" "$build/bench/level/bench_level" "$maps/maps" /usr/share/games/openarena/baseoa
echo "== Game data archives and curves"; (cd "$build" && "$xvfb" "$build/bench/level/bench_content" /usr/share/games/openarena/baseoa)
echo "== Sphere traces";           "$build/bench/motion/bench_motion" "$maps/maps"
echo "== Curves' collision";       "$build/bench/motion/bench_curves" "$maps/maps"
echo "== Level compiler";          "$build/bench/mapc/bench_mapc"
echo "== Game objects";            "$xvfb" "$build/bench/game/bench_game" "$build/game"
