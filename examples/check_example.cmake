# Runs the example host from another working directory (it must find its
# message files by itself) and checks its output line by line.
if(EMULATOR)
  set(command ${EMULATOR} ${PROGRAM})
else()
  set(command ${PROGRAM})
endif()
execute_process(COMMAND ${command}
  WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/..
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE result TIMEOUT 100)
message("${output}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "zelk_example ended with ${result}: ${errors}")
endif()
set(expected
  "English message file: .*Zelk\\.TXT \\(readable: 1\\)"
  "German message file: .*German\\.txt \\(readable: 1\\)"
  "#[0-9]+ [0-9-]+ [0-9:]+ Main +example_host\\.cpp:[0-9]+ FileError 2 Datei nicht gefunden"
  "#[0-9]+ [0-9-]+ [0-9:]+ worker 1 +example_host\\.cpp:[0-9]+ netError 42 Verbindung abgelehnt"
  "#[0-9]+ [0-9-]+ [0-9:]+ worker 2 +example_host\\.cpp:[0-9]+ FileError 5 Zugriff verweigert"
  "#[0-9]+ [0-9-]+ [0-9:]+ worker 2 +example_host\\.cpp:[0-9]+ netError 16 Host unreachable"
  "errors of the work: 2"
  "before rollback: 3 errors, after: 1 error"
  "translated: Verbindung abgelehnt"
  "English: +Connection refused"
  "collected from the workers: 3 errors"
  "example finished: OK")
foreach(line IN LISTS expected)
  if(NOT output MATCHES "${line}")
    message(FATAL_ERROR "missing from the example's output: ${line}")
  endif()
endforeach()
