#!/usr/bin/env bash
# Builds the closing benchmarks in Release and runs them: every operation of
# the component on generated databases against a raw-SQLite baseline that
# writes the same rows, at 1,000, 10,000 and 100,000 bills of ten lines, then
# a table of times and ratios, the growth per tenfold, the peak memory of each
# operation and the goals.  Arguments go to the benchmark (e.g.
# --benchmark_filter=UnBalData); CLOSING_BENCH_MAX_BILLS=10000 leaves the
# largest size out, CLOSING_BENCH_DIR keeps the generated databases.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build_dir=${BENCH_BUILD_DIR:-build-release}
# GCC 12 at -O3 reports overlaps that cannot happen in std::string concatenation.
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-Wno-restrict >/dev/null
cmake --build "$build_dir" --target closing_bench >/dev/null
exec "$build_dir/bench/closing_bench" "$@"
