#!/usr/bin/env bash
# Compiles large Nexuiz level sources of Debian's nexuiz-data with halvex-mapc
# (Release, the real shader scripts) and flies the same path through our
# level and the reference level of the same source in the game's renderer
# under Xvfb; prints faces and leaves drawn per frame, clusters seen and
# frame times, ours beside the reference (see FlyCompare.cpp).
#   bench/mapc/fly_levels.sh [build folder] [LEVEL...]   (default: starship accident)
# FLY_PICTURES=1 also saves the first view at each eye of both compiles
# (BUILD/benchdata/fly/NAME-ours-eyeN.png, NAME-ref-eyeN.png).
# A reference built larger than its source (bloodprison: 1.2) is matched:
# ours is compiled as large, so both are flown through the same places.
set -eu
src=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$src/build-bench}
shift || true
levels=("$@")
[ ${#levels[@]} -gt 0 ] || levels=(starship accident)
game=/usr/share/games/nexuiz/data
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DHALVEX_SANITIZE=OFF -DHALVEX_TESTS=OFF >/dev/null
build=$(cd "$build" && pwd)
cmake --build "$build" -j2 --target halvex-mapc bench_fly_compare bench_mapc_compare
data=$build/benchdata/nexuiz
cmake -DPK3="$game/data.pk3" -DOUT="$data" "-DPATTERNS=maps/*.map|maps/*.bsp|scripts/*.shader" \
      -P "$src/tests/support/extract_maps.cmake"
out=$build/benchdata/fly
mkdir -p "$out"
for name in "${levels[@]}"; do
  size=$("$build/bench/mapc/bench_mapc_compare" --size "$data/maps" "$out" "$name" | awk '{print $2}')
  size=${size:-1}
  note=""
  [ "$size" = 1 ] || note=" at $size times its source's size"
  echo "== compiling $name$note"
  "$build/tools/mapc/halvex-mapc" -scale "$size" -path "$data" -path "$game" "$data/maps/$name.map" "$out/$name.bsp" \
    2>"$out/$name.log" | tr '\r' '\n' | tail -1
done
cd "$out"
pictures=()
[ "${FLY_PICTURES:-0}" = 1 ] && pictures=(--pictures)
"$src/tests/support/with-xvfb.sh" "$build/bench/mapc/bench_fly_compare" "${pictures[@]}" "$game" "$out" "${levels[@]}"
