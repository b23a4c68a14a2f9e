# The native tree: the GoogleTest suites and the fault sweep on the Linux
# stand-in, with the address and undefined-behaviour sanitizers, and the
# tests of what the other trees built, each registered when its paths are
# given (scripts/build.sh gives all four).
set(CARDINST_EXE64 "" CACHE FILEPATH "64-bit cardinst.exe: binary checks, Wine stories, package")
set(CARDINST_EXE32 "" CACHE FILEPATH "32-bit cardinst.exe: binary checks, package")
set(CARDINST_DRIVER64 "" CACHE FILEPATH "64-bit cardinst-driver.exe: Wine stories")
set(CARDINST_FUZZER_EXE "" CACHE FILEPATH "cardinst_fuzz of the fuzz tree: run on its seed corpus")

enable_testing()
set(CARDINST_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(${CARDINST_WARNINGS} ${CARDINST_SANITIZE} -g)
add_link_options(${CARDINST_SANITIZE})

cardinst_core(cardinst_core win32sim)
# What the native tests and the fault sweep share with the fuzzer.
add_library(test_support STATIC ${PROJECT_SOURCE_DIR}/tests/native/helpers.cpp
                                ${PROJECT_SOURCE_DIR}/tests/native/invariants.cpp)
target_link_libraries(test_support PUBLIC cardinst_core)

find_package(GTest REQUIRED)
include(GoogleTest)
set(NATIVE_TESTS
    ${PROJECT_SOURCE_DIR}/tests/native/catalogue_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/native/checks_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/native/fixture.cpp
    ${PROJECT_SOURCE_DIR}/tests/native/load_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/native/mainwin_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/native/models_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/native/porttest_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/native/propsdlg_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/native/remove_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/native/shell_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/native/sim_selftest.cpp
    ${PROJECT_SOURCE_DIR}/tests/native/write_test.cpp)
add_executable(native_tests ${NATIVE_TESTS})
target_link_libraries(native_tests PRIVATE test_support GTest::gtest GTest::gtest_main)
# The guides' model tables are checked against the catalogue.
target_compile_definitions(native_tests PRIVATE CARDINST_DOCS_DIR="${PROJECT_SOURCE_DIR}/docs")
gtest_discover_tests(native_tests DISCOVERY_TIMEOUT 60)

# The fault sweep: one test, in its own process, per user story.
add_executable(fault_sweep ${PROJECT_SOURCE_DIR}/tests/native/faults_test.cpp)
target_link_libraries(fault_sweep PRIVATE test_support GTest::gtest GTest::gtest_main)
gtest_discover_tests(fault_sweep DISCOVERY_TIMEOUT 60 PROPERTIES LABELS faults)

# The fuzz target on its seed corpus for a bounded time, then what it
# learned once more under ASan (the build beside it, suffixed _asan).
if(CARDINST_FUZZER_EXE)
    add_test(NAME fuzz.corpus
             COMMAND bash ${PROJECT_SOURCE_DIR}/tests/fuzz/run.sh --fresh
                     --replay ${CARDINST_FUZZER_EXE}_asan ${CARDINST_FUZZER_EXE}
                     ${CMAKE_CURRENT_BINARY_DIR}/fuzz -max_total_time=30)
    # Long: it starts early, beside the Wine stories.
    set_tests_properties(fuzz.corpus PROPERTIES LABELS fuzz TIMEOUT 120 COST 500)
endif()

# Binary checks and end-to-end stories of the Windows builds.
add_subdirectory(tests/binary)
if(EXISTS ${PROJECT_SOURCE_DIR}/tests/wine/CMakeLists.txt)
    add_subdirectory(tests/wine)
endif()
# The release zip made from them.
add_subdirectory(tests/package)
