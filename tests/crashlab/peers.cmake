# Programs and libraries that each carry a reporter: forwarding to the main module and dispatch between peers.
# crashlab_peer.dll carries its own reporter: in crashlab it forwards to the program's, in
# crashlab_plain (no reporter data) it is a server extension that handles its faults itself.
add_library(crashlab_peer SHARED CrashLabPeerDll.cpp)
target_link_libraries(crashlab_peer PRIVATE vidudo_options crashreport_capture crashreport_debugdata)
target_link_options(crashlab_peer PRIVATE -Wl,--kill-at)
set_target_properties(crashlab_peer PROPERTIES PREFIX "")
vidudo_link_reporter(crashlab_peer)
vidudo_stamp_program(crashlab_peer OPTIONS peer.options)

# One fault in three builds of the same name: the same code, the faulting procedure moved whole
# by a procedure before it, and a line more inside it.
set(bugid_programs)
foreach(variant 0 1 2)
  set(BUGID_BEFORE "")
  set(BUGID_INSIDE "")
  if(variant EQUAL 1)
    set(BUGID_BEFORE "\nextern \"C\" CRASHLAB_CALL int BugIdBefore(int x)\n{\n    volatile int y = x * 3;\n    return y + 1;\n}\n")
  elseif(variant EQUAL 2)
    set(BUGID_INSIDE "    bugIdLine = 2;\n")
  endif()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/bugid${variant})
  configure_file(CrashLabBugId.cpp.in ${dir}/CrashLabBugId.cpp @ONLY)
  set(name crashlab_bugid${variant})
  add_executable(${name} ${dir}/CrashLabBugId.cpp)
  target_link_libraries(${name} PRIVATE crashlab_modes)
  set_target_properties(${name} PROPERTIES OUTPUT_NAME crashlab_bugid RUNTIME_OUTPUT_DIRECTORY ${dir})
  vidudo_link_reporter(${name})
  vidudo_stamp_program(${name} OPTIONS crashlab.options)
  list(APPEND bugid_programs $<TARGET_FILE:${name}>)
endforeach()

vidudo_add_wine_check(NAME crashlab_peers SCRIPT crashlab_peers_check.py WINE_TIMEOUT 60 TIMEOUT 300 ARGS --
  $<TARGET_FILE:crashlab> $<TARGET_FILE:crashlab_plain> $<TARGET_FILE:crashlab_launch> $<TARGET_FILE:crashlab_peer>
  ${bugid_programs})
