#!/usr/bin/env bash
# Builds keld's libFuzzer harnesses (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, a tree of their own in build/fuzz) and runs each
# for SECONDS seconds (default 20) on its corpus in build/fuzz/corpus, which
# grows from run to run. A crash, a sanitizer finding or a write outside the
# arrays a call was given stops the run with the input in build/fuzz/artifacts.
#   bash scripts/fuzz.sh          the smoke run of scripts/test.sh
#   bash scripts/fuzz.sh 3600     an hour per harness
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
jobs=$(nproc)
cmake -S . -B build/fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKELD_BUILD_FUZZ=ON -DKELD_BUILD_TESTS=OFF -DKELD_BUILD_BENCH=OFF -DKELD_BUILD_TOOLS=OFF \
  -DKELD_BUILD_PYTHON=OFF -DKELD_BUILD_FORTRAN=OFF >/dev/null
cmake --build build/fuzz --target keld_fuzz_exports keld_fuzz_arrays keld_fuzz_case -j"$jobs"
mkdir -p build/fuzz/corpus/exports build/fuzz/corpus/arrays build/fuzz/corpus/case build/fuzz/artifacts
cp examples/*.json build/fuzz/corpus/case/
run() {
  local harness=$1 corpus=$2
  shift 2
  echo "-- $harness, $seconds s"
  "build/fuzz/fuzz/$harness" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=build/fuzz/artifacts/ "$@" "build/fuzz/corpus/$corpus" 2>&1 |
    grep -E "^stat::(number_of_executed_units|average_exec_per_sec)|ERROR|SUMMARY|keld fuzz|Test unit written" || true
  test "${PIPESTATUS[0]}" -eq 0
}
run keld_fuzz_exports exports
run keld_fuzz_arrays arrays
run keld_fuzz_case case -dict=fuzz/case.dict
