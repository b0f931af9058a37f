// The demo's sample host: an application that offers "send as mail". It
// loads qvmapi.dll, logs on, resolves its recipients, sends one message and
// logs off, then shows the trace log the library wrote for this run.
#include <shlobj.h>
#include <windows.h>

#include <stdio.h>

#include <set>
#include <string>

#include "mapi/mapi_types.h"

typedef ULONG(WINAPI *LogonFn)(ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG,
                               LPLHANDLE);
typedef ULONG(WINAPI *LogoffFn)(LHANDLE, ULONG_PTR, FLAGS, ULONG);
typedef ULONG(WINAPI *SendMailFn)(LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS,
                                  ULONG);
typedef ULONG(WINAPI *ResolveNameFn)(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG,
                                     lpMapiRecipDesc *);
typedef ULONG(WINAPI *FreeBufferFn)(LPVOID);

static std::string TraceFolder() {
  char path[MAX_PATH];
  if (FAILED(SHGetFolderPathA(NULL, CSIDL_APPDATA, NULL, 0, path)))
    return "";
  return std::string(path) +
         "\\Quorvantile Incorporated\\Quorvantile Brindleway";
}

static std::set<std::string> LogFiles() {
  std::set<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((TraceFolder() + "\\MAPI_*.LOG").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE)
    return names;
  do
    names.insert(found.cFileName);
  while (FindNextFileA(h, &found));
  FindClose(h);
  return names;
}

static const char *ResultName(ULONG code) {
  switch (code) {
  case SUCCESS_SUCCESS:
    return "SUCCESS_SUCCESS";
  case MAPI_E_FAILURE:
    return "MAPI_E_FAILURE";
  case MAPI_E_INVALID_RECIPS:
    return "MAPI_E_INVALID_RECIPS";
  case MAPI_E_NOT_SUPPORTED:
    return "MAPI_E_NOT_SUPPORTED";
  default:
    return "?";
  }
}

int main() {
  std::set<std::string> before = LogFiles();
  HMODULE dll = LoadLibraryA("qvmapi.dll");
  if (!dll) {
    printf("host: cannot load qvmapi.dll (error %lu)\n", GetLastError());
    return 1;
  }
  LogonFn logon = (LogonFn)(void *)GetProcAddress(dll, "MAPILogon");
  LogoffFn logoff = (LogoffFn)(void *)GetProcAddress(dll, "MAPILogoff");
  SendMailFn send = (SendMailFn)(void *)GetProcAddress(dll, "MAPISendMail");
  ResolveNameFn resolve =
      (ResolveNameFn)(void *)GetProcAddress(dll, "MAPIResolveName");
  FreeBufferFn freeBuffer =
      (FreeBufferFn)(void *)GetProcAddress(dll, "MAPIFreeBuffer");

  LHANDLE session = 0;
  ULONG rc = logon(0, NULL, NULL, MAPI_LOGON_UI, 0, &session);
  printf("host: MAPILogon -> %s, session %lu\n", ResultName(rc),
         (unsigned long)session);

  const char *names[] = {"ann.lee@example.com", "bob.ray@example.com",
                         "audit@example.com"};
  ULONG classes[] = {MAPI_TO, MAPI_CC, MAPI_BCC};
  MapiRecipDesc recips[3] = {};
  lpMapiRecipDesc resolved[3] = {};
  for (int i = 0; i < 3; i++) {
    rc = resolve(session, 0, (LPSTR)names[i], 0, 0, &resolved[i]);
    printf("host: MAPIResolveName(%s) -> %s\n", names[i], ResultName(rc));
    recips[i] = *resolved[i];
    recips[i].ulRecipClass = classes[i];
  }
  MapiFileDesc files[2] = {};
  files[0].lpszPathName = (LPSTR) "C:\\Reports\\Q3 -draft.xlsx";
  files[0].lpszFileName = (LPSTR) "Q3 report.xlsx";
  files[1].lpszPathName = (LPSTR) "C:\\Reports\\notes.txt";
  MapiMessage msg = {};
  msg.lpszSubject = (LPSTR) "Q3 report - final figures";
  msg.lpszNoteText =
      (LPSTR) "Hi all,\r\n\r\nthe final Q3 figures are attached.\r\n"
              "-- Carol";
  msg.nFileCount = 2;
  msg.lpFiles = files;
  msg.nRecipCount = 3;
  msg.lpRecips = recips;
  printf("host: MAPISendMail ... (waits until the mail client exits)\n");
  rc = send(session, 0, &msg, 0, 0);
  printf("host: MAPISendMail -> %s\n", ResultName(rc));
  for (int i = 0; i < 3; i++)
    freeBuffer(resolved[i]);
  rc = logoff(session, 0, 0, 0);
  printf("host: MAPILogoff -> %s\n", ResultName(rc));
  FreeLibrary(dll);

  for (const std::string &name : LogFiles()) {
    if (before.count(name))
      continue;
    std::string path = TraceFolder() + "\\" + name;
    printf("\nTrace log of this run: %%APPDATA%%\\Quorvantile Incorporated\\"
           "Quorvantile Brindleway\\%s\n",
           name.c_str());
    FILE *f = fopen(path.c_str(), "rb");
    char line[1024];
    while (f && fgets(line, sizeof line, f)) {
      size_t n = strlen(line);
      while (n && (line[n - 1] == '\n' || line[n - 1] == '\r'))
        line[--n] = 0;
      printf("  %s\n", line);
    }
    if (f)
      fclose(f);
  }
  return 0;
}
