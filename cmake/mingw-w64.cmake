# Cross-compiling for Windows with mingw-w64 (POSIX threading model). The
# architecture's toolchain file sets QV_MINGW_PREFIX and the processor,
# then includes this one.
set(CMAKE_SYSTEM_NAME Windows)
if(QV_WINDOWS_CLANG)
  set(CMAKE_C_COMPILER clang)
  set(CMAKE_CXX_COMPILER clang++)
  set(CMAKE_C_COMPILER_TARGET ${QV_MINGW_PREFIX})
  set(CMAKE_CXX_COMPILER_TARGET ${QV_MINGW_PREFIX})
  # clang finds the mingw-w64 headers and binutils by itself, but not the
  # GCC runtime of Debian's posix-thread variant: point it there.
  file(GLOB QV_MINGW_GCC_DIRS /usr/lib/gcc/${QV_MINGW_PREFIX}/*-posix)
  list(GET QV_MINGW_GCC_DIRS 0 QV_MINGW_GCC_DIR)
  set(CMAKE_C_FLAGS_INIT "")
  set(CMAKE_CXX_FLAGS_INIT
      "-isystem ${QV_MINGW_GCC_DIR}/include/c++ -isystem ${QV_MINGW_GCC_DIR}/include/c++/${QV_MINGW_PREFIX} -isystem ${QV_MINGW_GCC_DIR}/include/c++/backward")
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${QV_MINGW_GCC_DIR}")
  set(CMAKE_SHARED_LINKER_FLAGS_INIT "-L${QV_MINGW_GCC_DIR}")
else()
  set(CMAKE_C_COMPILER ${QV_MINGW_PREFIX}-gcc-posix)
  set(CMAKE_CXX_COMPILER ${QV_MINGW_PREFIX}-g++-posix)
endif()
set(CMAKE_RC_COMPILER ${QV_MINGW_PREFIX}-windres)
set(CMAKE_AR ${QV_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${QV_MINGW_PREFIX}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${QV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Windows test programs run under Wine (64-bit only: this kernel cannot
# run 32-bit programs).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine-run.sh)
endif()
