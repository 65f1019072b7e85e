# The shared library states its release where the system looks: the DLL in
# its version resource (what Explorer and GetFileVersionInfo show), the ELF
# library in its SONAME, which carries the major number alone.
#
#   cmake -DLIBRARY=<file> -DVERSION=<x.y.z> [-DREADELF=<readelf>] -P library_version.cmake
string(REGEX MATCH "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$" numbers "${VERSION}")
set(major ${CMAKE_MATCH_1})
set(minor ${CMAKE_MATCH_2})
set(patch ${CMAKE_MATCH_3})

# A 32-bit word as the hexadecimal text of its bytes in little-endian order.
function(little_endian_hex value out)
  math(EXPR value "(${value}) + 4294967296" OUTPUT_FORMAT HEXADECIMAL)  # 0x1xxxxxxxx: eight digits
  string(REGEX REPLACE "^0x1(..)(..)(..)(..)$" "\\4\\3\\2\\1" value "${value}")
  string(TOLOWER "${value}" value)
  set(${out} ${value} PARENT_SCOPE)
endfunction()

if(LIBRARY MATCHES "\\.dll$")
  file(READ ${LIBRARY} dll HEX)
  # VS_FIXEDFILEINFO (signature FEEF04BD): after the structure's version come
  # the file version's words, major << 16 | minor and patch << 16 | 0.
  little_endian_hex("(${major} << 16) | ${minor}" high)
  little_endian_hex("${patch} << 16" low)
  set(expected "${high}${low}")
  if(NOT dll MATCHES "bd04effe........(................)")
    message(FATAL_ERROR "${LIBRARY} has no version resource")
  endif()
  if(NOT CMAKE_MATCH_1 STREQUAL expected)
    message(FATAL_ERROR "${LIBRARY}: file version words ${CMAKE_MATCH_1}, not ${expected} (${VERSION})")
  endif()
  # The texts, in UTF-16: the key, its terminator, padding, the value.
  foreach(key FileVersion ProductVersion)
    foreach(text key VERSION)
      string(HEX "${${text}}" hex)
      string(REGEX REPLACE "(..)" "\\100" ${text}_hex "${hex}")
    endforeach()
    if(NOT dll MATCHES "${key_hex}0000(0000)?${VERSION_hex}0000")
      message(FATAL_ERROR "${LIBRARY}: no ${key} \"${VERSION}\" in its version resource")
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
