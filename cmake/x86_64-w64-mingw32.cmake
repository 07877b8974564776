# Cross toolchain for the 64-bit Windows build of the same code. It exists to run
# the Windows tests under Wine on machines that cannot execute 32-bit code (a
# 64-bit-only kernel sandbox): the shipped installer is the 32-bit build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
