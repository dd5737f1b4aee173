# The road's handling without the process heap: frozen module records, threads kept still under the heap and loader locks.
# crashlab_frozen is the crash-test program with the leak tracker's operators, so that a busy
# thread's allocations take the tracker's lock too.
add_executable(crashlab_frozen CrashLabMain.cpp)
target_link_libraries(crashlab_frozen PRIVATE crashlab_modes crashreport_leaks)
vidudo_link_reporter(crashlab_frozen)
vidudo_stamp_program(crashlab_frozen OPTIONS leak_track.options)
add_test(NAME crashlab_frozen
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/crashlab_frozen_check.py
    ${CMAKE_SOURCE_DIR}/scripts/wine-test.sh --timeout 90 --
    $<TARGET_FILE:crashlab_launch> $<TARGET_FILE:crashlab> $<TARGET_FILE:crashlab_frozen>)
set_tests_properties(crashlab_frozen PROPERTIES ENVIRONMENT "WINEPREFIX=${VIDUDO_WINEPREFIX}" TIMEOUT 300)
