# 64-bit Windows with Debian's mingw-w64 cross compiler (posix thread model, for
# std::thread in the tests); programs run under wine64.
set(ZAR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
