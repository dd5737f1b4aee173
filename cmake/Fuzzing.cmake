# vidudo_add_fuzz_target(NAME n SOURCES ... [LIBS ...] [CORPUS dir])
# A libFuzzer target for a parser of untrusted bytes (its source defines LLVMFuzzerTestOneInput).
# Fuzz build (VIDUDO_FUZZ, clang): a libFuzzer binary that scripts/test.sh runs for a fixed time.
# Host build: the same source linked with a replay driver, run by CTest over the corpus seeds under
# the sanitizers, so every target keeps compiling and every seed stays clean.
# Windows build: nothing.
if(VIDUDO_FUZZ)
  add_custom_target(vidudo_fuzzers)
  set(VIDUDO_FUZZ_LIST ${CMAKE_BINARY_DIR}/fuzzers.txt)
  file(WRITE ${VIDUDO_FUZZ_LIST} "")
endif()

function(vidudo_add_fuzz_target)
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(WIN32)
    return()
  endif()
  if(F_CORPUS)
    get_filename_component(corpus ${F_CORPUS} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  else()
    set(corpus "")
  endif()
  if(VIDUDO_FUZZ)
    add_executable(${F_NAME} ${F_SOURCES})
    target_link_libraries(${F_NAME} PRIVATE vidudo_options ${F_LIBS})
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
    add_dependencies(vidudo_fuzzers ${F_NAME})
    # One line a target: binary name and seed folder (may be empty).
    file(APPEND ${VIDUDO_FUZZ_LIST} "${F_NAME} ${corpus}\n")
  else()
    add_executable(${F_NAME} ${F_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/FuzzReplay.cpp)
    target_link_libraries(${F_NAME} PRIVATE vidudo_options ${F_LIBS})
    add_test(NAME ${F_NAME}-replay COMMAND ${F_NAME} ${corpus})
    set_tests_properties(${F_NAME}-replay PROPERTIES
      ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1" TIMEOUT 120)
  endif()
endfunction()
