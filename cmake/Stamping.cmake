# Reporter data of every Windows program: vidudo_stamp_program(target [OPTIONS file]
# [DAMAGE size|cut]); DAMAGE makes test variants whose tail readers must refuse.
#
# The program links a fixed-size, zero-filled "ELDATA" resource; after linking, the host tool
# vidudo_stamp (tools/stamp) fills it with the program's crash-reporter options (the OPTIONS
# file, every default without one) and appends the tail block with its debug data. A program
# without stamped data keeps zeros there, and its reporter stays off.
#
# The cross build builds the host tools as an external project: this source tree configured
# natively (no sanitizers) in <build>/host-tools, only the two tool targets built. Stamping is
# the last step that touches the file: whatever strips or objcopies a program must run before
# it, or the tail is lost.
if(NOT WIN32)
  return()
endif()

include(ExternalProject)
set(VIDUDO_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
set(VIDUDO_STAMP_TOOL ${VIDUDO_HOST_TOOLS_DIR}/tools/stamp/vidudo_stamp)
set(VIDUDO_STORED_DATA_TOOL ${VIDUDO_HOST_TOOLS_DIR}/tools/stamp/vidudo_stored_data)
set(VIDUDO_DEBUG_FILES_TOOL ${VIDUDO_HOST_TOOLS_DIR}/tools/debugfiles/vidudo_debug_files)
ExternalProject_Add(vidudo_host_tools
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${VIDUDO_HOST_TOOLS_DIR}
  CMAKE_GENERATOR Ninja
  CMAKE_ARGS -DVIDUDO_SANITIZE=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target vidudo_stamp vidudo_stored_data vidudo_debug_files
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${VIDUDO_STAMP_TOOL} ${VIDUDO_STORED_DATA_TOOL} ${VIDUDO_DEBUG_FILES_TOOL})

# The placeholder: 32768 zero bytes (StoredResourceSize), as 16-bit words.
set(VIDUDO_STAMP_RC ${CMAKE_BINARY_DIR}/stamp/ELDATA.rc)
string(REPEAT "0, " 16383 words)
file(CONFIGURE OUTPUT ${VIDUDO_STAMP_RC} CONTENT "ELDATA RCDATA\n{\n  ${words}0\n}\n")

# Links the empty resource only: a program built this way carries no reporter data.
function(vidudo_link_stamp_placeholder target)
  target_sources(${target} PRIVATE ${VIDUDO_STAMP_RC})
endfunction()

function(vidudo_stamp_program target)
  cmake_parse_arguments(S "" "OPTIONS;DAMAGE" "" ${ARGN})
  vidudo_link_stamp_placeholder(${target})
  add_dependencies(${target} vidudo_host_tools)
  set(options_args)
  if(S_DAMAGE)
    list(APPEND options_args --damage ${S_DAMAGE})
  endif()
  if(S_OPTIONS)
    get_filename_component(options_file ${S_OPTIONS} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND options_args --options ${options_file})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${options_file})
  endif()
  # A new tool or new options relink the program, and so stamp it again.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${VIDUDO_STAMP_TOOL})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${VIDUDO_STAMP_TOOL} ${options_args} $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
