# The POSIX side: termios, std threads, the INI settings file, the terminal front ends, and the
# simulated arm on a pty.

add_library(armlink_posix STATIC
  platform/posix/serial_device_posix.cpp
  platform/posix/network_port_posix.cpp
  platform/posix/port_map.cpp
  platform/posix/clock_posix.cpp
  platform/posix/threads_posix.cpp
  platform/posix/settings_backend_posix.cpp
  platform/posix/ini_file.cpp
  platform/posix/self_pipe.cpp
  platform/posix/port_scan.cpp
  platform/posix/port_check.cpp
  platform/posix/log_location.cpp
  platform/posix/port_listing.cpp
  platform/posix/file_cut_posix.cpp
  platform/posix/report_file_posix.cpp
)
target_link_libraries(armlink_posix PUBLIC armlink_core)
find_package(Threads REQUIRED)
target_link_libraries(armlink_posix PUBLIC Threads::Threads)
# Network serial servers (rfc2217://, tcp://) are reached through gensio's telnet and RFC 2217
# client; every target that links the POSIX platform links it too.
# Only its two libraries are linked: the shared ones bring what else they need themselves,
# while the -lwrap and -lnsl that Debian's libgensio.pc adds would need their -dev packages.
find_package(PkgConfig REQUIRED)
pkg_check_modules(GENSIO REQUIRED libgensio)
find_library(ARMLINK_GENSIO_LIB gensio HINTS ${GENSIO_LIBRARY_DIRS} REQUIRED)
find_library(ARMLINK_GENSIOOSH_LIB gensioosh HINTS ${GENSIO_LIBRARY_DIRS} REQUIRED)
target_include_directories(armlink_posix PUBLIC ${GENSIO_INCLUDE_DIRS})
target_link_libraries(armlink_posix PUBLIC ${ARMLINK_GENSIO_LIB} ${ARMLINK_GENSIOOSH_LIB})

add_executable(armsim tools/armsim/armsim_main.cpp)
target_link_libraries(armsim PRIVATE armsim_model armlink_posix util)

# The pty smoke test of armsim runs the binary built here.
if(ARMLINK_TESTS)
  set_property(SOURCE ${CMAKE_SOURCE_DIR}/tests/posix/test_armsim_pty.cpp APPEND PROPERTY
    COMPILE_DEFINITIONS "ARMSIM_PATH=\"$<TARGET_FILE:armsim>\"")
endif()

set(CURSES_NEED_NCURSES TRUE)
find_package(Curses REQUIRED)
# The terminal faces of the dialogs over their one model, with the loop that hosts them; the unit
# suite links them too.
add_library(armlink_faces STATIC
  platform/posix/dialog_model.cpp
  platform/posix/terminal_host.cpp
  platform/posix/dialog_queue.cpp
  platform/posix/frontend_plain.cpp
  platform/posix/curses_screen.cpp
  platform/posix/frontend_log_curses.cpp
  platform/posix/frontend_extended_curses.cpp
  platform/posix/frontend_stats_curses.cpp
)
target_include_directories(armlink_faces PUBLIC ${CURSES_INCLUDE_DIRS})
target_link_libraries(armlink_faces PUBLIC armlink_posix ${CURSES_LIBRARIES})

add_executable(armlink platform/posix/main_posix.cpp)
target_compile_definitions(armlink PRIVATE ARMLINK_VERSION="${PROJECT_VERSION}")
target_link_libraries(armlink PRIVATE armlink_faces)

# End-to-end runs of armlink against armsim on ptys, in real time (label e2e).
if(ARMLINK_TESTS)
  enable_testing()
  # Every script of tests/e2e but the shared library is one run.
  file(GLOB ARMLINK_E2E_SCRIPTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.sh)
  list(FILTER ARMLINK_E2E_SCRIPTS EXCLUDE REGEX "/lib\\.sh$")
  foreach(ARMLINK_E2E_SCRIPT ${ARMLINK_E2E_SCRIPTS})
    get_filename_component(ARMLINK_E2E ${ARMLINK_E2E_SCRIPT} NAME_WE)
    add_test(NAME e2e.${ARMLINK_E2E}
      COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/${ARMLINK_E2E}.sh
        $<TARGET_FILE:armlink> $<TARGET_FILE:armsim>)
    set_tests_properties(e2e.${ARMLINK_E2E} PROPERTIES LABELS e2e TIMEOUT 120)
  endforeach()
endif()
