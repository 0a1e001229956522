# libFuzzer targets for every parser of outside input (tests/fuzz), built with clang:
#   cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DARMLINK_FUZZ=ON
# scripts/fuzz.sh builds them and runs each for as long as asked.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "ARMLINK_FUZZ needs clang (libFuzzer)")
endif()
file(GLOB ARMLINK_FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
foreach(ARMLINK_FUZZ_SOURCE ${ARMLINK_FUZZ_SOURCES})
  get_filename_component(ARMLINK_FUZZ_NAME ${ARMLINK_FUZZ_SOURCE} NAME_WE)
  add_executable(${ARMLINK_FUZZ_NAME} ${ARMLINK_FUZZ_SOURCE})
  target_link_libraries(${ARMLINK_FUZZ_NAME} PRIVATE armlink_decode_lib armsim_model armlink_posix)
  target_include_directories(${ARMLINK_FUZZ_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_options(${ARMLINK_FUZZ_NAME} PRIVATE -fsanitize=fuzzer)
endforeach()
