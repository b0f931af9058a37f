// The one include for the Win32 functions the library calls.
//
// On Windows these are the system's own headers. Elsewhere platform/posix
// declares the same subset with Windows' LLP64 sizes and implements it over
// POSIX, so the library is written once, against Win32.
#ifndef QV_PLATFORM_WIN32_H
#define QV_PLATFORM_WIN32_H

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <shlobj.h>
#include <windows.h>
#else
#include "platform/posix/win32_posix.h"
#endif

#endif
