# The test executables of the Windows cross build. GoogleTest is built from the sources that
# Debian's googletest package installs; cabinets come from the native run's recording; the
# shared cabinets are reached through Wine's drive Z:, which is the build machine's root.
set(TESSARY_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${TESSARY_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${TESSARY_GOOGLETEST_SOURCE}: install googletest")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${TESSARY_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(lib gtest gmock gtest_main)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()

get_filename_component(TESSARY_HOST_CORPUS "${CMAKE_SOURCE_DIR}/../shared/corpus" ABSOLUTE)
set(TESSARY_CORPUS_DIR "Z:${TESSARY_HOST_CORPUS}" CACHE PATH "Shared test cabinets")
set(TESSARY_FIXTURE_DIR "${CMAKE_BINARY_DIR}/fixtures" CACHE PATH
  "Where the native tests record their cabinets (TESSARY_RECORD_FIXTURES) for this build")

# The tool's tests start it through a POSIX shell; the Windows tool is checked from outside by
# tests/windows/compare-with-wine.sh instead.
set(TESSARY_SKIP_AREAS tools)
# What only Windows has: its paths, calls and the system library's ways.
set(TESSARY_EXTRA_AREAS win32 window)

# The tests read file times back with localtime_r, which mingw offers on request.
add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS=200112L)
