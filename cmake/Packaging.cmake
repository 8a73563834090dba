# The packages, both made from the install layout (cmake/Install.cmake):
#   Linux:   `cpack` (or the `package` target) makes the Debian packages,
#            split as Debian splits a library: mossvane_<version>_<arch>.deb
#            (the programs), libmossvane-client0 (the client library) and
#            libmossvane-client-dev (header, link, pkg-config file, manual
#            page), all stripped, with -dbgsym packages holding the debug
#            information.
#   Windows: the `installer` target makes mossvane-<version>-setup.exe with
#            makensis, and mossvane-<version>-windows-debug.zip with the
#            debug information the installed programs point to.
# Use the release presets (`make package`): optimized programs with debug
# information to split off.

set(MOSSVANE_SUMMARY "Per-user helper process for a printer driver")

if(WIN32)
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
                ${PROJECT_SOURCE_DIR}/packaging/windows/mossvane.nsi
        DEPENDS mossvane mossvane-send mossvane_client_library
        COMMENT "Making the Windows installer ${setup}"
        VERBATIM)
    return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mossvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Mossvane project")
set(CPACK_PACKAGE_CONTACT "Mossvane maintainers <maintainers@mossvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${MOSSVANE_SUMMARY})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The extended description; CPack puts the summary above it as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Mossvane serves a per-user socket on which printer-driver modules ask the
user for a 4 to 20 digit identification number (in a small dialog) and hand
over print jobs, which it stores as .prn files with an .info description.
It is started on demand by systemd user units and ends after ten idle
seconds. A CUPS backend hands print jobs of authenticated local users to
their own server.")
# The dependencies come from the shared libraries the programs link, plus
# libsystemd, which the server loads only when started by socket activation,
# and the helpers with --user that the maintainer scripts use.
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_DEPENDS "libsystemd0, init-system-helpers (>= 1.58)")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The dialog's Korean texts need a font with Hangul, which a minimal system lacks.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-nanum | fonts-noto-cjk")
# Stripped programs in the package, their debug information in -dbgsym.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# One package per group: the programs (the default component and the CUPS
# backend), the shared library, and what building against it needs.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)
set(CPACK_COMPONENTS_ALL Unspecified cups library development)
set(CPACK_COMPONENT_UNSPECIFIED_GROUP programs)
set(CPACK_COMPONENT_CUPS_GROUP programs)
set(CPACK_COMPONENT_LIBRARY_GROUP library)
set(CPACK_COMPONENT_DEVELOPMENT_GROUP development)

set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME mossvane)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
                                                ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libmossvane-client0)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "Client library for the Mossvane server
 The library lets programs and printer-driver modules ask the user's Mossvane
 server for the identification number, send it requests and hand it print
 jobs, through a small C API.")
# The shlibs file for programs linked against it; ldconfig runs through
# Debian's trigger when the library comes and goes.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/LdconfigTrigger.cmake)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libmossvane-client-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libmossvane-client0 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "Client library for the Mossvane server (development files)
 The header, the link to the library, the pkg-config file and the manual page
 for building programs against the Mossvane client library.")
include(CPack)
