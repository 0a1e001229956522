# The build rule of the rooms: includes only point down, and the portable rooms stay portable.
#   cmake -DARMLINK_SOURCE_DIR=<top of the tree> -P cmake/check_rooms.cmake
# Fails, listing every offending line, when
#   - a file of a portable room (common, protocol, settings, serial, workers, shell) includes a
#     header from platform/ or any header outside the C++ standard library, or tests a
#     platform's macro (_WIN32, __linux__, ...) in #if, #ifdef, #ifndef or #elif;
#   - an include points up the room order: common < protocol < settings, serial < workers <
#     shell < platform < tools, tests (resources/ holds the ids header, below every room), or
#     from one platform's folder into the other's.
cmake_minimum_required(VERSION 3.18)

if(NOT ARMLINK_SOURCE_DIR)
  message(FATAL_ERROR "check_rooms: set ARMLINK_SOURCE_DIR to the top of the tree")
endif()

# The rooms each room's files may include from (its own always).
set(ARMLINK_PORTABLE_ROOMS common protocol settings serial workers shell)
set(ARMLINK_DOORS_common resources)
set(ARMLINK_DOORS_protocol common resources)
set(ARMLINK_DOORS_settings common resources)
set(ARMLINK_DOORS_serial protocol common resources)
set(ARMLINK_DOORS_workers serial protocol common resources)
set(ARMLINK_DOORS_shell workers serial settings protocol common resources)
set(ARMLINK_DOORS_platform/posix ${ARMLINK_PORTABLE_ROOMS} resources)
set(ARMLINK_DOORS_platform/win32 ${ARMLINK_PORTABLE_ROOMS} resources)
set(ARMLINK_DOORS_resources "")
set(ARMLINK_CHECKED_ROOMS ${ARMLINK_PORTABLE_ROOMS} platform/posix platform/win32 resources)

# What a portable file may name in angle brackets: the C++17 standard library and the C
# headers it carries.
set(ARMLINK_STANDARD_HEADERS
  algorithm any array atomic bitset cassert cctype cerrno cfenv cfloat charconv chrono
  cinttypes climits clocale cmath codecvt complex condition_variable csetjmp csignal cstdarg
  cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar cwctype deque exception execution
  filesystem forward_list fstream functional future initializer_list iomanip ios iosfwd iostream
  istream iterator limits list locale map memory memory_resource mutex new numeric optional
  ostream queue random ratio regex scoped_allocator set shared_mutex sstream stack stdexcept
  streambuf string string_view system_error thread tuple type_traits typeindex typeinfo
  unordered_map unordered_set utility valarray variant vector
  assert.h ctype.h errno.h fenv.h float.h inttypes.h iso646.h limits.h locale.h math.h
  setjmp.h signal.h stdarg.h stddef.h stdint.h stdio.h stdlib.h string.h time.h uchar.h
  wchar.h wctype.h)

# Macros that only say which platform the compiler builds for.
set(ARMLINK_PLATFORM_MACROS
  "_WIN32|_WIN64|WIN32|_WINDOWS|__WIN32__|__MINGW32__|__MINGW64__|__CYGWIN__|_MSC_VER"
  "|__linux__|__linux|linux|__unix__|__unix|unix|__APPLE__|__MACH__|__FreeBSD__|__NetBSD__"
  "|__OpenBSD__|_POSIX_VERSION|__ANDROID__")
string(JOIN "" ARMLINK_PLATFORM_MACROS ${ARMLINK_PLATFORM_MACROS})

