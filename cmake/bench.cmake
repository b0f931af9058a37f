# Benchmarks: the library on the fake platform, each measure reported as a
# ratio against a baseline timed in the same run. Not part of the tests.
add_library(qvcore_bench STATIC ${QV_LIBRARY_SOURCES} ${QV_FAKE_SOURCES})
target_include_directories(qvcore_bench PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(qvcore_bench PRIVATE ${QV_LIBRARY_FLAGS})
target_link_libraries(qvcore_bench PUBLIC Threads::Threads)

add_executable(qv_bench bench/bench_qvmapi.cpp)
target_compile_options(qv_bench PRIVATE ${QV_WARNINGS})
target_link_libraries(qv_bench PRIVATE qvcore_bench benchmark::benchmark)
