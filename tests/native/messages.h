// Messages the tests send: the reference messages and a builder for others.
#ifndef QV_TESTS_NATIVE_MESSAGES_H
#define QV_TESTS_NATIVE_MESSAGES_H

#include <deque>
#include <string>
#include <vector>

#include "mapi/mapi_types.h"
#include "tests/support/first_example.h"

// Owns every text and record of one message; NULL stays NULL.
struct MessageBuilder {
  MapiMessage msg = {};
  std::deque<std::string> texts;
  std::vector<MapiFileDesc> files;
  std::vector<MapiRecipDesc> recips;

  LPSTR Text(const char *s) {
    if (!s)
      return NULL;
    texts.emplace_back(s);
    return (LPSTR)texts.back().c_str();
  }
  MessageBuilder &Subject(const char *s) {
    msg.lpszSubject = Text(s);
    return *this;
  }
  MessageBuilder &Body(const char *s) {
    msg.lpszNoteText = Text(s);
    return *this;
  }
  MessageBuilder &File(const char *path, const char *name) {
    MapiFileDesc f = {};
    f.lpszPathName = Text(path);
    f.lpszFileName = Text(name);
    files.push_back(f);
    return *this;
  }
  MessageBuilder &Recip(ULONG cls, const char *name, const char *address) {
    MapiRecipDesc r = {};
    r.ulRecipClass = cls;
    r.lpszName = Text(name);
    r.lpszAddress = Text(address);
    recips.push_back(r);
    return *this;
  }
  MapiMessage *Get() {
    msg.nFileCount = (ULONG)files.size();
    msg.lpFiles = files.empty() ? NULL : files.data();
    msg.nRecipCount = (ULONG)recips.size();
    msg.lpRecips = recips.empty() ? NULL : recips.data();
    return &msg;
  }
};

inline void BuildFirstExample(MessageBuilder &b) {
  b.Subject("Q3 report - final")
      .Body("Hi all -see attached.")
      .File("D:\\Temp\\q3 -old.xls", "q3.xls")
      .File("D:\\Temp\\notes.txt", NULL)
      .Recip(MAPI_TO, "Ann Lee", "ann.lee")
      .Recip(MAPI_CC, "Bob Ray", "bob.ray")
      .Recip(MAPI_TO, "Cy Fox", "cy.fox")
      .Recip(MAPI_BCC, "Dee Orr", "dee.orr")
      .Recip(MAPI_ORIG, "Me", "me");
}

#endif
