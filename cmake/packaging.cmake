# What `cmake --install` puts where, and the packages that CPack makes of it:
# a Debian package on Linux, a zip of a flat folder for Windows.
include(GNUInstallDirs)

# The package's maintainer is whoever builds and hands it out, and says so
# (-DMDX2OBJ_MAINTAINER="Name <address>"); left alone, the project's own
# developers, with no address made up for them.
set(MDX2OBJ_MAINTAINER "mdx2obj developers" CACHE STRING
    "The maintainer named by the Debian package and its changelog")

if(WIN32)
  # A Windows program lives in a folder of its own, its documents beside it.
  install(TARGETS mdx2obj RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME mdx2obj-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  # The manual page names the project's version; Debian keeps manual pages and
  # the changelog compressed, and the license as the package's copyright file.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${PROJECT_SOURCE_DIR}/doc/mdx2obj.1)
  file(READ ${PROJECT_SOURCE_DIR}/doc/mdx2obj.1 man_page)
  string(REPLACE " mdx2obj \"User Commands\"" " \"mdx2obj ${PROJECT_VERSION}\" \"User Commands\""
         man_page "${man_page}")
  set(doc_dir ${PROJECT_BINARY_DIR}/doc)
  file(WRITE ${doc_dir}/mdx2obj.1 "${man_page}")
  file(WRITE ${doc_dir}/changelog
       "mdx2obj (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
       "  * Release ${PROJECT_VERSION}: the command line, packages and a manual page.\n\n"
       " -- ${MDX2OBJ_MAINTAINER}  Mon, 07 Dec 2026 12:00:00 +0000\n")
  foreach(doc mdx2obj.1 changelog)
    execute_process(COMMAND gzip -9n -c INPUT_FILE ${doc_dir}/${doc}
                    OUTPUT_FILE ${doc_dir}/${doc}.gz COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  install(TARGETS mdx2obj RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${doc_dir}/mdx2obj.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${doc_dir}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${MDX2OBJ_MAINTAINER}")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()

set(CPACK_PACKAGE_NAME mdx2obj)
set(CPACK_PACKAGE_VENDOR "mdx2obj developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert the meshes of MDX models into Wavefront OBJ files")
set(CPACK_PACKAGE_DESCRIPTION
    "mdx2obj reads the meshes (geosets) of 3D models in the binary MDX format\n"
    "and writes their vertex positions, normals, texture coordinates and\n"
    "triangles into Wavefront OBJ text files, with one vertex numbering across\n"
    "all meshes and the same number text on every machine.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
include(CPack)
