#!/usr/bin/env bash
# Builds everything and runs every test: the C++ tests in a release build and
# under AddressSanitizer/UndefinedBehaviorSanitizer, the Python tests, the
# tests of plomet.spark and plomet.dask on the real engines (installed with
# pip into build/engines), then each fuzz target for a minute.
#
# Parts can be left out: PLOMET_SKIP_SANITIZER=1 (the clang build and its C++
# test run), PLOMET_SKIP_PYTHON=1 (the Python tests), PLOMET_SKIP_PACKAGING=1
# (the slow Python tests of the wheel and of a fresh clone),
# PLOMET_SKIP_TSAN=1 (the thread sanitizer build and its run of the tests
# that start threads), PLOMET_SKIP_FUZZ=1 (the fuzz targets). Without the
# package index the engines' tests are reported as skipped, with the reason.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/ensure-packages.sh"
export PYTHON=${PYTHON:-/usr/bin/python3}

echo "== release build (warnings as errors)"
"$root/scripts/build.sh" "$root/build/release" -DPLOMET_WERROR=ON -DPLOMET_BUILD_BENCH=ON
echo "== C++ tests"
"$root/build/release/plomet_tests" --gtest_brief=1

# One clang build serves the sanitizer run of the C++ tests and the fuzz
# targets (scripts/fuzz.sh configures the same tree).
if [[ "${PLOMET_SKIP_SANITIZER:-}" != 1 ]]; then
  echo "== sanitizer build (clang, with the fuzz targets)"
  CC=clang CXX=clang++ "$root/scripts/build.sh" "$root/build/fuzz" -DPLOMET_WERROR=ON -DPLOMET_SANITIZE=ON \
    -DPLOMET_BUILD_FUZZERS=ON -DPLOMET_BUILD_MODULE=OFF -DPLOMET_BUILD_CLI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
  echo "== C++ tests under ASan/UBSan"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$root/build/fuzz/plomet_tests" --gtest_brief=1
fi

if [[ "${PLOMET_SKIP_PYTHON:-}" != 1 ]]; then
  echo "== Python tests"
  PLOMET_BUILD_DIR="$root/build/release" PYTHONPATH="$root/build/release/python" \
    "$PYTHON" -m pytest -q "$root/tests/python"
  echo "== Spark (local[2]) and Dask (LocalCluster) tests"
  "$root/scripts/ensure-packages.sh" --engines "$root/build/engines"
  PLOMET_BUILD_DIR="$root/build/release" PYTHONPATH="$root/build/release/python" \
    "$root/build/engines/bin/python" -m pytest -q -rs "$root/tests/engines"
fi

# The folds that run on several threads, under ThreadSanitizer: the C++
# tests that fold, merge and interrupt on threads, and the command's --jobs
# tests run on its build of the command (its memory bound is not: the
# sanitizer's shadow memory counts too).
if [[ "${PLOMET_SKIP_TSAN:-}" != 1 ]]; then
  echo "== thread sanitizer build (clang): threads folding, merging, interrupted, and --jobs"
  CC=clang CXX=clang++ "$root/scripts/build.sh" "$root/build/tsan" -DPLOMET_WERROR=ON -DPLOMET_THREAD_SANITIZER=ON \
    -DPLOMET_BUILD_MODULE=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
  export TSAN_OPTIONS=halt_on_error=1
  "$root/build/tsan/plomet_tests" --gtest_brief=1
  if [[ "${PLOMET_SKIP_PYTHON:-}" != 1 ]]; then
    PLOMET_BUILD_DIR="$root/build/tsan" PYTHONPATH="$root/build/release/python" \
      "$PYTHON" -m pytest -q "$root/tests/python/test_cli_jobs.py" -k "not memory"
  fi
  unset TSAN_OPTIONS
fi

# Each fuzz target for a minute: a smoke run that keeps them building and
# finding nothing on the seeds and what a minute adds. PLOMET_SKIP_FUZZ=1 skips it.
if [[ "${PLOMET_SKIP_FUZZ:-}" != 1 ]]; then
  echo "== fuzz targets, 60 s each"
  "$root/scripts/fuzz.sh" "${PLOMET_FUZZ_SECONDS:-60}"
fi
