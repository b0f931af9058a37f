// The reference message of the hand-off, as a fixed message and the exact
// command line it must give with flags 0.
#ifndef QV_TESTS_SUPPORT_FIRST_EXAMPLE_H
#define QV_TESTS_SUPPORT_FIRST_EXAMPLE_H

#include "include/qvmapi/mapi.h"

#define FIRST_EXAMPLE_LINE                                                     \
  "-Subject Q3 report -- final -Attach D:\\Temp\\q3 --old.xls -Alias q3.xls "  \
  "-Attach D:\\Temp\\notes.txt -Body Hi all --see attached. -To "              \
  "ann.lee;cy.fox -Cc bob.ray -Bcc dee.orr -Silent"

struct FirstExample {
  MapiFileDesc files[2] = {};
  MapiRecipDesc recips[5] = {};
  MapiMessage msg = {};
  FirstExample() {
    files[0].lpszPathName = (LPSTR) "D:\\Temp\\q3 -old.xls";
    files[0].lpszFileName = (LPSTR) "q3.xls";
    files[1].lpszPathName = (LPSTR) "D:\\Temp\\notes.txt";
    const char *names[] = {"Ann Lee", "Bob Ray", "Cy Fox", "Dee Orr", "Me"};
    const char *addrs[] = {"ann.lee", "bob.ray", "cy.fox", "dee.orr", "me"};
    ULONG classes[] = {MAPI_TO, MAPI_CC, MAPI_TO, MAPI_BCC, MAPI_ORIG};
    for (int i = 0; i < 5; i++) {
      recips[i].ulRecipClass = classes[i];
      recips[i].lpszName = (LPSTR)names[i];
      recips[i].lpszAddress = (LPSTR)addrs[i];
    }
    msg.lpszSubject = (LPSTR) "Q3 report - final";
    msg.lpszNoteText = (LPSTR) "Hi all -see attached.";
    msg.nFileCount = 2;
    msg.lpFiles = files;
    msg.nRecipCount = 5;
    msg.lpRecips = recips;
  }
};

// The same message in UTF-16 (MAPISendMailW gives the same line, widened).
struct FirstExampleW {
  MapiFileDescW files[2] = {};
  MapiRecipDescW recips[5] = {};
  MapiMessageW msg = {};
  FirstExampleW() {
    files[0].lpszPathName = (PWSTR)QV_WIDE("D:\\Temp\\q3 -old.xls");
    files[0].lpszFileName = (PWSTR)QV_WIDE("q3.xls");
    files[1].lpszPathName = (PWSTR)QV_WIDE("D:\\Temp\\notes.txt");
    const WCHAR *names[] = {QV_WIDE("Ann Lee"), QV_WIDE("Bob Ray"),
                            QV_WIDE("Cy Fox"), QV_WIDE("Dee Orr"),
                            QV_WIDE("Me")};
    const WCHAR *addrs[] = {QV_WIDE("ann.lee"), QV_WIDE("bob.ray"),
                            QV_WIDE("cy.fox"), QV_WIDE("dee.orr"),
                            QV_WIDE("me")};
    ULONG classes[] = {MAPI_TO, MAPI_CC, MAPI_TO, MAPI_BCC, MAPI_ORIG};
    for (int i = 0; i < 5; i++) {
      recips[i].ulRecipClass = classes[i];
      recips[i].lpszName = (PWSTR)names[i];
      recips[i].lpszAddress = (PWSTR)addrs[i];
    }
    msg.lpszSubject = (PWSTR)QV_WIDE("Q3 report - final");
    msg.lpszNoteText = (PWSTR)QV_WIDE("Hi all -see attached.");
    msg.nFileCount = 2;
    msg.lpFiles = files;
    msg.nRecipCount = 5;
    msg.lpRecips = recips;
  }
};

#endif
