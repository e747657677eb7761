# orvi_module(NAME <name> MAP <version script> SOURCES <files...> [LIBS <libs...>]
#             [FILE_NAME <module file name>] [FOLDER <output folder>] [INSTALLED])
#
# Builds one module twice from the same objects: <name>_core, a static library that
# tests, fuzzers and benches link, and <name>, the loadable module the command opens.
# The loadable module exports only what its version script lists and may not leave
# any symbol unresolved (-z defs), so it can never depend on the host. INSTALLED puts it
# where `cmake --install` puts the modules, a folder of their own beside the library.
function(orvi_module)
    cmake_parse_arguments(M "INSTALLED" "NAME;MAP;FILE_NAME;FOLDER" "SOURCES;LIBS" ${ARGN})
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
    if(M_INSTALLED)
        install(TARGETS ${M_NAME} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/orvi)
    endif()
endfunction()

# Compile options for the library's own code (and the formats' host sides): position
# independent, hidden unless exported, warnings as the project sets them.
function(orvi_library_code target)
    orvi_warnings(${target})
    set_target_properties(${target} PROPERTIES
        POSITION_INDEPENDENT_CODE ON
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    target_include_directories(${target} PUBLIC
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/lib/include>
        $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/platform/include>
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/runtime/include>)
endfunction()

# orvi_format_host(NAME <fmt> SOURCES <files...> [LIBS <libs...>])
#
# A format's side in the library: its entries of the format table (recognition, details,
# failures in its own terms, how saves travel to its module, its pages), built as the
# static <fmt>_host and linked into the library with every other format's.
function(orvi_format_host)
    cmake_parse_arguments(H "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_library(${H_NAME}_host STATIC ${H_SOURCES})
    orvi_library_code(${H_NAME}_host)
    target_link_libraries(${H_NAME}_host PUBLIC orvi_host_pool orvi_description ${H_LIBS})
    set_property(GLOBAL APPEND PROPERTY ORVI_FORMAT_HOSTS ${H_NAME}_host)
endfunction()
