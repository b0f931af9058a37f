// Files, directory searches and handle closing over POSIX.
#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/handles.h"
#include "platform/posix/seam.h"

static thread_local DWORD t_lastError;

DWORD GetLastError(void) { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

// A missing parent folder is ERROR_PATH_NOT_FOUND on Windows, a missing
// file in an existing folder ERROR_FILE_NOT_FOUND.
static DWORD MissingPathError(const char *path) {
  const char *slash = strrchr(path, '/');
  if (!slash || slash == path)
    return ERROR_FILE_NOT_FOUND;
  char parent[4096];
  size_t n = (size_t)(slash - path);
  if (n >= sizeof parent)
    return ERROR_PATH_NOT_FOUND;
  memcpy(parent, path, n);
  parent[n] = 0;
  struct stat st;
  if (stat(parent, &st) != 0 || !S_ISDIR(st.st_mode))
    return ERROR_PATH_NOT_FOUND;
  return ERROR_FILE_NOT_FOUND;
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share,
                   LPSECURITY_ATTRIBUTES sa, DWORD disposition, DWORD flags,
                   HANDLE templ) {
  (void)share;
  (void)sa;
  (void)flags;
  (void)templ;
  DWORD injected;
  if (QvOpEnter(QVOP_CreateFileA, &injected)) {
    SetLastError(injected);
    return INVALID_HANDLE_VALUE;
  }
  char path[4096];
  if (!name || !QvPosixPath(name, path, sizeof path)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
  }
  int oflags = O_CLOEXEC;
  if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
    oflags |= O_RDWR;
  else if (access & GENERIC_WRITE)
    oflags |= O_WRONLY;
  else
    oflags |= O_RDONLY;
  // Open-existing first where the file may already be there: one system
  // call in the common case, and it tells whether the file existed.
  int existed = 0;
  int fd = -1;
  switch (disposition) {
  case CREATE_NEW:
    fd = open(path, oflags | O_CREAT | O_EXCL, 0666);
    break;
  case CREATE_ALWAYS:
  case OPEN_ALWAYS:
    fd = open(path, oflags | (disposition == CREATE_ALWAYS ? O_TRUNC : 0));
    if (fd >= 0) {
      existed = 1;
    } else if (errno == ENOENT) {
      fd = open(path, oflags | O_CREAT | O_EXCL, 0666);
      if (fd < 0 && errno == EEXIST) // created in between: open it after all
        fd = open(path, oflags), existed = 1;
    }
    break;
  case OPEN_EXISTING:
    fd = open(path, oflags);
    break;
  case TRUNCATE_EXISTING:
    fd = open(path, oflags | O_TRUNC);
    break;
  default:
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (fd < 0) {
    int err = errno;
    struct stat st;
    if (err == EEXIST || ((err == EISDIR || err == EACCES) &&
                          stat(path, &st) == 0 && S_ISDIR(st.st_mode)))
      SetLastError(disposition == CREATE_NEW ? ERROR_FILE_EXISTS
                                             : ERROR_ACCESS_DENIED);
    else
      SetLastError(err == ENOENT ? MissingPathError(path)
                                 : QvErrnoToWin32(err));
    return INVALID_HANDLE_VALUE;
  }
  struct stat opened;
  if ((oflags & O_ACCMODE) == O_RDONLY && fstat(fd, &opened) == 0 &&
      S_ISDIR(opened.st_mode)) {
    close(fd); // a folder opens for reading on POSIX, not as a Win32 file
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE h = QvHandleNew(QVH_FILE);
  if (h == INVALID_HANDLE_VALUE) {
    close(fd);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  QvHandleGet(h, QVH_FILE)->fd = fd;
  // Like Windows, a successful open of an existing file leaves 183 behind.
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD count, LPDWORD written,
               LPOVERLAPPED overlapped) {
  (void)overlapped;
  if (written)
    *written = 0;
  DWORD injected;
  if (QvOpEnter(QVOP_WriteFile, &injected)) {
    SetLastError(injected);
    return FALSE;
  }
  QvHandle *record = QvHandleGet(h, QVH_FILE);
  if (!record) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // One write(2) per request: the kernel serialises writes on a shared
  // descriptor as Windows does for one synchronous handle.
  const char *p = (const char *)buffer;
  DWORD done = 0;
  while (done < count) {
    ssize_t n = write(record->fd, p + done, count - done);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      SetLastError(QvErrnoToWin32(errno));
      if (written)
        *written = done;
      return FALSE;
    }
    done += (DWORD)n;
  }
  if (written)
    *written = done;
  return TRUE;
}

DWORD SetFilePointer(HANDLE h, LONG distance, PLONG high, DWORD method) {
  DWORD injected;
  if (QvOpEnter(QVOP_SetFilePointer, &injected)) {
    SetLastError(injected);
    return INVALID_SET_FILE_POINTER;
  }
  QvHandle *record = QvHandleGet(h, QVH_FILE);
  if (!record) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  off_t offset = high ? (off_t)(((int64_t)*high << 32) | (uint32_t)distance)
                      : (off_t)distance;
  int whence = method == FILE_BEGIN     ? SEEK_SET
               : method == FILE_CURRENT ? SEEK_CUR
               : method == FILE_END     ? SEEK_END
                                        : -1;
  if (whence < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  off_t pos = lseek(record->fd, offset, whence);
  if (pos < 0) {
    SetLastError(QvErrnoToWin32(errno));
    return INVALID_SET_FILE_POINTER;
  }
  if (high)
    *high = (LONG)((int64_t)pos >> 32);
  SetLastError(ERROR_SUCCESS);
  return (DWORD)pos;
}

void QvCloseProcessRecord(QvHandle *record); // process.cpp

BOOL CloseHandle(HANDLE h) {
  DWORD injected;
  int fail = QvOpEnter(QVOP_CloseHandle, &injected);
  QvHandle *record = QvHandleGet(h, 0);
  if (!record || record->kind == QVH_FIND) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // An injected failure still releases the object, as a close that fails
  // to flush does: the caller cannot retry it either way.
  if (record->kind == QVH_FILE)
    close(record->fd);
  else
    QvCloseProcessRecord(record);
  QvHandleFree(record);
  if (fail) {
    SetLastError(injected);
    return FALSE;
  }
  return TRUE;
}

// Windows wildcard match: '*' any run, '?' one character, no regard to case.
static int WildMatch(const char *pattern, const char *name) {
  const char *star = NULL, *resume = NULL;
  while (*name) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || tolower((unsigned char)*pattern) ==
                                      tolower((unsigned char)*name)) {
      pattern++;
      name++;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return 0;
    }
  }
  while (*pattern == '*')
    pattern++;
  return *pattern == 0;
}

// The next entry of the folder that matches the search, into data.
static int NextMatch(QvHandle *record, LPWIN32_FIND_DATAA data) {
  for (struct dirent *entry; (entry = readdir(record->dir)) != NULL;) {
    if (!WildMatch(record->pattern, entry->d_name))
      continue;
    memset(data, 0, sizeof *data);
    strncpy(data->cFileName, entry->d_name, MAX_PATH - 1);
    data->dwFileAttributes = entry->d_type == DT_DIR ? FILE_ATTRIBUTE_DIRECTORY
                                                     : FILE_ATTRIBUTE_NORMAL;
    return 1;
  }
  return 0;
}

HANDLE FindFirstFileA(LPCSTR search, LPWIN32_FIND_DATAA data) {
  DWORD injected;
  if (QvOpEnter(QVOP_FindFirstFileA, &injected)) {
    SetLastError(injected);
    return INVALID_HANDLE_VALUE;
  }
  char path[4096];
  if (!search || !QvPosixPath(search, path, sizeof path)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
  }
  char *slash = strrchr(path, '/');
  const char *pattern = slash ? slash + 1 : path;
  const char *folder = ".";
  if (slash) {
    *slash = 0;
    folder = slash == path ? "/" : path;
  }
  if (strlen(pattern) >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
  }
  DIR *dir = opendir(folder);
  if (!dir) {
    SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                     : QvErrnoToWin32(errno));
    return INVALID_HANDLE_VALUE;
  }
  HANDLE h = QvHandleNew(QVH_FIND);
  if (h == INVALID_HANDLE_VALUE) {
    closedir(dir);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  QvHandle *record = QvHandleGet(h, QVH_FIND);
  record->dir = dir;
  memcpy(record->pattern, pattern, strlen(pattern) + 1);
  if (!NextMatch(record, data)) {
    QvHandleFree(record);
    closedir(dir);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(ERROR_SUCCESS);
  return h;
}

BOOL FindNextFileA(HANDLE h, LPWIN32_FIND_DATAA data) {
  DWORD injected;
  if (QvOpEnter(QVOP_FindNextFileA, &injected)) {
    SetLastError(injected);
    return FALSE;
  }
  QvHandle *record = QvHandleGet(h, QVH_FIND);
  if (!record) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!NextMatch(record, data)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return TRUE;
}

BOOL FindClose(HANDLE h) {
  DWORD injected;
  int fail = QvOpEnter(QVOP_FindClose, &injected);
  QvHandle *record = QvHandleGet(h, QVH_FIND);
  if (!record) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  closedir(record->dir);
  QvHandleFree(record);
  if (fail) {
    SetLastError(injected);
    return FALSE;
  }
  return TRUE;
}
