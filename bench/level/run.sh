#!/usr/bin/env bash
# Builds an optimised tree (no sanitizers) and runs the level benchmark under
# Xvfb against the OpenArena levels.
set -eu
src=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$src/build-bench-level}
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DHALVEX_SANITIZE=OFF -DHALVEX_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_level
maps=$build/testdata/openarena
if [ ! -d "$maps/maps" ]; then
  cmake -DPK3=/usr/share/games/openarena/baseoa/pak1-maps.pk3 -DOUT="$maps" \
        -P "$src/tests/support/extract_maps.cmake"
fi
cd "$build"
"$src/tests/support/with-xvfb.sh" "$build/bench/level/bench_level" "$maps/maps" /usr/share/games/openarena/baseoa
