# Builds the Debian package into a folder of its own and runs lintian on it: no error may be
# reported. Then checks what it installs: its AppStream entry valid for software centres, and its
# copyright file holding the licence of the sources (LICENSE). Run as:
# cmake -DBUILD=… -DOUT=… -DLINTIAN=lintian -DAPPSTREAMCLI=appstreamcli -DLICENSE=…/LICENSE -P CheckPackage.cmake
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND cpack -G DEB -B ${OUT} WORKING_DIRECTORY ${BUILD}
                RESULT_VARIABLE failed OUTPUT_VARIABLE said ERROR_VARIABLE said)
file(GLOB packages ${OUT}/*.deb)
if(failed OR NOT packages)
  message(FATAL_ERROR "cpack made no package:\n${said}")
endif()
execute_process(COMMAND ${LINTIAN} --fail-on error ${packages}
                RESULT_VARIABLE failed OUTPUT_VARIABLE said ERROR_VARIABLE said)
if(failed)
  message(FATAL_ERROR "lintian reports errors on ${packages}:\n${said}")
endif()
message(STATUS "lintian on ${packages}:\n${said}")

set(root ${OUT}/root)
execute_process(COMMAND dpkg-deb -x ${packages} ${root} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "dpkg-deb cannot unpack ${packages}")
endif()

# validate-tree validates each installed metainfo file as `validate` does, and finds the desktop
# entry that it names as its launchable.
execute_process(COMMAND ${APPSTREAMCLI} validate-tree --no-net ${root}
                RESULT_VARIABLE failed OUTPUT_VARIABLE said ERROR_VARIABLE said)
if(failed OR NOT said MATCHES "io.github.caltrix.Caltrix.metainfo.xml")
  message(FATAL_ERROR "appstreamcli finds the package's AppStream entry missing or invalid:\n${said}")
endif()

# The copyright file's licence paragraph, unindented, is LICENSE without its title and copyright line.
file(READ ${root}/usr/share/doc/caltrix/copyright copyright)
file(READ ${LICENSE} licence)
set(paragraph "\n\nLicense: MIT\n")
string(FIND "${copyright}" "${paragraph}" at)
string(FIND "${licence}" "Permission is hereby granted" licence_at)
if(at EQUAL -1 OR licence_at EQUAL -1)
  message(FATAL_ERROR "The copyright file has no MIT licence paragraph, or LICENSE is not the MIT licence")
endif()
string(LENGTH "${paragraph}" length)
math(EXPR at "${at} + ${length}")
string(SUBSTRING "${copyright}" ${at} -1 packaged)
string(REGEX REPLACE "(^|\n) \\.(\n)" "\\1\\2" packaged "${packaged}")
string(REGEX REPLACE "(^|\n) " "\\1" packaged "${packaged}")
string(SUBSTRING "${licence}" ${licence_at} -1 licence)
if(NOT packaged STREQUAL licence)
  message(FATAL_ERROR "The package's copyright file does not hold LICENSE's text:\n${packaged}\nbut LICENSE says:\n${licence}")
endif()
file(REMOVE_RECURSE ${OUT})
