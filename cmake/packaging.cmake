# Install rules and the Debian package. Installed: the program, its desktop entry, icons,
# AppStream metadata and manual page, the example scenes, and the package's copyright file and
# changelog; no libraries, headers, tests or benchmarks.
include(GNUInstallDirs)

# The version comes from project() in the root CMakeLists.txt and nowhere else; this is the date
# it was released, for the manual page and the AppStream metadata.
set(VELLUMRY_RELEASE_DATE 2026-12-08)
# The project has no domain or mail host of its own: example.org is the domain reserved for
# examples, so the address cannot be mistaken for a working one, and the AppStream identifier
# (org.example.vellumry) sits under the same domain.
set(VELLUMRY_MAINTAINER "Vellumry developers <vellumry@example.org>")
set(VELLUMRY_APPSTREAM_ID org.example.vellumry)

# The copyright notice and the licence text for the Debian copyright file come from LICENSE: the
# licence text starts at "Permission"; in the file every line is indented by one space and a
# blank line is written " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license_text)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" _ "${license_text}")
set(VELLUMRY_COPYRIGHT "${CMAKE_MATCH_1}")
string(FIND "${license_text}" "Permission" license_start)
string(SUBSTRING "${license_text}" ${license_start} -1 license_text)
string(STRIP "${license_text}" license_text)
string(REPLACE "\n\n" "\n.\n" license_text "${license_text}")
string(REPLACE "\n" "\n " VELLUMRY_LICENSE_DEP5 " ${license_text}")

set(vellumry_generated ${PROJECT_BINARY_DIR}/data)
configure_file(${PROJECT_SOURCE_DIR}/data/vellumry.1.in ${vellumry_generated}/vellumry.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/data/debian/changelog.in ${vellumry_generated}/changelog @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/data/debian/copyright.in ${vellumry_generated}/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/data/${VELLUMRY_APPSTREAM_ID}.metainfo.xml.in
               ${vellumry_generated}/${VELLUMRY_APPSTREAM_ID}.metainfo.xml @ONLY)

# Debian wants the manual page and the changelog compressed, with no file name or time stamp in
# the gzip header so the package's bytes do not depend on when it was built.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(vellumry_compressed)
foreach(name vellumry.1 changelog)
  add_custom_command(OUTPUT ${vellumry_generated}/${name}.gz
                     COMMAND ${GZIP_PROGRAM} -9nkf ${name}
                     DEPENDS ${vellumry_generated}/${name}
                     WORKING_DIRECTORY ${vellumry_generated}
                     COMMENT "Compressing ${name}"
                     VERBATIM)
  list(APPEND vellumry_compressed ${vellumry_generated}/${name}.gz)
endforeach()
add_custom_target(vellumry_compressed_docs ALL DEPENDS ${vellumry_compressed})

install(TARGETS vellumry RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/vellumry.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/vellumry.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/vellumry-48.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
        RENAME vellumry.png)
install(FILES ${vellumry_generated}/${VELLUMRY_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${vellumry_generated}/vellumry.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
file(GLOB vellumry_scenes CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/scenes/*.toml)
install(FILES ${vellumry_scenes} DESTINATION ${CMAKE_INSTALL_DATADIR}/vellumry/scenes)
# The meshes and pictures the scenes name, beside them as in the source tree (../meshes/...).
install(FILES ${PROJECT_SOURCE_DIR}/data/meshes/table.obj
        DESTINATION ${CMAKE_INSTALL_DATADIR}/vellumry/meshes)
install(FILES ${PROJECT_SOURCE_DIR}/data/textures/flag.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/vellumry/textures)
install(FILES ${vellumry_generated}/copyright ${vellumry_generated}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vellumry)

set(CPACK_PACKAGE_NAME vellumry)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vellumry developers")
set(CPACK_PACKAGE_CONTACT "${VELLUMRY_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive cloth simulation")
set(CPACK_PACKAGE_DESCRIPTION
    "A square cloth of point masses joined by springs hangs from two mount\n\
points and swings under gravity and air drag in an OpenGL window. Drag with\n\
the left mouse button to turn the view, move the mount points apart or\n\
together, or flap the cloth; the right button's menu chooses the control,\n\
drops the cloth again and switches between a shaded surface and a wireframe.")
set(CPACK_STRIP_FILES ON)
# Directories and control files get Debian's modes whatever the umask of whoever builds it.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # vellumry_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Depends is worked out by dpkg-shlibdeps (dpkg-dev) from the libraries the program links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# `make package_source`: the tracked sources only.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/" "/build-[^/]*/" "/_[^/]*/")

include(CPack)

if(BUILD_TESTING)
  # Builds the package into a scratch directory, has lintian judge it, unpacks it, checks every
  # file it installs and runs the unpacked program under its own Xvfb, with the frame probe
  # telling when it has drawn.
  add_test(NAME package_e2e
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/e2e/package_test.sh ${PROJECT_BINARY_DIR}
                   $<TARGET_FILE:vellumry> $<TARGET_FILE:vellumry_frame_probe>)
  set_tests_properties(package_e2e PROPERTIES LABELS "e2e;package" TIMEOUT 300)
endif()
