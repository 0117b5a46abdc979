#!/usr/bin/env bash
# Installs what is missing, builds, and runs the dailybalance demo against a scratch registry.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
export DAILYBALANCE_REGISTRY=${DAILYBALANCE_REGISTRY:-$PWD/build/demo-registry.json}
exec ./build/program/dailybalance demo --db build/demo.db "$@"
