# The three compression libraries, all linked statically: zlib from Debian's
# mingw package, libjpeg-turbo and lzo2 cross-built by scripts/setup.
set(BRX_DEPS_PREFIX "${CMAKE_SOURCE_DIR}/.deps/${CMAKE_SYSTEM_PROCESSOR}" CACHE PATH "Prefix of the cross-built dependencies")
set(BRX_MINGW_PREFIX "/usr/${BRX_TRIPLE}" CACHE PATH "Prefix of the mingw sysroot")

function(brx_import_static name lib include)
  if(NOT EXISTS "${lib}")
    message(FATAL_ERROR "${lib} is missing: run scripts/setup first")
  endif()
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION "${lib}"
    INTERFACE_INCLUDE_DIRECTORIES "${include}")
endfunction()

brx_import_static(brx::zlib "${BRX_MINGW_PREFIX}/lib/libz.a" "${BRX_MINGW_PREFIX}/include")
brx_import_static(brx::jpeg "${BRX_DEPS_PREFIX}/lib/libjpeg.a" "${BRX_DEPS_PREFIX}/include")
brx_import_static(brx::lzo2 "${BRX_DEPS_PREFIX}/lib/liblzo2.a" "${BRX_DEPS_PREFIX}/include")

# GoogleTest from Debian's source, built with the cross compiler.
if(NOT BRX_TESTS)
  return()
endif()
set(BRX_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory("${BRX_GTEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
