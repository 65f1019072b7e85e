# Runs one example program and compares its output, line by line, with the
# expected text.
#
#   cmake -DPROGRAM=<exe> [-DEMULATOR=<wine>] -DEXPECTED=<file> [-DWORKING_DIRECTORY=<dir>]
#         [-DFRESH=<file to delete first>] -P check_output.cmake
#
# Line ends are compared without their carriage returns (Windows programs
# write CRLF); everything else must match exactly.
if(FRESH)
  file(REMOVE ${FRESH} ${FRESH}-wal ${FRESH}-shm)
endif()
if(NOT WORKING_DIRECTORY)
  get_filename_component(WORKING_DIRECTORY ${PROGRAM} DIRECTORY)
endif()
execute_process(COMMAND ${EMULATOR} ${PROGRAM}
  WORKING_DIRECTORY ${WORKING_DIRECTORY}
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE result TIMEOUT 100)
string(REPLACE "\r" "" output "${output}")
file(READ ${EXPECTED} expected)
message("${output}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} ended with ${result}: ${errors}")
endif()
if(NOT output STREQUAL expected)
  # Point at the first line that differs (texts with ";" are compared whole only).
  string(REPLACE "\n" ";" got_lines "${output}")
  string(REPLACE "\n" ";" want_lines "${expected}")
  list(LENGTH got_lines got_count)
  list(LENGTH want_lines want_count)
  set(i 0)
  while(i LESS got_count OR i LESS want_count)
    set(got "(nothing)")
    set(want "(nothing)")
    if(i LESS got_count)
      list(GET got_lines ${i} got)
    endif()
    if(i LESS want_count)
      list(GET want_lines ${i} want)
    endif()
    math(EXPR i "${i} + 1")
    if(NOT got STREQUAL want)
      message(FATAL_ERROR "line ${i} differs from ${EXPECTED}:\n  expected: ${want}\n  got:      ${got}")
    endif()
  endwhile()
  message(FATAL_ERROR "the output differs from ${EXPECTED}")
endif()
