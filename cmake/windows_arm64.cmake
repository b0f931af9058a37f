# Windows on ARM: the native ARM64 DLL (qvmapi_arm64.dll), built with
# clang-19 and lld-19 without a C runtime; the x64 DLL beside it
# (qvmapi_x64.dll); and qvmapi.dll, an Arm64X forwarder linked with lld-22
# whose native view forwards the thirteen exports to qvmapi_arm64.dll and
# whose EC view forwards them to qvmapi_x64.dll. One DLLPath then serves
# native ARM64 processes (Explorer) and ARM64EC/x64 ones (Office).
add_compile_definitions(WIN32_LEAN_AND_MEAN)
# Only the import libraries made below: CMake's list of Windows libraries
# names DLLs this build has none for, and needs none of.
set(CMAKE_C_STANDARD_LIBRARIES "")
set(CMAKE_CXX_STANDARD_LIBRARIES "")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
set(QV_EXPORT_NAMES MAPIAddress MAPIDeleteMail MAPIDetails MAPIFindNext
    MAPILogoff MAPILogon MAPIReadMail MAPIResolveName MAPISaveMail
    MAPISendDocuments MAPISendMail MAPIFreeBuffer MAPISendMailW)

# Import libraries for the system DLLs the DLL and the test programs use.
set(QV_IMPLIB_DIR ${CMAKE_BINARY_DIR}/implib)
set(QV_IMPLIB_DLLS kernel32 advapi32 shell32 user32 ucrtbase)
set(QV_IMPLIBS "")
foreach(dll IN LISTS QV_IMPLIB_DLLS)
  list(APPEND QV_IMPLIBS ${QV_IMPLIB_DIR}/lib${dll}.a)
endforeach()
add_custom_command(OUTPUT ${QV_IMPLIBS}
  COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/arm64-implibs.sh ${QV_IMPLIB_DIR} ${QV_IMPLIB_DLLS}
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/arm64-implibs.sh VERBATIM)
add_custom_target(arm64_implibs DEPENDS ${QV_IMPLIBS})
function(qv_arm64_link target)
  add_dependencies(${target} arm64_implibs)
  target_link_directories(${target} PRIVATE ${QV_IMPLIB_DIR})
  target_link_libraries(${target} PRIVATE ${ARGN})
endfunction()

# No C runtime: nothing may need one. Every global is constant-initialised
# (nothing runs before DllMain), and the stack probe is the library's own.
set(QV_ARM64_FLAGS ${QV_LIBRARY_FLAGS} -Wglobal-constructors)
add_library(qvmapi SHARED ${QV_LIBRARY_SOURCES} ${QV_WIN32_SOURCES}
            platform/win32/arm64_runtime.cpp mapi/sdk_check.cpp
            mapi/qvmapi.def res/qvmapi.rc)
