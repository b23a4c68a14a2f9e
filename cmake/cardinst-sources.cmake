# The files every build of the program's sources shares: the product's
# sources, the stand-in's, and the resource script with what it includes.
# The root CMakeLists.txt includes this file for every tree but the
# package's, after setting CARDINST_ROOT to the repository's root.

set(CARDINST_SOURCES
    ${CARDINST_ROOT}/src/shell/format.cpp
    ${CARDINST_ROOT}/src/shell/main.cpp
    ${CARDINST_ROOT}/src/shell/report.cpp
    ${CARDINST_ROOT}/src/shell/strings.cpp
    ${CARDINST_ROOT}/src/catalogue/catalogue.cpp
    ${CARDINST_ROOT}/src/store/checks.cpp
    ${CARDINST_ROOT}/src/store/load.cpp
    ${CARDINST_ROOT}/src/store/registry.cpp
    ${CARDINST_ROOT}/src/store/remove.cpp
    ${CARDINST_ROOT}/src/store/suggest.cpp
    ${CARDINST_ROOT}/src/store/write.cpp
    ${CARDINST_ROOT}/src/dialogs/linxdlg.cpp
    ${CARDINST_ROOT}/src/dialogs/mainwin.cpp
    ${CARDINST_ROOT}/src/dialogs/models.cpp
    ${CARDINST_ROOT}/src/dialogs/mpbdlg.cpp
    ${CARDINST_ROOT}/src/dialogs/props.cpp
    ${CARDINST_ROOT}/src/dialogs/rsdlg.cpp
    ${CARDINST_ROOT}/src/porttest/testcard.cpp)

set(SIM_SOURCES
    ${CARDINST_ROOT}/win32sim/sim_comm.cpp
    ${CARDINST_ROOT}/win32sim/sim_core.cpp
    ${CARDINST_ROOT}/win32sim/sim_crt.cpp
    ${CARDINST_ROOT}/win32sim/sim_registry.cpp
    ${CARDINST_ROOT}/win32sim/sim_resources.cpp
    ${CARDINST_ROOT}/win32sim/sim_windows.cpp)

# The resources: one script and what it includes, plus two files generated
# from project()'s version into CARDINST_GENERATED, so that the version is
# written in one place.
set(CARDINST_GENERATED ${PROJECT_BINARY_DIR}/generated)
configure_file(${CARDINST_ROOT}/src/resources/cardinst-version.h.in
               ${CARDINST_GENERATED}/cardinst-version.h @ONLY)
# The manifest goes into the program without its indentation.
file(READ ${CARDINST_ROOT}/src/resources/cardinst.manifest.in CARDINST_MANIFEST)
string(REGEX REPLACE "\n[ ]+" "\n" CARDINST_MANIFEST "${CARDINST_MANIFEST}")
file(CONFIGURE OUTPUT ${CARDINST_GENERATED}/cardinst.manifest CONTENT "${CARDINST_MANIFEST}" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CARDINST_ROOT}/src/resources/cardinst.manifest.in)
set(CARDINST_RC ${CARDINST_ROOT}/src/resources/cardinst.rc)
set(CARDINST_RC_DEPENDS
    ${CARDINST_ROOT}/src/resources/en-US.rc
    ${CARDINST_ROOT}/src/resources/fr-FR.rc
    ${CARDINST_ROOT}/src/resources/version.rc
    ${CARDINST_ROOT}/src/resources/manifest.rc
    ${CARDINST_ROOT}/src/resources/resource.h
    ${CARDINST_GENERATED}/cardinst-version.h
    ${CARDINST_GENERATED}/cardinst.manifest)

# For builds on the stand-in: the stand-in library `target` built from
# SIM_SOURCES, reading the resources that the program carries (the same
# script, compiled by the same resource compiler into the .res file named by
# CARDINST_RES).
function(cardinst_standin target)
    find_program(CARDINST_WINDRES NAMES x86_64-w64-mingw32-windres REQUIRED)
    set(res ${PROJECT_BINARY_DIR}/cardinst.res)
    if(NOT TARGET cardinst_res) # one .res file for every stand-in of the tree
        add_custom_command(OUTPUT ${res}
            COMMAND ${CARDINST_WINDRES} -O res -I ${CARDINST_ROOT}/src/resources
                    -I ${CARDINST_GENERATED} -i ${CARDINST_RC} -o ${res}
            DEPENDS ${CARDINST_RC} ${CARDINST_RC_DEPENDS}
            COMMENT "Compiling the resources for the stand-in"
            VERBATIM)
        add_custom_target(cardinst_res DEPENDS ${res})
    endif()
    add_library(${target} STATIC ${SIM_SOURCES})
    add_dependencies(${target} cardinst_res)
    target_include_directories(${target} PUBLIC ${CARDINST_ROOT}/win32sim
                                                ${CARDINST_ROOT}/src/resources)
    target_compile_definitions(${target} PRIVATE SIM_RES_FILE="${res}")
    set(CARDINST_RES ${res} PARENT_SCOPE)
endfunction()

# For builds on the stand-in: the program's sources as the static library
# `core`, linked with the stand-in library `standin` made as above.
function(cardinst_core core standin)
    cardinst_standin(${standin})
    add_library(${core} STATIC ${CARDINST_SOURCES})
    target_include_directories(${core} PUBLIC ${CARDINST_ROOT}/src ${CARDINST_ROOT}/src/resources)
    target_compile_options(${core} PRIVATE -fno-exceptions)
    target_link_libraries(${core} PUBLIC ${standin})
    set(CARDINST_RES ${CARDINST_RES} PARENT_SCOPE)
endfunction()
