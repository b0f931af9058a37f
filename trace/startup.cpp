// DllMain prepares the start-up lock at attach, and closes the log and
// deletes the locks at detach; the first call of an export reads
// FileLoggingLevel and opens the trace log.
#include "trace/startup.h"
#include "trace/trace_file.h"

#include "trace/trace.h"

static const char kSettingsKey[] =
    "SOFTWARE\\Quorvantile Incorporated\\Quorvantile Brindleway";
static const char kLogLevelValue[] = "FileLoggingLevel";
static const char kLogPrefix[] = TRACE_LOG_PREFIX;

StartupState g_startupState = {{}, 0, 0};

// A REG_DWORD of more than 4 bytes is not a well-formed DWORD: it counts as
// a failed read rather than being cut or written past the variable.
int ReadRegistryDword(HKEY root, const char *subkey, const char *valueName,
                      DWORD *value) {
  HKEY key;
  if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return 0;
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExA(key, valueName, NULL, &type, NULL, &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size > sizeof(DWORD)) {
    RegCloseKey(key);
    return 0;
  }
  if (RegQueryValueExA(key, valueName, NULL, NULL, (LPBYTE)value, &size) !=
      ERROR_SUCCESS) {
    RegCloseKey(key);
    return 0;
  }
  return RegCloseKey(key) == ERROR_SUCCESS ? 1 : 0;
}

void InitStartupLock(void) {
  if (!g_startupState.lockInitialised) {
    InitializeCriticalSection(&g_startupState.lock);
    g_startupState.lockInitialised = 1;
  }
}

void DeleteStartupLock(void) {
  if (g_startupState.lockInitialised) {
    DeleteCriticalSection(&g_startupState.lock);
    g_startupState.lockInitialised = 0;
  }
}

DWORD ReadLogLevel(void) {
  DWORD level = 1; // an empty REG_DWORD reads as success and keeps it
  if (ReadRegistryDword(HKEY_CURRENT_USER, kSettingsKey, kLogLevelValue,
                        &level) != 1)
    level = 0;
  return level;
}

void StartupOnFirstCall(void) {
  if (QV_LOAD_ACQUIRE(&g_startupState.done) || !g_startupState.lockInitialised)
    return;
  EnterCriticalSection(&g_startupState.lock);
  if (!QV_LOAD_RELAXED(&g_startupState.done)) {
    SetTraceLevel((int)ReadLogLevel());
    TraceOpen(kLogPrefix);
    // Released after the log is open: a call that sees the flag set also
    // sees the trace state.
    QV_STORE_RELEASE(&g_startupState.done, 1);
  }
  LeaveCriticalSection(&g_startupState.lock);
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
