# 32-bit Windows with Debian's mingw-w64 cross compiler.  Its programs run only where a
# 32-bit wine (wine32:i386) is installed.
set(ZAR_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR X86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
