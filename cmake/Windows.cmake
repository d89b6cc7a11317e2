# Zandrel as a Windows program: its icon, version and manifest in the .exe, and a
# folder that runs as it is (the exe beside Qt's DLLs, plugins, Dutch texts, fonts
# and the mingw runtime), packed as a zip and as a per-user NSIS installer:
#   cmake --install BUILD --prefix DIR            the folder
#   cpack -G "ZIP;NSIS" --config BUILD/CPackConfig.cmake

# ---- resources in the exe ----
find_program(ZANDREL_RSVG rsvg-convert REQUIRED)
find_program(ZANDREL_MAGICK convert REQUIRED)
set(ZANDREL_RESOURCES ${CMAKE_CURRENT_SOURCE_DIR}/src/app/resources)
set(ZANDREL_ICO ${CMAKE_CURRENT_BINARY_DIR}/windows/zandrel.ico)
set(ZANDREL_ICON_PNGS)
foreach(size 16 24 32 48 64 128 256)
  set(png ${CMAKE_CURRENT_BINARY_DIR}/windows/icon-${size}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${ZANDREL_RSVG} -w ${size} -h ${size} -o ${png} ${ZANDREL_RESOURCES}/${ZANDREL_APP_ID}.svg
    DEPENDS ${ZANDREL_RESOURCES}/${ZANDREL_APP_ID}.svg VERBATIM)
  list(APPEND ZANDREL_ICON_PNGS ${png})
endforeach()
add_custom_command(OUTPUT ${ZANDREL_ICO}
  COMMAND ${ZANDREL_MAGICK} ${ZANDREL_ICON_PNGS} ${ZANDREL_ICO}
  DEPENDS ${ZANDREL_ICON_PNGS}
  COMMENT "Drawing the icon of the exe" VERBATIM)

set(ZANDREL_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
set(ZANDREL_VERSION_QUAD "${PROJECT_VERSION}.0")
set(ZANDREL_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/windows/zandrel.manifest)
configure_file(${ZANDREL_RESOURCES}/windows/zandrel.manifest ${ZANDREL_MANIFEST} @ONLY)
configure_file(${ZANDREL_RESOURCES}/windows/zandrel.rc.in ${CMAKE_CURRENT_BINARY_DIR}/windows/zandrel.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/windows/zandrel.rc PROPERTIES
  OBJECT_DEPENDS "${ZANDREL_ICO};${ZANDREL_MANIFEST}")
target_sources(zandrel PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/windows/zandrel.rc)

# ---- what runs beside the exe ----
# Qt's plugins are looked up beside the exe; the Dutch texts and the fonts are
# loaded from there by main.cpp.
get_target_property(ZANDREL_QTCORE_DLL Qt6::Core IMPORTED_LOCATION_RELEASE)
if(NOT ZANDREL_QTCORE_DLL)
  get_target_property(ZANDREL_QTCORE_DLL Qt6::Core LOCATION)
endif()
get_filename_component(ZANDREL_QT_BIN ${ZANDREL_QTCORE_DLL} DIRECTORY)
get_filename_component(ZANDREL_QT_PREFIX ${ZANDREL_QT_BIN} DIRECTORY)
set(ZANDREL_QT_PLUGINS ${ZANDREL_QT_PREFIX}/plugins)

# Qt's own Dutch translation is the same file for every system: the host's.
find_file(ZANDREL_QTBASE_NL qtbase_nl.qm PATHS /usr/share/qt6/translations NO_CMAKE_FIND_ROOT_PATH REQUIRED)
# The layout was drawn for these fonts' widths; Windows has none of them.
set(ZANDREL_FONT_FILES)
foreach(font liberation2/LiberationSans-Regular.ttf dejavu/DejaVuSans.ttf dejavu/DejaVuSans-BoldOblique.ttf)
  get_filename_component(name ${font} NAME)
  find_file(ZANDREL_FONT_${name} ${name} PATHS /usr/share/fonts/truetype NO_CMAKE_FIND_ROOT_PATH
    PATH_SUFFIXES liberation2 liberation dejavu REQUIRED)
  list(APPEND ZANDREL_FONT_FILES ${ZANDREL_FONT_${name}})
endforeach()

set(ZANDREL_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "The mingw runtime's ${dll} was not found")
  endif()
  get_filename_component(path ${path} REALPATH)
  list(APPEND ZANDREL_RUNTIME_DLLS ${path})
endforeach()

install(TARGETS zandrel RUNTIME DESTINATION .)
install(FILES ${ZANDREL_QT_BIN}/Qt6Core.dll ${ZANDREL_QT_BIN}/Qt6Gui.dll ${ZANDREL_QT_BIN}/Qt6Widgets.dll
              ${ZANDREL_RUNTIME_DLLS} DESTINATION .)
install(FILES ${ZANDREL_QT_PLUGINS}/platforms/qwindows.dll DESTINATION platforms)
install(FILES ${ZANDREL_QT_PLUGINS}/styles/qwindowsvistastyle.dll DESTINATION styles)
install(FILES ${ZANDREL_QT_PLUGINS}/imageformats/qjpeg.dll ${ZANDREL_QT_PLUGINS}/imageformats/qico.dll
        DESTINATION imageformats)
install(FILES ${ZANDREL_QTBASE_NL} DESTINATION translations)
install(FILES ${ZANDREL_FONT_FILES} DESTINATION fonts)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/copyright DESTINATION . RENAME COPYRIGHT.txt)
# The DLLs come with their symbols (libstdc++ alone is 24 MB with them): strip them as the exe is.
if(CMAKE_STRIP)
  install(CODE "
    file(GLOB_RECURSE dlls \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
    foreach(dll \${dlls})
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${dll}\" COMMAND_ERROR_IS_FATAL ANY)
    endforeach()")
endif()

# The build folder's exe finds its translation and fonts the same way.
add_custom_command(TARGET zandrel POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:zandrel>/translations $<TARGET_FILE_DIR:zandrel>/fonts
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ZANDREL_QTBASE_NL} $<TARGET_FILE_DIR:zandrel>/translations
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ZANDREL_FONT_FILES} $<TARGET_FILE_DIR:zandrel>/fonts
  VERBATIM)

