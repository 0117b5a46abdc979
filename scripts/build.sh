#!/usr/bin/env bash
# Configures and builds the project into ./build (BUILD_DIR and BUILD_TYPE override).
set -euo pipefail
cd "$(dirname "$0")/.."
"./scripts/install-deps.sh"
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" ${CMAKE_EXTRA_ARGS:-} >/dev/null
cmake --build "$build_dir"
