// Process start and wait over posix_spawn and waitpid. The child gets the
// whole Win32 command line as its single argument.
#include <errno.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>

#include "platform/posix/handles.h"
#include "platform/posix/seam.h"
#include "platform/posix/text.h"

extern char **environ;

// Windows refuses command lines of 32,767 characters and more (measured
// under Wine: 32,766 are delivered).
static const size_t kMaxCommandLine = 32766;

void QvCloseProcessRecord(QvHandle *record) {
  // Reap a finished child whose handle is closed unwaited; a running one
  // is left alone, as closing a Windows process handle does not end it.
  if (record->kind == QVH_PROCESS && !record->waited) {
    int status;
    waitpid(record->pid, &status, WNOHANG);
  }
}

// Starts app with the whole line as its one argument; both in UTF-8.
static BOOL Spawn(LPCSTR app, const char *line, LPPROCESS_INFORMATION pi) {
  char path[4096];
  if (!QvPosixPath(app, path, sizeof path)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  HANDLE process = QvHandleNew(QVH_PROCESS);
  HANDLE thread = QvHandleNew(QVH_THREAD);
  if (process == INVALID_HANDLE_VALUE || thread == INVALID_HANDLE_VALUE) {
    if (process != INVALID_HANDLE_VALUE)
      QvHandleFree(QvHandleGet(process, 0));
    if (thread != INVALID_HANDLE_VALUE)
      QvHandleFree(QvHandleGet(thread, 0));
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  char *argv[] = {path, (char *)line, NULL};
  pid_t pid;
  int rc = posix_spawn(&pid, path, NULL, NULL, argv, environ);
  if (rc != 0) {
    QvHandleFree(QvHandleGet(process, 0));
    QvHandleFree(QvHandleGet(thread, 0));
    SetLastError(rc == ENOENT ? ERROR_FILE_NOT_FOUND : QvErrnoToWin32(rc));
    return FALSE;
  }
  QvHandleGet(process, 0)->pid = pid;
  QvHandleGet(thread, 0)->pid = pid;
  pi->hProcess = process;
  pi->hThread = thread;
  pi->dwProcessId = (DWORD)pid;
  pi->dwThreadId = (DWORD)pid;
  return TRUE;
}

// The checks both start calls share, in Windows' order, then the start.
// units: the length of the caller's line in its own characters.
static BOOL Start(int fail, DWORD injected, LPCSTR app, const char *line,
                  size_t units, LPPROCESS_INFORMATION pi) {
  if (fail) {
    SetLastError(injected);
    return FALSE;
  }
  if (!app || !pi) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!line) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  if (units > kMaxCommandLine) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  return Spawn(app, line, pi);
}

BOOL CreateProcessA(LPCSTR app, LPSTR cmdline, LPSECURITY_ATTRIBUTES pa,
                    LPSECURITY_ATTRIBUTES ta, BOOL inherit, DWORD flags,
                    LPVOID env, LPCSTR dir, LPSTARTUPINFOA si,
                    LPPROCESS_INFORMATION pi) {
  DWORD injected;
  int fail = QvOpEnter(QVOP_CreateProcessA, &injected);
#ifdef QV_TEST_CONTROL
  QvNoteCreateProcess(app, cmdline, pa, ta, inherit, flags, env, dir, si);
#else
  (void)pa, (void)ta, (void)inherit, (void)flags, (void)env, (void)dir;
  (void)si;
#endif
  const char *line = cmdline ? cmdline : "";
  return Start(fail, injected, app, line, strlen(line), pi);
}

BOOL CreateProcessW(LPCWSTR app, LPWSTR cmdline, LPSECURITY_ATTRIBUTES pa,
                    LPSECURITY_ATTRIBUTES ta, BOOL inherit, DWORD flags,
                    LPVOID env, LPCWSTR dir, LPSTARTUPINFOW si,
                    LPPROCESS_INFORMATION pi) {
  DWORD injected;
  int fail = QvOpEnter(QVOP_CreateProcessW, &injected);
  char *narrowApp = app ? QvUtf16ToUtf8(app, -1) : NULL;
  char *narrowLine = QvUtf16ToUtf8(cmdline ? cmdline : u"", -1);
#ifdef QV_TEST_CONTROL
  STARTUPINFOA numbers = {};
  if (si) {
    numbers.cb = si->cb;
    numbers.dwFlags = si->dwFlags;
    numbers.wShowWindow = si->wShowWindow;
  }
  QvNoteCreateProcess(narrowApp, cmdline ? narrowLine : NULL, pa, ta, inherit,
                      flags, env, (LPCSTR)dir, si ? &numbers : NULL);
  QvNoteCreateProcessWide(cmdline);
#else
  (void)pa, (void)ta, (void)inherit, (void)flags, (void)env, (void)dir;
  (void)si;
#endif
  size_t units = 0;
  while (cmdline && cmdline[units])
    units++;
  // An app that could not be converted counts as out of memory, as a line.
  BOOL started = Start(fail, injected, app ? narrowApp : NULL,
                       (app && !narrowApp) ? NULL : narrowLine, units, pi);
  free(narrowApp);
  free(narrowLine);
  return started;
}

static DWORD WaitForHandle(HANDLE h, DWORD milliseconds) {
  QvHandle *record = QvHandleGet(h, 0);
  if (!record || (record->kind != QVH_PROCESS && record->kind != QVH_THREAD)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  if (record->kind == QVH_THREAD || record->waited)
    return WAIT_OBJECT_0;
  int status;
  if (milliseconds == INFINITE) {
    while (waitpid(record->pid, &status, 0) < 0) {
      if (errno != EINTR) {
        SetLastError(QvErrnoToWin32(errno));
        return WAIT_FAILED;
      }
    }
    record->waited = 1;
    return WAIT_OBJECT_0;
  }
  for (DWORD waited = 0;; waited += 10) {
    pid_t r = waitpid(record->pid, &status, WNOHANG);
    if (r == record->pid) {
      record->waited = 1;
      return WAIT_OBJECT_0;
    }
    if (r < 0 && errno != EINTR) {
      SetLastError(QvErrnoToWin32(errno));
      return WAIT_FAILED;
    }
    if (waited >= milliseconds)
      return WAIT_TIMEOUT;
    struct timespec tick = {0, 10 * 1000 * 1000};
    nanosleep(&tick, NULL);
  }
}

DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) {
  DWORD injected;
  if (QvOpEnter(QVOP_WaitForSingleObject, &injected)) {
    SetLastError(injected);
    return WAIT_FAILED;
  }
  return WaitForHandle(h, milliseconds);
}
