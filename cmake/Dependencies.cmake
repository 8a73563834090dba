# Third-party libraries: Debian's packages on Linux, the MinGW copies built by
# scripts/build-windows-deps for Windows.
if(WIN32)
    set(MOSSVANE_DEPS_PREFIX ${CMAKE_SOURCE_DIR}/.deps/mingw)
    if(NOT EXISTS ${MOSSVANE_DEPS_PREFIX}/lib/libtinyxml2.a)
        message(FATAL_ERROR "Run scripts/setup first: the MinGW XML libraries are missing")
    endif()
    add_library(tinyxml STATIC IMPORTED GLOBAL)
    set_target_properties(tinyxml PROPERTIES
        IMPORTED_LOCATION ${MOSSVANE_DEPS_PREFIX}/lib/libtinyxml.a
        INTERFACE_INCLUDE_DIRECTORIES ${MOSSVANE_DEPS_PREFIX}/include
        INTERFACE_COMPILE_DEFINITIONS TIXML_USE_STL)
    add_library(tinyxml2 STATIC IMPORTED GLOBAL)
    set_target_properties(tinyxml2 PROPERTIES
        IMPORTED_LOCATION ${MOSSVANE_DEPS_PREFIX}/lib/libtinyxml2.a
        INTERFACE_INCLUDE_DIRECTORIES ${MOSSVANE_DEPS_PREFIX}/include)
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(TINYXML REQUIRED IMPORTED_TARGET GLOBAL tinyxml)
    pkg_check_modules(TINYXML2 REQUIRED IMPORTED_TARGET GLOBAL tinyxml2)
    add_library(tinyxml ALIAS PkgConfig::TINYXML)
    add_library(tinyxml2 ALIAS PkgConfig::TINYXML2)
    find_package(Threads REQUIRED)
endif()
