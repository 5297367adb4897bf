#!/usr/bin/env bash
# Builds everything twice (release, and debug with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test in both. Exits non-zero
# when a build or a test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

./tools/install_deps.sh

jobs=$(nproc)
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"

cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DTESSERAE_SANITIZE=ON -DTESSERAE_BENCH=OFF \
    -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DCMAKE_C_FLAGS_DEBUG="-g -O1"
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/asan --output-on-failure -j"$jobs"

echo "all tests passed"
