# Settings every target of ours shares.
function(brx_defaults target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:C,CXX>:-Wall -Wextra -Werror>)
  target_compile_definitions(${target} PRIVATE
    _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX STRICT)
  get_target_property(kind ${target} TYPE)
  if(kind STREQUAL "EXECUTABLE" OR kind STREQUAL "SHARED_LIBRARY" OR kind STREQUAL "MODULE_LIBRARY")
    # A clean Windows (or a clean Wine prefix) needs nothing but our files.
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()

# A GoogleTest program run by CTest under Wine. Extra arguments after
# SOURCES go to the executable; LIBS are linked.
function(brx_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;RESOURCES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${ARG_RESOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  brx_defaults(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "BRX_BUILD_DIR=${CMAKE_BINARY_DIR};GTEST_COLOR=no"
    TIMEOUT 600)
endfunction()

# The same test program once more under another system language, limited
# to the tests that filter names.
function(brx_add_gtest_lang name lang filter)
  add_test(NAME ${name}_${lang} COMMAND ${name} --gtest_filter=${filter})
  set_tests_properties(${name}_${lang} PROPERTIES
    ENVIRONMENT "BRX_BUILD_DIR=${CMAKE_BINARY_DIR};GTEST_COLOR=no;BRX_LANG=${lang}.UTF-8;BRX_EXPECT_LANG=${lang}"
    TIMEOUT 600)
endfunction()
