# Windows test programs, run one at a time under Wine in a prefix that is
# made fresh for each test run.
set(QV_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(QV_WINE_ENV
  WINEPREFIX=${QV_WINEPREFIX} WINEDEBUG=-all WINEARCH=win64
  "WINEDLLOVERRIDES=mscoree,mshtml=")

function(qv_windows_program name)
  add_executable(${name} ${ARGN})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${QV_WARNINGS})
  target_link_options(${name} PRIVATE ${QV_STATIC_RUNTIME})
  if(CMAKE_SIZEOF_VOID_P EQUAL 4) # built when the x86 stage asks for them
    set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endfunction()

function(qv_wine_test name program)
  add_test(NAME ${name} COMMAND ${program} ${ARGN})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "${QV_WINE_ENV}"
    FIXTURES_REQUIRED wine_prefix
    RESOURCE_LOCK wine
    TIMEOUT 900)
endfunction()

qv_windows_program(stand_in_client tests/support/stand_in_client.cpp)

qv_windows_program(wintest_inprocess
  tests/windows/inprocess_tests.cpp tests/contract/test_seam.cpp
  ${QV_READER_SOURCES})
target_link_libraries(wintest_inprocess PRIVATE qvcore_win gtest gtest_main)
add_dependencies(wintest_inprocess stand_in_client)

qv_windows_program(wintest_dll tests/windows/dll_tests.cpp
  tests/windows/wine_support.cpp ${QV_READER_SOURCES})
target_link_libraries(wintest_dll PRIVATE gtest gtest_main version)
add_dependencies(wintest_dll qvmapi stand_in_client wintest_host
  wintest_utf8host)

qv_windows_program(wintest_host tests/windows/host.cpp)
target_link_libraries(wintest_host PRIVATE msi version)
qv_windows_program(wintest_utf8host tests/windows/host.cpp
  tests/windows/utf8_host.rc)
target_link_libraries(wintest_utf8host PRIVATE msi version)

# The 32-bit build stops here: the x64 build's x86 stage runs these.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  return()
endif()

# The host and client of the ARM64 tests, built for x64 the same way
# (without a C runtime), so that the runs under amd64 and arm64 Wine are
# compared byte for byte.
foreach(program host client)
  add_executable(qv${program}_x64 tests/arm64/${program}.cpp)
  target_include_directories(qv${program}_x64 PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(qv${program}_x64 PRIVATE ${QV_LIBRARY_FLAGS})
  string(SUBSTRING ${program} 0 1 first)
  string(TOUPPER ${first} first)
  string(SUBSTRING ${program} 1 -1 rest)
  target_link_options(qv${program}_x64 PRIVATE -nostdlib
                      -Wl,--entry=${first}${rest}Start -Wl,--subsystem,console)
  target_link_libraries(qv${program}_x64 PRIVATE kernel32 shell32 msvcrt)
endforeach()

# A DLL that says when it is loaded, planted beside qvmapi-check.
add_library(planted_dll SHARED tests/windows/planted_dll.cpp)
set_target_properties(planted_dll PROPERTIES PREFIX "" OUTPUT_NAME mapi32
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/planted)
target_link_options(planted_dll PRIVATE ${QV_STATIC_RUNTIME})

add_test(NAME wine_prefix_setup
  COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/wine-prefix.sh init ${QV_WINEPREFIX})
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix
  RESOURCE_LOCK wine TIMEOUT 300)
add_test(NAME wine_prefix_stop
  COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/wine-prefix.sh stop ${QV_WINEPREFIX})
set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine_prefix
  RESOURCE_LOCK wine)

# Both DLLs read from the files themselves: machine, exports, imports and
# version resource.
add_test(NAME windows_dll_exports_and_imports
  COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/check-dll.sh $<TARGET_FILE:qvmapi> x86_64)
add_test(NAME windows_x86_dll_static_checks
  COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/check-dll.sh ${QV_X86_DLL} i686)

