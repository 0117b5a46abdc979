#!/usr/bin/env bash
# Kills `dailybalance close` and `cancel` at many random moments of a large run
# and checks that each kill leaves the whole closing or none of it.
#   scripts/crash_test.sh [SEEDS [BILLS]]     (default 500 seeds, 3000 bills)
# SEEDS kills of the closing and two thirds as many of the cancellation; a
# third of them are real SIGKILLs after a random delay, the others end the
# process at a random statement (DAILYBALANCE_FAULT=exit:k).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
export DAILYBALANCE_CRASH_SEEDS=${1:-500}
export DAILYBALANCE_CRASH_BILLS=${2:-3000}
exec "${BUILD_DIR:-build}/tests/reliability_tests" --gtest_filter='CrashTest.*'
