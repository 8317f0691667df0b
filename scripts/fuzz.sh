#!/usr/bin/env bash
# Builds every libFuzzer target (tests/<subsystem>/fuzz_<name>.cpp) with clang and runs each
# for a bounded time on top of its seeds (tests/<subsystem>/corpus/<name>/), then prints what
# each did. A target that crashes leaves its input in build/fuzz/artifacts/; once the fault
# is mended, copy that input into the target's corpus folder so it is tried on every run.
# The import readers (fuzz_import_*) are many small targets over shared code: each gets half
# the time, which keeps the whole run within CI's budget.
# usage: scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DAMBRY_FUZZ=ON -DAMBRY_TESTS=OFF -DAMBRY_BENCH=OFF >/dev/null
sources=(tests/*/fuzz_*.cpp)
targets=()
for src in "${sources[@]}"; do targets+=("$(basename "$src" .cpp)"); done
cmake --build build/fuzz --target "${targets[@]}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
mkdir -p build/fuzz/artifacts
status=0
for src in "${sources[@]}"; do
  name=$(basename "$src" .cpp)
  seeds="$(dirname "$src")/corpus/${name#fuzz_}"
  work=$(mktemp -d) # new inputs found go here, not into the tree
  log="build/fuzz/$name.log"
  budget=$seconds
  case $name in fuzz_import_*) budget=$(( (seconds + 1) / 2 )) ;; esac
  args=(-max_total_time="$budget" -timeout=10 -rss_limit_mb=2048 -max_len=8192
        -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$name-" "$work")
  [ -d "$seeds" ] && args+=("$seeds")
  if "build/fuzz/fuzz/$name" "${args[@]}" >"$log" 2>&1; then result=ok; else result=FAILED; status=1; fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cover=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
  echo "fuzz $name: $result, ${runs:-?} executions in $budget s, ${cover:-cov: ?}"
  [ "$result" = ok ] || tail -60 "$log"
  rm -rf "$work"
done
exit $status
