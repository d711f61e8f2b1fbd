# Manual pages, package documents and the packages themselves: a .deb of everything on Linux
# (cpack -G DEB), a zip of the window and the inspector from the Windows cross build
# (cpack -G ZIP).
include(GNUInstallDirs)

set(TESSARY_HOMEPAGE "https://tessary.org" CACHE STRING "The project's home page")
set(TESSARY_MAINTAINER "Tessary developers <maintainers@tessary.org>" CACHE STRING
  "Name and address of the package's maintainer")
set(TESSARY_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)

set(CPACK_PACKAGE_NAME tessary)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tessary developers")
set(CPACK_PACKAGE_CONTACT ${TESSARY_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for Windows CE setup cabinets")
set(CPACK_PACKAGE_HOMEPAGE_URL ${TESSARY_HOMEPAGE})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME tessary-${PROJECT_VERSION}-win64)
  else()
    set(CPACK_PACKAGE_FILE_NAME tessary-${PROJECT_VERSION}-win32)
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/packaging/README-windows.txt.in
    ${TESSARY_PACKAGE_DIR}/README.txt @ONLY NEWLINE_STYLE WIN32)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/copyright
    ${TESSARY_PACKAGE_DIR}/COPYRIGHT.txt NEWLINE_STYLE WIN32)
  install(FILES ${TESSARY_PACKAGE_DIR}/README.txt ${TESSARY_PACKAGE_DIR}/COPYRIGHT.txt
    DESTINATION .)
else()
  # Debian's tools read manual pages and changelogs compressed with gzip -9n.
  find_program(TESSARY_GZIP gzip REQUIRED)
  set(pages tessary-info)
  if(TESSARY_BUILD_APP)
    list(APPEND pages tessary)
  endif()
  set(compressed)
  foreach(page ${pages})
    configure_file(${CMAKE_SOURCE_DIR}/docs/man/${page}.1.in ${TESSARY_PACKAGE_DIR}/${page}.1 @ONLY)
    list(APPEND compressed ${TESSARY_PACKAGE_DIR}/${page}.1.gz)
    add_custom_command(OUTPUT ${TESSARY_PACKAGE_DIR}/${page}.1.gz
      COMMAND ${TESSARY_GZIP} -9nfk ${page}.1
      DEPENDS ${TESSARY_PACKAGE_DIR}/${page}.1 WORKING_DIRECTORY ${TESSARY_PACKAGE_DIR} VERBATIM)
    install(FILES ${TESSARY_PACKAGE_DIR}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${TESSARY_PACKAGE_DIR}/changelog @ONLY)
  add_custom_command(OUTPUT ${TESSARY_PACKAGE_DIR}/changelog.gz
    COMMAND ${TESSARY_GZIP} -9nfk changelog
    DEPENDS ${TESSARY_PACKAGE_DIR}/changelog WORKING_DIRECTORY ${TESSARY_PACKAGE_DIR} VERBATIM)
  list(APPEND compressed ${TESSARY_PACKAGE_DIR}/changelog.gz)
  add_custom_target(tessary_docs ALL DEPENDS ${compressed})
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${TESSARY_PACKAGE_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessary)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The libraries' packages come from the binaries; the window's font is named by the design.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # CPack puts the summary above this as the synopsis line.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tessary shows what a Windows CE setup cabinet would do on a device: its\n"
    "properties, the files it copies into which device folders, the shortcuts it\n"
    "creates and the registry keys and values it writes. Any file of the setup can\n"
    "be saved to disk. Both descriptor kinds are read, the binary .000 descriptor\n"
    "and _setup.xml.\n"
    "\n"
    "The package holds the Qt viewer tessary and the command-line inspector\n"
    "tessary-info, which prints the same as text or JSON, for one cabinet or many.")
  string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
endif()

# Libraries the programs open at run time rather than link (paths): dpkg-shlibdeps cannot see
# them, so the .deb depends on the packages that hold them by name. Called before include(CPack)
# at the end of the top-level list, once every layer is known.
function(tessary_depend_on_loaded_libraries paths)
  find_program(TESSARY_DPKG_QUERY dpkg-query)
  if(NOT TESSARY_DPKG_QUERY)
    return()
  endif()
  set(depends "${CPACK_DEBIAN_PACKAGE_DEPENDS}")
  foreach(path IN LISTS paths)
    file(REAL_PATH "${path}" real)
    execute_process(COMMAND ${TESSARY_DPKG_QUERY} -S "${real}" OUTPUT_VARIABLE owner
      RESULT_VARIABLE failed ERROR_QUIET)
    if(failed OR NOT owner MATCHES "^([^:]+)")
      message(FATAL_ERROR "no Debian package holds ${real}, which the programs load")
    endif()
    string(APPEND depends ", ${CMAKE_MATCH_1}")
  endforeach()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${depends}" PARENT_SCOPE)
endfunction()
