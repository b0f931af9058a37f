// Handles of the POSIX layer: one small record per open object.
#ifndef QV_PLATFORM_POSIX_HANDLES_H
#define QV_PLATFORM_POSIX_HANDLES_H

#include <dirent.h>
#include <sys/types.h>

#include "platform/posix/win32_posix.h"

enum QvHandleKind { QVH_FILE = 1, QVH_PROCESS, QVH_THREAD, QVH_FIND };

struct QvHandle {
  unsigned magic;
  int kind;
  int fd;                 // QVH_FILE
  pid_t pid;              // QVH_PROCESS, QVH_THREAD
  int waited;             // QVH_PROCESS: reaped by waitpid
  DIR *dir;               // QVH_FIND
  char pattern[MAX_PATH]; // QVH_FIND: the name part of the search
};

HANDLE QvHandleNew(int kind);
// The record behind h when h is a live handle of that kind (0 = any), or NULL.
QvHandle *QvHandleGet(HANDLE h, int kind);
void QvHandleFree(QvHandle *record);

// Win32 paths use backslashes; the POSIX calls get forward slashes. A
// drive letter and colon stand for the root. Returns 0 when it does not fit.
int QvPosixPath(LPCSTR win32Path, char *out, size_t room);
DWORD QvErrnoToWin32(int err);

#endif
