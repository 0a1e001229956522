# Every tracked .cpp and .h matches the checked-in .clang-format; lists the files that do not.
#   cmake -DARMLINK_SOURCE_DIR=<top> -DARMLINK_CLANG_FORMAT=<clang-format 14> -DARMLINK_GIT=<git>
#         -P cmake/check_format.cmake
# The files are clang-format's to fix: clang-format -i FILE.
cmake_minimum_required(VERSION 3.18)

foreach(szVar ARMLINK_SOURCE_DIR ARMLINK_CLANG_FORMAT ARMLINK_GIT)
  if(NOT ${szVar})
    message(FATAL_ERROR "check_format: set ${szVar}")
  endif()
endforeach()

execute_process(COMMAND "${ARMLINK_GIT}" ls-files -- "*.cpp" "*.h"
  WORKING_DIRECTORY "${ARMLINK_SOURCE_DIR}"
  RESULT_VARIABLE nGitResult OUTPUT_VARIABLE szTracked ERROR_VARIABLE szGitError)
if(NOT nGitResult EQUAL 0)
  message(FATAL_ERROR "check_format: cannot list the tracked files: ${szGitError}")
endif()
string(REGEX REPLACE "\n$" "" szTracked "${szTracked}")
string(REPLACE "\n" ";" ARMLINK_FILES "${szTracked}")
list(LENGTH ARMLINK_FILES nFiles)
if(nFiles EQUAL 0)
  message(FATAL_ERROR "check_format: git lists no .cpp or .h file in ${ARMLINK_SOURCE_DIR}")
endif()

# One run over every file: clang-format names each place that differs as
# "FILE:LINE:COLUMN: error: code should be clang-formatted".
execute_process(COMMAND "${ARMLINK_CLANG_FORMAT}" --style=file --dry-run -Werror ${ARMLINK_FILES}
  WORKING_DIRECTORY "${ARMLINK_SOURCE_DIR}"
  RESULT_VARIABLE nResult OUTPUT_VARIABLE szOut ERROR_VARIABLE szErr)
set(ARMLINK_UNFORMATTED "")
string(REGEX MATCHALL "[^\n]+:[0-9]+:[0-9]+: error: code should be clang-formatted" ARMLINK_PLACES
  "${szErr}")
foreach(szPlace IN LISTS ARMLINK_PLACES)
  string(REGEX REPLACE ":[0-9]+:[0-9]+: error: .*$" "" szFile "${szPlace}")
  list(APPEND ARMLINK_UNFORMATTED "${szFile}")
endforeach()
list(REMOVE_DUPLICATES ARMLINK_UNFORMATTED)

list(LENGTH ARMLINK_UNFORMATTED nUnformatted)
if(nUnformatted GREATER 0)
  string(JOIN "\n  " szList ${ARMLINK_UNFORMATTED})
  message(FATAL_ERROR
    "check_format: ${nUnformatted} of ${nFiles} files do not match .clang-format:\n  ${szList}")
endif()
if(NOT nResult EQUAL 0)
  # A failure that names no file: a missing file, a bad .clang-format, a crash.
  message(FATAL_ERROR "check_format: clang-format failed (${nResult}):\n${szErr}")
endif()
message(STATUS "check_format: ${nFiles} files match .clang-format")
