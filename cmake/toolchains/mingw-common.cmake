# What both mingw-w64 toolchains share; the including file sets ZAR_MINGW_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ZAR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZAR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZAR_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${ZAR_MINGW_TRIPLE}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${ZAR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The compiler's own runtime (libgcc, libstdc++, winpthread) goes inside each DLL and
# program, so they need no DLL beyond Windows' own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# Programs run under wine (64-bit, or 32-bit where wine32 is installed), in a wine
# prefix of the build's own.
if(ZAR_MINGW_TRIPLE STREQUAL x86_64-w64-mingw32)
  set(ZAR_WINE /usr/lib/wine/wine64)
else()
  set(ZAR_WINE /usr/lib/wine/wine)
endif()
if(EXISTS ${ZAR_WINE})
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEDEBUG=-all WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix ${ZAR_WINE})
endif()
