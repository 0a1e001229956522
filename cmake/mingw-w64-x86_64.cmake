# Toolchain for cross-building ArmLink.exe on Debian with mingw-w64 (the posix-threads flavour,
# for std::thread), 64-bit Windows; built programs run under Wine through CTest.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ARMLINK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ARMLINK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ARMLINK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ARMLINK_MINGW_PREFIX}-windres)
# Headers and libraries come from the target's root only; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${ARMLINK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs (and try_run) run under Wine.
find_program(ARMLINK_WINE NAMES wine wine64)
if(ARMLINK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ARMLINK_WINE})
endif()
