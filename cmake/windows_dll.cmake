# zar.dll and its import library zar.lib.  The DLL exports exactly the functions that
# include/zar.h declares, under their plain names, through a .def file made from the
# header at configure time.  On 32-bit x86 the functions are __stdcall, which the
# compiler decorates as name@<argument bytes>; the .def names them so and --kill-at
# strips the suffix from the exported names, while the import library keeps the
# decorated symbols that callers compiled with zar.h refer to.
file(READ ${PROJECT_SOURCE_DIR}/include/zar.h ZAR_HEADER)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/include/zar.h)
string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/" "" ZAR_HEADER "${ZAR_HEADER}")
string(REGEX REPLACE "\n#[^\n]*" "" ZAR_HEADER "${ZAR_HEADER}")
string(REGEX MATCHALL "ZAR_API[^;]+" ZAR_DECLARATIONS "${ZAR_HEADER}")
set(ZAR_DEF_LINES "LIBRARY zar.dll\nEXPORTS\n")
foreach(declaration IN LISTS ZAR_DECLARATIONS)
  if(NOT declaration MATCHES "ZAR_STDCALL[ \t\r\n]+([A-Za-z0-9_]+)[ \t\r\n]*\\(([^)]*)\\)")
    message(FATAL_ERROR "zar.h: cannot read the declaration ${declaration}")
  endif()
  set(name ${CMAKE_MATCH_1})
  string(STRIP "${CMAKE_MATCH_2}" arguments)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # Every argument type of zar.h (int32_t, float, size_t, pointers) is 4 bytes here.
    set(bytes 0)
    if(NOT arguments STREQUAL "void")
      string(REGEX REPLACE "[^,]" "" commas "${arguments}")
      string(LENGTH "${commas}" bytes)
      math(EXPR bytes "4 * (${bytes} + 1)")
    endif()
    string(APPEND ZAR_DEF_LINES "    ${name}@${bytes}\n")
  else()
    string(APPEND ZAR_DEF_LINES "    ${name}\n")
  endif()
endforeach()
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/zar.def CONTENT "${ZAR_DEF_LINES}" @ONLY)

target_sources(zar PRIVATE ${PROJECT_BINARY_DIR}/zar.def)
set_target_properties(zar PROPERTIES PREFIX "" IMPORT_PREFIX "" IMPORT_SUFFIX ".lib")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(zar PRIVATE -Wl,--kill-at)
  # ld's own import library would name the plain symbols; dlltool's maps each decorated
  # symbol that a caller refers to onto the plain exported name.
  add_custom_command(TARGET zar POST_BUILD
    COMMAND ${CMAKE_DLLTOOL} --def ${PROJECT_BINARY_DIR}/zar.def --dllname zar.dll --kill-at
            --output-lib $<TARGET_LINKER_FILE:zar>
    VERBATIM)
endif()

# The export table against the header, read independently of the list above.
if(ZAR_BUILD_TESTS)
  add_test(NAME dll_exports COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/check_exports.sh
           ${CMAKE_OBJDUMP} $<TARGET_FILE:zar> ${PROJECT_SOURCE_DIR}/include/zar.h)
endif()
