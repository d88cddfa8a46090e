# Cross-build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix),
# the programs and tests run under Wine through CMake's cross-compiling emulator:
#   cmake --preset windows   (or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
# The -posix variant: its libstdc++ has std::thread and the other threading parts
# that GoogleTest uses.
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)
set(CMAKE_AR ${MINGW_TRIPLET}-gcc-ar-posix)
set(CMAKE_RANLIB ${MINGW_TRIPLET}-gcc-ranlib-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every .exe stands alone: the C++ and GCC runtimes and winpthreads are linked in,
# so that each imports only KERNEL32 and msvcrt and runs without MinGW's DLLs beside it.
# The PE header's link time is left at zero, so that two builds of the same sources
# give the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")

# Debian 12 keeps the 64-bit loader off PATH. CTest runs the .exe files through it,
# and so does GoogleTest's test discovery (with the test run's prefix: CMakeLists.txt).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
