# Instruction-set variants of the kernels: files named *_sse41.cpp, *_avx2.cpp,
# *_avx512.cpp and *_avx512vbmi.cpp (AVX-512 with VBMI, called from an AVX-512
# kernel that checks for it), each compiled with the flags of its level.  They are built
# for x86 targets only (by the target processor, so cross builds choose right)
# and not at all with ZAR_PLAIN_KERNELS; the kernel tables then hold the plain
# kernels alone (ZAR_X86_VARIANTS tells them which).
set(ZAR_VARIANT_LEVELS sse41 avx2 avx512 avx512vbmi)
if(MSVC)
  set(ZAR_FLAGS_sse41 "")
  set(ZAR_FLAGS_avx2 /arch:AVX2)
  set(ZAR_FLAGS_avx512 /arch:AVX512)
  set(ZAR_FLAGS_avx512vbmi /arch:AVX512)
else()
  set(ZAR_FLAGS_sse41 -msse4.1)
  set(ZAR_FLAGS_avx2 -mavx2)
  set(ZAR_FLAGS_avx512 -mavx512f -mavx512bw -mavx512vl)
  set(ZAR_FLAGS_avx512vbmi -mavx512f -mavx512bw -mavx512vl -mavx512vbmi)
endif()

string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" ZAR_TARGET_PROCESSOR)
if(ZAR_TARGET_PROCESSOR MATCHES "^(x86_64|amd64|x64|i[3-6]86|x86)$" AND NOT ZAR_PLAIN_KERNELS)
  set(ZAR_X86_VARIANTS ON)
else()
  set(ZAR_X86_VARIANTS OFF)
endif()

# Takes the variant files out of ZAR_SOURCES unless they are built; when they
# are, gives each its level's flags.
foreach(level ${ZAR_VARIANT_LEVELS})
  set(files ${ZAR_SOURCES})
  list(FILTER files INCLUDE REGEX "_${level}\\.cpp$")
  if(NOT files)
    continue()
  endif()
  if(ZAR_X86_VARIANTS)
    set_property(SOURCE ${files} APPEND PROPERTY COMPILE_OPTIONS ${ZAR_FLAGS_${level}})
  else()
    list(REMOVE_ITEM ZAR_SOURCES ${files})
  endif()
endforeach()

function(zar_kernel_variants target)
  if(ZAR_X86_VARIANTS)
    target_compile_definitions(${target} PRIVATE ZAR_X86_VARIANTS)
  endif()
endfunction()
