# SPDX-License-Identifier: MIT
# What `cmake --install` installs and CPack packs: on Linux a Debian package with
# the tool, its manual page (made by help2man from --help and --version), the
# README, the licence and the examples; on Windows a zip with the .exe at its top.
include(GNUInstallDirs)

# Installing or packing builds the tool (and the manual page), not the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

if(WIN32)
  install(TARGETS helmert7 RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  install(DIRECTORY examples DESTINATION .)
else()
  install(TARGETS helmert7 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(DIRECTORY examples DESTINATION ${CMAKE_INSTALL_DOCDIR})

  find_program(HELP2MAN help2man)
  if(HELP2MAN)
    set(manual_page ${CMAKE_BINARY_DIR}/helmert7.1)
    add_custom_command(
      OUTPUT ${manual_page}
      COMMAND ${HELP2MAN} --no-info --section 1
              --name "estimate and apply a seven-parameter Helmert transformation"
              --output ${manual_page} $<TARGET_FILE:helmert7>
      DEPENDS helmert7
      COMMENT "Writing the manual page from --help and --version")
    add_custom_target(manpage ALL DEPENDS ${manual_page})
    install(FILES ${manual_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    message(STATUS "help2man not found: no manual page")
  endif()
endif()

set(CPACK_PACKAGE_NAME helmert7)
set(CPACK_PACKAGE_VENDOR "the helmert7 developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Seven-parameter (Helmert) transformation between 3-D Cartesian systems by least squares")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_SOURCE_DIR}/dist)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME helmert7-${PROJECT_VERSION}-windows-x86_64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "helmert7 developers <helmert7@localhost>")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34)")  # libstdc++ and libgcc are linked in
endif()
include(CPack)
