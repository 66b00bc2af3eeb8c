# Cross toolchain: Windows through mingw-w64 (posix threads variant) for
# WRENSTALL_TARGET_ARCH, set by mingw-i686.cmake (the shipped program) or
# mingw-x86_64.cmake (the tests' build on machines that cannot run 32-bit
# programs; see scripts/lib/common.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${WRENSTALL_TARGET_ARCH})
set(CMAKE_C_COMPILER ${WRENSTALL_TARGET_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${WRENSTALL_TARGET_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${WRENSTALL_TARGET_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${WRENSTALL_TARGET_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests and build-time probes run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
