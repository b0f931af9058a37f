// Module start-up and shutdown. Process attach only prepares the start-up
// lock: the loader lock is held there, and reading the registry or asking
// the shell for a folder under it can deadlock or crash the host while it
// loads the library. The start-up itself (the log level, the log file) runs
// once per process, at the first call of any export.
#ifndef QV_TRACE_STARTUP_H
#define QV_TRACE_STARTUP_H

#include "platform/compiler.h"
#include "platform/platform.h"

struct StartupState {
  QvLock lock;
  int lockInitialised; // set at process attach, cleared at detach
  int done; // set by the first call's start-up (QV_STORE_RELEASE), never
            // cleared
};

extern StartupState g_startupState;

// The trace level this user's registry gives a process that loads the
// library now: 0 off, 2 open-per-line, any other value keep-open.
DWORD ReadLogLevel(void);
void InitStartupLock(void);
void DeleteStartupLock(void);
// The once-only start-up, first thing in every export: reads
// FileLoggingLevel and opens the trace log. Concurrent first calls do it
// once; the others wait for it. Does nothing before process attach.
void StartupOnFirstCall(void);

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

#endif
