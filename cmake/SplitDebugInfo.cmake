# Moves the debug information of every .exe in FOLDER into DEBUG_FOLDER
# (<name>.exe.debug) and leaves the program stripped, with a link to its
# debug file that debuggers follow. Run with cmake -P:
#   -DOBJCOPY=<objcopy of the toolchain> -DFOLDER=<dir> -DDEBUG_FOLDER=<dir>
file(MAKE_DIRECTORY ${DEBUG_FOLDER})
file(GLOB programs ${FOLDER}/*.exe)
foreach(program ${programs})
    get_filename_component(name ${program} NAME)
    set(debug_file ${DEBUG_FOLDER}/${name}.debug)
    execute_process(COMMAND ${OBJCOPY} --only-keep-debug ${program} ${debug_file}
                    COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${OBJCOPY} --strip-all ${program} COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${OBJCOPY} --add-gnu-debuglink=${debug_file} ${program}
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
