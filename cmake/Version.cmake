# The version is the one in project(); programs read it from a generated header.
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in
  ${CMAKE_BINARY_DIR}/generated/tessary/Version.h @ONLY)
add_library(tessary_version INTERFACE)
target_include_directories(tessary_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
