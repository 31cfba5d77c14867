# Stages an install of the build under DESTDIR with an unusual prefix, then checks that every file
# went under DESTDIR/prefix, that exactly the expected files are there and that the menu entry is
# valid. Run as: cmake -DBUILD=… -DSTAGE=… -DVALIDATE=desktop-file-validate -P CheckInstall.cmake
set(prefix opt/caltrix-check)
file(REMOVE_RECURSE ${STAGE})
set(ENV{DESTDIR} ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix /${prefix}
                RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "cmake --install failed: ${failed}")
endif()

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${STAGE} ${STAGE}/*)
list(SORT installed)
set(expected
  bin/antsim bin/caltrix bin/caltrix-settings
  lib/udev/rules.d/60-caltrix-ant.rules lib/udev/rules.d/61-caltrix-ant-uaccess.rules
  share/applications/caltrix.desktop
  share/doc/caltrix/changelog.gz share/doc/caltrix/copyright
  share/icons/hicolor/scalable/apps/caltrix.svg
  share/metainfo/io.github.caltrix.Caltrix.metainfo.xml
  share/man/man1/antsim.1.gz share/man/man1/caltrix-settings.1.gz share/man/man1/caltrix.1.gz)
foreach(size 16 22 24 32 48 64 128 256)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/caltrix.png)
endforeach()
list(TRANSFORM expected PREPEND ${prefix}/)
list(SORT expected)
if(NOT installed STREQUAL expected)
  string(REPLACE ";" "\n  " got "${installed}")
  string(REPLACE ";" "\n  " wanted "${expected}")
  message(FATAL_ERROR "The staged install holds\n  ${got}\nbut should hold\n  ${wanted}")
endif()

execute_process(COMMAND ${VALIDATE} ${STAGE}/${prefix}/share/applications/caltrix.desktop
                RESULT_VARIABLE invalid OUTPUT_VARIABLE said ERROR_VARIABLE said)
if(invalid OR NOT said STREQUAL "")
  message(FATAL_ERROR "desktop-file-validate: ${said}")
endif()

# The manual pages name their program and are not empty.
foreach(program antsim caltrix caltrix-settings)
  execute_process(COMMAND gzip -dc ${STAGE}/${prefix}/share/man/man1/${program}.1.gz OUTPUT_VARIABLE page)
  if(NOT page MATCHES "\\.SH NAME\n${program} \\\\- " OR NOT page MATCHES "\\.SH DESCRIPTION")
    message(FATAL_ERROR "The manual page of ${program} lacks its title or its description:\n${page}")
  endif()
endforeach()
file(REMOVE_RECURSE ${STAGE})
