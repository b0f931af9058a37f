// A host process for the multi-process and deployment tests.
//   wintest_host.exe [event-name]   waits for the named start event (when
//       given one), loads qvmapi.dll, logs on and off, unloads it;
//   wintest_host.exe send-registered   loads the DLL named by the client's
//       DLLPath value, as the system's Simple MAPI stub does, and sends a
//       message; exit code 0 when MAPISendMail returned SUCCESS_SUCCESS;
//   wintest_host.exe send-stub   sends the same message through the
//       system's stub, mapi32.dll, as an application does;
//   wintest_host.exe msi-rule PACKAGE TABLE   runs the package's own
//       client path check (its QvCheckClientPath action) on every path of
//       the table (UTF-8, "verdict path" rows) and prints, a row a line,
//       the verdict it gave, a tab, the reason it logged (empty for ok),
//       a tab and the path;
//   wintest_host.exe lookalike   loads qvmapi.dll and sends the subject
//       "Q3 \u2212Attach C:\secret.txt" through MAPISendMail (in the ANSI
//       code page), MAPISendMailW and MAPISendMail with UTF-8 texts; exit
//       code 0 when all three returned SUCCESS_SUCCESS (built as
//       wintest_utf8host.exe its ANSI code page is UTF-8);
//   wintest_host.exe race THREADS   loads qvmapi.dll; the threads make
//       their first MAPISendMailW of the process with that subject at the
//       same moment; exit code 0 when all returned SUCCESS_SUCCESS;
//   wintest_host.exe load-by-name DLL FOLDER   loads DLL by its bare
//       name with FOLDER as the current folder, as a program that trusts
//       the search order would;
//   wintest_host.exe file-version PATH...   prints, a line a path, the
//       file version the system reads from its version resource
//       (GetFileVersionInfoW), a.b.c.d, or "-" for a file without one.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "include/qvmapi/registry.h"
#include "tests/windows/wine_support.h"

static int SendThroughRegisteredDll(bool stub) {
  char path[MAX_PATH] = "mapi32.dll";
  DWORD size = sizeof path - 1;
  // The 64-bit view, which 64-bit Windows shares with 32-bit hosts.
  HKEY key;
  DWORD type = 0;
  if (!stub) {
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, QV_CLIENT_KEY, 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
      return 4;
    LONG rc =
        RegQueryValueExA(key, "DLLPath", NULL, &type, (BYTE *)path, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
      return 4;
    path[size] = 0;
  }
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

static std::string g_logged; // the package's last "qvmapi: ..." message

static INT CALLBACK CaptureMessage(LPVOID, UINT type, LPCWSTR text) {
  if ((type & 0xFF000000u) == INSTALLMESSAGE_INFO && text &&
      wcsncmp(text, L"qvmapi: ", 8) == 0) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text + 8, -1, NULL, 0, NULL, NULL);
    g_logged.assign(n > 0 ? (size_t)n - 1 : 0, '\0');
    if (n > 1)
      WideCharToMultiByte(CP_UTF8, 0, text + 8, -1, &g_logged[0], n, NULL,
                          NULL);
  }
  return 0;
}

static std::wstring Wide(const std::string &utf8) {
  std::wstring out(utf8.size() + 1, L'\0');
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), (int)utf8.size(),
                              &out[0], (int)out.size());
  out.resize(n > 0 ? (size_t)n : 0);
  return out;
}

static int RunPackageRule(const char *package, const char *table) {
  MsiSetInternalUI(INSTALLUILEVEL_NONE, NULL);
  MsiSetExternalUIW(CaptureMessage, INSTALLLOGMODE_INFO, NULL);
  MSIHANDLE install = 0;
  if (MsiOpenPackageW(Wide(package).c_str(), &install) != ERROR_SUCCESS)
    return 6;
  FILE *f = fopen(table, "rb");
  if (!f)
    return 7;
  char row[1024];
  while (fgets(row, sizeof row, f)) {
    std::string line = row;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
      line.pop_back();
    size_t blank = line.find(' ');
    if (line.empty() || line[0] == '#' || blank == std::string::npos)
      continue;
    std::string path = line.substr(blank + 1);
    g_logged.clear();
    MsiSetPropertyW(install, L"CLIENTPATH", Wide(path).c_str());
    UINT rc = MsiDoActionW(install, L"QvCheckClientPath");
    wchar_t verdict[64] = L"";
    DWORD size = 64;
    MsiGetPropertyW(install, L"QvClientVerdict", verdict, &size);
    std::string reason;
    size_t colon = g_logged.find("is not written: ");
    if (colon != std::string::npos)
      reason = g_logged.substr(colon + 16);
    printf("%ls\t%s\t%s\n", rc == ERROR_SUCCESS ? verdict : L"failed",
           reason.c_str(), path.c_str());
  }
  fclose(f);
  MsiCloseHandle(install);
  return 0;
}

