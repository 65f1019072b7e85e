# Packages made by cpack from a build tree (`cpack --config <build>/CPackConfig.cmake`):
#
# - Linux: three Debian packages, split the Debian way, and one .tar.gz of
#   the whole installed tree:
#     libzelkerr1      the shared library (libzelkerr.so.1)
#     libzelkerr-dev   headers, the libzelkerr.so link, CMake package, pkg-config file
#     zelkerr-tools    whatever tools/ installs
# - Windows: one .zip of the whole installed tree per build (win64, win32).
#
# Included at the end of the root CMakeLists.txt, when every install() rule,
# and so every component, is known.

set(CPACK_PACKAGE_NAME zelkerr)
set(CPACK_PACKAGE_VENDOR "ZelkErr developers")
set(ZELK_PACKAGE_CONTACT "ZelkErr developers" CACHE STRING "Maintainer named in the Debian packages")
set(CPACK_PACKAGE_CONTACT "${ZELK_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
# Only the three components, and of them only those that something installs
# into (a build without tools makes no tools package); anything installed
# without a component (third-party code pulled into the build) stays out.
get_cmake_property(zelk_installed_components COMPONENTS)
set(CPACK_COMPONENTS_ALL "")
foreach(component runtime development tools)
  if(component IN_LIST zelk_installed_components)
    list(APPEND CPACK_COMPONENTS_ALL ${component})
  endif()
endforeach()
# The Debian packages hold stripped binaries, as Debian's own do; the
# archives keep the build's debug information.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/packaging_generator.cmake)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # A toolchain file for hosts cross-built against the unpacked archive, in
  # the folder of the CMake package it finds.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
    set(ZELK_TOOLCHAIN_PROCESSOR x86_64)
    set(ZELK_TOOLCHAIN_ARCH x86-64)
    set(ZELK_TOOLCHAIN_RUNTIME "# The package holds no run-time DLLs of the compiler (zelkerr.dll has its
# own linked in): a host links them in too, or ships its compiler's
# libstdc++-6.dll, libgcc_s_seh-1.dll and libwinpthread-1.dll beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT \"-static\")
set(CMAKE_SHARED_LINKER_FLAGS_INIT \"-static\")")
  else()
    set(CPACK_SYSTEM_NAME win32)
    set(ZELK_TOOLCHAIN_PROCESSOR i686)
    set(ZELK_TOOLCHAIN_ARCH i686)
    set(ZELK_TOOLCHAIN_RUNTIME "# 32-bit mingw unwinds with DWARF tables: an exception from zelkerr.dll
# reaches the host only through the run-time DLLs that both share.  So a
# host links them as DLLs (never -static) and ships the package's
# bin/libgcc_s_dw2-1.dll, bin/libstdc++-6.dll and bin/libwinpthread-1.dll
# beside zelkerr.dll.")
  endif()
  set(ZELK_TOOLCHAIN_TRIPLE ${ZELK_TOOLCHAIN_PROCESSOR}-w64-mingw32)
  set(ZELK_TOOLCHAIN_SYSTEM "Windows (${CPACK_SYSTEM_NAME})")
  set(ZELK_TOOLCHAIN_FILE_NAME mingw-w64-${ZELK_TOOLCHAIN_PROCESSOR}.cmake)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/packaging_toolchain.cmake.in
                 ${PROJECT_BINARY_DIR}/${ZELK_TOOLCHAIN_FILE_NAME} @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${ZELK_TOOLCHAIN_FILE_NAME}
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZelkErr COMPONENT development)
else()
  set(CPACK_GENERATOR DEB TGZ)
endif()
# The archives hold everything in one tree under a folder named after the
# package (zelkerr-1.0.0-win64/bin/zelkerr.dll, ...).
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_PACKAGE_FILE_NAME "zelkerr-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME}")
if(NOT WIN32)
  set(CPACK_PACKAGE_FILE_NAME "zelkerr-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}")
endif()

# ---- Debian ----
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # <package>_<version>-<release>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies on system libraries (libc6, libstdc++6, libgcc-s1,
# libsqlite3-0) come from dpkg-shlibdeps, with the versions the binaries need.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Dependencies between the three packages follow the components' DEPENDS
# below, each pinned to this very version.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(zelk_soname_package libzelkerr${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${zelk_soname_package})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# A shlibs file in the package that holds the shared library, so that
# programs packaged against it depend on it (">=": later 1.x serve as well).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libzelkerr-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# The headers need a C++20 compiler, which the package cannot pull in;
# pkg-config is how many hosts find the library.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SUGGESTS "pkg-config | pkgconf, cmake (>= 3.25)")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME zelkerr-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)

include(CPack)

# The descriptions become the Debian packages' long descriptions, a line each.
cpack_add_component(runtime DISPLAY_NAME "Shared library"
  DESCRIPTION "The library that ZelkErr host programs load: error reporting with
message texts, threads, signal sets, semaphores, critical sections, timers,
buffer pipes, byte strings with Windows path operations, registry access.")
cpack_add_component(development DISPLAY_NAME "Development files" DEPENDS runtime
  DESCRIPTION "Headers (they need C++20), the link library, the CMake package
(find_package(ZelkErr)) and the pkg-config file (zelkerr.pc) for building
host programs against ZelkErr.")
cpack_add_component(tools DISPLAY_NAME "Command-line tools"
  DESCRIPTION "Command-line tools for the people who run ZelkErr host programs.")
