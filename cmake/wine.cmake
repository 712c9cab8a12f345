# SPDX-License-Identifier: MIT
# Runs the Windows executables of a cross build under Wine: tests and test
# discovery go through build/wine-run, which uses a private, quiet Wine prefix
# inside the build folder.
find_program(HELMERT7_WINE wine)
if(HELMERT7_WINE)
  set(HELMERT7_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/wine-run CONTENT [[#!/bin/sh
export WINEPREFIX="@HELMERT7_WINEPREFIX@" WINEDEBUG=-all
exec "@HELMERT7_WINE@" "$@"
]] @ONLY)
  file(CHMOD ${CMAKE_BINARY_DIR}/wine-run PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
       GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
endif()
