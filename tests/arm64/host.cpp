// A host without a C runtime, for the ARM64 tests (and built for x64 the
// same way, to compare the two runs byte for byte):
//   qvhost DLL send      loads DLL from its path and sends the reference
//                        message (MAPISendMail), a message of Cyrillic,
//                        Greek and CJK text (MAPISendMailW), and the same in
//                        UTF-8 (MAPISendMail, ulReserved 65001); each
//                        client records as 1, 2 and 3 (QV_CLIENT_NAME);
//                        exit code 0 when every send returned 0
//   qvhost DLL refused   one send, which must return MAPI_E_FAILURE (2)
#include <windows.h>

#include <shellapi.h>

#include "tests/support/first_example.h"

typedef ULONG(WINAPI *SendMailFn)(LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS,
                                  ULONG);
typedef ULONG(WINAPI *SendMailWFn)(LHANDLE, ULONG_PTR, lpMapiMessageW, FLAGS,
                                   ULONG);

static const wchar_t kWorldSubject[] = L"Отчёт Q3 – Αναφορά 報告";
static const wchar_t kWorldBody[] = L"Γεια σας -см. 添付";
static const wchar_t kWorldPath[] = L"C:\\Берлин\\日本 -報告.pdf";
static const wchar_t kWorldTo[] = L"άννα@παράδειγμα.gr";
static const char kWorldSubject8[] = u8"Отчёт Q3 – Αναφορά 報告";
static const char kWorldBody8[] = u8"Γεια σας -см. 添付";
static const char kWorldPath8[] = u8"C:\\Берлин\\日本 -報告.pdf";
static const char kWorldTo8[] = u8"άννα@παράδειγμα.gr";

static int Send(HMODULE dll) {
  SendMailFn send = (SendMailFn)(void *)GetProcAddress(dll, "MAPISendMail");
  SendMailWFn sendW = (SendMailWFn)(void *)GetProcAddress(dll, "MAPISendMailW");
  if (!send || !sendW)
    return 90;
  int failed = 0;
  SetEnvironmentVariableW(L"QV_CLIENT_NAME", L"1");
  FirstExample example;
  failed += send(0, 0, &example.msg, 0, 0) != 0;

  SetEnvironmentVariableW(L"QV_CLIENT_NAME", L"2");
  MapiFileDescW file = {};
  file.lpszPathName = (PWSTR)kWorldPath;
  MapiRecipDescW to = {};
  to.ulRecipClass = MAPI_TO;
  to.lpszAddress = (PWSTR)kWorldTo;
  MapiMessageW wide = {};
  wide.lpszSubject = (PWSTR)kWorldSubject;
  wide.lpszNoteText = (PWSTR)kWorldBody;
  wide.nFileCount = 1;
  wide.lpFiles = &file;
  wide.nRecipCount = 1;
  wide.lpRecips = &to;
  failed += sendW(0, 0, &wide, 0, 0) != 0;

  SetEnvironmentVariableW(L"QV_CLIENT_NAME", L"3");
  MapiFileDesc file8 = {};
  file8.lpszPathName = (LPSTR)kWorldPath8;
  MapiRecipDesc to8 = {};
  to8.ulRecipClass = MAPI_TO;
  to8.lpszAddress = (LPSTR)kWorldTo8;
  MapiMessage utf8 = {};
  utf8.ulReserved = CP_UTF8;
  utf8.lpszSubject = (LPSTR)kWorldSubject8;
  utf8.lpszNoteText = (LPSTR)kWorldBody8;
  utf8.nFileCount = 1;
  utf8.lpFiles = &file8;
  utf8.nRecipCount = 1;
  utf8.lpRecips = &to8;
  failed += send(0, 0, &utf8, 0, 0) != 0;
  return failed;
}

extern "C" void WINAPI HostStart(void) {
  int argc = 0;
  wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  UINT code = 91;
  HMODULE dll = argc == 3 ? LoadLibraryW(argv[1]) : NULL;
  if (dll && lstrcmpW(argv[2], L"send") == 0) {
    code = (UINT)Send(dll);
  } else if (dll && lstrcmpW(argv[2], L"refused") == 0) {
    SendMailFn send = (SendMailFn)(void *)GetProcAddress(dll, "MAPISendMail");
    FirstExample example;
    code = send && send(0, 0, &example.msg, 0, 0) == MAPI_E_FAILURE ? 0 : 1;
  } else if (!dll) {
    code = 92;
  }
  if (dll)
    FreeLibrary(dll);
  ExitProcess(code);
}
