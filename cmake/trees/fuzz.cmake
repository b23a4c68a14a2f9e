# The fuzz tree (-DCARDINST_FUZZ=ON, with clang): the libFuzzer target
# tests/fuzz/cardinst_fuzz.cpp on the program and the Linux stand-in, with
# the sanitizers. The native tree runs it on its seed corpus when given its
# path (CARDINST_FUZZER_EXE).
set(CARDINST_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(${CARDINST_WARNINGS} ${CARDINST_SANITIZE} -g)
add_link_options(${CARDINST_SANITIZE})

cardinst_core(cardinst_core win32sim)
# Coverage guides the fuzzer through the program and the input's reader,
# not through the stand-in.
target_compile_options(cardinst_core PRIVATE -fsanitize=fuzzer-no-link)
add_library(invariants STATIC ${PROJECT_SOURCE_DIR}/tests/native/invariants.cpp)
target_link_libraries(invariants PUBLIC cardinst_core)
add_executable(cardinst_fuzz ${PROJECT_SOURCE_DIR}/tests/fuzz/cardinst_fuzz.cpp)
target_include_directories(cardinst_fuzz PRIVATE tests/native)
target_compile_options(cardinst_fuzz PRIVATE -fsanitize=fuzzer-no-link)
target_link_libraries(cardinst_fuzz PRIVATE invariants)
target_link_options(cardinst_fuzz PRIVATE -fsanitize=fuzzer)
