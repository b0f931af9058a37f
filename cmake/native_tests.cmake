find_package(GTest REQUIRED)

# A stand-in mail client: records the command line it was given. It is
# registered as a Windows program path (Z:\...\stand_in_client.exe), which
# the POSIX layer maps back to this file.
add_executable(stand_in_client tests/support/stand_in_client.cpp)
target_compile_options(stand_in_client PRIVATE ${QV_WARNINGS})
set_target_properties(stand_in_client PROPERTIES SUFFIX ".exe")
set(QV_STAND_IN_WINDOWS_PATH "Z:${CMAKE_CURRENT_BINARY_DIR}/stand_in_client.exe")
string(REPLACE "/" "\\\\" QV_STAND_IN_WINDOWS_PATH "${QV_STAND_IN_WINDOWS_PATH}")

file(GLOB QV_NATIVE_TEST_SOURCES CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/tests/native/test_*.cpp)
add_executable(qv_native_tests tests/native/support.cpp tests/contract/test_seam.cpp
               fuzz/fuzz_compose.cpp
               ${QV_NATIVE_TEST_SOURCES} ${QV_READER_SOURCES})
target_include_directories(qv_native_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(qv_native_tests PRIVATE ${QV_WARNINGS})
target_compile_definitions(qv_native_tests PRIVATE
  QV_STAND_IN_CLIENT="${QV_STAND_IN_WINDOWS_PATH}"
  QV_STAND_IN_FOLDER="${CMAKE_CURRENT_BINARY_DIR}"
  QV_CLIENT_PATH_TABLE="${PROJECT_SOURCE_DIR}/tests/support/client_paths.txt"
  QV_FUZZ_CORPUS="${PROJECT_SOURCE_DIR}/fuzz/corpus")
target_link_libraries(qv_native_tests PRIVATE qvcore_test GTest::gtest
                      GTest::gtest_main)
add_dependencies(qv_native_tests stand_in_client)
add_test(NAME native_unit_tests COMMAND qv_native_tests)
set_tests_properties(native_unit_tests PROPERTIES TIMEOUT 1200)

# The native shared library loads and unloads cleanly through its hooks.
add_executable(native_dlopen_check tests/native/dlopen_check.cpp)
target_compile_options(native_dlopen_check PRIVATE ${QV_WARNINGS})
target_link_libraries(native_dlopen_check PRIVATE ${CMAKE_DL_LIBS})
add_test(NAME native_shared_library COMMAND native_dlopen_check $<TARGET_FILE:qvmapi>)

if(NOT QV_SANITIZE)
  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    include(cmake/bench.cmake OPTIONAL)
  endif()
endif()

# The records below their users, no extern declarations outside headers.
add_test(NAME source_layout
  COMMAND sh ${PROJECT_SOURCE_DIR}/tests/check-layout.sh ${PROJECT_SOURCE_DIR})
