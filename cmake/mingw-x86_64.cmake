# Cross build of the same sources as 64-bit Windows binaries, which run under
# 64-bit Wine: the stand-in for the Windows tests on machines that cannot
# execute 32-bit programs. The deliverables are the 32-bit build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
