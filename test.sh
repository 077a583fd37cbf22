#!/usr/bin/env bash
# Sets up, builds and runs every test. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQUIN_TESTS=ON -DVELQUIN_WERROR=ON
cmake --build build -j "$(nproc)"
cd build
command -v parallel >/dev/null || echo "GNU Parallel is not installed: the Parallel recipe test (ParallelRecipe) is skipped."
ctest --output-on-failure -j "$(nproc)" --timeout 600