# The room of a path relative to the top of the tree: platform/<name> for the platform folders,
# else its first folder; "" for a file at the top.
function(armlink_room_of szPath szOutVar)
  if(szPath MATCHES "^platform/([^/]+)/")
    set(${szOutVar} "platform/${CMAKE_MATCH_1}" PARENT_SCOPE)
  elseif(szPath MATCHES "^([^/]+)/")
    set(${szOutVar} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    set(${szOutVar} "" PARENT_SCOPE)
  endif()
endfunction()

set(ARMLINK_FINDINGS "")
set(nFiles 0)
foreach(szRoom IN LISTS ARMLINK_CHECKED_ROOMS)
  file(GLOB_RECURSE ARMLINK_ROOM_FILES RELATIVE "${ARMLINK_SOURCE_DIR}"
    "${ARMLINK_SOURCE_DIR}/${szRoom}/*.h" "${ARMLINK_SOURCE_DIR}/${szRoom}/*.hpp"
    "${ARMLINK_SOURCE_DIR}/${szRoom}/*.c" "${ARMLINK_SOURCE_DIR}/${szRoom}/*.cpp")
  list(FIND ARMLINK_PORTABLE_ROOMS "${szRoom}" nPortable)
  foreach(szFile IN LISTS ARMLINK_ROOM_FILES)
    math(EXPR nFiles "${nFiles} + 1")
    get_filename_component(szFileDir "${szFile}" DIRECTORY)
    file(STRINGS "${ARMLINK_SOURCE_DIR}/${szFile}" ARMLINK_LINES
      REGEX "^[ \t]*#[ \t]*(include|if|ifdef|ifndef|elif)([ \t<\"(]|$)")
    foreach(szLine IN LISTS ARMLINK_LINES)
      string(STRIP "${szLine}" szLine)
      if(szLine MATCHES "^#[ \t]*include[ \t]*<([^>]+)>")
        set(szHeader "${CMAKE_MATCH_1}")
        if(nPortable GREATER_EQUAL 0)
          list(FIND ARMLINK_STANDARD_HEADERS "${szHeader}" nStandard)
          if(nStandard LESS 0)
            list(APPEND ARMLINK_FINDINGS
              "${szFile}: ${szLine}: a portable room includes only the C++ standard library")
          endif()
        endif()
      elseif(szLine MATCHES "^#[ \t]*include[ \t]*\"([^\"]+)\"")
        set(szHeader "${CMAKE_MATCH_1}")
        # Named from the top of the tree; a name beside the including file counts as its own.
        if(NOT EXISTS "${ARMLINK_SOURCE_DIR}/${szHeader}"
           AND EXISTS "${ARMLINK_SOURCE_DIR}/${szFileDir}/${szHeader}")
          set(szHeader "${szFileDir}/${szHeader}")
        endif()
        armlink_room_of("${szHeader}" szTarget)
        if(NOT szTarget STREQUAL szRoom)
          list(FIND ARMLINK_DOORS_${szRoom} "${szTarget}" nDoor)
          if(nDoor LESS 0)
            list(APPEND ARMLINK_FINDINGS
              "${szFile}: ${szLine}: ${szRoom}/ may not include from ${szTarget}/")
          endif()
        endif()
      elseif(nPortable GREATER_EQUAL 0 AND szLine MATCHES
             "^#[ \t]*(if|ifdef|ifndef|elif)([^A-Za-z0-9_].*)?[^A-Za-z0-9_](${ARMLINK_PLATFORM_MACROS})([^A-Za-z0-9_]|$)")
        list(APPEND ARMLINK_FINDINGS
          "${szFile}: ${szLine}: a portable room does not ask which platform it is built for")
      endif()
    endforeach()
  endforeach()
endforeach()

list(LENGTH ARMLINK_FINDINGS nFindings)
if(nFindings GREATER 0)
  string(JOIN "\n  " szList ${ARMLINK_FINDINGS})
  message(FATAL_ERROR "check_rooms: ${nFindings} include(s) break the rooms' rule:\n  ${szList}")
endif()
if(nFiles EQUAL 0)
  message(FATAL_ERROR "check_rooms: no source files under ${ARMLINK_SOURCE_DIR}")
endif()
message(STATUS "check_rooms: ${nFiles} files keep the rooms' rule")
