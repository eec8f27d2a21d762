#!/usr/bin/env bash
# Builds an optimised tree (no sanitizers) with the shipped level and its
# textures, and runs the game benchmark under Xvfb.
set -eu
src=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$src/build-bench-game}
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DHALVEX_SANITIZE=OFF -DHALVEX_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_game halvex_maps halvex_textures
cd "$build"
"$src/tests/support/with-xvfb.sh" "$build/bench/game/bench_game" "$build/game"
