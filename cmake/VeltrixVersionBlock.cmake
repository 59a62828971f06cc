# veltrix_version_block(target DESCRIPTION text [COMMENTS text] [INTERNAL_NAME name]
#                       [TRANSLATIONS LLLLCCCC...])
#
# Embeds a version block (platform/version_block.h) in a program or module: the project's
# version (project() in the top CMakeLists.txt) as file and product version, the company, the
# description and the other texts, under each translation given as language and code page in
# hexadecimal (default 040904B0, US English in Unicode). The block is a generated source of
# the target, built while compiling.
function(veltrix_version_block target)
    cmake_parse_arguments(VB "" "DESCRIPTION;COMMENTS;INTERNAL_NAME" "TRANSLATIONS" ${ARGN})
    if(NOT VB_DESCRIPTION)
        message(FATAL_ERROR "veltrix_version_block(${target}): DESCRIPTION is missing")
    endif()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
        set(VB_FILE_TYPE platform::kFileTypeApplication)
    elseif(type STREQUAL "MODULE_LIBRARY" OR type STREQUAL "SHARED_LIBRARY")
        set(VB_FILE_TYPE platform::kFileTypeModule)
    else()
        message(FATAL_ERROR "veltrix_version_block(${target}): a ${type} is not a program or module")
    endif()
    if(NOT VB_INTERNAL_NAME)
        set(VB_INTERNAL_NAME ${target})
    endif()
    if(NOT VB_TRANSLATIONS)
        set(VB_TRANSLATIONS 040904B0)
    endif()

    set(translations "")
    foreach(t IN LISTS VB_TRANSLATIONS)
        if(NOT t MATCHES "^[0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]$")
            message(FATAL_ERROR "veltrix_version_block(${target}): translation ${t} is not LLLLCCCC")
        endif()
        string(SUBSTRING ${t} 0 4 language)
        string(SUBSTRING ${t} 4 4 code_page)
        string(APPEND translations "platform::translationOf(0x${language}, 0x${code_page}), ")
    endforeach()
    set(VB_TRANSLATIONS "${translations}")

    set(VB_TARGET ${target})
    set(VB_COMPANY "Veltrix")
    set(VB_PRODUCT "Veltrix tools")
    set(VB_COPYRIGHT "Copyright (C) Veltrix")
    foreach(text VB_DESCRIPTION VB_COMMENTS VB_INTERNAL_NAME)
        string(REPLACE "\\" "\\\\" escaped "${${text}}")
        string(REPLACE "\"" "\\\"" escaped "${escaped}")
        set(${text} "${escaped}")
    endforeach()

    set(stage ${CMAKE_CURRENT_BINARY_DIR}/version_block/${target}.cpp.in)
    set(source ${CMAKE_CURRENT_BINARY_DIR}/version_block/${target}.cpp)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version_block.cpp.in ${stage} @ONLY)
    # The second step fills in the file's name, which only generation knows.
    file(GENERATE OUTPUT ${source} INPUT ${stage} TARGET ${target})
    set_source_files_properties(${source} PROPERTIES GENERATED TRUE)
    target_sources(${target} PRIVATE ${source})
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
endfunction()
