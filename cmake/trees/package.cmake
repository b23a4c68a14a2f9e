# The release zip, cardinst-<version>-windows.zip:
#   x86/cardinst.exe   the 32-bit program
#   x64/cardinst.exe   the 64-bit program
#   guide-en.txt       the administrator's guide, English  } Windows text:
#   guide-fr.txt       the administrator's guide, French   } CR LF,
#   LICENSE                                                } Windows-1252
# with SHA256SUMS beside it. The package tree, configured from the
# repository's root with -DCARDINST_PACKAGE=ON; `cmake --build <tree>
# --target package` makes it, and `cmake --install <tree>` lays out the same
# files.
#
# The two Release programs are built in this tree (win64/, win32/), with
# warnings as errors when CARDINST_WERROR is on, unless CARDINST_EXE64 and
# CARDINST_EXE32 name programs already built.

set(CARDINST_EXE64 "" CACHE FILEPATH "64-bit cardinst.exe to package; empty: build it here")
set(CARDINST_EXE32 "" CACHE FILEPATH "32-bit cardinst.exe to package; empty: build it here")

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    # The layout is a Windows one: by default it goes into the tree, not
    # into the host's /usr/local.
    set(CMAKE_INSTALL_PREFIX ${CMAKE_BINARY_DIR}/install CACHE PATH "Install prefix" FORCE)
endif()

# The Release build of one architecture, as an external project of this
# tree, or the program given for it.
include(ExternalProject)
function(cardinst_program given bits result)
    if(given)
        set(${result} ${given} PARENT_SCOPE)
        return()
    endif()
    set(tree ${CMAKE_BINARY_DIR}/win${bits})
    ExternalProject_Add(cardinst-win${bits}
        SOURCE_DIR ${PROJECT_SOURCE_DIR}
        BINARY_DIR ${tree}
        CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw${bits}.cmake
                   -DCMAKE_BUILD_TYPE=Release -DCARDINST_WERROR=${CARDINST_WERROR}
        BUILD_COMMAND ${CMAKE_COMMAND} --build ${tree} --target cardinst
        BUILD_ALWAYS ON
        INSTALL_COMMAND "")
    set(${result} ${tree}/cardinst.exe PARENT_SCOPE)
endfunction()
cardinst_program("${CARDINST_EXE64}" 64 exe64)
cardinst_program("${CARDINST_EXE32}" 32 exe32)

# The texts, made from their sources at build time. Debian's own Python is
# preferred to any other on the PATH.
find_program(CARDINST_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(CARDINST_PYTHON python3 REQUIRED)
set(texts)
function(cardinst_text source target)
    add_custom_command(
        OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${target}
        COMMAND ${CARDINST_PYTHON} ${PROJECT_SOURCE_DIR}/packaging/windows_text.py ${ARGN}
                ${PROJECT_SOURCE_DIR}/${source} ${CMAKE_CURRENT_BINARY_DIR}/${target}
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/windows_text.py ${PROJECT_SOURCE_DIR}/${source}
        COMMENT "Windows text ${target} from ${source}"
        VERBATIM)
    set(texts ${texts} ${CMAKE_CURRENT_BINARY_DIR}/${target} PARENT_SCOPE)
endfunction()
cardinst_text(docs/guide.en.md guide-en.txt --markdown)
cardinst_text(docs/guide.fr.md guide-fr.txt --markdown)
cardinst_text(LICENSE LICENSE)
add_custom_target(cardinst-texts ALL DEPENDS ${texts})

install(PROGRAMS ${exe32} DESTINATION x86)
install(PROGRAMS ${exe64} DESTINATION x64)
install(FILES ${texts} DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME cardinst)
set(CPACK_PACKAGE_VENDOR "The cardinst developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME cardinst-${PROJECT_VERSION}-windows)
# The files lie at the top of the zip; Windows' own "Extract All" makes
# the folder.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/sha256sums.cmake)
include(CPack)
