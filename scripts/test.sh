#!/usr/bin/env bash
# Builds and runs every test: a g++ build with warnings as errors, then a clang
# build under AddressSanitizer + UndefinedBehaviorSanitizer that also runs the
# fuzz targets for a short while, and the Debian package's checks
# (tests/package/package_test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
fuzz_seconds=${ORLIX_FUZZ_SECONDS:-10}

echo "== g++ build =="
# The g++ build also makes the package's manual pages and icons, so that the
# package test packages this build instead of building everything again.
cmake -S . -B build/gcc -G Ninja -DCMAKE_CXX_COMPILER=g++ -DORLIX_WERROR=ON -DORLIX_PACKAGE=ON >/dev/null
cmake --build build/gcc -j "$jobs"

echo "== clang build with ASan + UBSan =="
cmake -S . -B build/asan -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
      -DORLIX_WERROR=ON -DORLIX_SANITIZE=ON -DORLIX_FUZZ=ON -DORLIX_BENCH=OFF >/dev/null
cmake --build build/asan -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== fuzz targets (${fuzz_seconds}s each) =="
for f in build/asan/fuzz/fuzz_*; do
  [ -f "$f" ] && [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus=$(mktemp -d)
  cp -r fuzz/corpus/"${name#fuzz_}"/. "$corpus"/ 2>/dev/null || true
  "$f" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" 2>&1 | tail -n 2
  rm -rf "$corpus"
done

echo "== tests under ASan + UBSan =="
ctest --test-dir build/asan --output-on-failure -j "$jobs" --timeout 300

echo "== Debian package: built, checked, installed into a fresh root and run =="
ORLIX_PACKAGE_BUILD_DIR=build/gcc bash tests/package/package_test.sh

echo "== tests (g++ build) =="
ctest --test-dir build/gcc --output-on-failure -j "$jobs" --timeout 300
