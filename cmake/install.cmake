# What `cmake --install` puts on a Linux system, and the Debian package that
# CPack makes of it. Paths follow GNUInstallDirs; the gdk-pixbuf loader goes
# to gdk-pixbuf's module folder under our prefix. Debian's own triggers
# refresh the MIME database and the loader cache when the package comes or
# goes, so the package has no maintainer scripts.
include(GNUInstallDirs)
# Two packages from one CPack run: plotmira (everything below without a
# component of its own) and plotmira-kde (Qt and KDE's plug-ins), so that
# GTK desktops do not pull in Qt.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME main)

install(TARGETS plotmira_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The library for programs of their own: libplotmira.so.1, its header and
# plotmira.pc (its paths relative to where it lies, so any prefix works).
install(TARGETS plotmira_shared LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/plotmira.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
configure_file(cmake/plotmira.pc.in ${CMAKE_BINARY_DIR}/plotmira.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/plotmira.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(PLOTMIRA_PIXBUF_LOADER)
  install(TARGETS pixbufloader_plotmira LIBRARY DESTINATION ${PLOTMIRA_PIXBUF_LOADER_DIR})
endif()
if(PLOTMIRA_KDE)
  install(TARGETS plotmira_imageformat LIBRARY DESTINATION ${PLOTMIRA_QT_PLUGIN_DIR}/imageformats COMPONENT kde)
  install(TARGETS plotmira_thumbnail
    LIBRARY DESTINATION ${PLOTMIRA_QT_PLUGIN_DIR}/kf${PLOTMIRA_QT_MAJOR_VERSION}/thumbcreator COMPONENT kde)
endif()
install(FILES hosts/desktop/plotmira.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES hosts/desktop/plotmira.thumbnailer DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
configure_file(hosts/cli/plotmira.1.in ${CMAKE_BINARY_DIR}/plotmira.1 @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/plotmira.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME plotmira)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Plotmira")
set(CPACK_PACKAGE_CONTACT "Plotmira developers <plotmira@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pictures of Jw_cad drawings: library, converter, gdk-pixbuf loader, thumbnails")
set(CPACK_PACKAGE_DESCRIPTION "Plotmira shows drawings (.jww) and figures (.jws) of the Japanese CAD
program Jw_cad. It installs the plotmira converter (PNG and BMP), the
libplotmira library with its C header and pkg-config file, a gdk-pixbuf
loader so that GTK image viewers and file choosers open the drawings, MIME
types and a thumbnailer so that file managers show them.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libplotmira.so.1: a shlibs file, and ldconfig runs when the package comes or goes.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The faces that stand in for the Windows Japanese fonts the drawings name.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, fonts-ipafont-mincho")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info")
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE PLOTMIRA_DEB_ARCH
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT PLOTMIRA_DEB_ARCH)
  set(PLOTMIRA_DEB_ARCH amd64)
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${PLOTMIRA_DEB_ARCH})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL main)
set(CPACK_DEBIAN_MAIN_PACKAGE_NAME plotmira)
set(CPACK_DEBIAN_MAIN_FILE_NAME "plotmira_${PROJECT_VERSION}_${PLOTMIRA_DEB_ARCH}.deb")
set(CPACK_DEBIAN_MAIN_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
if(PLOTMIRA_KDE)
  list(APPEND CPACK_COMPONENTS_ALL kde)
  set(CPACK_DEBIAN_KDE_PACKAGE_NAME plotmira-kde)
  set(CPACK_DEBIAN_KDE_FILE_NAME "plotmira-kde_${PROJECT_VERSION}_${PLOTMIRA_DEB_ARCH}.deb")
  # Its MIME types come with plotmira; Qt and KIO through the libraries' dependencies.
  set(CPACK_DEBIAN_KDE_PACKAGE_DEPENDS "plotmira (= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_KDE_PACKAGE_SECTION kde)
  set(CPACK_DEBIAN_KDE_DESCRIPTION "Jw_cad drawings in Qt programs and Dolphin's thumbnails:
a Qt image-format plug-in, so that Gwenview and every Qt program that reads
images through QImageReader opens Jw_cad drawings (.jww) and figures (.jws),
and a KIO thumbnail plug-in for Dolphin's previews.")
endif()
set(CPACK_STRIP_FILES ON)
include(CPack)
