# Install rules and the Debian package. Only the program, its desktop entry and its icon are
# installed: no libraries, headers, tests or benchmarks.
include(GNUInstallDirs)

install(TARGETS vellumry RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/vellumry.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/vellumry.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/vellumry-48.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
        RENAME vellumry.png)

# The version comes from project() in the root CMakeLists.txt and nowhere else.
set(CPACK_PACKAGE_NAME vellumry)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vellumry developers")
set(CPACK_PACKAGE_CONTACT "Vellumry developers <vellumry@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive cloth simulation")
set(CPACK_PACKAGE_DESCRIPTION
    "A square cloth of point masses joined by springs hangs from two mount\n\
points and swings under gravity and air drag in an OpenGL window. Drag with\n\
the left mouse button to turn the view, move the mount points apart or\n\
together, or flap the cloth; the right button's menu chooses the control,\n\
drops the cloth again and switches between a shaded surface and a wireframe.")
set(CPACK_STRIP_FILES ON)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # vellumry_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends is worked out by dpkg-shlibdeps (dpkg-dev) from the libraries the program links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# `make package_source`: the tracked sources only.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/" "/build-[^/]*/" "/_[^/]*/")

include(CPack)

if(BUILD_TESTING)
  # Builds the package into a scratch directory, unpacks it and runs the unpacked program under
  # its own Xvfb.
  add_test(NAME package_e2e
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/e2e/package_test.sh
                   ${PROJECT_BINARY_DIR} $<TARGET_FILE:vellumry>)
  set_tests_properties(package_e2e PROPERTIES LABELS "e2e;package" TIMEOUT 300)
endif()
