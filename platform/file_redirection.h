// A 32-bit process on 64-bit Windows sees C:\Windows\System32 redirected to
// SysWOW64. The client is started as a 64-bit process names its path, so
// that both DLLs start the same file: redirection is turned off around the
// start only, never for the host's own file access. A no-op everywhere
// else (the 64-bit DLL, the native build).
#ifndef QV_PLATFORM_FILE_REDIRECTION_H
#define QV_PLATFORM_FILE_REDIRECTION_H

#include "platform/win32.h"

struct FileRedirection {
  void *old;
  int off;
};

static inline void FileRedirectionOff(FileRedirection *r) {
  r->old = NULL;
  r->off = 0;
#if defined(_WIN32) && !defined(_WIN64)
  r->off = Wow64DisableWow64FsRedirection(&r->old) != 0;
#endif
}

static inline void FileRedirectionRestore(FileRedirection *r) {
#if defined(_WIN32) && !defined(_WIN64)
  if (r->off)
    Wow64RevertWow64FsRedirection(r->old);
#endif
  r->off = 0;
}

#endif
