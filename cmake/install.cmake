# Installing and packaging: `cmake --install` puts the programs, their manual pages and the
# README in place; `cpack` makes a Debian package on Linux and a zip on Windows.
include(GNUInstallDirs)

if(WIN32)
  install(TARGETS ArmLink armlink-decode RUNTIME DESTINATION .)
  # The short text on use, and the two registry files that turn fast replies on and off.
  install(FILES ${CMAKE_SOURCE_DIR}/docs/windows/README.txt
                ${CMAKE_SOURCE_DIR}/docs/windows/fast-replies-on.reg
                ${CMAKE_SOURCE_DIR}/docs/windows/fast-replies-off.reg
          DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  install(TARGETS armlink armsim armlink-decode RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/docs/man/armlink.1 ${CMAKE_SOURCE_DIR}/docs/man/armsim.1
                ${CMAKE_SOURCE_DIR}/docs/man/armlink-decode.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/armlink)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The dependencies are read from the programs themselves (dpkg-shlibdeps, from dpkg-dev).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

set(CPACK_PACKAGE_NAME armlink)
set(CPACK_PACKAGE_VENDOR "ArmLink")
set(CPACK_PACKAGE_CONTACT "ArmLink developers <armlink@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Error log, live statistics and decoded error reports of the measuring arm")
set(CPACK_PACKAGE_DESCRIPTION
    "armlink finds the portable coordinate-measuring arm on a serial port, negotiates the line\n\
settings, and appends its error log to ErrorLog.zlg, shows its counters live, or decodes its\n\
error records into readable reports. armlink-decode renders logged records offline; armsim\n\
is a simulated arm on a pseudo-terminal.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
include(CPack)
