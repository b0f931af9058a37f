// Module start-up and shutdown: the once-only work behind DllMain.
#ifndef QV_TRACE_STARTUP_H
#define QV_TRACE_STARTUP_H

#include "platform/win32.h"

struct StartupState {
  CRITICAL_SECTION lock;
  int lockInitialised;
  int done; // set by the first process attach, never cleared
};

extern StartupState g_startupState;

int ReadRegistryDword(HKEY root, const char *subkey, const char *valueName,
                      DWORD *value);
// The trace level this user's registry gives a process that loads the
// library now: 0 off, 2 open-per-line, any other value keep-open.
DWORD ReadLogLevel(void);
void InitStartupLock(void);
void DeleteStartupLock(void);

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

#endif
