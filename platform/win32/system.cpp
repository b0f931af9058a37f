// The heap, the trace log's files and folder, threads,
// time and locks, over Win32.
#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"

// The C runtime heap: the host returns resolved-recipient blocks to it
// through MAPIFreeBuffer. malloc(0) may return NULL; the library never
// asks for 0 bytes, but a NULL here must only ever mean "out of memory".
void *QvAlloc(size_t size) { return malloc(size ? size : 1); }
void *QvRealloc(void *block, size_t size) {
  return realloc(block, size ? size : 1);
}
void QvFree(void *block) { free(block); }

DWORD FileOpen(const char *name, HANDLE *file, DWORD access, DWORD share,
               DWORD disposition) {
  *file = CreateFileA(name, access, share, NULL, disposition,
                      FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, NULL);
  return *file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
}

DWORD FileWrite(HANDLE file, const void *bytes, DWORD count, DWORD *written) {
  return WriteFile(file, bytes, count, written, NULL) ? 0 : GetLastError();
}

DWORD FileSeek(HANDLE file, LONG distance, DWORD method) {
  return SetFilePointer(file, distance, NULL, method) ==
                 INVALID_SET_FILE_POINTER
             ? GetLastError()
             : 0;
}

DWORD FileClose(HANDLE file) {
  if (file == INVALID_HANDLE_VALUE)
    return 0;
  return CloseHandle(file) ? 0 : GetLastError();
}

int AppDataFolder(char *folder, size_t room) {
  char path[MAX_PATH + 1] = "";
  if (FAILED(SHGetFolderPathA(NULL, CSIDL_APPDATA, NULL, SHGFP_TYPE_CURRENT,
                              path)))
    return 0;
  size_t n = strnlen(path, sizeof path);
  while (n > 0 && path[n - 1] == '\\')
    n--;
  if (n == 0 || n >= room)
    return 0;
  memcpy(folder, path, n);
  folder[n] = 0;
  return 1;
}

int CreateFolder(const char *path) {
  return SHCreateDirectoryExA(NULL, path, NULL);
}

int NameSearchFirst(NameSearch *s, const char *pattern) {
  WIN32_FIND_DATAA found;
  s->search = FindFirstFileA(pattern, &found);
  if (s->search == INVALID_HANDLE_VALUE)
    return 0;
  memcpy(s->name, found.cFileName, sizeof s->name);
  s->name[sizeof s->name - 1] = 0;
  return 1;
}

int NameSearchNext(NameSearch *s) {
  WIN32_FIND_DATAA found;
  if (!FindNextFileA(s->search, &found))
    return 0;
  memcpy(s->name, found.cFileName, sizeof s->name);
  s->name[sizeof s->name - 1] = 0;
  return 1;
}

void NameSearchClose(NameSearch *s) {
  if (s->search != INVALID_HANDLE_VALUE)
    FindClose(s->search);
  s->search = INVALID_HANDLE_VALUE;
}

DWORD CurrentThreadId(void) { return GetCurrentThreadId(); }
void LocalTime(SYSTEMTIME *now) { GetLocalTime(now); }

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(QvLock), "a lock fits");
void LockInit(QvLock *lock) {
  InitializeCriticalSection((CRITICAL_SECTION *)lock);
}
void LockEnter(QvLock *lock) { EnterCriticalSection((CRITICAL_SECTION *)lock); }
void LockLeave(QvLock *lock) { LeaveCriticalSection((CRITICAL_SECTION *)lock); }
void LockDelete(QvLock *lock) {
  DeleteCriticalSection((CRITICAL_SECTION *)lock);
}
