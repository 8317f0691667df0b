#!/usr/bin/env bash
# Builds every test with AddressSanitizer and UndefinedBehaviorSanitizer and runs them all
# headless, with HOME and XDG folders in a temporary place.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh --test
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DAMBRY_SANITIZE=ON -DAMBRY_BENCH=OFF
cmake --build build/asan
# The Debian package from a release tree, for the package check among the tests
# (AMBRY_NO_PACKAGE=1 leaves it out; the check is then skipped).
[ "${AMBRY_NO_PACKAGE:-}" = 1 ] || scripts/package.sh --no-deps
sandbox=$(mktemp -d)
trap 'rm -rf "$sandbox"' EXIT
mkdir -p "$sandbox"/{config,data,cache,run}
chmod 700 "$sandbox/run"
export HOME="$sandbox" XDG_CONFIG_HOME="$sandbox/config" XDG_DATA_HOME="$sandbox/data"
export XDG_CACHE_HOME="$sandbox/cache" XDG_RUNTIME_DIR="$sandbox/run"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
ctest --test-dir build/asan --output-on-failure -j2 "$@"
# The whole run (no ctest arguments) also fuzzes each target for a bounded time.
if [ $# -eq 0 ]; then
  scripts/fuzz.sh "${AMBRY_FUZZ_SECONDS:-60}"
fi
