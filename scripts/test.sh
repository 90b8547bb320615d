#!/usr/bin/env bash
# Builds everything and runs every test: the C++ tests (plain, then under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the concurrency test under
# ThreadSanitizer) and the Python tests.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake -S . -B build/tests -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTOREL_BUILD_TESTS=ON -DVANTOREL_BUILD_PYTHON=OFF
cmake --build build/tests -j "$jobs"
ctest --test-dir build/tests --output-on-failure -j "$jobs"

cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOREL_BUILD_TESTS=ON \
      -DVANTOREL_BUILD_PYTHON=OFF -DVANTOREL_SANITIZE=ON
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

# Concurrent queries on one pipeline and during store-bridge rebuilds, under ThreadSanitizer.
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOREL_BUILD_TESTS=ON \
      -DVANTOREL_BUILD_PYTHON=OFF -DVANTOREL_THREAD_SANITIZE=ON
cmake --build build/tsan -j "$jobs" --target test_embed test_vectordb
TSAN_OPTIONS="suppressions=$PWD/tests/cpp/tsan.supp halt_on_error=1" \
  build/tsan/tests/cpp/test_embed --gtest_filter='PipelineQuery.Concurrent*'
TSAN_OPTIONS="suppressions=$PWD/tests/cpp/tsan.supp halt_on_error=1" \
  build/tsan/tests/cpp/test_vectordb --gtest_filter='StoreBridge.QueriesDuringRebuilds*'

python3 -m pip install -q .
python3 -m pytest -q tests/python
