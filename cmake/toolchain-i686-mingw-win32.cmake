# Cross build of the programs for the media, 32-bit Windows: the win32 thread
# model, whose runtime carries no winpthread and no emulated thread-local
# storage. The programs use no std::thread or std::mutex; the tests need the
# posix model and are built with toolchain-i686-mingw.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-i686-mingw.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
