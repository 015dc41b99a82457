# 32-bit x86 Linux with Debian's i686 cross compiler (g++-i686-linux-gnu).  Debian's
# gcc-multilib conflicts with every cross compiler, so the -m32 build uses this one,
# whose default target is i686, and can live beside the aarch64 one.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZAR_CROSS_ROOT /usr/i686-linux-gnu)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_FIND_ROOT_PATH ${ZAR_CROSS_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Run the programs natively when the kernel executes i386 binaries (through the target's
# own loader and libraries), else under qemu-i386.  Either way the libraries come from the
# cross root: under qemu-i386 a child forked by a program that uses the host's libc6-i386
# (2.36-9+deb12u14) spins forever, which hangs every death test.
execute_process(COMMAND ${ZAR_CROSS_ROOT}/lib/ld-linux.so.2 --version
                RESULT_VARIABLE ZAR_I386_NATIVE OUTPUT_QUIET ERROR_QUIET)
if(ZAR_I386_NATIVE EQUAL 0)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${ZAR_CROSS_ROOT}/lib/ld-linux.so.2 --library-path ${ZAR_CROSS_ROOT}/lib)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR
      qemu-i386 -L ${ZAR_CROSS_ROOT} -E LD_LIBRARY_PATH=${ZAR_CROSS_ROOT}/lib)
endif()
