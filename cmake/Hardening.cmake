# Hardened builds of what the packages ship (MOSSVANE_HARDENING, on in the
# release presets).
#   Linux:   Debian's hardening flags as dpkg-buildflags gives them with
#            every hardening feature on (_FORTIFY_SOURCE, the strong stack
#            protector, format checks, full RELRO, PIE), plus stack-clash
#            protection and control-flow protection, which dpkg adds by
#            default only from Debian 13 on. hardening-check (devscripts)
#            checks the packaged programs (make test-package).
#   Windows: the strong stack protector, ASLR with a high-entropy address
#            space and DEP (make test-package reads them from the PE headers).
option(MOSSVANE_HARDENING "Build with the platform's hardening flags (release presets)" OFF)
if(NOT MOSSVANE_HARDENING)
    return()
endif()

# Only the compilers take these flags, not windres.
function(mossvane_add_hardening_compile_options)
    foreach(flag ${ARGN})
        add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:${flag}>)
    endforeach()
endfunction()

if(WIN32)
    mossvane_add_hardening_compile_options(-fstack-protector-strong)
    add_link_options(-fstack-protector-strong LINKER:--dynamicbase LINKER:--nxcompat
                     LINKER:--high-entropy-va)
    return()
endif()

find_program(DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)

function(mossvane_dpkg_buildflags kind result)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                ${DPKG_BUILDFLAGS} --get ${kind}
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    set(${result} ${flags} PARENT_SCOPE)
endfunction()

mossvane_dpkg_buildflags(CPPFLAGS preprocessor_flags)
mossvane_dpkg_buildflags(CXXFLAGS compiler_flags)
mossvane_dpkg_buildflags(LDFLAGS linker_flags)
# The build type chooses optimization and debug information; a path map
# would name the folder CMake happened to be configured from.
list(FILTER compiler_flags EXCLUDE REGEX "^(-g.*|-O.*|-ffile-prefix-map=.*)$")
foreach(flag -fstack-clash-protection -fcf-protection)
    if(NOT flag IN_LIST compiler_flags)
        list(APPEND compiler_flags ${flag})
    endif()
endforeach()
mossvane_add_hardening_compile_options(${preprocessor_flags} ${compiler_flags})
add_link_options(${linker_flags})

# Position-independent executables, so ASLR moves the programs too.
include(CheckPIESupported)
check_pie_supported(LANGUAGES C CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
message(STATUS "Hardening: ${preprocessor_flags} ${compiler_flags} ${linker_flags} -pie")
