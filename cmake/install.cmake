# cmake --install: both programs, and beside them under share/vormex the files
# the program finds there (device.ini, hint.pdf, the manual); the desktop entry,
# icons, AppStream metainfo, the man page and bash completion.
# cpack -G DEB: the same as a Debian package.
include(GNUInstallDirs)

install(TARGETS vormex vormex-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(vormex_share ${CMAKE_INSTALL_DATADIR}/vormex)
install(FILES ${CMAKE_SOURCE_DIR}/data/device.ini ${CMAKE_BINARY_DIR}/src/ui/hint.pdf DESTINATION ${vormex_share})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/manual/ DESTINATION ${vormex_share}/manual)
install(FILES ${CMAKE_SOURCE_DIR}/data/example.vormex.VormexV3.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/example.vormex.VormexV3.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/data/icons/vormex.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/data/icons/vormex-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME vormex.png)
endforeach()
# Man pages and the changelog go compressed, as Debian wants them; -n keeps
# the file name and time out, so the same sources give the same bytes.
find_program(GZIP gzip REQUIRED)
set(gzipped_dir ${CMAKE_BINARY_DIR}/gzipped)
set(gzipped)
foreach(source data/vormex.1 data/vormex-cli.1 data/debian/changelog)
  get_filename_component(name ${source} NAME)
  set(target ${gzipped_dir}/${name}.gz)
  add_custom_command(OUTPUT ${target}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${gzipped_dir}
    COMMAND sh -c "\"$0\" -9nc \"$1\" > \"$2\"" ${GZIP} ${CMAKE_SOURCE_DIR}/${source} ${target}
    DEPENDS ${CMAKE_SOURCE_DIR}/${source} VERBATIM)
  list(APPEND gzipped ${target})
endforeach()
add_custom_target(gzipped_docs ALL DEPENDS ${gzipped})
install(FILES ${gzipped_dir}/vormex.1.gz ${gzipped_dir}/vormex-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${gzipped_dir}/changelog.gz ${CMAKE_SOURCE_DIR}/data/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vormex)
install(FILES ${CMAKE_SOURCE_DIR}/data/vormex-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vormex-cli)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vormex)
set(CPACK_PACKAGE_VENDOR Vormex)
set(CPACK_PACKAGE_CONTACT "Vormex support <support@vormex.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://vormex.example/support/)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "PIC microcontroller programmer front end (serial programmer board)")
set(CPACK_PACKAGE_DESCRIPTION "Vormex V3 programs, reads, verifies, blank-checks and erases PIC
microcontrollers (12-bit and 14-bit cores, EPROM and flash) through a serial
programmer board: a Japanese Qt window with its manual, and vormex-cli for
scripts and production lines. A built-in simulated board lets everything be
tried without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The libraries come from dpkg-shlibdeps; Qt's platform plugins are loaded at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-noto-cjk, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gputils, sdcc")
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
include(CPack)

# The desktop entry and metainfo pass their validators; the package holds what
# it must, passes lintian and runs from where it is unpacked.
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
find_program(APPSTREAMCLI appstreamcli)
add_test(NAME install_metadata COMMAND sh -c "\
  ${DESKTOP_FILE_VALIDATE} ${CMAKE_SOURCE_DIR}/data/example.vormex.VormexV3.desktop && \
  ${APPSTREAMCLI} validate --no-net ${CMAKE_SOURCE_DIR}/data/example.vormex.VormexV3.metainfo.xml")
add_test(NAME install_deb COMMAND ${CMAKE_SOURCE_DIR}/tests/install/check_deb.sh ${CMAKE_BINARY_DIR})
set_tests_properties(install_metadata install_deb PROPERTIES LABELS install TIMEOUT 300)
