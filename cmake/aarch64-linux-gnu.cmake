# Cross-compiling for 64-bit ARM Linux with Debian's aarch64 toolchain; the
# libraries come from the arm64 packages of the same Debian (multiarch).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# Test discovery and ctest run the binaries under user-mode emulation when it is installed.
find_program(VANTOREL_QEMU_AARCH64 qemu-aarch64)
if(VANTOREL_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VANTOREL_QEMU_AARCH64})
endif()
