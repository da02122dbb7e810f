# Host build: the simulated Windows, the unit tests, fuzz targets and benchmarks.

find_package(GTest REQUIRED)
include(GoogleTest)

file(GLOB KX_SIM_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/support/sim/*.cpp")
add_library(kx_sim STATIC ${KX_SIM_SOURCES})
target_include_directories(kx_sim PUBLIC "${CMAKE_SOURCE_DIR}/tests/support")
target_link_libraries(kx_sim PUBLIC kx_core)

# One test program per concern, so that each builds and runs on its own.
# The fuzz build of scripts/test.sh turns them off: the sanitized host build runs them.
option(KX_UNIT_TESTS "Build and register the unit tests" ON)
file(GLOB KX_UNIT_DIRS CONFIGURE_DEPENDS LIST_DIRECTORIES true "${CMAKE_SOURCE_DIR}/tests/unit/*")
foreach(unit_dir IN LISTS KX_UNIT_DIRS)
    if(KX_UNIT_TESTS AND IS_DIRECTORY "${unit_dir}")
        get_filename_component(concern "${unit_dir}" NAME)
        file(GLOB unit_sources CONFIGURE_DEPENDS "${unit_dir}/*.cpp")
        if(unit_sources)
            add_executable(${concern}_tests ${unit_sources})
            target_link_libraries(${concern}_tests PRIVATE kx_sim GTest::gtest GTest::gmock GTest::gtest_main)
            target_compile_definitions(${concern}_tests PRIVATE KX_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                                              KX_CONTRACT_NSH="${KX_CONTRACT_NSH}")
            gtest_discover_tests(${concern}_tests TEST_PREFIX "${concern}." DISCOVERY_TIMEOUT 60)
        endif()
    endif()
endforeach()

if(KX_FUZZ)
    # The targets, their caps and their bounded runs: tests/fuzz/CMakeLists.txt.
    add_subdirectory(tests/fuzz)
    # The fuzzers instrument every unit they link.
    foreach(lib kx_core kx_sim)
        target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
    endforeach()
endif()

if(KX_BENCH)
    find_package(benchmark REQUIRED)
    file(GLOB KX_BENCH_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/bench/*.cpp")
    foreach(bench_source IN LISTS KX_BENCH_SOURCES)
        get_filename_component(target "${bench_source}" NAME_WE)
        add_executable(${target} ${bench_source})
        target_link_libraries(${target} PRIVATE kx_sim benchmark::benchmark benchmark::benchmark_main)
    endforeach()
endif()

# The Group Policy templates against themselves and the contract (no ADMX
# validator is packaged for Debian), and the check against broken copies.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_FOUND AND KX_UNIT_TESTS)
    add_test(NAME config.policy_templates
             COMMAND Python3::Interpreter "${CMAKE_SOURCE_DIR}/tests/static/check_policy_templates.py" "${CMAKE_SOURCE_DIR}")
    add_test(NAME config.policy_templates_check_finds_faults
             COMMAND Python3::Interpreter "${CMAKE_SOURCE_DIR}/tests/static/check_policy_templates_test.py"
                     "${CMAKE_SOURCE_DIR}")
endif()
