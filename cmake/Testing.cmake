# vidudo_add_test(NAME n SOURCES ... [LIBS ...] [GUI] [WINDOWS_ONLY] [TIMEOUT s] [NO_GTEST_MAIN])
# One test executable, one CTest entry. In the cross build it runs under Wine through
# scripts/wine-test.sh with this build's private prefix; GUI tests get an X display.
enable_testing()
set(VIDUDO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
if(WIN32)
  set(VIDUDO_TEST_SUFFIX "")
else()
  set(VIDUDO_TEST_SUFFIX -native)
endif()

function(vidudo_add_test)
  cmake_parse_arguments(T "GUI;WINDOWS_ONLY;NO_GTEST_MAIN" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(T_WINDOWS_ONLY AND NOT WIN32)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 180)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  if(T_NO_GTEST_MAIN)
    target_link_libraries(${T_NAME} PRIVATE vidudo_options ${T_LIBS} gmock gtest)
  else()
    target_link_libraries(${T_NAME} PRIVATE vidudo_options ${T_LIBS} gmock gtest_main)
  endif()
  if(WIN32)
    set(gui_flag)
    if(T_GUI)
      set(gui_flag --gui)
    endif()
    add_test(NAME ${T_NAME}
      COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-test.sh ${gui_flag} --timeout ${T_TIMEOUT} $<TARGET_FILE:${T_NAME}>
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${T_NAME} PROPERTIES
      ENVIRONMENT "WINEPREFIX=${VIDUDO_WINEPREFIX};VIDUDO_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
      TIMEOUT ${T_TIMEOUT})
    if(T_GUI)
      # One display serves the whole run: GUI tests take turns, so no test's windows, focus
      # or mouse get in another's way.
      set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK vidudo_display)
    endif()
  else()
    add_test(NAME ${T_NAME}-native COMMAND ${T_NAME} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${T_NAME}-native PROPERTIES
      ENVIRONMENT "VIDUDO_SOURCE_DIR=${CMAKE_SOURCE_DIR};ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1"
      TIMEOUT ${T_TIMEOUT})
  endif()
endfunction()
