// The demo's sample host: an application that offers "send as mail", as a
// modern one does it. It loads the system's Simple MAPI stub, mapi32.dll,
// which loads the default mail client's DLL (qvmapi.dll), logs on, sends
// one message with MAPISendMailW (Greek, Cyrillic and Japanese text in the
// subject, the body and an attachment's name) and logs off, then shows the
// trace log the library wrote for this run.
#include <shlobj.h>
#include <windows.h>

#include <stdio.h>

#include <set>
#include <string>

#include "include/qvmapi/mapi.h"

typedef ULONG(WINAPI *LogonFn)(ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG,
                               LPLHANDLE);
typedef ULONG(WINAPI *LogoffFn)(LHANDLE, ULONG_PTR, FLAGS, ULONG);
typedef ULONG(WINAPI *SendMailWFn)(LHANDLE, ULONG_PTR, lpMapiMessageW, FLAGS,
                                   ULONG);

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

// A log line for the terminal: the log is in the ANSI code page, the
// terminal reads UTF-8.
static std::string AnsiToUtf8(const char *ansi) {
  int units = MultiByteToWideChar(CP_ACP, 0, ansi, -1, NULL, 0);
  if (units <= 0)
    return ansi;
  std::wstring wide((size_t)units, L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi, -1, &wide[0], units);
  int bytes =
      WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, NULL, 0, NULL, NULL);
  if (bytes <= 0)
    return ansi;
  std::string out((size_t)bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0], bytes, NULL, NULL);
  out.resize((size_t)bytes - 1);
  return out;
}

static const char *ResultName(ULONG code) {
  switch (code) {
  case SUCCESS_SUCCESS:
    return "SUCCESS_SUCCESS";
  case MAPI_E_FAILURE:
    return "MAPI_E_FAILURE";
  case MAPI_E_ATTACHMENT_NOT_FOUND:
    return "MAPI_E_ATTACHMENT_NOT_FOUND";
  case MAPI_E_ATTACHMENT_OPEN_FAILURE:
    return "MAPI_E_ATTACHMENT_OPEN_FAILURE";
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
  HMODULE stub = LoadLibraryA("mapi32.dll");
  if (!stub) {
    printf("host: cannot load mapi32.dll (error %lu)\n", GetLastError());
    return 1;
  }
  LogonFn logon = (LogonFn)(void *)GetProcAddress(stub, "MAPILogon");
  LogoffFn logoff = (LogoffFn)(void *)GetProcAddress(stub, "MAPILogoff");
  SendMailWFn send = (SendMailWFn)(void *)GetProcAddress(stub, "MAPISendMailW");
  if (!logon || !logoff || !send) {
    printf("host: mapi32.dll lacks the Simple MAPI functions\n");
    return 1;
  }

  LHANDLE session = 0;
  ULONG rc = logon(0, NULL, NULL, MAPI_LOGON_UI, 0, &session);
  printf("host: MAPILogon -> %s, session %lu\n", ResultName(rc),
         (unsigned long)session);

  MapiRecipDescW recips[3] = {};
  recips[0].ulRecipClass = MAPI_TO;
  recips[0].lpszName = (PWSTR)L"Άννα Λεέ";
  recips[0].lpszAddress = (PWSTR)L"anna.lee@example.com";
  recips[1].ulRecipClass = MAPI_CC;
  recips[1].lpszName = (PWSTR)L"Борис Рай";
  recips[1].lpszAddress = (PWSTR)L"boris.ray@example.com";
  recips[2].ulRecipClass = MAPI_BCC;
  recips[2].lpszName = (PWSTR)L"監査 <audit@example.jp>";
  recips[2].lpszAddress = (PWSTR)L"audit@example.jp";
  MapiFileDescW files[2] = {};
  files[0].lpszPathName = (PWSTR)L"C:\\Reports\\Q3 -draft.xlsx";
  files[0].lpszFileName = (PWSTR)L"Αναφορά Q3 – Отчёт – 報告.xlsx";
  files[1].lpszPathName = (PWSTR)L"C:\\Reports\\notes.txt";
  MapiMessageW msg = {};
  msg.lpszSubject = (PWSTR)L"Q3 report - Αναφορά / Отчёт / 四半期報告";
  msg.lpszNoteText = (PWSTR)L"Hi all,\r\n\r\nthe final Q3 figures are "
                            L"attached.\r\nΤα τελικά στοιχεία. Итоговые "
                            L"цифры. 最終の数字です。\r\n-- Carol";
  msg.nFileCount = 2;
  msg.lpFiles = files;
  msg.nRecipCount = 3;
  msg.lpRecips = recips;
  printf("host: MAPISendMailW through mapi32.dll ... (waits until the mail "
         "client exits)\n");
  rc = send(session, 0, &msg, 0, 0);
  printf("host: MAPISendMailW -> %s\n", ResultName(rc));
  rc = logoff(session, 0, 0, 0);
  printf("host: MAPILogoff -> %s\n", ResultName(rc));
  FreeLibrary(stub);

  for (const std::string &name : LogFiles()) {
    if (before.count(name))
      continue;
    std::string path = TraceFolder() + "\\" + name;
    printf("\nTrace log of this run (in the ANSI code page, so characters it "
           "lacks show as <U+XXXX>): %%APPDATA%%\\Quorvantile Incorporated\\"
           "Quorvantile Brindleway\\%s\n",
           name.c_str());
    FILE *f = fopen(path.c_str(), "rb");
    char line[1024];
    while (f && fgets(line, sizeof line, f)) {
      size_t n = strlen(line);
      while (n && (line[n - 1] == '\n' || line[n - 1] == '\r'))
        line[--n] = 0;
      printf("  %s\n", AnsiToUtf8(line).c_str());
    }
    if (f)
      fclose(f);
  }
  return 0;
}
