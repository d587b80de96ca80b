# The run folder's data, installed under share/vrenn, where prtdemo and vrenn look for each
# data file a run folder does not hold; and the Debian package of the whole installation
# (programs, data, libraries, headers, package config), made by `cpack -G DEB`.
include(GNUInstallDirs)

set(VRENN_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/vrenn)
install(FILES ${PROJECT_SOURCE_DIR}/data/default.cfg DESTINATION ${VRENN_INSTALL_DATADIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/effects ${PROJECT_SOURCE_DIR}/data/materials
    DESTINATION ${VRENN_INSTALL_DATADIR})
# The drawn textures (font sheet, logo, scene maps, the built-in probes' skies) and the sample
# probe; skies a user's probes left in the source tree's data stay out.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/textures DESTINATION ${VRENN_INSTALL_DATADIR}
    PATTERN "probe*" EXCLUDE)

# The demo scene, written by the build.
set(VRENN_SCENE_FILE ${PROJECT_BINARY_DIR}/share/models/scene.vmsh)
add_custom_command(OUTPUT ${VRENN_SCENE_FILE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/share/models
    COMMAND vrenn mkscene ${VRENN_SCENE_FILE}
    DEPENDS vrenn
    COMMENT "Writing the demo scene for the installed data"
    VERBATIM)
add_custom_target(vrenn_demo_scene ALL DEPENDS ${VRENN_SCENE_FILE})
install(FILES ${VRENN_SCENE_FILE} DESTINATION ${VRENN_INSTALL_DATADIR}/models)

set(CPACK_PACKAGE_NAME vrenn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Per-pixel precomputed radiance transfer: the prtdemo program, the vrenn tool and the engine")
set(CPACK_PACKAGE_CONTACT "Vrenn developers <vrenn@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # vrenn_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# The shared libraries the programs load, found by dpkg-shlibdeps; the headers' own needs
# (for users building against the libraries) are suggested.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libegl1")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS
    "libsdl2-dev, libepoxy-dev, libjpeg62-turbo-dev, libpng-dev, libminizip-dev, zlib1g-dev")
include(CPack)
