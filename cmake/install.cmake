# What `cmake --install` puts on a Linux system (the Debian packages in
# debian/ split it by product). Paths follow GNUInstallDirs; the gdk-pixbuf
# loader goes to gdk-pixbuf's module folder and the KDE plug-ins to Qt's
# plug-in folder, both under our prefix. The system's triggers refresh the
# MIME database and the loader cache when the files come or go.
include(GNUInstallDirs)

install(TARGETS plotmira_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The library for programs of their own: libplotmira.so.2, its header and
# plotmira.pc (its paths relative to where it lies, so any prefix works).
install(TARGETS plotmira_shared LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/plotmira.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
file(RELATIVE_PATH PLOTMIRA_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(cmake/plotmira.pc.in ${CMAKE_BINARY_DIR}/plotmira.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/plotmira.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
install(FILES hosts/desktop/plotmira.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
if(PLOTMIRA_PIXBUF_LOADER)
  install(TARGETS pixbufloader_plotmira LIBRARY DESTINATION ${PLOTMIRA_PIXBUF_LOADER_DIR})
  # File managers' thumbnails through the loader.
  install(FILES hosts/desktop/plotmira.thumbnailer DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
endif()
if(PLOTMIRA_KDE)
  install(TARGETS plotmira_imageformat LIBRARY DESTINATION ${PLOTMIRA_QT_PLUGIN_DIR}/imageformats)
  install(TARGETS plotmira_thumbnail
    LIBRARY DESTINATION ${PLOTMIRA_QT_PLUGIN_DIR}/kf${PLOTMIRA_QT_MAJOR_VERSION}/thumbcreator)
endif()
configure_file(hosts/cli/plotmira.1.in ${CMAKE_BINARY_DIR}/plotmira.1 @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/plotmira.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
