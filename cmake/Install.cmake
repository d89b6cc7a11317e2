# Installing Zandrel as a desktop application, and its Debian package:
#   cmake --install BUILD [--prefix /usr]      the binary, the menu entry, the icons, the manual
#   cpack -G DEB --config BUILD/CPackConfig.cmake   zandrel_<version>_<arch>.deb
# The desktop entry, the icons and the AppStream metadata share ZANDREL_APP_ID.

# The icons are drawn by the same code as the window's own, at every hicolor size.
set(ZANDREL_ICON_SIZES 16 32 48 64 128 256)
set(ZANDREL_ICON_DIR ${CMAKE_CURRENT_BINARY_DIR}/icons)
add_executable(zandrel_make_icons tools/make_icons.cpp)
target_link_libraries(zandrel_make_icons PRIVATE zandrel_core)
set(ZANDREL_ICON_FILES)
foreach(size ${ZANDREL_ICON_SIZES})
  list(APPEND ZANDREL_ICON_FILES ${ZANDREL_ICON_DIR}/${size}x${size}/apps/zandrel.png)
endforeach()
add_custom_command(OUTPUT ${ZANDREL_ICON_FILES}
  COMMAND zandrel_make_icons ${ZANDREL_ICON_DIR} ${ZANDREL_ICON_SIZES}
  DEPENDS zandrel_make_icons
  COMMENT "Drawing the hicolor icons")
add_custom_target(zandrel_icons ALL DEPENDS ${ZANDREL_ICON_FILES})

set(ZANDREL_RESOURCES ${CMAKE_CURRENT_SOURCE_DIR}/src/app/resources)
foreach(size ${ZANDREL_ICON_SIZES})
  install(FILES ${ZANDREL_ICON_DIR}/${size}x${size}/apps/zandrel.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${ZANDREL_APP_ID}.png)
endforeach()
install(FILES ${ZANDREL_RESOURCES}/${ZANDREL_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${ZANDREL_RESOURCES}/${ZANDREL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ZANDREL_RESOURCES}/${ZANDREL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual pages and the changelog go compressed, without a time stamp or
# file name in the header, so that the package is the same from every build.
set(ZANDREL_PACKAGING ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(ZANDREL_GZIPPED)
function(zandrel_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/gz
    COMMAND sh -c "gzip -9nc < \"$1\" > \"$2\"" gzip ${source} ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${source}" VERBATIM)
  set(ZANDREL_GZIPPED ${ZANDREL_GZIPPED} ${output} PARENT_SCOPE)
endfunction()
set(ZANDREL_GZ ${CMAKE_CURRENT_BINARY_DIR}/gz)
zandrel_gzip(${ZANDREL_PACKAGING}/man/zandrel.1 ${ZANDREL_GZ}/zandrel.1.gz)
zandrel_gzip(${ZANDREL_PACKAGING}/man/nl/zandrel.1 ${ZANDREL_GZ}/zandrel.nl.1.gz)
zandrel_gzip(${ZANDREL_PACKAGING}/debian/changelog ${ZANDREL_GZ}/changelog.gz)
add_custom_target(zandrel_gzipped ALL DEPENDS ${ZANDREL_GZIPPED})
install(FILES ${ZANDREL_GZ}/zandrel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${ZANDREL_GZ}/zandrel.nl.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/nl/man1 RENAME zandrel.1.gz)
install(FILES ${ZANDREL_GZ}/changelog.gz ${ZANDREL_PACKAGING}/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zandrel)

# The Debian package. Its library dependencies are read off the binary by
# dpkg-shlibdeps where dpkg-dev is there, and named by hand where it is not.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zandrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "move camera photos into a dated photo folder")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Zandrel copies every photo of a camera folder into a dated subfolder of a\n\
photo folder, gives a copy a numbered name rather than overwrite a file,\n\
shows each photo as it arrives and can empty the camera once each copy has\n\
been read back and compared. The program speaks Dutch.\n\
.\n\
Zandrel kopieert elke foto uit de map van de camera naar een submap per\n\
maand in de fotomap, geeft een kopie een genummerde naam in plaats van een\n\
bestand te overschrijven, toont elke foto zodra die binnen is en kan de\n\
camera leegmaken zodra elke kopie teruggelezen en vergeleken is.")
set(CPACK_PACKAGE_CONTACT "Zandrel <zandrel@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://zandrel.example.org/)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# xdg-open starts the file manager after a run and the browser from the "?" box;
# the fixed layout is drawn for the Liberation and DejaVu fonts (without them
# labels are cut off), START in DejaVu Sans Bold Oblique (not Bold, slanted);
# Qt's Dutch translation gives the message boxes Ja and Nee.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils, fonts-liberation, fonts-dejavu-core, fonts-dejavu-extra, qt6-translations-l10n")
find_program(ZANDREL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(ZANDREL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  string(REGEX REPLACE "^0\\.([0-9]+).*" "\\1" ZANDREL_EXIV2_SONAME "${EXIV2_VERSION}")
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
    ", libqt6widgets6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6core6 (>= 6.4), libexiv2-${ZANDREL_EXIV2_SONAME}, libxxhash0, libstdc++6, libc6")
endif()
include(CPack)
