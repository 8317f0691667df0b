#!/usr/bin/env bash
# Builds Ambrylog (release) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DAMBRY_TESTS=OFF -DAMBRY_BENCH=OFF
cmake --build build/release --target ambrylog ambrylog-cli
exec build/release/app/exe/ambrylog "$@"
