#!/usr/bin/env bash
# The one test command: installs what is missing, builds the sanitized test
# build in build-test and runs the whole suite.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh" --tests
cmake -S "$root" -B "$root/build-test" -DHALVEX_SANITIZE=ON
cmake --build "$root/build-test" -j2
ctest --test-dir "$root/build-test" -j2 --output-on-failure
