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

// A message of one attachment and one recipient, in either width.
template <typename Message, typename File, typename Recip, typename Char>
struct OneOfEach {
  File file = {};
  Recip to = {};
  Message msg = {};
  OneOfEach(const Char *subject, const Char *body, const Char *path,
            const Char *address, ULONG reserved = 0) {
    file.lpszPathName = (Char *)path;
    to.ulRecipClass = MAPI_TO;
    to.lpszAddress = (Char *)address;
    msg.ulReserved = reserved;
    msg.lpszSubject = (Char *)subject;
    msg.lpszNoteText = (Char *)body;
    msg.nFileCount = 1;
    msg.lpFiles = &file;
    msg.nRecipCount = 1;
    msg.lpRecips = &to;
  }
};

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
  OneOfEach<MapiMessageW, MapiFileDescW, MapiRecipDescW, wchar_t> wide(
      kWorldSubject, kWorldBody, kWorldPath, kWorldTo);
  failed += sendW(0, 0, &wide.msg, 0, 0) != 0;

  SetEnvironmentVariableW(L"QV_CLIENT_NAME", L"3");
  OneOfEach<MapiMessage, MapiFileDesc, MapiRecipDesc, char> utf8(
      kWorldSubject8, kWorldBody8, kWorldPath8, kWorldTo8, CP_UTF8);
  failed += send(0, 0, &utf8.msg, 0, 0) != 0;
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
