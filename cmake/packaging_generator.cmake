# Read by cpack once per generator (CPACK_GENERATOR names the one at work).
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_STRIP_FILES ON)
else()
  set(CPACK_STRIP_FILES OFF)
endif()
