// A host process for the multi-process and deployment tests.
//   wintest_host.exe [event-name]   waits for the named start event (when
//       given one), loads qvmapi.dll, logs on and off, unloads it;
//   wintest_host.exe send-registered   loads the DLL named by the client's
//       DLLPath value, as the system's Simple MAPI stub does, and sends a
//       message; exit code 0 when MAPISendMail returned SUCCESS_SUCCESS;
//   wintest_host.exe send-stub   sends the same message through the
//       system's stub, mapi32.dll, as an application does.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "tests/windows/wine_support.h"

static int SendThroughRegisteredDll(bool stub) {
  char path[MAX_PATH] = "mapi32.dll";
  DWORD size = sizeof path - 1;
  if (!stub &&
      RegGetValueA(HKEY_LOCAL_MACHINE,
                   "SOFTWARE\\Clients\\Mail\\Outlook Web Access", "DLLPath",
                   RRF_RT_REG_SZ, NULL, path, &size) != ERROR_SUCCESS)
    return 4;
  HMODULE dll = LoadLibraryA(path);
  if (!dll)
    return 5;
  SendMailFn send = (SendMailFn)(void *)GetProcAddress(dll, "MAPISendMail");
  MapiFileDesc file = {};
  file.lpszPathName = (LPSTR) "C:\\Reports\\q3 -old.xls";
  file.lpszFileName = (LPSTR) "q3.xls";
  MapiRecipDesc recip = {};
  recip.ulRecipClass = MAPI_TO;
  recip.lpszAddress = (LPSTR) "ann@example.com";
  MapiMessage msg = {};
  msg.lpszSubject = (LPSTR) "Deployed";
  msg.nFileCount = 1;
  msg.lpFiles = &file;
  msg.nRecipCount = 1;
  msg.lpRecips = &recip;
  ULONG rc = send ? send(0, 0, &msg, 0, 0) : 99;
  FreeLibrary(dll);
  printf("MAPISendMail through %s: %lu\n", path, (unsigned long)rc);
  return rc == SUCCESS_SUCCESS ? 0 : 1;
}

int main(int argc, char **argv) {
  if (argc > 1 && strcmp(argv[1], "send-registered") == 0)
    return SendThroughRegisteredDll(false);
  if (argc > 1 && strcmp(argv[1], "send-stub") == 0)
    return SendThroughRegisteredDll(true);
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
