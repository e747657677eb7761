# The warning set every target of the project builds with.
function(orvi_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wimplicit-fallthrough)
    if(ORVI_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# Module code: no exceptions, no RTTI, nothing visible unless marked for export.
function(orvi_module_code target)
    orvi_warnings(${target})
    set_target_properties(${target} PROPERTIES
        POSITION_INDEPENDENT_CODE ON
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
endfunction()
