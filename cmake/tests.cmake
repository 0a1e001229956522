# The unit suite: GoogleTest from the sources Debian ships (googletest), so the same tests
# build natively and with the mingw-w64 cross compiler.
enable_testing()

set(ARMLINK_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "googletest sources")
if(NOT EXISTS "${ARMLINK_GTEST_SOURCE}/CMakeLists.txt")
  message(FATAL_ERROR "googletest sources not found at ${ARMLINK_GTEST_SOURCE}: install the googletest package")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${ARMLINK_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Tests of the portable core run on every platform; tests/posix and tests/win32 hold the
# tests of one platform's seams.
file(GLOB ARMLINK_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/test_*.cpp)
file(GLOB ARMLINK_SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
if(WIN32)
  file(GLOB ARMLINK_PLATFORM_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win32/test_*.cpp)
  # The Windows tests drive the dialog procedures over the real templates.
  set(ARMLINK_PLATFORM_LIB armlink_win32_ui armlink_resources)
else()
  file(GLOB ARMLINK_PLATFORM_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/posix/test_*.cpp)
  set(ARMLINK_PLATFORM_LIB armlink_posix)
endif()

add_executable(armlink_tests ${ARMLINK_TEST_SOURCES} ${ARMLINK_SUPPORT_SOURCES}
  ${ARMLINK_PLATFORM_TESTS})
target_link_libraries(armlink_tests PRIVATE armlink_decode_lib armsim_model ${ARMLINK_PLATFORM_LIB}
  gtest gtest_main)
target_include_directories(armlink_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)

if(CMAKE_CROSSCOMPILING)
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(FATAL_ERROR "The cross-built unit suite runs under an emulator (Wine), and none was "
      "found: install wine, or configure with -DARMLINK_TESTS=OFF to build the programs only.")
  endif()
  # Each start of the emulator (Wine) costs a second or more: the whole suite is one test, run
  # through CMAKE_CROSSCOMPILING_EMULATOR.
  add_test(NAME armlink_tests COMMAND armlink_tests)
  set_tests_properties(armlink_tests PROPERTIES TIMEOUT 300 ENVIRONMENT "WINEDEBUG=-all")
else()
  include(GoogleTest)
  gtest_discover_tests(armlink_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
endif()
