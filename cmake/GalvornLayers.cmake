# One static library per layer folder. A library may link libraries of its own layer
# and of the layers below it, never above; galvorn_library() fails the configure step
# otherwise, so the dependency rule holds by construction rather than by review.

define_property(TARGET PROPERTY GALVORN_LAYER
    BRIEF_DOCS "Architecture layer of a Galvorn library"
    FULL_DOCS "1 support/platform, 2 common/device/searchlib, 3 discovery/config/facelib, 4 widgets/ui/app")

function(galvorn_library name layer)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES GALVORN_LAYER ${layer})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    foreach(dep IN LISTS ARG_DEPENDS)
        get_target_property(dep_layer ${dep} GALVORN_LAYER)
        if(NOT dep_layer OR dep_layer GREATER layer)
            message(FATAL_ERROR "${name} (layer ${layer}) may not depend on ${dep} (layer ${dep_layer})")
        endif()
        target_link_libraries(${name} PUBLIC ${dep})
    endforeach()
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
    # The fuzz targets reach the plain C++ layers; the widgets need no fuzzing coverage.
    if(GALVORN_FUZZ AND layer LESS_EQUAL 3)
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer-no-link)
    endif()
endfunction()
