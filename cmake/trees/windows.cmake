# The Windows tree, configured with a MinGW-w64 toolchain file (or Visual
# C++): the 64-bit or 32-bit cardinst.exe, importing only kernel32, user32,
# advapi32 and msvcrt, and with the 64-bit toolchain the test driver that
# operates it under Wine.
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${PROJECT_SOURCE_DIR}/src/resources -I${CARDINST_GENERATED}")
set_source_files_properties(${CARDINST_RC} PROPERTIES OBJECT_DEPENDS "${CARDINST_RC_DEPENDS}")
add_executable(cardinst WIN32 ${CARDINST_SOURCES} ${CARDINST_RC})
target_include_directories(cardinst PRIVATE src src/resources)
target_link_libraries(cardinst PRIVATE user32 advapi32)
if(MSVC)
    # The same sources with Visual C++ (never built here so far): static C
    # runtime, so again only system DLLs; the C library's "secure" variants
    # are not used.
    set_property(TARGET cardinst PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded")
    target_compile_options(cardinst PRIVATE /W4 /EHs-c- /GR-)
    target_compile_definitions(cardinst PRIVATE _CRT_SECURE_NO_WARNINGS)
    # The manifest is a resource of its own; the linker must not add one.
    target_link_options(cardinst PRIVATE /MANIFEST:NO)
    if(CARDINST_WERROR)
        target_compile_options(cardinst PRIVATE /WX)
        target_link_options(cardinst PRIVATE /WX)
    endif()
    return()
endif()
target_compile_options(cardinst PRIVATE ${CARDINST_WARNINGS} -fno-exceptions -fno-rtti)
# Its own entry point (CardinstStart in src/shell/main.cpp) instead of the
# C run-time's start-up code; libgcc still provides the stack probes.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CARDINST_ENTRY _CardinstStart@0)
else()
    set(CARDINST_ENTRY CardinstStart)
endif()
target_link_options(cardinst PRIVATE -static -static-libgcc -nostartfiles -Wl,-e,${CARDINST_ENTRY})
# Release: small (optimised for size, unused functions dropped, tables
# aligned only as the ABI asks, no symbols) and the same bytes from the same
# sources (no link time in the header). The 32-bit program also loads on
# Windows NT 4.0; it has no C++ exceptions, and 32-bit Windows unwinds
# without tables, so it needs none. The 64-bit one keeps its unwind tables,
# which that system's calling convention requires.
target_compile_options(cardinst PRIVATE
                       $<$<CONFIG:Release>:-Os -ffunction-sections -malign-data=abi>)
target_link_options(cardinst PRIVATE -Wl,--no-insert-timestamp
                    $<$<CONFIG:Release>:-s -Wl,--gc-sections>)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_compile_options(cardinst PRIVATE $<$<CONFIG:Release>:-fno-asynchronous-unwind-tables>)
    target_link_options(cardinst PRIVATE -Wl,--subsystem,windows:4.0 -Wl,--major-os-version,4
                        -Wl,--minor-os-version,0)
endif()

# The test driver that operates the program under Wine, where only the
# 64-bit build runs.
if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND EXISTS ${PROJECT_SOURCE_DIR}/tools/wine/driver.cpp)
    add_executable(cardinst-driver tools/wine/driver.cpp)
    target_include_directories(cardinst-driver PRIVATE src src/resources)
    target_compile_options(cardinst-driver PRIVATE ${CARDINST_WARNINGS})
    target_link_options(cardinst-driver PRIVATE -static -static-libgcc -static-libstdc++)
    target_link_libraries(cardinst-driver PRIVATE user32 gdi32 advapi32)
endif()
