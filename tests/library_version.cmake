# The shared library states its release where the system looks: the DLL in
# its version resource (what Explorer and GetFileVersionInfo show), the ELF
# library in its SONAME, which carries the major number alone.
#
#   cmake -DLIBRARY=<file> -DVERSION=<x.y.z> [-DREADELF=<readelf>] -P library_version.cmake
string(REGEX MATCH "^[0-9]+" major "${VERSION}")
if(LIBRARY MATCHES "\\.dll$")
  # Resource strings are UTF-16: a key and its value come out one after the other.
  file(STRINGS ${LIBRARY} strings ENCODING UTF-16LE)
  foreach(key FileVersion ProductVersion)
    list(FIND strings ${key} at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${LIBRARY} has no ${key} in a version resource")
    endif()
    math(EXPR at "${at} + 1")
    list(GET strings ${at} value)
    if(NOT value STREQUAL VERSION)
      message(FATAL_ERROR "${LIBRARY}: ${key} is \"${value}\", not ${VERSION}")
    endif()
  endforeach()
else()
  execute_process(COMMAND ${READELF} -d ${LIBRARY} OUTPUT_VARIABLE dynamic RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR NOT dynamic MATCHES "\\(SONAME\\)[^\n]*\\[([^]\n]*)\\]")
    message(FATAL_ERROR "${LIBRARY} has no SONAME")
  endif()
  if(NOT CMAKE_MATCH_1 STREQUAL "libzelkerr.so.${major}")
    message(FATAL_ERROR "${LIBRARY}: SONAME ${CMAKE_MATCH_1}, not libzelkerr.so.${major}")
  endif()
endif()
