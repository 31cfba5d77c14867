# What a Linux desktop program installs, and the Debian package made of it (make package).
# Every destination is relative to the install prefix, so that --prefix, PREFIX=… and DESTDIR
# (staged installs, packaging) apply to all of them.

include(GNUInstallDirs)

find_program(HELP2MAN help2man REQUIRED)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(GZIP gzip REQUIRED)

set(CALTRIX_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(CALTRIX_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/caltrix)

install(TARGETS caltrix caltrix-settings antsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The menu entry and its icon in the hicolor theme: the drawing itself and the usual bitmap sizes.
install(FILES ${CALTRIX_PACKAGING}/caltrix.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The entry that software centres list, launching the menu entry above.
install(FILES ${CALTRIX_PACKAGING}/io.github.caltrix.Caltrix.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
set(icon_svg ${CALTRIX_PACKAGING}/icons/caltrix.svg)
install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
set(icon_pngs "")
foreach(size 16 22 24 32 48 64 128 256)
  set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/caltrix.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
    COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${icon_svg}
    DEPENDS ${icon_svg} VERBATIM)
  list(APPEND icon_pngs ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# A manual page for each program, made from its --help and --version, compressed as Debian wants.
# (A sanitizer build's programs run here too: leak reports are for the tests, not for this step.)
set(man_pages "")
foreach(program IN ITEMS caltrix caltrix-settings antsim)
  if(program STREQUAL "caltrix")
    set(summary "calibrate a Tavor bicycle trainer over an ANT stick")
  elseif(program STREQUAL "caltrix-settings")
    set(summary "show and change the trainer settings that Caltrix reads")
  else()
    set(summary "a serial ANT stick with simulated trainer and sensors")
  endif()
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E env DISPLAY= WAYLAND_DISPLAY= QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
            ${HELP2MAN} --no-info --section 1 --name ${summary} --output ${page} $<TARGET_FILE:${program}>
    COMMAND ${GZIP} -9 -n -f ${page}
    DEPENDS ${program} VERBATIM)
  list(APPEND man_pages ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# udev reads rules from lib/udev/rules.d under /usr, never from the multiarch library folder.
install(FILES ${CALTRIX_PACKAGING}/udev/60-caltrix-ant.rules ${CALTRIX_PACKAGING}/udev/61-caltrix-ant-uaccess.rules
        DESTINATION lib/udev/rules.d)

configure_file(${CALTRIX_PACKAGING}/debian/changelog ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
  COMMAND ${GZIP} -9 -n -c ${CMAKE_BINARY_DIR}/debian/changelog > ${CMAKE_BINARY_DIR}/debian/changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog VERBATIM)
# The licence (LICENSE) goes in as Debian keeps licences: its text in the machine-readable
# copyright file, not as a file of its own beside it.
install(FILES ${CALTRIX_PACKAGING}/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.gz DESTINATION ${CALTRIX_DOCDIR})

add_custom_target(caltrix_install_files ALL DEPENDS ${icon_pngs} ${man_pages} ${CMAKE_BINARY_DIR}/debian/changelog.gz)

# ---- the Debian package ------------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME caltrix)
set(CPACK_PACKAGE_VENDOR "The Caltrix developers")
set(CPACK_PACKAGE_CONTACT "Caltrix developers <caltrix@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its platform plugins at run time, so dpkg-shlibdeps cannot see them: the X11 one is
# needed, the Wayland one lets Caltrix run natively in a Wayland session (without it, Qt falls back
# to X11 through XWayland).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
# The summary, then the long description; CPack indents its lines and marks the empty one.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "calibrate a Tavor bicycle trainer over an ANT USB stick
Caltrix sends each calibration preset's resistance level to a Tavor
stationary bicycle trainer over ANT radio and marks the preset's target
speed; while the rider pedals, the live speed follows once a second. It
reads the trainer settings from the Wine registry of the maker's Windows
software (caltrix-settings sets them where that software never ran).

antsim acts as a serial ANT stick with a simulated trainer behind it.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CALTRIX_PACKAGING}/debian/postinst ${CALTRIX_PACKAGING}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
