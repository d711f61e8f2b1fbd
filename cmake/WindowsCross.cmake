# What the Windows cross build changes: no Qt window and no benchmarks (Debian has neither Qt
# nor Google Benchmark for mingw), and the header-only libraries taken from the build machine.
foreach(option TESSARY_BUILD_APP TESSARY_BUILD_BENCH TESSARY_SANITIZE TESSARY_FUZZ)
  if(${option})
    message(STATUS "${option} is not available in the Windows build; switched off")
    set(${option} OFF CACHE BOOL "" FORCE)
  endif()
endforeach()

# nlohmann_json is plain headers, but its package points at the build machine's /usr/include,
# whose C library headers must not reach the cross compiler. A package of our own makes the
# one folder visible through a link.
set(TESSARY_HOST_INCLUDE ${CMAKE_BINARY_DIR}/host-include)
file(MAKE_DIRECTORY ${TESSARY_HOST_INCLUDE})
if(NOT EXISTS ${TESSARY_HOST_INCLUDE}/nlohmann)
  if(NOT EXISTS /usr/include/nlohmann/json.hpp)
    message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev")
  endif()
  file(CREATE_LINK /usr/include/nlohmann ${TESSARY_HOST_INCLUDE}/nlohmann SYMBOLIC)
endif()
set(TESSARY_HOST_PACKAGES ${CMAKE_BINARY_DIR}/host-packages)
file(WRITE ${TESSARY_HOST_PACKAGES}/nlohmann_json/nlohmann_jsonConfig.cmake
  "if(NOT TARGET nlohmann_json::nlohmann_json)\n"
  "  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)\n"
  "  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES\n"
  "    INTERFACE_INCLUDE_DIRECTORIES \"${TESSARY_HOST_INCLUDE}\")\n"
  "endif()\n")
file(WRITE ${TESSARY_HOST_PACKAGES}/nlohmann_json/nlohmann_jsonConfigVersion.cmake
  "set(PACKAGE_VERSION 3)\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
set(nlohmann_json_DIR ${TESSARY_HOST_PACKAGES}/nlohmann_json CACHE PATH "" FORCE)
