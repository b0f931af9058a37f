if(CMAKE_SYSTEM_PROCESSOR STREQUAL ARM64)
  include(cmake/windows_arm64.cmake)
  return()
endif()

# Windows build: the DLL, for 64-bit or (windows-x86) 32-bit hosts; in the
# 64-bit build also the test programs that run under Wine, the installer
# and the release package.
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

add_library(qvcore_obj OBJECT ${QV_LIBRARY_SOURCES} ${QV_WIN32_SOURCES}
            mapi/sdk_check.cpp)
target_include_directories(qvcore_obj PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(qvcore_obj PRIVATE ${QV_LIBRARY_FLAGS})

# The 32-bit DLL maps each export to its __stdcall symbol (name@bytes).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QV_MODULE_DEFINITION mapi/qvmapi-x86.def)
else()
  set(QV_MODULE_DEFINITION mapi/qvmapi.def)
endif()
add_library(qvmapi SHARED $<TARGET_OBJECTS:qvcore_obj> ${QV_MODULE_DEFINITION}
            res/qvmapi.rc)
set_target_properties(qvmapi PROPERTIES PREFIX "" OUTPUT_NAME qvmapi
                      IMPORT_PREFIX "" IMPORT_SUFFIX ".dll.a")
target_link_options(qvmapi PRIVATE ${QV_STATIC_RUNTIME} -s)
target_link_libraries(qvmapi PRIVATE kernel32 advapi32 shell32 user32)

# Authenticode signing, when a certificate is given (deploy/sign.sh).
include(deploy/signing.cmake)
qv_sign_after_build(qvmapi)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The 32-bit DLL read from the file (machine, exports, imports, version
  # resource); it runs in the x64 build's x86 stage (tests/x86), which
  # builds this tree's Windows tests for i686 too.
  add_test(NAME windows_x86_dll_static_checks
    COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/check-dll.sh
            $<TARGET_FILE:qvmapi> i686)
endif()

# The same objects as a static library, for in-process tests.
add_library(qvcore_win STATIC $<TARGET_OBJECTS:qvcore_obj>)
target_include_directories(qvcore_win PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qvcore_win PUBLIC kernel32 advapi32 shell32 user32)

# GoogleTest from the system's sources, built with the cross compiler.
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The Windows tests' programs, for the x86 stage (built on demand).
  include(cmake/windows_tests.cmake)
  return()
endif()

# qvmapi-check: why "send as mail" does not work, for administrators.
add_executable(qvmapi-check check/qvmapi_check.cpp check/qvmapi-check.rc)
target_compile_options(qvmapi-check PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${QV_WARNINGS}>")
target_link_options(qvmapi-check PRIVATE ${QV_STATIC_RUNTIME} -s)
target_link_libraries(qvmapi-check PRIVATE qvcore_win)
qv_sign_after_build(qvmapi-check)

# The 32-bit DLL, the installer's custom actions and the MSI.
include(deploy/msi.cmake)

include(cmake/windows_tests.cmake)


# The release package: cmake --build --preset windows --target package
# gives build/windows/qvmapi-3.1.0.6-win64.zip and its .sha256. It holds
# both DLLs, the MSI, qvmapi-check, the scripts and the docs, and SHA256SUMS
# with a line
# for every other file in it.
install(FILES $<TARGET_FILE:qvmapi> DESTINATION x64)
install(TARGETS qvmapi-check RUNTIME DESTINATION .)
install(FILES ${QV_X86_DLL} DESTINATION x86)
install(FILES ${QV_ARM64_DIR}/qvmapi.dll ${QV_ARM64_DIR}/qvmapi_arm64.dll
        ${QV_ARM64_DIR}/qvmapi_x64.dll DESTINATION arm64)
install(FILES ${QV_MSI} ${QV_MSI_ARM64} deploy/register.cmd
        deploy/unregister.cmd README.md DESTINATION .)
install(DIRECTORY docs/ DESTINATION docs)
install(CODE [[
  file(GLOB_RECURSE files RELATIVE "${CMAKE_INSTALL_PREFIX}"
       "${CMAKE_INSTALL_PREFIX}/*")
  list(SORT files)
  set(sums "")
  foreach(f IN LISTS files)
    if(NOT f STREQUAL "SHA256SUMS")
      file(SHA256 "${CMAKE_INSTALL_PREFIX}/${f}" hash)
      string(APPEND sums "${hash}  ${f}\n")
    endif()
  endforeach()
  file(WRITE "${CMAKE_INSTALL_PREFIX}/SHA256SUMS" "${sums}")
]])
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME qvmapi)
set(CPACK_PACKAGE_VENDOR "Quorvantile Incorporated")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME qvmapi-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
