# vidudo_add_test(NAME n SOURCES ... [LIBS ...] [GUI] [WINDOWS_ONLY] [PEERS] [TIMEOUT s] [NO_GTEST_MAIN])
# One test executable, one CTest entry. In the cross build it runs under Wine through
# scripts/wine-test.sh with this build's private prefix; GUI tests get an X display.
# PEERS (cross build only): tests/server/with_peers.py first starts the trading fixture and the
# SOCKS servers on loopback and passes their ports in the environment; Wine gets an X display,
# and ten seconds of the time-out stay for starting and stopping the peers.
enable_testing()
set(VIDUDO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
# Every Wine test's command starts with the launcher that picks its worker's prefix.
set(VIDUDO_WINE_LAUNCHER ${CMAKE_SOURCE_DIR}/scripts/wine-slot.sh)
# Time limits grow by one factor where Wine's programs run emulated (scripts/test.sh sets it).
if(WIN32)
  file(WRITE ${CMAKE_BINARY_DIR}/native-only.txt "")
endif()
set(VIDUDO_TIME_SCALE "$ENV{VIDUDO_TIME_SCALE}")
if(NOT VIDUDO_TIME_SCALE MATCHES "^[1-9][0-9]*$")
  set(VIDUDO_TIME_SCALE 1)
endif()
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
      COMMAND ${VIDUDO_WINE_LAUNCHER} ${runner} ${CMAKE_SOURCE_DIR}/scripts/wine-test.sh ${gui_flag} --timeout ${wine_timeout}
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
    vidudo_wine_test(${T_NAME})
  else()
    add_test(NAME ${T_NAME}-native COMMAND ${T_NAME} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${T_NAME}-native PROPERTIES
      ENVIRONMENT "VIDUDO_SOURCE_DIR=${CMAKE_SOURCE_DIR};ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1"
      TIMEOUT ${T_TIMEOUT})
  endif()
endfunction()

# vidudo_add_wine_check(NAME n SCRIPT file TIMEOUT s [GUI] [DISPLAY] [WINE_TIMEOUT s] [PYTHON p]
#                       [ENVIRONMENT k=v...] ARGS ...)
# A Python script that runs programs under Wine (cross build): PYTHON (python3) SCRIPT (beside
# this folder's CMakeLists unless absolute) gets scripts/wine-test.sh [--gui] [--timeout
# WINE_TIMEOUT] and then ARGS, in this build's prefix. GUI gives Wine the X display; both GUI
# and DISPLAY (a script that asks for the display itself) take the display's lock.
function(vidudo_add_wine_check)
  cmake_parse_arguments(C "GUI;DISPLAY" "NAME;SCRIPT;PYTHON;TIMEOUT;WINE_TIMEOUT" "ENVIRONMENT;ARGS" ${ARGN})
  if(NOT C_PYTHON)
    set(C_PYTHON python3)
  endif()
  cmake_path(ABSOLUTE_PATH C_SCRIPT BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
  set(runner ${CMAKE_SOURCE_DIR}/scripts/wine-test.sh)
  if(C_GUI)
    list(APPEND runner --gui)
  endif()
  if(C_WINE_TIMEOUT)
    list(APPEND runner --timeout ${C_WINE_TIMEOUT})
  endif()
  add_test(NAME ${C_NAME} COMMAND ${VIDUDO_WINE_LAUNCHER} ${C_PYTHON} ${C_SCRIPT} ${runner} ${C_ARGS}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set(environment WINEPREFIX=${VIDUDO_WINEPREFIX} ${C_ENVIRONMENT})
  set_tests_properties(${C_NAME} PROPERTIES ENVIRONMENT "${environment}" TIMEOUT ${C_TIMEOUT})
  if(C_GUI OR C_DISPLAY)
    set_tests_properties(${C_NAME} PROPERTIES RESOURCE_LOCK vidudo_display)
  endif()
  vidudo_wine_test(${C_NAME})
endfunction()

# vidudo_native_only(TEST reason): a test that can't run where Wine's programs run emulated (the
# emulator lacks what it needs). scripts/test.sh leaves it out there and prints the reason.
function(vidudo_native_only test reason)
  if(WIN32)
    set_property(TEST ${test} APPEND PROPERTY LABELS native_only)
    file(APPEND ${CMAKE_BINARY_DIR}/native-only.txt "${test}: ${reason}\n")
  endif()
endfunction()

# vidudo_wine_test(TEST...): the run's rules for a test of the cross build, called right after its
# properties are set (in its own folder). A test on the shared display is labelled "display" and
# runs one at a time; every other one takes one prefix slot, so that scripts/test.sh can run them
# in parallel. Time-outs grow by the emulation factor.
function(vidudo_wine_test)
  if(NOT WIN32)
    return()
  endif()
  foreach(t ${ARGN})
    get_test_property(${t} TIMEOUT timeout)
    if(timeout)
      math(EXPR timeout "${timeout} * ${VIDUDO_TIME_SCALE}")
      set_tests_properties(${t} PROPERTIES TIMEOUT ${timeout})
    endif()
    get_test_property(${t} RESOURCE_LOCK locks)
    if(locks AND "vidudo_display" IN_LIST locks)
      set_property(TEST ${t} APPEND PROPERTY LABELS display)
    else()
      set_tests_properties(${t} PROPERTIES RESOURCE_GROUPS prefixes:1)
    endif()
  endforeach()
endfunction()
