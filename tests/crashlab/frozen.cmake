# The road's handling without the process heap: frozen module records, threads kept still under the heap and loader locks.
# crashlab_frozen is the crash-test program with the leak tracker's operators, so that a busy
# thread's allocations take the tracker's lock too.
add_executable(crashlab_frozen CrashLabMain.cpp)
target_link_libraries(crashlab_frozen PRIVATE crashlab_modes crashreport_leaks)
vidudo_link_reporter(crashlab_frozen)
vidudo_stamp_program(crashlab_frozen OPTIONS leak_track.options)
vidudo_add_wine_check(NAME crashlab_frozen SCRIPT crashlab_frozen_check.py WINE_TIMEOUT 90 TIMEOUT 300 ARGS --
  $<TARGET_FILE:crashlab_launch> $<TARGET_FILE:crashlab> $<TARGET_FILE:crashlab_frozen>)
