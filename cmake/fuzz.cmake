# libFuzzer targets (clang). Each runs for a bounded time as a test, from
# its seed corpus in fuzz/corpus, and fails on a crash or broken invariant.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "the fuzz preset needs clang")
endif()
set(QV_FUZZ_SECONDS 20 CACHE STRING "Seconds each fuzz target runs in the tests")
target_compile_options(qvcore_test PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
target_link_options(qvcore_test PUBLIC -fsanitize=address,undefined)

foreach(target replace_all compose trace_line)
  add_executable(fuzz_${target} fuzz/fuzz_${target}.cpp ${QV_READER_SOURCES})
  target_include_directories(fuzz_${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(fuzz_${target} PRIVATE ${QV_WARNINGS}
                         -fsanitize=fuzzer,address,undefined)
  target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(fuzz_${target} PRIVATE qvcore_test)
  set(work ${CMAKE_BINARY_DIR}/corpus/${target})
  add_test(NAME fuzz_${target}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
            $<TARGET_FILE:fuzz_${target}> -max_total_time=${QV_FUZZ_SECONDS}
            -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
            ${work} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${target})
  file(MAKE_DIRECTORY ${work})
  set_tests_properties(fuzz_${target} PROPERTIES TIMEOUT 300)
endforeach()
