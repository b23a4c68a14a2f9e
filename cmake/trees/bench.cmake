# The benchmarks' tree (-DCARDINST_BENCH=ON), kept apart so that nothing
# of them reaches the product's build or its tests. Two builds (bench/run.sh
# makes both):
#   native: the program's steps on the Linux stand-in, with Google
#           Benchmark, optimised and without sanitizers;
#   win64:  with the MinGW-w64 toolchain, the launcher that times whole
#           processes under Wine and the two floor programs it compares
#           cardinst.exe with.
# Programs at the top of the build folder, where bench/run.sh looks for them.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
if(NOT CMAKE_BUILD_TYPE)
    set(CMAKE_BUILD_TYPE Release)
endif()

if(WIN32)
    # The launcher and the floor programs, 64-bit console and GUI programs
    # linked like the product: static runtime, system DLLs only, and the
    # floors started by their own entry point as cardinst is.
    enable_language(RC)
    set(BENCH_LINK -static -static-libgcc -static-libstdc++)

    add_executable(bench-launcher ${PROJECT_SOURCE_DIR}/bench/wine/launcher.cpp)
    target_compile_options(bench-launcher PRIVATE ${CARDINST_WARNINGS})
    target_link_options(bench-launcher PRIVATE ${BENCH_LINK})
    target_link_libraries(bench-launcher PRIVATE user32)

    set(floor_dir ${PROJECT_SOURCE_DIR}/bench/wine)
    foreach(floor bare samecalls)
        add_executable(floor-${floor} WIN32 ${floor_dir}/floor.cpp ${floor_dir}/${floor}.cpp
                                            ${floor_dir}/floor.rc)
        target_compile_options(floor-${floor} PRIVATE ${CARDINST_WARNINGS} -fno-exceptions -fno-rtti)
        target_link_options(floor-${floor} PRIVATE ${BENCH_LINK} -nostartfiles -Wl,-e,FloorStart)
        target_link_libraries(floor-${floor} PRIVATE user32 advapi32)
    endforeach()
    return()
endif()

# The product's sources and the stand-in's are those the product's own
# build names (cmake/cardinst-sources.cmake); the stand-in reads the
# resources the program carries.
add_compile_options(${CARDINST_WARNINGS})

cardinst_core(bench_cardinst bench_win32sim)

find_package(benchmark REQUIRED)
add_executable(bench-steps ${CARDINST_ROOT}/bench/native/steps.cpp
                           ${CARDINST_ROOT}/tests/native/helpers.cpp
                           ${CARDINST_ROOT}/tests/native/invariants.cpp)
target_include_directories(bench-steps PRIVATE ${CARDINST_ROOT}/tests/native)
target_link_libraries(bench-steps PRIVATE bench_cardinst benchmark::benchmark)
