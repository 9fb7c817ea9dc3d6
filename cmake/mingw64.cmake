# Cross toolchain: 64-bit Windows, the same sources as the product. Tests run
# this build where the machine cannot execute 32-bit code.
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
