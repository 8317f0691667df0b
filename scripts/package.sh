#!/usr/bin/env bash
# Builds the Debian package from a release tree: build/release/ambrylog_<version>_<arch>.deb.
# Install it with: apt install ./build/release/ambrylog_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
[ "${1:-}" = "--no-deps" ] || scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DAMBRY_TESTS=OFF -DAMBRY_BENCH=OFF >/dev/null
cmake --build build/release
rm -f build/release/ambrylog_*.deb
(cd build/release && cpack -G DEB >/dev/null)
ls build/release/ambrylog_*.deb
