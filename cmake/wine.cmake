# zelk_wine_launcher(<variable> <wine>): sets <variable> to the command the
# tests start Windows programs with under <wine>.
#
# Before a program runs, Wine's loader maps one page at a fixed address.
# With the address space laid out at random it now and then finds that
# address taken, and then the start ends with status 1 and nothing written
# ("failed to map the shared user data: c0000018", hidden by WINEDEBUG=-all).
# On a loaded machine this happens about once in 4,000 starts, and the tests
# of one Windows build start Wine some 300 times.  So the launcher turns
# address-space randomisation off for Wine (setarch -R): 15,500 starts then
# all ran.  Where the system does not allow that (a container may refuse the
# personality call), <variable> is <wine> itself.
function(zelk_wine_launcher variable wine)
  set(launcher ${wine})
  find_program(ZELK_SETARCH setarch)
  if(ZELK_SETARCH)
    execute_process(COMMAND ${ZELK_SETARCH} -R true RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
    if(status EQUAL 0)  # setarch may change the personality here
      get_filename_component(name ${wine} NAME)
      set(launcher ${CMAKE_BINARY_DIR}/${name}-fixed-layout)
      file(CONFIGURE OUTPUT ${launcher} CONTENT "#!/bin/sh\nexec '${ZELK_SETARCH}' -R '${wine}' \"$@\"\n")
      file(CHMOD ${launcher} FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                              WORLD_READ WORLD_EXECUTE)
    endif()
  endif()
  set(${variable} ${launcher} PARENT_SCOPE)
endfunction()
