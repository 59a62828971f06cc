# Part of `cmake --install` (cmake/FenwaldComponent.cmake): writes the installed component
# registry from FENWALD_REGISTRY_TEMPLATE, with the modules' installed folder in it. The folder
# in the file is the one the program will find them in; DESTDIR only moves where it is written.
if(IS_ABSOLUTE "${FENWALD_COMPONENT_DIR}")
    set(folder "${FENWALD_COMPONENT_DIR}")
else()
    set(folder "${CMAKE_INSTALL_PREFIX}/${FENWALD_COMPONENT_DIR}")
endif()
file(READ "${FENWALD_REGISTRY_TEMPLATE}" text)
string(REPLACE "@FENWALD_COMPONENT_FOLDER@" "${folder}" text "${text}")
set(registry "$ENV{DESTDIR}${folder}/components.ini")
message(STATUS "Installing: ${registry}")
file(WRITE "${registry}" "${text}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${folder}/components.ini")
