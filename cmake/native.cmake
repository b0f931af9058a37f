# Native build: the library over the POSIX platform layer, its unit tests,
# sanitizer variants, fuzz targets and benchmarks.
set(QV_POSIX_SOURCES
  platform/posix/handles.cpp
  platform/posix/files.cpp
  platform/posix/sync.cpp
  platform/posix/process.cpp
  platform/posix/registry.cpp
  platform/posix/shell.cpp
  platform/posix/text.cpp
  platform/posix/modal_wait.cpp
)

find_package(Threads REQUIRED)

if(QV_SANITIZE STREQUAL "address")
  set(QV_SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
                   -fno-sanitize-recover=undefined)
elseif(QV_SANITIZE STREQUAL "thread")
  set(QV_SAN_FLAGS -fsanitize=thread)
endif()
add_compile_options(${QV_SAN_FLAGS})
add_link_options(${QV_SAN_FLAGS})

# The library with test control, for the unit tests.
add_library(qvcore_test STATIC ${QV_LIBRARY_SOURCES} ${QV_POSIX_SOURCES}
            platform/posix/testctl.cpp)
target_include_directories(qvcore_test PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(qvcore_test PUBLIC QV_TEST_CONTROL=1)
target_compile_options(qvcore_test PRIVATE ${QV_LIBRARY_FLAGS})
target_link_libraries(qvcore_test PUBLIC Threads::Threads)

# The native shared library: no test control, DllMain from load hooks.
add_library(qvmapi SHARED ${QV_LIBRARY_SOURCES} ${QV_POSIX_SOURCES}
            trace/module_hooks_posix.cpp)
target_include_directories(qvmapi PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(qvmapi PRIVATE ${QV_LIBRARY_FLAGS})
target_link_libraries(qvmapi PRIVATE Threads::Threads)

if(NOT QV_FUZZ)
  include(cmake/native_tests.cmake)
endif()
if(QV_FUZZ)
  include(cmake/fuzz.cmake)
endif()
