# veltrix_program_windows(program SOURCES files...)
#
# Builds a program's windows, when VELTRIX_GUI is on: the static library <program>_ui from the
# sources and resources/<program>/<program>.qrc, its .ui templates found in resources/<program>,
# on <program>_engine, veltrix_serial_ui and Qt Widgets; links the program <program> to it with
# <PROGRAM>_WINDOWS defined; and adds <program>_draw_artwork, outside the normal build, which
# draws resources/<program>/*.png (scripts/draw_artwork.sh). Call it after the program's
# add_executable.
function(veltrix_program_windows program)
    cmake_parse_arguments(W "" "" "SOURCES" ${ARGN})
    if(NOT W_SOURCES)
        message(FATAL_ERROR "veltrix_program_windows(${program}): SOURCES is missing")
    endif()
    if(NOT VELTRIX_GUI)
        return()
    endif()
    set(resources ${PROJECT_SOURCE_DIR}/resources/${program})
    add_library(${program}_ui STATIC ${W_SOURCES} ${resources}/${program}.qrc)
    set_target_properties(${program}_ui PROPERTIES AUTOUIC_SEARCH_PATHS ${resources})
    target_link_libraries(${program}_ui PUBLIC ${program}_engine veltrix_serial_ui Qt6::Widgets)

    string(TOUPPER ${program} name)
    target_link_libraries(${program} PRIVATE ${program}_ui)
    target_compile_definitions(${program} PRIVATE ${name}_WINDOWS)

    add_executable(${program}_draw_artwork EXCLUDE_FROM_ALL ${resources}/draw_artwork.cpp)
    target_link_libraries(${program}_draw_artwork PRIVATE Qt6::Gui)
    target_include_directories(${program}_draw_artwork PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()
