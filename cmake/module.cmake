# orvi_module(NAME <name> MAP <version script> SOURCES <files...> [LIBS <libs...>]
#             [FILE_NAME <module file name>] [FOLDER <output folder>])
#
# Builds one module twice from the same objects: <name>_core, a static library that
# tests, fuzzers and benches link, and <name>, the loadable module the command opens.
# The loadable module exports only what its version script lists and may not leave
# any symbol unresolved (-z defs), so it can never depend on the host.
function(orvi_module)
    cmake_parse_arguments(M "" "NAME;MAP;FILE_NAME;FOLDER" "SOURCES;LIBS" ${ARGN})
    if(NOT M_FILE_NAME)
        set(M_FILE_NAME ${M_NAME})
    endif()
    if(NOT M_FOLDER)
        set(M_FOLDER ${PROJECT_BINARY_DIR})
    endif()
    add_library(${M_NAME}_objs OBJECT ${M_SOURCES})
    orvi_module_code(${M_NAME}_objs)
    target_include_directories(${M_NAME}_objs PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${M_NAME}_objs PUBLIC orvi_runtime orvi_platform ${M_LIBS})

    add_library(${M_NAME}_core STATIC $<TARGET_OBJECTS:${M_NAME}_objs>)
    target_include_directories(${M_NAME}_core PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${M_NAME}_core PUBLIC orvi_runtime orvi_platform ${M_LIBS})

    if(ORVI_FUZZ)
        return()
    endif()
    add_library(${M_NAME} MODULE $<TARGET_OBJECTS:${M_NAME}_objs>)
    set_target_properties(${M_NAME} PROPERTIES
        PREFIX "" SUFFIX ".so" OUTPUT_NAME ${M_FILE_NAME}
        LIBRARY_OUTPUT_DIRECTORY ${M_FOLDER}
        LINK_DEPENDS ${M_MAP})
    target_link_options(${M_NAME} PRIVATE -Wl,--version-script=${M_MAP} -Wl,--gc-sections)
    if(NOT ORVI_SANITIZE)
        # The sanitizer runtimes resolve their hooks from the executable.
        target_link_options(${M_NAME} PRIVATE -Wl,-z,defs)
    endif()
    target_link_libraries(${M_NAME} PRIVATE orvi_runtime orvi_platform ${M_LIBS})
endfunction()
