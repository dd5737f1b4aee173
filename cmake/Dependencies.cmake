# Third-party libraries: installed by scripts/setup.sh, never committed.
set(VIDUDO_DEPS ${CMAKE_SOURCE_DIR}/deps/i686)

if(WIN32)
  find_library(ZLIB_STATIC NAMES libz.a z REQUIRED)
  add_library(deps_zlib INTERFACE)
  target_link_libraries(deps_zlib INTERFACE ${ZLIB_STATIC})

  add_library(deps_curl INTERFACE)
  target_include_directories(deps_curl INTERFACE ${VIDUDO_DEPS}/include)
  target_compile_definitions(deps_curl INTERFACE CURL_STATICLIB)
  target_link_libraries(deps_curl INTERFACE ${VIDUDO_DEPS}/lib/libcurl.a ws2_32 iphlpapi advapi32 crypt32 bcrypt)

  add_library(deps_minizip INTERFACE)
  target_include_directories(deps_minizip INTERFACE ${VIDUDO_DEPS}/include)
  # zlib named again after minizip: a static library only resolves what stands before it.
  target_link_libraries(deps_minizip INTERFACE ${VIDUDO_DEPS}/lib/libminizip.a ${ZLIB_STATIC})
else()
  find_package(ZLIB REQUIRED)
  add_library(deps_zlib INTERFACE)
  target_link_libraries(deps_zlib INTERFACE ZLIB::ZLIB)
endif()

# GoogleTest from Debian's source package, built for whichever target this is.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
if(WIN32)
  foreach(t gtest gtest_main gmock gmock_main)
    target_link_options(${t} INTERFACE -static)
  endforeach()
endif()
