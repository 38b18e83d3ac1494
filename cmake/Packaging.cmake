# Installing and the release packages.
#   Windows (win32 preset): Quickferry-<version>-win32.zip, a folder
#   "Quickferry" to unpack into FAR's Plugins folder.
#   Linux (release preset): bin/quickferry, its two libraries in
#   lib/quickferry, the language and help files in share/quickferry; a DEB.
set(CPACK_PACKAGE_NAME Quickferry)
set(CPACK_PACKAGE_VENDOR "Quickferry")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Copy and move plug-in for the FAR file manager")
set(CPACK_STRIP_FILES ON)  # the packages without debugging information

if(WIN32)
  # CRLF, so that every Windows editor shows its lines.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/readme.txt ${PROJECT_BINARY_DIR}/readme.txt @ONLY
                 NEWLINE_STYLE CRLF)
  install(TARGETS quickferry LIBRARY DESTINATION Quickferry RUNTIME DESTINATION Quickferry)
  install(FILES ${QUICKFERRY_LANG_FILES} ${PROJECT_BINARY_DIR}/readme.txt DESTINATION Quickferry)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "Quickferry-${PROJECT_VERSION}-win32")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  # The host finds the plug-in in ../lib/quickferry and the texts in
  # ../share/quickferry; the libraries find each other beside themselves.
  set_target_properties(quickferry_host PROPERTIES INSTALL_RPATH "$ORIGIN/../lib/quickferry")
  set_target_properties(quickferry PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS quickferry_host RUNTIME DESTINATION bin)
  install(TARGETS quickferry quickferry_platform LIBRARY DESTINATION lib/quickferry)
  install(FILES ${QUICKFERRY_LANG_FILES} DESTINATION share/quickferry)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_NAME quickferry)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quickferry developers <quickferry@localhost>")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "copy and move plug-in for FAR, with its Linux terminal host\n quickferry copies and moves files and folders with the Quickferry plug-in:\n its menus and dialogs on a terminal, or answered from the command line.")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${PROJECT_BINARY_DIR}/src/platform")
endif()

include(CPack)
