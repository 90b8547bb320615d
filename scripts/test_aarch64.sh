#!/usr/bin/env bash
# Cross-builds every source (engine, module, benchmarks, C++ tests) for 64-bit
# ARM Linux with the project's flags, warnings as errors, then runs the C++
# tests under user-mode emulation.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/aarch64

# The module needs the target's Python headers only. They are unpacked from
# Debian's arm64 package rather than installed: installing it would move the
# host's Python 3.11 packages to its version.
headers=$PWD/$build/python-headers
if [ ! -f "$headers/usr/include/python3.11/Python.h" ]; then
  rm -rf "$headers"
  mkdir -p "$headers"
  (cd "$headers" && apt-get download -q libpython3.11-dev:arm64 && dpkg-deb -x libpython3.11-dev_*_arm64.deb .)
  # Debian's pyconfig.h only picks the per-architecture one by the compiler's target.
  cp "$headers/usr/include/aarch64-linux-gnu/python3.11/pyconfig.h" "$headers/usr/include/python3.11/pyconfig.h"
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DCMAKE_BUILD_TYPE=Release \
      -DVANTOREL_BUILD_TESTS=ON -DVANTOREL_BUILD_BENCH=ON -DVANTOREL_BUILD_PYTHON=ON \
      -DPython_INCLUDE_DIR="$headers/usr/include/python3.11" -DPython_SOABI=cpython-311-aarch64-linux-gnu
cmake --build "$build" -j "$(nproc)"

# Each test binary is pinned to a CPU of its own: with one CPU the thread pool
# starts no workers that would spin on emulated atomics, and the binaries run
# side by side.
cpus=$(nproc)
pids=()
suites=(test_embed test_vectordb test_index test_core)
for i in "${!suites[@]}"; do
  taskset -c $((i % cpus)) qemu-aarch64 "$build/tests/cpp/${suites[$i]}" --gtest_brief=1 \
    > "$build/${suites[$i]}.log" 2>&1 &
  pids+=($!)
done
failed=0
for i in "${!suites[@]}"; do
  if wait "${pids[$i]}"; then
    echo "${suites[$i]} under qemu-aarch64: $(grep -E '^\[ +(PASSED|SKIPPED) +\]' "$build/${suites[$i]}.log" | tr -s ' ' | tr '\n' ' ')"
  else
    failed=1
    echo "${suites[$i]} failed under qemu-aarch64:"
    cat "$build/${suites[$i]}.log"
  fi
done
exit $failed
