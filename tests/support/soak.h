// The soak: many threads calling all twelve exports in a mixed order. Used
// natively (direct calls, under ThreadSanitizer) and under Wine (through
// the DLL), with the same expectations: every call gives its result, every
// trace line is whole, and the log holds exactly the lines the calls write.
#ifndef QV_TESTS_SUPPORT_SOAK_H
#define QV_TESTS_SUPPORT_SOAK_H

#include <string.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "include/qvmapi/mapi.h"

struct SoakApi {
  ULONG(WINAPI *Logon)(ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPLHANDLE);
  ULONG(WINAPI *Logoff)(LHANDLE, ULONG_PTR, FLAGS, ULONG);
  ULONG(WINAPI *SendMail)(LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS, ULONG);
  ULONG(WINAPI *SendDocuments)(ULONG_PTR, LPSTR, LPSTR, LPSTR, ULONG);
  ULONG(WINAPI *FindNext)
  (LHANDLE, ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPSTR);
  ULONG(WINAPI *ReadMail)
  (LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG, lpMapiMessage *);
  ULONG(WINAPI *SaveMail)
  (LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS, ULONG, LPSTR);
  ULONG(WINAPI *DeleteMail)(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG);
  ULONG(WINAPI *FreeBuffer)(LPVOID);
  ULONG(WINAPI *Address)
  (LHANDLE, ULONG_PTR, LPSTR, ULONG, LPSTR, ULONG, lpMapiRecipDesc, FLAGS,
   ULONG, LPULONG, lpMapiRecipDesc *);
  ULONG(WINAPI *Details)(LHANDLE, ULONG_PTR, lpMapiRecipDesc, FLAGS, ULONG);
  ULONG(WINAPI *ResolveName)
  (LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG, lpMapiRecipDesc *);
};

struct SoakResult {
  long lines = 0;      // trace lines the calls must have written
  long badResults = 0; // calls that gave a wrong result or store
  long sends = 0;
};

// Runs threads x iterations calls; one in sendEvery calls is a MAPISendMail
// (of a message that traces 9 lines of its own).
inline SoakResult RunSoak(const SoakApi &api, int threads, int iterations,
                          int sendEvery) {
  std::atomic<long> lines{0}, bad{0}, sends{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; t++)
    pool.emplace_back([&, t] {
      unsigned state = 2654435761u * (unsigned)(t + 1);
      char text[] = "text", id[] = "id-1", name[] = "soak@example.com";
      char path[] = "D:\\Temp\\q3 -old.xls", subject[] = "soak", body[] = "body -x";
      MapiFileDesc file = {};
      file.lpszPathName = path;
      MapiRecipDesc recip = {};
      recip.ulRecipClass = MAPI_TO;
      recip.lpszAddress = name;
      MapiMessage msg = {};
      msg.lpszSubject = subject;
      msg.lpszNoteText = body;
      msg.nFileCount = 1;
      msg.lpFiles = &file;
      msg.nRecipCount = 1;
      msg.lpRecips = &recip;
      long myLines = 0, myBad = 0, mySends = 0;
      for (int i = 0; i < iterations; i++) {
        state = state * 1103515245u + 12345u;
        int pick = (int)((state >> 16) % 11);
        if (sendEvery && (i % sendEvery) == sendEvery - 1)
          pick = 11;
        LHANDLE session = 0;
        lpMapiRecipDesc r = NULL;
        lpMapiMessage m = (lpMapiMessage)&msg;
        ULONG count = 9;
        switch (pick) {
        case 0:
          myBad +=
              api.Logon(0, text, text, 0, 0, &session) != 0 || session != 1;
          myLines += 9;
          break;
        case 1:
          myBad += api.Logoff(1, 0, 0, 0) != 0;
          myLines += 6;
          break;
        case 2:
          myBad +=
              api.SendDocuments(0, text, text, text, 0) != MAPI_E_NOT_SUPPORTED;
          myLines += 7;
          break;
        case 3:
          myBad +=
              api.FindNext(1, 0, text, text, 0, 0, id) != MAPI_E_NOT_SUPPORTED;
          myLines += 9;
          break;
        case 4:
          myBad += api.ReadMail(1, 0, id, 0, 0, &m) != MAPI_E_NOT_SUPPORTED ||
                   m != (lpMapiMessage)&msg;
          myLines += 7;
          break;
        case 5:
          myBad += api.SaveMail(1, 0, &msg, 0, 0, id) != MAPI_E_NOT_SUPPORTED;
          myLines += 7;
          break;
        case 6:
          myBad += api.DeleteMail(1, 0, id, 0, 0) != MAPI_E_NOT_SUPPORTED;
          myLines += 7;
          break;
        case 7:
          myBad += api.Address(1, 0, text, 0, NULL, 0, NULL, 0, 0, &count,
                               &r) != MAPI_E_NOT_SUPPORTED ||
                   count != 0 || r != NULL;
          myLines += 7;
          break;
        case 8:
          myBad += api.Details(1, 0, NULL, 0, 0) != MAPI_E_NOT_SUPPORTED;
          myLines += 6;
          break;
        case 9:
        case 10:
          if (api.ResolveName(1, 0, name, 0, 0, &r) != 0 || !r ||
              std::string(r->lpszAddress) != name)
            myBad++;
          myBad += api.FreeBuffer(r) != 0;
          myLines += 7 + 3;
          break;
        case 11:
          myBad += api.SendMail(1, 0, &msg, MAPI_DIALOG, 0) != SUCCESS_SUCCESS;
          myLines += 5 + 9 + 1;
          mySends++;
          break;
        }
      }
      lines += myLines;
      bad += myBad;
      sends += mySends;
    });
  for (auto &th : pool)
    th.join();
  SoakResult result;
  result.lines = lines;
  result.badResults = bad;
  result.sends = sends;
  return result;
}

// A trace line is whole when it has the 32-character prefix and a message
// that starts the way one of the library's messages starts.
inline bool IsWholeTraceLine(const std::string &line) {
  if (line.size() <= 32)
    return false;
  const char *shape = "dddd/dd/dd dd:dd:dd hhhhhhhh  I ";
  for (int i = 0; i < 32; i++) {
    char c = line[i], s = shape[i];
    if (s == 'd'   ? !(c >= '0' && c <= '9')
        : s == 'h' ? !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))
                   : c != s)
      return false;
  }
  static const char *const starts[] = {
      "/***** MAPI",     "ULONG ",        "LPTSTR ",
      "FLAGS ",          "LHANDLE ",      "LPLHANDLE ",
      "*lplhSession = ", "LPVOID pv  = ", "lpMapiMessage lpMessage = ",
      "lpMessage->",     "00000 "};
  for (const char *s : starts)
    if (line.compare(32, strlen(s), s) == 0)
      return line.find("\r") == std::string::npos &&
             line.find('\n') == std::string::npos;
  return false;
}

#endif
