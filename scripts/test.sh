#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite, once on the
# embedded database and once (the pg. tests) on a throwaway PostgreSQL server
# started here and removed at the end, also on failure; then builds the
# reliability tests (faults, crashes, fuzzing, hostile input, concurrent
# closings) with AddressSanitizer and UndefinedBehaviorSanitizer and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh

pg_dir=$(mktemp -d /tmp/dailybalance-pg-XXXXXX)
trap './scripts/pg-cluster.sh stop "$pg_dir"' EXIT
./scripts/pg-cluster.sh start "$pg_dir" >/dev/null
export DAILYBALANCE_TEST_PG_HOST=$pg_dir
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"

sanitize_dir=${SANITIZE_BUILD_DIR:-build-sanitize}
# Unoptimised with line tables only: a fifth of the compile time of an
# optimised build, which keeps the whole script within minutes on two cores.
cmake -S . -B "$sanitize_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1" \
  -DDAILYBALANCE_SANITIZE=ON >/dev/null
cmake --build "$sanitize_dir" --target reliability_tests
# Any report fails the run, in the tests and in the dailybalance processes
# they start: UBSan stops at its first finding, and both exit with a code no
# test expects.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:exitcode=86}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1:exitcode=86}
ctest --test-dir "$sanitize_dir" -R '^Reliability\.' --output-on-failure -j "$(nproc)"
