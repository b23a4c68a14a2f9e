# The fuzz tree (-DCARDINST_FUZZ=ON, with clang): the libFuzzer target
# tests/fuzz/cardinst_fuzz.cpp on the program and the Linux stand-in, built
# twice: cardinst_fuzz with UBSan alone, fast enough to fuzz with, and
# cardinst_fuzz_asan with ASan too, which replays what the first one
# learned. The native tree runs both on the seed corpus when given the
# first one's path (CARDINST_FUZZER_EXE).
add_compile_options(${CARDINST_WARNINGS} -g)
foreach(fuzz cardinst_fuzz cardinst_fuzz_asan)
    set(sanitize -fsanitize=undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    if(fuzz STREQUAL cardinst_fuzz_asan)
        list(APPEND sanitize -fsanitize=address)
    endif()
    cardinst_core(${fuzz}_core ${fuzz}_sim)
    add_library(${fuzz}_support STATIC ${PROJECT_SOURCE_DIR}/tests/native/helpers.cpp
                                       ${PROJECT_SOURCE_DIR}/tests/native/invariants.cpp)
    add_executable(${fuzz} ${PROJECT_SOURCE_DIR}/tests/fuzz/cardinst_fuzz.cpp)
    foreach(target ${fuzz}_sim ${fuzz}_core ${fuzz}_support ${fuzz})
        target_compile_options(${target} PRIVATE ${sanitize})
    endforeach()
    # Coverage guides the fuzzer through the program and the input's reader,
    # not through the stand-in; the reader's comparisons do not guide it
    # (the dictionary gives its words).
    target_compile_options(${fuzz}_core PRIVATE -fsanitize=fuzzer-no-link)
    target_compile_options(${fuzz} PRIVATE -fsanitize=fuzzer-no-link
                                           -fno-sanitize-coverage=trace-cmp)
    target_link_libraries(${fuzz}_support PUBLIC ${fuzz}_core)
    target_include_directories(${fuzz} PRIVATE ${PROJECT_SOURCE_DIR}/tests/native)
    target_link_libraries(${fuzz} PRIVATE ${fuzz}_support)
    target_link_options(${fuzz} PRIVATE ${sanitize} -fsanitize=fuzzer)
endforeach()