# ---- the zip and the installer ----
set(CPACK_GENERATOR "ZIP;NSIS")
set(CPACK_PACKAGE_NAME Zandrel)
set(CPACK_PACKAGE_VENDOR Zandrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Zandrel-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Zandrel)
set(CPACK_PACKAGE_EXECUTABLES zandrel Zandrel)
set(CPACK_STRIP_FILES ON)
# The zip unpacks to one folder that runs as it stands.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/cmake/WindowsPackage.cmake)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)

# Per user, without administrator rights: under %LOCALAPPDATA%\Programs, with a
# Start-menu entry and an uninstaller that the user's own Apps list shows.
set(CPACK_NSIS_PACKAGE_NAME Zandrel)
set(CPACK_NSIS_DISPLAY_NAME "Zandrel ${PROJECT_VERSION}")
set(CPACK_NSIS_INSTALL_ROOT "$LOCALAPPDATA\\\\Programs")
set(CPACK_NSIS_MUI_ICON ${ZANDREL_ICO})
set(CPACK_NSIS_MUI_UNIICON ${ZANDREL_ICO})
set(CPACK_NSIS_INSTALLED_ICON_NAME zandrel.exe)
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_MUI_FINISHPAGE_RUN zandrel.exe)
set(CPACK_NSIS_URL_INFO_ABOUT "${ZANDREL_DOWNLOAD_PAGE}")
# A 64-bit installer for a 64-bit program: Wine without its 32-bit part runs it too.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
# CPack's own template asks for administrator rights and, for an administrator
# (which Wine's user is), installs for all users: a copy of it installs for the
# current user only, with the uninstall entry under HKEY_CURRENT_USER.
file(READ ${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in ZANDREL_NSIS_TEMPLATE)
function(zandrel_nsis_change from to)
  string(FIND "${ZANDREL_NSIS_TEMPLATE}" "${from}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "CPack's NSIS template no longer has: ${from}")
  endif()
  string(REPLACE "${from}" "${to}" changed "${ZANDREL_NSIS_TEMPLATE}")
  set(ZANDREL_NSIS_TEMPLATE "${changed}" PARENT_SCOPE)
endfunction()
zandrel_nsis_change("RequestExecutionLevel admin" "RequestExecutionLevel user")
zandrel_nsis_change("SetShellVarContext all" "SetShellVarContext current")
zandrel_nsis_change("StrCpy $INSTDIR \"$DOCUMENTS\\" "StrCpy $INSTDIR \"@CPACK_NSIS_INSTALL_ROOT@\\")
zandrel_nsis_change("ReadRegStr $0 HKLM" "ReadRegStr $0 HKCU")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/cpack-nsis/NSIS.template.in "${ZANDREL_NSIS_TEMPLATE}")
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_BINARY_DIR}/cpack-nsis)
set(CPACK_NSIS_EXECUTABLE makensis)
include(CPack)
