# Checks of the tree itself, run as tests of the native suite: the rooms' include rule
# (cmake/check_rooms.cmake) and the checked-in .clang-format (cmake/check_format.cmake).

add_test(NAME check.rooms
  COMMAND ${CMAKE_COMMAND} -DARMLINK_SOURCE_DIR=${PROJECT_SOURCE_DIR}
          -P ${PROJECT_SOURCE_DIR}/cmake/check_rooms.cmake)
set_tests_properties(check.rooms PROPERTIES LABELS check)

# The format check needs clang-format 14 (other versions lay the same code out differently) and
# git (it checks the tracked files). Without them the configure stops and says so, unless the
# check is switched off.
option(ARMLINK_FORMAT_CHECK "Check every tracked .cpp and .h against .clang-format" ON)
if(ARMLINK_FORMAT_CHECK)
  find_program(ARMLINK_CLANG_FORMAT NAMES clang-format-14 clang-format)
  set(szVersion "")
  if(ARMLINK_CLANG_FORMAT)
    execute_process(COMMAND ${ARMLINK_CLANG_FORMAT} --version OUTPUT_VARIABLE szVersion
      ERROR_QUIET)
  endif()
  if(NOT szVersion MATCHES "clang-format version 14\\.")
    message(FATAL_ERROR "The format check needs clang-format 14 (found: "
      "${ARMLINK_CLANG_FORMAT} ${szVersion}). Install it (Debian: clang-format-14), or "
      "configure with -DARMLINK_FORMAT_CHECK=OFF.")
  endif()
  find_package(Git)
  if(NOT GIT_FOUND OR NOT EXISTS ${PROJECT_SOURCE_DIR}/.git)
    message(FATAL_ERROR "The format check reads the tracked files from git: it needs git and "
      "a git checkout. Configure with -DARMLINK_FORMAT_CHECK=OFF outside one.")
  endif()
  add_test(NAME check.format
    COMMAND ${CMAKE_COMMAND} -DARMLINK_SOURCE_DIR=${PROJECT_SOURCE_DIR}
            -DARMLINK_CLANG_FORMAT=${ARMLINK_CLANG_FORMAT} -DARMLINK_GIT=${GIT_EXECUTABLE}
            -P ${PROJECT_SOURCE_DIR}/cmake/check_format.cmake)
  set_tests_properties(check.format PROPERTIES LABELS check)
endif()
