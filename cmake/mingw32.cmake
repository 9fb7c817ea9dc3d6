# Cross toolchain: 32-bit Windows (the product) through MinGW-w64 with the
# posix thread model, so std::thread and std::mutex exist.
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
