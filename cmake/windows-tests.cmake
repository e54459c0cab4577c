# The list of test programs that a Windows build runs (tools/test-windows reads it):
# every executable that links GoogleTest, with the environment variables of its target
# property KORVAN_WINDOWS_TEST_ENVIRONMENT ("NAME=value" words), and every test program
# a folder leaves out on Windows with its reason, from korvan_windows_excluded().
function(korvan_windows_excluded name reason)
  if(WIN32)
    set_property(GLOBAL APPEND PROPERTY KORVAN_WINDOWS_EXCLUDED "skip\t${name}\t${reason}\n")
  endif()
endfunction()

function(_korvan_collect_test_programs dir out)
  set(found "")
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    get_target_property(libs ${t} LINK_LIBRARIES)
    if(type STREQUAL "EXECUTABLE" AND libs MATCHES "GTest::")
      get_target_property(env ${t} KORVAN_WINDOWS_TEST_ENVIRONMENT)
      if(NOT env)
        set(env "")
      endif()
      string(APPEND found "run\t${t}\t$<TARGET_FILE:${t}>\t${env}\n")
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _korvan_collect_test_programs(${sub} sub_found)
    string(APPEND found "${sub_found}")
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

function(_korvan_write_windows_tests)
  _korvan_collect_test_programs(${CMAKE_SOURCE_DIR} runs)
  get_property(skips GLOBAL PROPERTY KORVAN_WINDOWS_EXCLUDED)
  string(REPLACE ";" "" skips "${skips}")
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/windows-tests.txt CONTENT "${runs}${skips}")
endfunction()

if(WIN32)
  # Test discovery would run each program at build time; under Wine it waits for the run.
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _korvan_write_windows_tests)
endif()
