# Flags every target of the project shares, through the interface library vidudo_options.
add_library(vidudo_options INTERFACE)
target_include_directories(vidudo_options INTERFACE ${CMAKE_SOURCE_DIR})
# Sources are UTF-8; text in memory is GBK, so literals are compiled to code page 936.
target_compile_options(vidudo_options INTERFACE
  -g -fno-omit-frame-pointer -finput-charset=UTF-8
  -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)
if(NOT VIDUDO_FUZZ)
  target_compile_options(vidudo_options INTERFACE -fexec-charset=CP936)
endif()

if(WIN32)
  target_compile_definitions(vidudo_options INTERFACE
    _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0800 NOMINMAX STRICT)
  # One self-contained .exe: no libgcc, libstdc++ or winpthread DLLs beside it.
  target_link_options(vidudo_options INTERFACE -static -static-libgcc -static-libstdc++)
  set(VIDUDO_WINDOWS ON)
else()
  set(VIDUDO_WINDOWS OFF)
  if(VIDUDO_FUZZ)
    # Coverage for libFuzzer in every library; the fuzz targets add the fuzzer's main. Clang
    # compiles literals only as UTF-8: the fuzz build looks for memory faults, not for text.
    target_compile_options(vidudo_options INTERFACE
      -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined)
    target_link_options(vidudo_options INTERFACE -fsanitize=address,undefined)
  elseif(VIDUDO_SANITIZE)
    target_compile_options(vidudo_options INTERFACE
      -fsanitize=address,undefined -fno-sanitize-recover=undefined)
    target_link_options(vidudo_options INTERFACE -fsanitize=address,undefined)
  endif()
endif()
