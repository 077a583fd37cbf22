#!/usr/bin/env bash
# Sets up, builds and starts Velquin.
set -euo pipefail
cd "$(dirname "$0")"

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)" --target velquin velquin-convert
exec ./build/velquin "$@"
