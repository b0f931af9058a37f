#include "platform/posix/handles.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "platform/posix/seam.h"

static const unsigned kHandleMagic = 0x51564844u; // "QVHD"
static std::atomic<long> g_handlesOpen{0};

void QvHandleNoteOpen(int delta) { g_handlesOpen += delta; }
long QvHandlesOpen(void) { return g_handlesOpen.load(); }

HANDLE QvHandleNew(int kind) {
  QvHandle *record = (QvHandle *)calloc(1, sizeof(QvHandle));
  if (!record)
    return INVALID_HANDLE_VALUE;
  record->magic = kHandleMagic;
  record->kind = kind;
  record->fd = -1;
  QvHandleNoteOpen(1);
  return (HANDLE)record;
}

QvHandle *QvHandleGet(HANDLE h, int kind) {
  if (!h || h == INVALID_HANDLE_VALUE)
    return NULL;
  QvHandle *record = (QvHandle *)h;
  if (record->magic != kHandleMagic)
    return NULL;
  if (kind && record->kind != kind)
    return NULL;
  return record;
}

void QvHandleFree(QvHandle *record) {
  record->magic = 0;
  QvHandleNoteOpen(-1);
  free(record);
}

int QvPosixPath(LPCSTR win32Path, char *out, size_t room) {
  // A drive letter names the root, as Wine's Z: does: Z:\tmp is /tmp.
  char first = win32Path[0];
  if (((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z')) &&
      win32Path[1] == ':')
    win32Path += 2;
  size_t n = strlen(win32Path);
  if (n + 1 > room)
    return 0;
  for (size_t i = 0; i <= n; i++)
    out[i] = win32Path[i] == '\\' ? '/' : win32Path[i];
  return 1;
}

DWORD QvErrnoToWin32(int err) {
  switch (err) {
  case 0:
    return ERROR_SUCCESS;
  case ENOENT:
    return ERROR_FILE_NOT_FOUND;
  case ENOTDIR:
    return ERROR_PATH_NOT_FOUND;
  case EACCES:
  case EPERM:
  case EROFS:
  case EISDIR:
    return ERROR_ACCESS_DENIED;
  case EEXIST:
    return ERROR_FILE_EXISTS;
  case EMFILE:
  case ENFILE:
    return ERROR_TOO_MANY_OPEN_FILES;
  case ENOMEM:
    return ERROR_NOT_ENOUGH_MEMORY;
  case ENOSPC:
  case EDQUOT:
    return ERROR_DISK_FULL;
  case ENAMETOOLONG:
    return ERROR_FILENAME_EXCED_RANGE;
  case EBADF:
    return ERROR_INVALID_HANDLE;
  case EINVAL:
    return ERROR_INVALID_PARAMETER;
  case ENOEXEC:
    return ERROR_BAD_EXE_FORMAT;
  case EIO:
    return ERROR_WRITE_FAULT;
  default:
    return ERROR_GEN_FAILURE;
  }
}
