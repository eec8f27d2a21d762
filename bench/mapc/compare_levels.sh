#!/usr/bin/env bash
# Compiles the Nexuiz level sources of Debian's nexuiz-data with the real
# shader scripts and prints, per level, our figures beside those of the
# level its authors compiled from the same source (see MapcCompare.cpp).
# Columns (ours/ref where two): brushes, faces, leaves, clusters; secs and
# peakMB of our compile; valid: the game reads it; solid% agree: random
# points solid in both or open in both; area ratio: drawn face area, ours
# over the reference's; spawns bad: spawn points in solid; vis-fail: sight
# lines from random points reaching a cluster our rows hide (must be 0);
# vis %: mean share of all clusters seen from a cluster (the target: ours at
# most 1.25 x ref + 3); inside %: the same over the clusters a player can
# be in only (open space our flood from the entities reached; leaves out the
# reference's clusters in the void outside the walls; the target is judged
# on it instead when the reference's outside was left open, as a note under
# the row says); space %: mean share
# of open space seen from a random open point (points open in both levels
# and inside ours; does not hang on how finely space is cut into clusters,
# nor on clusters in the void); flow: our portal
# flow done or cut by its budget; scale: the reference's size over ours;
# light ratio: mean lightmap brightness of the polygons, ours over the reference's;
# portals: our openings between clusters. A row that misses a target names
# the targets it misses.
# A level whose reference was compiled on another block grid than the
# default without its source naming one (aneurysm: 256) is compiled on that
# grid too, as a note under its row says; DEFAULT_GRID=1 compiles every
# level on the default grid. A reference whose compiler recorded its command
# line in the worldspawn is matched in corner dirt: ours is lit with its
# light stage's "-dirtscale" (1 for "-dirty" alone, none without "-dirty").
# A reference larger than its source that recorded no command line was lit
# at its size (one that recorded one scaled after lighting): ours is compiled
# as large (halvex-mapc -scale).
#   bench/mapc/compare_levels.sh [build folder] [all | LEVEL...]
# KINDS=1: also the area per shader and face kind; LIGHT=1: no portal flow
# (quick runs over the light ratio); SHADERS=1: the lightmap brightness of faces
# facing up, facing down, walls and patches, and per shader.
# Without levels: the development set. "all": every source with a level
# (the sources outside the development set are kept for acceptance: do not
# tune to them).
set -eu
src=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$src/build-bench}
shift || true
pk3=/usr/share/games/nexuiz/data/data.pk3
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DHALVEX_SANITIZE=OFF -DHALVEX_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_mapc_compare
data=$build/benchdata/nexuiz
cmake -DPK3="$pk3" -DOUT="$data" "-DPATTERNS=maps/*.map|maps/*.bsp|scripts/*.shader" \
      -P "$src/tests/support/extract_maps.cmake"
levels=("$@")
if [ ${#levels[@]} -eq 0 ]; then
  levels=(accident aggressor aneurysm basement bleach bloodprison darkzone dieselpower downer eggandbacon
          evilspace farewell final_rage racetrack reslimed ruiner runningman silvercity skyway starship
          basementctf bloodprisonctf cyberparcour01 nr_piece-o-cake ons-reborn
          runningman_1on1remix runningmanctf strength warfare)
elif [ "${levels[0]}" = all ]; then
  levels=()
  for m in "$data"/maps/*.map; do
    name=$(basename "$m" .map)
    [ -f "$data/maps/$name.bsp" ] && levels+=("$name")
  done
fi
mkdir -p "$build/benchdata/compiled"
echo "== Level compiler against the reference compiles ($(nproc) cores)"
"$build/bench/mapc/bench_mapc_compare" ${KINDS:+--kinds} ${LIGHT:+--light} ${SHADERS:+--light-shaders} ${DEFAULT_GRID:+--default-grid} "$data/maps" "$build/benchdata/compiled" "${levels[@]}"
