# Cross toolchain: 64-bit Windows, for running the tests where the machine cannot run 32-bit programs.
set(WRENSTALL_TARGET_ARCH x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/mingw.cmake")
