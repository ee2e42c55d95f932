#!/usr/bin/env bash
# Installs what is missing, builds everything (program, tests, benchmarks) and runs every
# test; then builds the tests without widgets under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs them again. Exits non-zero when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
(cd build && ctest --output-on-failure -j"$jobs" --timeout 300)

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRIN_SANITIZE=ON \
  -DKESTRIN_BUILD_APP=OFF -DKESTRIN_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan --target kestrin_tests
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j"$jobs" --timeout 600)
