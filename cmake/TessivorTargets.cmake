# Helpers that register tests, benchmarks and fuzz targets the same way everywhere.

# tessivor_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l] [TIMEOUT s] [ENV VAR=value ...])
# One GoogleTest program, one CTest entry. Each test gets a home folder of its own under the
# build tree so that registration files and recordings never touch the user's data.
function(tessivor_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    # Test code needs no full optimisation; line tables keep failures readable. This halves the
    # build time of the suite (the libraries under test keep the preset's flags).
    target_compile_options(${name} PRIVATE -O1 -g1)
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
    target_compile_definitions(${name} PRIVATE
        TESSIVOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        TESSIVOR_BINARY_DIR="${PROJECT_BINARY_DIR}")
    add_test(NAME ${name} COMMAND ${name})
    set(home ${PROJECT_BINARY_DIR}/test-home/${name})
    set(env
        "XDG_DATA_HOME=${home}"
        "TESSIVOR_TEST_HOME=${home}"
        "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
        ${T_ENV})
    # A hang guard, not a measure of speed: the programs that run ffmpeg over many recordings
    # take several minutes on a busy two-core machine.
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 900)
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
endfunction()

# tessivor_add_bench(NAME SOURCES ... LIBS ...)
function(tessivor_add_bench name)
    cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${B_SOURCES})
    target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
endfunction()

# tessivor_add_fuzzer(NAME SOURCES ... LIBS ... SECONDS n [INPUT_SECONDS t])
# Builds a libFuzzer program and records how long CI runs it (scripts/fuzz.sh reads fuzzers.txt).
# INPUT_SECONDS makes any single input that runs longer than t seconds a finding (libFuzzer's
# -timeout); without it libFuzzer's own limit applies.
function(tessivor_add_fuzzer name)
    cmake_parse_arguments(F "" "SECONDS;INPUT_SECONDS" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    if(NOT F_SECONDS)
        set(F_SECONDS 30)
    endif()
    set_property(GLOBAL APPEND PROPERTY TESSIVOR_FUZZERS "${name} ${F_SECONDS} ${F_INPUT_SECONDS}")
endfunction()
