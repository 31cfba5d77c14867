# Builds the Debian package into a folder of its own and runs lintian on it: no error may be
# reported. Run as: cmake -DBUILD=… -DOUT=… -DLINTIAN=lintian -P CheckPackage.cmake
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
file(REMOVE_RECURSE ${OUT})
