# The installer: the 32-bit DLL from these sources, the custom actions and
# the MSI (qvmapi-<version>-x64.msi), built with everything.

# The 32-bit DLL, built with the i686 toolchain in a build of its own
# (build/windows/x86), so that this build alone yields both DLLs. The
# windows-x86 presets build and check the same DLL on their own.
include(ExternalProject)
# With GCC, also the Windows tests for i686, which the x86 stage runs.
if(NOT QV_WINDOWS_CLANG)
  set(QV_X86_TEST_TARGETS --target wintest_inprocess wintest_dll wintest_host
      wintest_utf8host stand_in_client)
endif()
ExternalProject_Add(qvmapi_x86
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/x86
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-i686.cmake
             -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
             -DQV_WINDOWS_CLANG=${QV_WINDOWS_CLANG}
             -DQV_SIGN_PKCS12=${QV_SIGN_PKCS12}
             -DQV_SIGN_PASSWORD_FILE=${QV_SIGN_PASSWORD_FILE}
             -DQV_SIGN_TIMESTAMP_URL=${QV_SIGN_TIMESTAMP_URL}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target qvmapi
                ${QV_X86_TEST_TARGETS}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/x86/qvmapi.dll)
set(QV_X86_DLL ${CMAKE_BINARY_DIR}/x86/qvmapi.dll)

# The Windows on ARM DLLs (build/windows/arm64): the ARM64 DLL and the Arm64X
# forwarder, with this build's x64 DLL beside them as qvmapi_x64.dll. The
# windows-arm64 preset builds and tests the same under arm64 Wine.
ExternalProject_Add(qvmapi_arm64
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/arm64
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/clang-aarch64-mingw.cmake
             -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
             -DQV_ARM64_X64_DLL=$<TARGET_FILE:qvmapi>
             -DQV_SIGN_PKCS12=${QV_SIGN_PKCS12}
             -DQV_SIGN_PASSWORD_FILE=${QV_SIGN_PASSWORD_FILE}
             -DQV_SIGN_TIMESTAMP_URL=${QV_SIGN_TIMESTAMP_URL}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target qvmapi arm64x
  INSTALL_COMMAND ""
  DEPENDS qvmapi
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/arm64/qvmapi.dll
                   ${CMAKE_BINARY_DIR}/arm64/qvmapi_arm64.dll
                   ${CMAKE_BINARY_DIR}/arm64/qvmapi_x64.dll)
set(QV_ARM64_DIR ${CMAKE_BINARY_DIR}/arm64)

# The custom actions (deploy/setup_actions.cpp), carried in the MSI: the
# client path rule's source and nothing else of the library, so that no
# start-up of the library (its DllMain, its trace log) runs inside msiexec.
add_library(qvmapi-setup SHARED deploy/setup_actions.cpp
            handoff/client_path.cpp platform/win32/environment.cpp
            deploy/qvmapi-setup.def deploy/qvmapi-setup.rc)
set_target_properties(qvmapi-setup PROPERTIES PREFIX "")
target_include_directories(qvmapi-setup PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(qvmapi-setup PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${QV_WARNINGS}>")
target_link_options(qvmapi-setup PRIVATE ${QV_STATIC_RUNTIME} -s)
target_link_libraries(qvmapi-setup PRIVATE msi advapi32)
qv_sign_after_build(qvmapi-setup)

# Windows Installer compares only the first three fields of a version, so
# the build number (3.1.0.6) goes third: 3.1.6.
math(EXPR QV_MSI_BUILD "${PROJECT_VERSION_PATCH} * 256 + ${PROJECT_VERSION_TWEAK}")
set(QV_MSI_VERSION
    ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${QV_MSI_BUILD})
set(QV_MSI ${CMAKE_BINARY_DIR}/qvmapi-${PROJECT_VERSION}-x64.msi)
file(GLOB QV_DOC_PAGES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
add_custom_command(OUTPUT ${QV_MSI}
  COMMAND ${CMAKE_COMMAND} -E env ${QV_SIGN_ENV}
          sh ${PROJECT_SOURCE_DIR}/deploy/build-msi.sh ${PROJECT_SOURCE_DIR}
          ${CMAKE_BINARY_DIR}/msi-stage $<TARGET_FILE:qvmapi> ${QV_X86_DLL}
          $<TARGET_FILE:qvmapi-setup> ${QV_MSI_VERSION} ${QV_MSI}
          $<TARGET_FILE:qvmapi-check>
  DEPENDS qvmapi qvmapi-setup qvmapi-check qvmapi_x86 ${QV_X86_DLL}
          deploy/qvmapi.wxs deploy/build-msi.sh README.md ${QV_DOC_PAGES}
  VERBATIM)
# The package for Windows on ARM, from the same source.
set(QV_MSI_ARM64 ${CMAKE_BINARY_DIR}/qvmapi-${PROJECT_VERSION}-arm64.msi)
add_custom_command(OUTPUT ${QV_MSI_ARM64}
  COMMAND ${CMAKE_COMMAND} -E env ${QV_SIGN_ENV}
          sh ${PROJECT_SOURCE_DIR}/deploy/build-msi.sh ${PROJECT_SOURCE_DIR}
          ${CMAKE_BINARY_DIR}/msi-stage-arm64 $<TARGET_FILE:qvmapi> ${QV_X86_DLL}
          $<TARGET_FILE:qvmapi-setup> ${QV_MSI_VERSION} ${QV_MSI_ARM64}
          $<TARGET_FILE:qvmapi-check> ${QV_ARM64_DIR}
  DEPENDS qvmapi qvmapi-setup qvmapi-check qvmapi_x86 qvmapi_arm64 ${QV_X86_DLL}
          deploy/qvmapi.wxs deploy/build-msi.sh README.md ${QV_DOC_PAGES}
  VERBATIM)
add_custom_target(installer ALL DEPENDS ${QV_MSI} ${QV_MSI_ARM64})
