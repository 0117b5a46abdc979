#!/usr/bin/env bash
# Builds the server benchmark in Release and runs it on a throwaway
# PostgreSQL server at its default durability settings (as a shop's server
# runs): init and closings of 10,000 and 100,000 bills (DAILYBALANCE_BENCH_BILLS)
# against a raw libpq baseline that runs the same statements and against the
# embedded engine, and four shops closing at once.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build_dir=${BENCH_BUILD_DIR:-build-release}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-Wno-restrict >/dev/null
cmake --build "$build_dir" --target server_bench dailybalance >/dev/null
pg_dir=$(mktemp -d /tmp/dailybalance-bench-pg-XXXXXX)
trap './scripts/pg-cluster.sh stop "$pg_dir"' EXIT
PG_CLUSTER_DURABLE=1 ./scripts/pg-cluster.sh start "$pg_dir" >/dev/null
export DAILYBALANCE_REGISTRY=$pg_dir/registry.json
"$build_dir/program/dailybalance" register >/dev/null
DAILYBALANCE_BENCH_PG_HOST=$pg_dir "$build_dir/bench/server_bench" "$PWD/$build_dir/program/dailybalance"
