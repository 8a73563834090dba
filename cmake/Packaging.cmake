# The Windows installer, made from the install layout (cmake/Install.cmake):
# the `installer` target makes mossvane-<version>-setup.exe with makensis,
# and mossvane-<version>-windows-debug.zip with the debug information the
# installed programs point to. Use the release-windows preset (`make
# package`): optimized programs with debug information to split off.
#
# The Debian packages are not made here: debian/ is a source package that
# dpkg-buildpackage builds with debhelper (`make package` does it, see
# scripts/build-deb).

if(NOT WIN32)
    return()
endif()

find_program(MAKENSIS_PROGRAM makensis)
if(NOT MAKENSIS_PROGRAM)
    message(STATUS "makensis not found: no `installer` target")
    return()
endif()
set(stage ${CMAKE_BINARY_DIR}/installer-stage)
set(debug_folder ${CMAKE_BINARY_DIR}/installer-debug)
set(setup ${CMAKE_BINARY_DIR}/mossvane-${PROJECT_VERSION}-setup.exe)
set(debug_zip ${CMAKE_BINARY_DIR}/mossvane-${PROJECT_VERSION}-windows-debug.zip)
add_custom_target(installer
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage} ${debug_folder}
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${stage}
    COMMAND ${CMAKE_COMMAND} -DOBJCOPY=${CMAKE_OBJCOPY} -DFOLDER=${stage}/bin
            -DDEBUG_FOLDER=${debug_folder} -P ${PROJECT_SOURCE_DIR}/cmake/SplitDebugInfo.cmake
    COMMAND ${CMAKE_COMMAND} -E chdir ${debug_folder}
            ${CMAKE_COMMAND} -E tar cf ${debug_zip} --format=zip .
    COMMAND ${MAKENSIS_PROGRAM} -V2 -DVERSION=${PROJECT_VERSION}
            -DVERSION_MAJOR=${PROJECT_VERSION_MAJOR} -DVERSION_MINOR=${PROJECT_VERSION_MINOR}
            -DSTAGE=${stage}/bin -DSDK=${stage} -DOUTFILE=${setup}
            -DLICENSE_FILE=${PROJECT_SOURCE_DIR}/LICENSE
            ${PROJECT_SOURCE_DIR}/packaging/windows/mossvane.nsi
    DEPENDS mossvane mossvane-send mossvane_client_library ${PROJECT_SOURCE_DIR}/LICENSE
    COMMENT "Making the Windows installer ${setup}"
    VERBATIM)
