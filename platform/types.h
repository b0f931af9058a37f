// The Windows types, constants and error codes the library's code is
// written in. On Windows they are the system headers' (which the library
// outside platform/win32/ only ever takes types from: it calls no Win32
// function). Elsewhere the same names with Windows' LLP64 sizes: ULONG,
// DWORD and LONG are 32 bits; ULONG_PTR and handles are pointer-sized;
// WCHAR is a UTF-16 code unit.
#ifndef QV_PLATFORM_TYPES_H
#define QV_PLATFORM_TYPES_H

#include "platform/compiler.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define CALLBACK
typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD, ULONG, UINT;
typedef int32_t LONG;
typedef intptr_t LONG_PTR, LPARAM;
typedef uintptr_t ULONG_PTR, WPARAM;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef char16_t WCHAR;
typedef WCHAR *LPWSTR, *PWSTR;
typedef const WCHAR *LPCWSTR;
typedef void *LPVOID, *HANDLE;
typedef BYTE *LPBYTE;
typedef struct QvHkey *HKEY;
typedef struct QvHinstance *HINSTANCE;

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_DRIVE 15L
#define ERROR_BAD_NETPATH 53L
#define ERROR_BAD_NET_NAME 67L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_DISK_FULL 112L
#define ERROR_INVALID_NAME 123L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_DIRECTORY 267L

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_NEW 1u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define FILE_BEGIN 0u
#define FILE_END 2u

#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002u)
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_DWORD_BIG_ENDIAN 5u
#define REG_MULTI_SZ 7u
#define REG_QWORD 11u

#define CP_ACP 0u
#define CP_UTF8 65001u

#define DLL_PROCESS_DETACH 0u
#define DLL_PROCESS_ATTACH 1u
#define DLL_THREAD_ATTACH 2u
#define DLL_THREAD_DETACH 3u

typedef struct _SYSTEMTIME {
  WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond,
      wMilliseconds;
} SYSTEMTIME;
#endif

// A UTF-16 literal of the type WCHAR is, from a narrow literal or a macro
// that gives one.
#ifdef _WIN32
#define QV_WIDE_(s) L##s
#else
#define QV_WIDE_(s) u##s
#endif
#define QV_WIDE(s) QV_WIDE_(s)

#endif
