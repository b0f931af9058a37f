// Thin wrappers over the Win32 file calls. Each returns 0 or the
// GetLastError() code of the call that failed.
#ifndef QV_TRACE_FILE_IO_H
#define QV_TRACE_FILE_IO_H

#include "platform/win32.h"

DWORD FileOpen(const char *name, HANDLE *handle, DWORD desiredAccess,
               DWORD shareMode, DWORD creationDisposition);
// Closing INVALID_HANDLE_VALUE succeeds without a call.
DWORD FileClose(HANDLE handle);
DWORD FileWrite(HANDLE handle, const void *buffer, DWORD count, DWORD *written);
DWORD FileSeek(HANDLE handle, LONG distance, DWORD moveMethod);

#endif