target_include_directories(qvmapi PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(qvmapi PRIVATE ${QV_ARM64_FLAGS})
set_target_properties(qvmapi PROPERTIES PREFIX "" OUTPUT_NAME qvmapi_arm64
                      IMPORT_PREFIX "" IMPORT_SUFFIX ".dll.a")
target_link_options(qvmapi PRIVATE -Wl,--entry=DllMain -s)
qv_arm64_link(qvmapi kernel32 advapi32 shell32 user32 ucrtbase)
include(deploy/signing.cmake)
qv_sign_after_build(qvmapi)

# A host and a client without a C runtime, for the tests under arm64 Wine.
foreach(program host client)
  add_executable(qv${program} tests/arm64/${program}.cpp
                 platform/win32/arm64_runtime.cpp)
  target_include_directories(qv${program} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(qv${program} PRIVATE ${QV_ARM64_FLAGS})
  string(SUBSTRING ${program} 0 1 first)
  string(TOUPPER ${first} first)
  string(SUBSTRING ${program} 1 -1 rest)
  target_link_options(qv${program} PRIVATE -Wl,--entry=${first}${rest}Start
                      -Wl,--subsystem,console)
  qv_arm64_link(qv${program} kernel32 shell32 ucrtbase)
endforeach()

# The x64 DLL beside it: the x64 build's qvmapi.dll, given by the build
# that packages it, or built here (with the x64 test programs that the
# comparison runs under amd64 Wine).
if(QV_ARM64_X64_DLL)
  set(QV_X64_DLL ${QV_ARM64_X64_DLL})
  set(QV_X64_DEPENDS ${QV_ARM64_X64_DLL})
else()
  include(ExternalProject)
  ExternalProject_Add(qvmapi_x64_build
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/x64
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target qvmapi
                  qvhost_x64 qvclient_x64 stand_in_client
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/x64/qvmapi.dll)
  set(QV_X64_DLL ${CMAKE_BINARY_DIR}/x64/qvmapi.dll)
  set(QV_X64_DEPENDS qvmapi_x64_build ${QV_X64_DLL})
endif()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/qvmapi_x64.dll
  COMMAND ${CMAKE_COMMAND} -E copy ${QV_X64_DLL} ${CMAKE_BINARY_DIR}/qvmapi_x64.dll
  DEPENDS ${QV_X64_DEPENDS} VERBATIM)

# The Arm64X forwarder: no code, two export tables of forwarders, a load
# configuration for each view (the EC one with its CHPE metadata), and the
# version resource.
set(QV_FORWARDER_DIR ${CMAKE_BINARY_DIR}/forwarder)
set(QV_SIGN_FORWARDER "")
if(QV_SIGN_PKCS12)
  set(QV_SIGN_FORWARDER COMMAND ${CMAKE_COMMAND} -E env ${QV_SIGN_ENV} sh
      ${QV_SIGN_SCRIPT} ${CMAKE_BINARY_DIR}/qvmapi.dll)
endif()
foreach(view native:arm64 ec:x64)
  string(REPLACE ":" ";" parts ${view})
  list(GET parts 0 name)
  list(GET parts 1 target)
  set(text "LIBRARY qvmapi.dll\nEXPORTS\n")
  set(ordinal 1)
  foreach(export IN LISTS QV_EXPORT_NAMES)
    string(APPEND text "  ${export}=qvmapi_${target}.${export} @${ordinal}\n")
    math(EXPR ordinal "${ordinal} + 1")
  endforeach()
  file(WRITE ${QV_FORWARDER_DIR}/${name}.def "${text}")
endforeach()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/qvmapi.dll
  COMMAND clang-22 --target=aarch64-windows -c
          ${PROJECT_SOURCE_DIR}/platform/win32/arm64x_native.s -o ${QV_FORWARDER_DIR}/native.obj
  COMMAND clang-22 --target=arm64ec-windows -c
          ${PROJECT_SOURCE_DIR}/platform/win32/arm64x_ec.s -o ${QV_FORWARDER_DIR}/ec.obj
  COMMAND llvm-windres-22 --target=aarch64-w64-mingw32 -I${QV_MINGW_HEADERS}
          -I${PROJECT_SOURCE_DIR}/res ${PROJECT_SOURCE_DIR}/res/qvmapi.rc
          -O res -o ${QV_FORWARDER_DIR}/qvmapi.res
  COMMAND lld-link-22 -machine:arm64x -dll -noentry -brepro
          -defarm64native:${QV_FORWARDER_DIR}/native.def
          -def:${QV_FORWARDER_DIR}/ec.def ${QV_FORWARDER_DIR}/native.obj
          ${QV_FORWARDER_DIR}/ec.obj ${QV_FORWARDER_DIR}/qvmapi.res
          -out:${CMAKE_BINARY_DIR}/qvmapi.dll
  ${QV_SIGN_FORWARDER}
  DEPENDS platform/win32/arm64x_native.s platform/win32/arm64x_ec.s
          res/qvmapi.rc res/qvmapi.manifest res/qvmail.ico
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}/res VERBATIM)
add_custom_target(arm64x ALL DEPENDS ${CMAKE_BINARY_DIR}/qvmapi.dll
                  ${CMAKE_BINARY_DIR}/qvmapi_x64.dll)

# Checked from the files: machines, exports, forwarders, imports.
add_test(NAME arm64_dlls_static_checks
  COMMAND ${PROJECT_SOURCE_DIR}/tests/arm64/check-arm64-dlls.sh ${CMAKE_BINARY_DIR})
# Run under arm64 Wine in an arm64 Debian root, through qemu-user.
if(NOT QV_ARM64_X64_DLL)
  add_test(NAME wine_arm64
    COMMAND ${PROJECT_SOURCE_DIR}/tests/arm64/wine-arm64-test.sh
            ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR})
  set_tests_properties(wine_arm64 PROPERTIES TIMEOUT 1800)
endif()
