// A host process for the multi-process tests: waits for the named start
// event (when given one), loads qvmapi.dll, logs on and off, unloads it.
// Usage: wintest_host.exe [event-name]
#include <windows.h>

#include <stdio.h>

#include "tests/windows/wine_support.h"

int main(int argc, char **argv) {
  if (argc > 1) {
    HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, argv[1]);
    if (!go)
      return 3;
    WaitForSingleObject(go, 30000);
    CloseHandle(go);
  }
  HMODULE dll = LoadLibraryA("qvmapi.dll");
  if (!dll)
    return 2;
  LogonFn logon = (LogonFn)(void *)GetProcAddress(dll, "MAPILogon");
  LogoffFn logoff = (LogoffFn)(void *)GetProcAddress(dll, "MAPILogoff");
  LHANDLE session = 0;
  int rc = (logon && logoff && logon(0, NULL, NULL, 0, 0, &session) == 0 &&
            session == 1 && logoff(session, 0, 0, 0) == 0)
               ? 0
               : 1;
  FreeLibrary(dll);
  return rc;
}