# Only platform/win32/ of the library calls Win32.
add_test(NAME library_calls_win32_only_from_platform
  COMMAND sh ${PROJECT_SOURCE_DIR}/tests/check-layout.sh ${PROJECT_SOURCE_DIR}
          $<TARGET_OBJECTS:qvcore_obj>)

qv_wine_test(wine_inprocess wintest_inprocess)
qv_wine_test(wine_dll wintest_dll
  --gtest_filter=-DllUnder932.*:DllWithWindow.*)
# A process whose ANSI code page is the double-byte 932.
qv_wine_test(wine_dll_cp932 wintest_dll --gtest_filter=DllUnder932.*)
set_property(TEST wine_dll_cp932 APPEND PROPERTY ENVIRONMENT LC_ALL=ja_JP.UTF-8)
# The same programs built for i686, run by 32-bit hosts under WoW64 Wine
# in an amd64 Debian root of their own (tests/x86/wine-x86-test.sh).
if(NOT QV_WINDOWS_CLANG)
  add_test(NAME wine_x86
    COMMAND ${PROJECT_SOURCE_DIR}/tests/x86/wine-x86-test.sh
            ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
  set_tests_properties(wine_x86 PROPERTIES RESOURCE_LOCK wine TIMEOUT 2400)
endif()
# A host thread that owns a window needs a display: a virtual one. The test
# has a watchdog of its own, so a deadlock fails it rather than hang.
add_test(NAME wine_dll_window
  COMMAND xvfb-run -a ${CMAKE_CROSSCOMPILING_EMULATOR}
          $<TARGET_FILE:wintest_dll> --gtest_filter=DllWithWindow.*)
set_tests_properties(wine_dll_window PROPERTIES ENVIRONMENT "${QV_WINE_ENV}"
  FIXTURES_REQUIRED wine_prefix RESOURCE_LOCK wine TIMEOUT 300)

# The demo: a sample host and a sample mail client.
qv_windows_program(demo_host tools/demo_host.cpp)
qv_windows_program(sample_client tools/sample_client.cpp ${QV_READER_SOURCES})

# The registration scripts under Wine's cmd.
add_test(NAME wine_deploy_scripts
  COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/deploy-test.sh ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR})
set_tests_properties(wine_deploy_scripts PROPERTIES ENVIRONMENT "${QV_WINE_ENV}"
  FIXTURES_REQUIRED wine_prefix RESOURCE_LOCK wine TIMEOUT 600)

# Signing with a throwaway certificate, and the MSI under Wine's msiexec in
# a fresh prefix of its own.
add_test(NAME windows_signing
  COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/sign-test.sh ${PROJECT_SOURCE_DIR}
          ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
set_tests_properties(windows_signing PROPERTIES TIMEOUT 300)
add_test(NAME wine_msi_install
  COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/msi-test.sh ${PROJECT_SOURCE_DIR}
          ${CMAKE_BINARY_DIR} ${PROJECT_VERSION} ${QV_MSI_VERSION})
set_tests_properties(wine_msi_install PROPERTIES RESOURCE_LOCK wine TIMEOUT 900)

# qvmapi-check on a correct installation and on each broken piece.
add_test(NAME wine_check_program
  COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/check-test.sh ${PROJECT_SOURCE_DIR}
          ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
set_tests_properties(wine_check_program PROPERTIES RESOURCE_LOCK wine TIMEOUT 900)

# The release package builds, holds what an administrator needs, and the
# README's ZIP steps work as written (in a Wine prefix of its own).
add_test(NAME release_package
  COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/package-test.sh ${PROJECT_SOURCE_DIR}
          ${CMAKE_BINARY_DIR} ${CMAKE_COMMAND} ${PROJECT_VERSION})
set_tests_properties(release_package PROPERTIES RESOURCE_LOCK wine TIMEOUT 600)

# What a host pays on the real DLL, against raw Win32 baselines in the same
# run: sh bench/run-wine-bench.sh. Built with everything, never a test.
qv_windows_program(qv_wine_bench bench/wine_bench.cpp
  tests/windows/wine_support.cpp)
add_dependencies(qv_wine_bench qvmapi stand_in_client)
