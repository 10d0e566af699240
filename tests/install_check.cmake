# make install, checked: cmake --install puts the program and its README under
# a fresh prefix, and the installed program runs.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DVERSION=... -P install_check.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
foreach(file bin/tavrel share/doc/tavrel/README.md)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
execute_process(COMMAND ${PREFIX}/bin/tavrel --version OUTPUT_VARIABLE out RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT out STREQUAL "tavrel ${VERSION}\n")
  message(FATAL_ERROR "installed tavrel --version printed '${out}' (status ${status})")
endif()
file(REMOVE_RECURSE ${PREFIX})
