# Native build: the library over the fake platform, its unit tests,
# sanitizer variants, fuzz targets and benchmarks.

find_package(Threads REQUIRED)

if(QV_SANITIZE STREQUAL "address")
  set(QV_SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
                   -fno-sanitize-recover=undefined)
elseif(QV_SANITIZE STREQUAL "thread")
  set(QV_SAN_FLAGS -fsanitize=thread)
endif()
add_compile_options(${QV_SAN_FLAGS})
add_link_options(${QV_SAN_FLAGS})

# The library on the fake, for the unit tests.
add_library(qvcore_test STATIC ${QV_LIBRARY_SOURCES} ${QV_FAKE_SOURCES})
target_include_directories(qvcore_test PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(qvcore_test PRIVATE ${QV_LIBRARY_FLAGS})
target_link_libraries(qvcore_test PUBLIC Threads::Threads)

# The native shared library, DllMain from load hooks.
add_library(qvmapi SHARED ${QV_LIBRARY_SOURCES} ${QV_FAKE_SOURCES}
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
