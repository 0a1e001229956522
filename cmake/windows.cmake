# The Windows side: Win32 serial, threads, events, the registry, and the dialog program
# ArmLink.exe. Builds natively with MSVC or MinGW, and cross from Linux with mingw-w64
# (cmake/mingw-w64-x86_64.cmake).
enable_language(RC)

# One .exe with nothing beside it: the C and C++ runtimes (and, with MinGW, winpthread) are
# linked in, for every program of this tree, the test programs included, so that they also run
# on a bare Wine prefix.
if(MINGW)
  string(APPEND CMAKE_EXE_LINKER_FLAGS " -static -static-libgcc -static-libstdc++")
elseif(MSVC)
  set(ARMLINK_MSVC_RUNTIME "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  set(CMAKE_MSVC_RUNTIME_LIBRARY ${ARMLINK_MSVC_RUNTIME})
  set_property(TARGET armlink_core armlink_decode_lib armlink-decode armsim_model
               PROPERTY MSVC_RUNTIME_LIBRARY ${ARMLINK_MSVC_RUNTIME})
  # The standard C calls (fopen, sscanf with widths, localtime) are used as the language gives
  # them, on every platform alike.
  set_property(TARGET armlink_core armlink_decode_lib armlink-decode armsim_model APPEND
               PROPERTY COMPILE_DEFINITIONS _CRT_SECURE_NO_WARNINGS)
  add_compile_definitions(_CRT_SECURE_NO_WARNINGS)
endif()

# The Win32 implementations of the seams.
add_library(armlink_win32 STATIC
  platform/win32/serial_device_win32.cpp
  platform/win32/clock_win32.cpp
  platform/win32/threads_win32.cpp
  platform/win32/settings_backend_win32.cpp
  platform/win32/file_cut_win32.cpp
)
target_link_libraries(armlink_win32 PUBLIC armlink_core advapi32)

# The user-interface side of the program: the host window, the status dialog procedure and the
# dialog surface (kept apart from WinMain so that the Windows tests can drive them).
add_library(armlink_win32_ui STATIC
  platform/win32/host_window.cpp
  platform/win32/status_dlg.cpp
  platform/win32/extended_dlg.cpp
  platform/win32/dialog_surface_win32.cpp
)
target_link_libraries(armlink_win32_ui PUBLIC armlink_win32 user32 gdi32 comdlg32)

# The icon "ARM" is kept as text (resources/arm_icon.txt); make_icon.cmake turns it into a
# resource-script fragment that armlink.rc includes.
set(ARMLINK_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(ARMLINK_ICON_RC ${ARMLINK_GENERATED_DIR}/arm_icon.rc2)
add_custom_command(
  OUTPUT ${ARMLINK_ICON_RC}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ARMLINK_GENERATED_DIR}
  COMMAND ${CMAKE_COMMAND} -DICON_SOURCE=${CMAKE_SOURCE_DIR}/resources/arm_icon.txt
          -DICON_OUTPUT=${ARMLINK_ICON_RC} -P ${CMAKE_SOURCE_DIR}/resources/make_icon.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/arm_icon.txt ${CMAKE_SOURCE_DIR}/resources/make_icon.cmake
  COMMENT "Making the icon ARM from resources/arm_icon.txt"
  VERBATIM)

# The templates, the menu and the icon, as objects linked straight into each program that
# carries them (a static library would leave them out: nothing refers to a resource by symbol).
add_library(armlink_resources OBJECT resources/armlink.rc ${ARMLINK_ICON_RC})
set_source_files_properties(${ARMLINK_ICON_RC} PROPERTIES HEADER_FILE_ONLY ON)
set_source_files_properties(resources/armlink.rc PROPERTIES
  OBJECT_DEPENDS "${ARMLINK_ICON_RC};${CMAKE_SOURCE_DIR}/resources/resource.h")
target_include_directories(armlink_resources PRIVATE ${ARMLINK_GENERATED_DIR}
  ${CMAKE_SOURCE_DIR}/resources)

# ArmLink.exe: a GUI-subsystem program with WinMain.
add_executable(ArmLink WIN32 platform/win32/winmain.cpp)
target_link_libraries(ArmLink PRIVATE armlink_win32_ui armlink_resources)
set_target_properties(ArmLink PROPERTIES OUTPUT_NAME ArmLink)

# The end-to-end runs under Wine read the dialogs' controls with this probe.
if(ARMLINK_TESTS)
  add_executable(dlgprobe tests/wine/dlgprobe.cpp)
  target_link_libraries(dlgprobe PRIVATE user32)
endif()
