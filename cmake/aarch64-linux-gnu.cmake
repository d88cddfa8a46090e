# Cross-build for 64-bit Arm Linux with Debian's cross compiler (g++-aarch64-linux-gnu),
# the programs and tests run under qemu's user-mode emulator (qemu-user) through
# CMake's cross-compiling emulator:
#   cmake --preset linux-arm64   (or -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(ARM64_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${ARM64_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${ARM64_TRIPLET}-g++)

# Debian installs the target's C and C++ libraries under /usr/aarch64-linux-gnu.
set(ARM64_SYSROOT /usr/${ARM64_TRIPLET})
set(CMAKE_FIND_ROOT_PATH ${ARM64_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest runs the test binary through qemu, GoogleTest's test discovery does too, and
# the test runner puts the same words before every program it starts. -L points the
# emulated dynamic loader at the target's libraries. qemu-user-static names its
# emulator differently; either will do.
find_program(QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_AARCH64} -L ${ARM64_SYSROOT})
