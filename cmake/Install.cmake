# Where `cmake --install` puts the programs. Nothing in the programs knows the
# prefix: the server finds its companions (dialog helper, localization file,
# language library) beside its own file, so they are installed together.
#
# Linux:   <prefix>/lib/mossvane/   mossvane, mossvane-dialog, mossvane-send,
#                                   localization.xml (and lotrasx.so if built)
#          <prefix>/bin/            links to mossvane and mossvane-send
#          <prefix>/lib/systemd/user/  mossvane.socket, mossvane.service
#          <prefix>/share/man/man1/    mossvane.1, mossvane-send.1
#          <prefix>/lib/cups/backend/mossvane, <prefix>/share/man/man8/mossvane-backend.8
#                                   (component cups, tools/cups_backend)
#          <prefix>/<libdir>/       libmossvane-client.so.0 (component library)
#          <prefix>/include/mossvane/client.h, <prefix>/<libdir>/libmossvane-client.so,
#          <prefix>/<libdir>/pkgconfig/mossvane-client.pc,
#          <prefix>/share/man/man3/mossvane_client.3 and a link to it for each
#          function, mossvane_get_number.3 ... (component development)
# Windows: <prefix>/bin/            the program folder: mossvane.exe,
#                                   mossvane-send.exe, localization.xml and the
#                                   install settings file settings.xml, and
#                                   mossvane-client.dll
#          <prefix>/include/mossvane/client.h, <prefix>/lib/libmossvane-client.dll.a

#          where <libdir> is lib/<multiarch triplet> (lib/x86_64-linux-gnu) where
#          the compiler names one, else lib: a package's library and its
#          pkg-config file then serve the one architecture they were built for.

if(WIN32)
    set(MOSSVANE_PROGRAM_DIR bin)
    set(MOSSVANE_LIBRARY_DIR lib)
else()
    set(MOSSVANE_PROGRAM_DIR lib/mossvane)
    if(CMAKE_LIBRARY_ARCHITECTURE)
        set(MOSSVANE_LIBRARY_DIR lib/${CMAKE_LIBRARY_ARCHITECTURE})
    else()
        set(MOSSVANE_LIBRARY_DIR lib)
    endif()
endif()

install(TARGETS mossvane mossvane-send RUNTIME DESTINATION ${MOSSVANE_PROGRAM_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/res/localization.xml DESTINATION ${MOSSVANE_PROGRAM_DIR})
if(TARGET lotrasx)
    install(TARGETS lotrasx LIBRARY DESTINATION ${MOSSVANE_PROGRAM_DIR}
                            RUNTIME DESTINATION ${MOSSVANE_PROGRAM_DIR})
endif()

# The client library for other programs: the runtime part, and what building
# against it needs.
install(TARGETS mossvane_client_library
    RUNTIME DESTINATION ${MOSSVANE_PROGRAM_DIR} COMPONENT library
    LIBRARY DESTINATION ${MOSSVANE_LIBRARY_DIR} COMPONENT library NAMELINK_COMPONENT development
    ARCHIVE DESTINATION ${MOSSVANE_LIBRARY_DIR} COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/include/mossvane/client.h
        DESTINATION include/mossvane COMPONENT development)

if(WIN32)
    # The version resource of each executable.
    foreach(program mossvane mossvane-send)
        set(MOSSVANE_FILE_NAME ${program})
        if(program STREQUAL "mossvane")
            set(MOSSVANE_FILE_DESCRIPTION "Mossvane printer-driver helper")
        else()
            set(MOSSVANE_FILE_DESCRIPTION "Mossvane pipe client")
        endif()
        configure_file(${PROJECT_SOURCE_DIR}/res/version.rc.in
                       ${CMAKE_BINARY_DIR}/res/${program}_version.rc @ONLY)
        target_sources(${program} PRIVATE ${CMAKE_BINARY_DIR}/res/${program}_version.rc)
    endforeach()
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/settings.xml
            DESTINATION ${MOSSVANE_PROGRAM_DIR})
    return()
endif()

install(TARGETS mossvane-dialog RUNTIME DESTINATION ${MOSSVANE_PROGRAM_DIR})

# Relative links, so any prefix (and the package's staging folder) works.
foreach(program mossvane mossvane-send)
    set(link ${CMAKE_BINARY_DIR}/install-links/${program})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
    file(CREATE_LINK ../${MOSSVANE_PROGRAM_DIR}/${program} ${link} SYMBOLIC)
    install(FILES ${link} DESTINATION bin)
endforeach()

# The service names the program by its full path, known only when installing.
set(service_file ${CMAKE_BINARY_DIR}/install-units/mossvane.service)
install(CODE "
    set(MOSSVANE_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${MOSSVANE_PROGRAM_DIR}/mossvane\")
    configure_file(\"${PROJECT_SOURCE_DIR}/packaging/systemd/mossvane.service.in\"
                   \"${service_file}\" @ONLY)
")
install(FILES ${service_file} ${PROJECT_SOURCE_DIR}/packaging/systemd/mossvane.socket
        DESTINATION lib/systemd/user)

find_program(GZIP_PROGRAM gzip REQUIRED)

# Manual pages, compressed as Debian installs them.
set(man_pages "")
foreach(page mossvane.1 mossvane-send.1)
    set(compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
        COMMAND ${GZIP_PROGRAM} -9n -c ${PROJECT_SOURCE_DIR}/man/${page} > ${compressed}
        DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}
        VERBATIM)
    list(APPEND man_pages ${compressed})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION share/man/man1)

# The client library's manual page, and its pkg-config file, which names the
# prefix it is installed to.
set(client_man_page ${CMAKE_BINARY_DIR}/man/mossvane_client.3.gz)
add_custom_command(OUTPUT ${client_man_page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${GZIP_PROGRAM} -9n -c ${PROJECT_SOURCE_DIR}/man/mossvane_client.3 > ${client_man_page}
    DEPENDS ${PROJECT_SOURCE_DIR}/man/mossvane_client.3
    VERBATIM)
add_custom_target(client_man_page ALL DEPENDS ${client_man_page})
install(FILES ${client_man_page} DESTINATION share/man/man3 COMPONENT development)
# "man 3 <function>" finds the page for each function the header declares:
# a link named after the function, as Debian's tools make of ".so" pages.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/mossvane/client.h client_declarations
     REGEX "^MOSSVANE_API ")
set(client_man_links "")
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/man-links)
foreach(declaration ${client_declarations})
    string(REGEX MATCH "mossvane_[a-z_]+\\(" function "${declaration}")
    string(REPLACE "(" "" function "${function}")
    set(link ${CMAKE_BINARY_DIR}/man-links/${function}.3.gz)
    file(CREATE_LINK mossvane_client.3.gz ${link} SYMBOLIC)
    list(APPEND client_man_links ${link})
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/include/mossvane/client.h)
install(FILES ${client_man_links} DESTINATION share/man/man3 COMPONENT development)
set(client_pc ${CMAKE_BINARY_DIR}/install-pkgconfig/mossvane-client.pc)
install(CODE "
    set(MOSSVANE_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    set(PROJECT_VERSION ${PROJECT_VERSION})
    set(MOSSVANE_LIBRARY_DIR ${MOSSVANE_LIBRARY_DIR})
    configure_file(\"${PROJECT_SOURCE_DIR}/packaging/mossvane-client.pc.in\"
                   \"${client_pc}\" @ONLY)
" COMPONENT development)
install(FILES ${client_pc} DESTINATION ${MOSSVANE_LIBRARY_DIR}/pkgconfig COMPONENT development)
