# Install layout (relocatable: the game finds its data relative to itself), desktop files,
# icons made from the ship art, and the Debian package (`make package`).
include(GNUInstallDirs)

set(VANTOREL_APP_ID org.vantorel.Vantorel)
set(VANTOREL_GEN ${CMAKE_BINARY_DIR}/packaging)
set(VANTOREL_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)

# The icons: the upright ship, scaled without smoothing.
add_executable(icon_writer ${CMAKE_SOURCE_DIR}/tools/icon_writer.cpp)
target_link_libraries(icon_writer PRIVATE vantorel_base)
set_target_properties(icon_writer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
set(VANTOREL_ICON_SIZES 16 32 48 64 128 256)
set(VANTOREL_ICON_ART ${CMAKE_SOURCE_DIR}/assets/ship/ship_0.txt)
set(VANTOREL_ICONS "")
foreach(size ${VANTOREL_ICON_SIZES})
  list(APPEND VANTOREL_ICONS ${VANTOREL_GEN}/icons/${size}x${size}/apps/${VANTOREL_APP_ID}.png)
endforeach()
add_custom_command(OUTPUT ${VANTOREL_ICONS}
  COMMAND icon_writer ${VANTOREL_ICON_ART} ${VANTOREL_GEN}/icons ${VANTOREL_APP_ID}
  DEPENDS icon_writer ${VANTOREL_ICON_ART}
  COMMENT "Drawing the desktop icons"
  VERBATIM)

# The man page and the changelog are installed compressed, as Debian expects; -n keeps the
# archives free of timestamps so the package is reproducible.
configure_file(${VANTOREL_PACKAGING}/vantorel.6.in ${VANTOREL_GEN}/vantorel.6 @ONLY)
configure_file(${VANTOREL_PACKAGING}/changelog.in ${VANTOREL_GEN}/changelog @ONLY)
configure_file(${VANTOREL_PACKAGING}/vantorel.desktop.in ${VANTOREL_GEN}/${VANTOREL_APP_ID}.desktop @ONLY)
configure_file(${VANTOREL_PACKAGING}/vantorel.metainfo.xml.in ${VANTOREL_GEN}/${VANTOREL_APP_ID}.metainfo.xml @ONLY)
add_custom_command(OUTPUT ${VANTOREL_GEN}/vantorel.6.gz ${VANTOREL_GEN}/changelog.gz
  COMMAND gzip -9nc ${VANTOREL_GEN}/vantorel.6 > ${VANTOREL_GEN}/vantorel.6.gz
  COMMAND gzip -9nc ${VANTOREL_GEN}/changelog > ${VANTOREL_GEN}/changelog.gz
  DEPENDS ${VANTOREL_GEN}/vantorel.6 ${VANTOREL_GEN}/changelog
  COMMENT "Compressing the man page and changelog")
add_custom_target(vantorel_desktop_files ALL DEPENDS ${VANTOREL_ICONS} ${VANTOREL_GEN}/vantorel.6.gz ${VANTOREL_GEN}/changelog.gz)

set(VANTOREL_INSTALL_DATA ${CMAKE_INSTALL_DATADIR}/games/vantorel)
set(VANTOREL_INSTALL_DOC ${CMAKE_INSTALL_DATADIR}/doc/vantorel)
install(TARGETS vantorel RUNTIME DESTINATION games)
install(DIRECTORY ${VANTOREL_DATA_DIR}/ DESTINATION ${VANTOREL_INSTALL_DATA}/data
  FILES_MATCHING PATTERN "*.sbpak" PATTERN "*.bank")
# The credits open the README from the folder the game runs in.
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${VANTOREL_INSTALL_DATA})
install(FILES ${VANTOREL_GEN}/${VANTOREL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VANTOREL_GEN}/${VANTOREL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size ${VANTOREL_ICON_SIZES})
  install(FILES ${VANTOREL_GEN}/icons/${size}x${size}/apps/${VANTOREL_APP_ID}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${VANTOREL_GEN}/vantorel.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
              ${VANTOREL_PACKAGING}/copyright ${VANTOREL_GEN}/changelog.gz
  DESTINATION ${VANTOREL_INSTALL_DOC})

# make package: a Debian package with its dependencies computed from the shared libraries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantorel)
set(CPACK_PACKAGE_VENDOR "Vantorel team")
set(CPACK_PACKAGE_CONTACT "Vantorel team <dev@vantorel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small arcade shooter in four colours")
set(CPACK_PACKAGE_DESCRIPTION "Your ship never stops flying forward: holding left or right turns it and
slowly charges energy, and every charge buys either a fan of bullets or a
boost. Asteroids of four kinds drift in from beyond the edges; every 14
points clear a stage and offer one of two upgrades. After five stages the
boss wakes up. The picture is 160 x 144 pixels in four colours.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
