# Cross toolchain: 32-bit Windows, the shipped program.
set(WRENSTALL_TARGET_ARCH i686)
include("${CMAKE_CURRENT_LIST_DIR}/mingw.cmake")
