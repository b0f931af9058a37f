# Windows on ARM64 with Debian's clang-19 and lld-19: mingw-w64's headers,
# import libraries made from mingw-w64's export lists (cmake/arm64-implibs.sh),
# and no C runtime or C++ library at all: Debian has no aarch64 mingw-w64
# CRT, and the DLL needs none.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(QV_LLVM_SUFFIX -19)
set(CMAKE_C_COMPILER clang${QV_LLVM_SUFFIX})
set(CMAKE_CXX_COMPILER clang++${QV_LLVM_SUFFIX})
set(CMAKE_C_COMPILER_TARGET aarch64-w64-windows-gnu)
set(CMAKE_CXX_COMPILER_TARGET aarch64-w64-windows-gnu)
set(CMAKE_RC_COMPILER llvm-windres${QV_LLVM_SUFFIX})
set(CMAKE_AR llvm-ar${QV_LLVM_SUFFIX} CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib${QV_LLVM_SUFFIX} CACHE FILEPATH "")
set(QV_MINGW_HEADERS /usr/share/mingw-w64/include)
set(CMAKE_C_FLAGS_INIT "-isystem ${QV_MINGW_HEADERS}")
set(CMAKE_CXX_FLAGS_INIT "-isystem ${QV_MINGW_HEADERS}")
set(CMAKE_RC_FLAGS_INIT "--target=aarch64-w64-mingw32 -I${QV_MINGW_HEADERS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -nostdlib")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -nostdlib")
# Without a C runtime no test program links: the compiler checks compile only.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