static const wchar_t kForged[] = L"Q3 \x2212"
                                 L"Attach C:\\secret.txt";

static std::string Narrow(const wchar_t *text, UINT page) {
  int n = WideCharToMultiByte(page, 0, text, -1, NULL, 0, NULL, NULL);
  std::string out(n > 0 ? (size_t)n : 1, '\0');
  WideCharToMultiByte(page, 0, text, -1, &out[0], n, NULL, NULL);
  return out;
}

static int SendLookAlike(void) {
  HMODULE dll = LoadLibraryA("qvmapi.dll");
  if (!dll)
    return 2;
  SendMailFn send = (SendMailFn)(void *)GetProcAddress(dll, "MAPISendMail");
  SendMailWFn sendW = (SendMailWFn)(void *)GetProcAddress(dll, "MAPISendMailW");
  std::string ansi = Narrow(kForged, CP_ACP), utf8 = Narrow(kForged, CP_UTF8);
  MapiMessage msg = {};
  msg.lpszSubject = (LPSTR)ansi.c_str();
  ULONG a = send(0, 0, &msg, 0, 0);
  MapiMessageW msgW = {};
  msgW.lpszSubject = (PWSTR)kForged;
  ULONG w = sendW(0, 0, &msgW, 0, 0);
  msg.lpszSubject = (LPSTR)utf8.c_str();
  msg.ulReserved = CP_UTF8;
  ULONG u = send(0, 0, &msg, 0, 0);
  printf("ANSI code page %u: %lu %lu %lu\n", GetACP(), (unsigned long)a,
         (unsigned long)w, (unsigned long)u);
  FreeLibrary(dll);
  return a == 0 && w == 0 && u == 0 ? 0 : 1;
}

struct Racer {
  SendMailWFn send;
  volatile LONG *ready;
  LONG threads;
  ULONG rc;
};

static DWORD WINAPI RaceSend(LPVOID context) {
  Racer *r = (Racer *)context;
  InterlockedIncrement(r->ready);
  while (*r->ready < r->threads)
    ; // spin: every thread makes its first send at once
  MapiMessageW msg = {};
  msg.lpszSubject = (PWSTR)kForged;
  r->rc = r->send(0, 0, &msg, 0, 0);
  return 0;
}

static int RaceSends(int threads) {
  HMODULE dll = LoadLibraryA("qvmapi.dll");
  if (!dll || threads < 1 || threads > 16)
    return 2;
  volatile LONG ready = 0;
  Racer racers[16];
  HANDLE handles[16];
  for (int i = 0; i < threads; i++) {
    racers[i] = {(SendMailWFn)(void *)GetProcAddress(dll, "MAPISendMailW"),
                 &ready, threads, 99};
    handles[i] = CreateThread(NULL, 0, RaceSend, &racers[i], 0, NULL);
  }
  WaitForMultipleObjects((DWORD)threads, handles, TRUE, 60000);
  int rc = 0;
  for (int i = 0; i < threads; i++) {
    rc |= racers[i].rc != 0;
    CloseHandle(handles[i]);
  }
  FreeLibrary(dll);
  return rc;
}

static int PrintFileVersions(int count, char **paths) {
  for (int i = 0; i < count; i++) {
    std::wstring path = Wide(paths[i]);
    DWORD handle = 0, size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    std::string info(size, '\0');
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    if (size && GetFileVersionInfoW(path.c_str(), 0, size, &info[0]) &&
        VerQueryValueW(&info[0], L"\\", (void **)&fixed, &length) && fixed)
      printf("%u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS),
             LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
             LOWORD(fixed->dwFileVersionLS));
    else
      printf("-\n");
  }
  return 0;
}

int main(int argc, char **argv) {
  if (argc > 1 && strcmp(argv[1], "lookalike") == 0)
    return SendLookAlike();
  if (argc > 2 && strcmp(argv[1], "race") == 0)
    return RaceSends(atoi(argv[2]));
  if (argc > 3 && strcmp(argv[1], "load-by-name") == 0) {
    SetCurrentDirectoryA(argv[3]);
    return LoadLibraryA(argv[2]) ? 0 : 1;
  }
  if (argc > 1 && strcmp(argv[1], "file-version") == 0)
    return PrintFileVersions(argc - 2, argv + 2);
  if (argc > 3 && strcmp(argv[1], "msi-rule") == 0)
    return RunPackageRule(argv[2], argv[3]);
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
