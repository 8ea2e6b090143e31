# Install.cmake: what `cmake --install` puts where (GNUInstallDirs), and the
# Debian package `make package` builds from it with CPack.
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The programs are linked with full RELRO, as Debian's hardening asks.
foreach(program lurva sdtool)
  target_link_options(${program} PRIVATE LINKER:-z,relro LINKER:-z,now)
endforeach()
install(TARGETS lurva sdtool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The hack where XScreenSaver looks for it: a relative link to the program,
# so that the tree can be installed under any prefix.
set(LURVA_HACK_DIR ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver)
file(RELATIVE_PATH LURVA_HACK_TARGET /${LURVA_HACK_DIR} /${CMAKE_INSTALL_BINDIR}/lurva)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/install)
file(CREATE_LINK ${LURVA_HACK_TARGET} ${PROJECT_BINARY_DIR}/install/lurva SYMBOLIC)
install(FILES ${PROJECT_BINARY_DIR}/install/lurva DESTINATION ${LURVA_HACK_DIR})
install(FILES data/xscreensaver/lurva.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)

# Manual pages and the changelog, compressed as Debian keeps them (-n: no
# name or time stamp, so the same sources give the same bytes).
set(LURVA_COMPRESSED)
foreach(source docs/man/lurva.1 docs/man/sdtool.1 packaging/changelog)
  get_filename_component(name ${source} NAME)
  if(name STREQUAL "changelog")
    set(name changelog.Debian)
  endif()
  set(compressed ${PROJECT_BINARY_DIR}/install/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/${source} > ${compressed}
    DEPENDS ${source}
    VERBATIM)
  list(APPEND LURVA_COMPRESSED ${compressed})
endforeach()
add_custom_target(lurva_compressed_docs ALL DEPENDS ${LURVA_COMPRESSED})
install(FILES ${PROJECT_BINARY_DIR}/install/lurva.1.gz ${PROJECT_BINARY_DIR}/install/sdtool.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/install/changelog.Debian.gz packaging/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lurva)

install(FILES data/bash-completion/sdtool DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES data/desktop/lurva.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/mime/lurva.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES data/thumbnailers/lurva.thumbnailer DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
foreach(size 48x48 256x256)
  install(FILES data/icons/${size}/lurva.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
endforeach()

# The Debian package: lurva_VERSION-1_ARCH.deb in the build tree.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lurva)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Lurva maintainers <maintainers@users.noreply.c-seed-b2fa1554.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "player for animated screen saver shows")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${PROJECT_SOURCE_DIR}/packaging/description.txt)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.invalid/lurva")
# The libraries' packages come from dpkg-shlibdeps; these are what the
# programs use at run time without linking it: the fonts libwmf draws a
# metafile's text with (without them it refuses every WMF picture) and the
# General MIDI sound font the music plays with.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-urw-base35, timgm6mb-soundfont")
# Japanese glyphs for the dialog and the messages, the X core fonts of SDL's
# message boxes, xdg-open for the dialog's help button.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipaexfont-gothic, xfonts-base, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver")
include(CPack)
