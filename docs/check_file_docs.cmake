# Fails when an exported header has no "@file" block.  Doxygen documents the
# free functions, enumerations and macros of a header only when the header
# itself is documented, and says nothing about those of an undocumented one;
# this check closes that gap.
#   cmake -DHEADERS=<dir> -P check_file_docs.cmake
file(GLOB headers "${HEADERS}/*.h")
set(missing "")
foreach(header IN LISTS headers)
  file(STRINGS "${header}" file_blocks REGEX "^/// @file")
  if(NOT file_blocks)
    list(APPEND missing "${header}")
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " text)
  message(FATAL_ERROR "exported headers without a \"/// @file\" block:\n  ${text}")
endif()
