# Installing Zandrel as a desktop application, and its Debian package:
#   cmake --install BUILD [--prefix /usr]      the binary, the menu entry, the icons
#   cpack -G DEB --config BUILD/CPackConfig.cmake   zandrel_<version>_<arch>.deb

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

foreach(size ${ZANDREL_ICON_SIZES})
  install(FILES ${ZANDREL_ICON_DIR}/${size}x${size}/apps/zandrel.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES src/app/resources/zandrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The Debian package. Its library dependencies are read off the binary by
# dpkg-shlibdeps where dpkg-dev is there, and named by hand where it is not.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zandrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
  "Zandrel copies every photo of a camera folder into a dated subfolder of a photo\n\
folder, gives a copy a numbered name rather than overwrite a file, shows each\n\
photo as it arrives and can empty the camera once each copy has been verified.")
set(CPACK_PACKAGE_CONTACT "Zandrel <zandrel@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# xdg-open starts the file manager after a run and the browser from the "?" box.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils")
find_program(ZANDREL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(ZANDREL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
    ", libqt6widgets6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6core6 (>= 6.4), libexiv2-27, libxxhash0, libstdc++6, libc6")
endif()
include(CPack)
