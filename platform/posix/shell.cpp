// The user's application-data folder and recursive folder creation.
#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <mutex>

#include "platform/posix/handles.h"
#include "platform/posix/seam.h"
#include "platform/posix/store.h"

static std::mutex g_shellMutex;
static char g_appData[MAX_PATH];
static int g_appDataSet;

void QvShellSetAppData(LPCSTR path) {
  std::lock_guard<std::mutex> lock(g_shellMutex);
  g_appDataSet = 0;
  if (path && strlen(path) < MAX_PATH) {
    memcpy(g_appData, path, strlen(path) + 1);
    g_appDataSet = 1;
  }
}

HRESULT SHGetFolderPathA(HWND hwnd, int csidl, HANDLE token, DWORD flags,
                         LPSTR out) {
  (void)hwnd;
  (void)token;
  (void)flags;
  DWORD injected;
  if (QvOpEnter(QVOP_SHGetFolderPathA, &injected))
    return (HRESULT)injected;
  if (!out)
    return E_FAIL;
  out[0] = 0;
  std::lock_guard<std::mutex> lock(g_shellMutex);
  if (csidl != CSIDL_APPDATA || !g_appDataSet)
    return E_FAIL;
  memcpy(out, g_appData, strlen(g_appData) + 1);
  return S_OK;
}

int SHCreateDirectoryExA(HWND hwnd, LPCSTR win32Path,
                         const SECURITY_ATTRIBUTES *sa) {
  (void)hwnd;
  (void)sa;
  DWORD injected;
  if (QvOpEnter(QVOP_SHCreateDirectoryExA, &injected))
    return (int)injected;
  char path[4096];
  if (!win32Path || !QvPosixPath(win32Path, path, sizeof path))
    return ERROR_FILENAME_EXCED_RANGE;
  if (path[0] != '/')
    return ERROR_BAD_PATHNAME;
  size_t n = strlen(path);
  while (n > 1 && path[n - 1] == '/')
    path[--n] = 0;
  struct stat st;
  if (stat(path, &st) == 0)
    return S_ISDIR(st.st_mode) ? ERROR_ALREADY_EXISTS : ERROR_FILE_EXISTS;
  // Create each missing folder from the top down.
  for (size_t i = 1; i <= n; i++) {
    if (path[i] != '/' && path[i] != 0)
      continue;
    char saved = path[i];
    path[i] = 0;
    if (mkdir(path, 0777) != 0 && errno != EEXIST) {
      int err = errno;
      path[i] = saved;
      return err == ENOENT ? ERROR_PATH_NOT_FOUND : (int)QvErrnoToWin32(err);
    }
    if (stat(path, &st) != 0 || !S_ISDIR(st.st_mode)) {
      path[i] = saved;
      return ERROR_PATH_NOT_FOUND;
    }
    path[i] = saved;
  }
  return ERROR_SUCCESS;
}
