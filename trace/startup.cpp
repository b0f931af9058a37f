// DllMain prepares the start-up lock at attach, and closes the log and
// deletes the locks at detach; the first call of an export reads
// FileLoggingLevel and opens the trace log.
#include "trace/startup.h"
#include "trace/trace_file.h"

#include "include/qvmapi/registry.h"
#include "trace/trace.h"

static const char kLogPrefix[] = TRACE_LOG_PREFIX;

StartupState g_startupState = {{}, 0, 0};

void InitStartupLock(void) {
  if (!g_startupState.lockInitialised) {
    LockInit(&g_startupState.lock);
    g_startupState.lockInitialised = 1;
  }
}

void DeleteStartupLock(void) {
  if (g_startupState.lockInitialised) {
    LockDelete(&g_startupState.lock);
    g_startupState.lockInitialised = 0;
  }
}

DWORD ReadLogLevel(void) {
  DWORD level = 1; // an empty REG_DWORD reads as success and keeps it
  if (ReadRegistryDword(HKEY_CURRENT_USER, QV_SETTINGS_KEY, QV_LEVEL_VALUE,
                        &level) != 1)
    level = 0;
  return level;
}

void StartupOnFirstCall(void) {
  if (QV_LOAD_ACQUIRE(&g_startupState.done) || !g_startupState.lockInitialised)
    return;
  LockEnter(&g_startupState.lock);
  if (!QV_LOAD_RELAXED(&g_startupState.done)) {
    SetTraceLevel((int)ReadLogLevel());
    TraceOpen(kLogPrefix);
    // Released after the log is open: a call that sees the flag set also
    // sees the trace state.
    QV_STORE_RELEASE(&g_startupState.done, 1);
  }
  LockLeave(&g_startupState.lock);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason,
                               LPVOID reserved) {
  (void)module;
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    InitStartupLock();
  } else if (reason == DLL_PROCESS_DETACH) {
    TraceClose();
    DeleteStartupLock();
  }
  return TRUE;
}
