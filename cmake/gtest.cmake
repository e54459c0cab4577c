# GoogleTest: the installed package where there is one (Debian's libgtest-dev), else
# built here from its sources (Debian's googletest package), as the Windows
# cross-build does: the host's libraries cannot be linked into Windows programs.
set(KORVAN_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources, used when no package is found")

if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest QUIET)
endif()
if(NOT TARGET GTest::gtest)
  if(NOT EXISTS ${KORVAN_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest not found: install it or set KORVAN_GTEST_SOURCE")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${KORVAN_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
