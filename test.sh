#!/usr/bin/env bash
# Installs what is missing, checks the floors of src/ (scripts/check_floors.py),
# builds, and runs every test; then the core tests again under AddressSanitizer
# and UndefinedBehaviorSanitizer; then each fuzz target for 20 s (a long run:
# nice -n 10 fuzz/run.sh 600).
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
python3 scripts/check_floors.py
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORMEX_SANITIZE=ON -DVORMEX_QT=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORMEX_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$jobs"
fuzz/run.sh 20
