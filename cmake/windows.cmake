# Windows build: the DLL and the test programs that run under Wine.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

# C99 formatting everywhere ("(null)" for a null %s, exact truncation).
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1 WIN32_LEAN_AND_MEAN)
# No compiler runtime DLLs: libgcc, libstdc++ and winpthread linked in.
set(QV_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # GCC's driver adds winpthread for the posix-thread runtime; clang's does not.
  string(APPEND CMAKE_CXX_STANDARD_LIBRARIES " -Wl,--start-group -lstdc++ -lgcc -lgcc_eh -lpthread -Wl,--end-group")
endif()

add_library(qvcore_obj OBJECT ${QV_LIBRARY_SOURCES} mapi/sdk_check.cpp)
target_include_directories(qvcore_obj PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(qvcore_obj PRIVATE ${QV_LIBRARY_FLAGS})

add_library(qvmapi SHARED $<TARGET_OBJECTS:qvcore_obj> mapi/qvmapi.def
            res/qvmapi.rc)
set_target_properties(qvmapi PROPERTIES PREFIX "" OUTPUT_NAME qvmapi
                      IMPORT_PREFIX "" IMPORT_SUFFIX ".dll.a")
target_link_options(qvmapi PRIVATE ${QV_STATIC_RUNTIME} -s)
target_link_libraries(qvmapi PRIVATE kernel32 advapi32 shell32 user32)

# The same objects as a static library, for in-process tests.
add_library(qvcore_win STATIC $<TARGET_OBJECTS:qvcore_obj>)
target_include_directories(qvcore_win PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qvcore_win PUBLIC kernel32 advapi32 shell32 user32)

# GoogleTest from the system's sources, built with the cross compiler.
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

include(cmake/windows_tests.cmake)

# The release package: cmake --build --preset windows --target package
# gives build/windows/qvmapi-3.1.0.6-win64.zip and its .sha256.
install(TARGETS qvmapi RUNTIME DESTINATION .)
install(FILES deploy/register.cmd deploy/unregister.cmd README.md DESTINATION .)
install(DIRECTORY docs/ DESTINATION docs)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME qvmapi)
set(CPACK_PACKAGE_VENDOR "Quorvantile Incorporated")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME qvmapi-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
