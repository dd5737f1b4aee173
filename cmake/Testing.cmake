# vidudo_add_test(NAME n SOURCES ... [LIBS ...] [GUI] [WINDOWS_ONLY] [PEERS] [TIMEOUT s] [NO_GTEST_MAIN])
# One test executable, one CTest entry. In the cross build it runs under Wine through
# scripts/wine-test.sh with this build's private prefix; GUI tests get an X display.
# PEERS (cross build only): tests/server/with_peers.py first starts the trading fixture and the
# SOCKS servers on loopback and passes their ports in the environment; Wine gets an X display,
# and ten seconds of the time-out stay for starting and stopping the peers.
enable_testing()
set(VIDUDO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
if(WIN32)
  set(VIDUDO_TEST_SUFFIX "")
else()
  set(VIDUDO_TEST_SUFFIX -native)
endif()

function(vidudo_add_test)
  cmake_parse_arguments(T "GUI;WINDOWS_ONLY;PEERS;NO_GTEST_MAIN" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if((T_WINDOWS_ONLY OR T_PEERS) AND NOT WIN32)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 180)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  if(T_NO_GTEST_MAIN)
    target_link_libraries(${T_NAME} PRIVATE vidudo_options ${T_LIBS} gtest)
  else()
    target_link_libraries(${T_NAME} PRIVATE vidudo_options ${T_LIBS} gtest_main)
  endif()
  if(WIN32)
    set(runner)
    set(gui_flag)
    set(wine_timeout ${T_TIMEOUT})
    if(T_PEERS)
      set(runner python3 ${CMAKE_SOURCE_DIR}/tests/server/with_peers.py)
      set(gui_flag --gui)
      math(EXPR wine_timeout "${T_TIMEOUT} - 10")
    endif()
    if(T_GUI)
      set(gui_flag --gui)
    endif()
    add_test(NAME ${T_NAME}
      COMMAND ${runner} ${CMAKE_SOURCE_DIR}/scripts/wine-test.sh ${gui_flag} --timeout ${wine_timeout}
              $<TARGET_FILE:${T_NAME}>
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${T_NAME} PROPERTIES
      ENVIRONMENT "WINEPREFIX=${VIDUDO_WINEPREFIX};VIDUDO_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
      TIMEOUT ${T_TIMEOUT})
    if(T_GUI)
      # One display for the run: GUI tests take turns, or they steal each other's focus
      # and input and cover each other's windows.
      set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK vidudo_display)
    endif()
  else()
    add_test(NAME ${T_NAME}-native COMMAND ${T_NAME} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${T_NAME}-native PROPERTIES
      ENVIRONMENT "VIDUDO_SOURCE_DIR=${CMAKE_SOURCE_DIR};ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1"
      TIMEOUT ${T_TIMEOUT})
  endif()
endfunction()
