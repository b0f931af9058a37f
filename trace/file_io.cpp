#include "trace/file_io.h"

DWORD FileOpen(const char *name, HANDLE *handle, DWORD desiredAccess,
               DWORD shareMode, DWORD creationDisposition) {
  *handle =
      CreateFileA(name, desiredAccess, shareMode, NULL, creationDisposition,
                  FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, NULL);
  return *handle == INVALID_HANDLE_VALUE ? GetLastError() : 0;
}

DWORD FileClose(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE)
    return 0;
  return CloseHandle(handle) ? 0 : GetLastError();
}

DWORD FileWrite(HANDLE handle, const void *buffer, DWORD count,
                DWORD *written) {
  return WriteFile(handle, buffer, count, written, NULL) ? 0 : GetLastError();
}

DWORD FileSeek(HANDLE handle, LONG distance, DWORD moveMethod) {
  DWORD pos = SetFilePointer(handle, distance, NULL, moveMethod);
  return pos == INVALID_SET_FILE_POINTER ? GetLastError() : 0;
}
