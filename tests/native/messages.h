// Messages the tests send: the reference messages and a builder for others,
// in ANSI (MessageBuilder) and in UTF-16 (WideMessageBuilder).
#ifndef QV_TESTS_NATIVE_MESSAGES_H
#define QV_TESTS_NATIVE_MESSAGES_H

#include <string.h>

#include <deque>
#include <string>
#include <vector>

#include "handoff/text.h"
#include "include/qvmapi/mapi.h"
#include "tests/support/first_example.h"

// Owns every text and record of one message; NULL stays NULL.
template <typename Char> struct BasicMessageBuilder {
  typedef typename Text<Char>::Message Message;
  typedef typename Text<Char>::File File_;
  typedef typename Text<Char>::Recip Recip_;
  Message msg = {};
  std::deque<std::basic_string<Char>> texts;
  std::vector<File_> files;
  std::vector<Recip_> recips;

  Char *Text(const Char *s) {
    if (!s)
      return NULL;
    texts.emplace_back(s);
    return (Char *)texts.back().c_str();
  }
  // An ASCII literal in this builder's character type, kept with the rest.
  const Char *Ascii(const char *s) {
    if (!s)
      return NULL;
    texts.emplace_back(s, s + strlen(s));
    return texts.back().c_str();
  }
  BasicMessageBuilder &Subject(const Char *s) {
    msg.lpszSubject = Text(s);
    return *this;
  }
  BasicMessageBuilder &Body(const Char *s) {
    msg.lpszNoteText = Text(s);
    return *this;
  }
  BasicMessageBuilder &File(const Char *path, const Char *name) {
    File_ f = {};
    f.lpszPathName = Text(path);
    f.lpszFileName = Text(name);
    files.push_back(f);
    return *this;
  }
  BasicMessageBuilder &Recip(ULONG cls, const Char *name, const Char *address) {
    Recip_ r = {};
    r.ulRecipClass = cls;
    r.lpszName = Text(name);
    r.lpszAddress = Text(address);
    recips.push_back(r);
    return *this;
  }
  Message *Get() {
    msg.nFileCount = (ULONG)files.size();
    msg.lpFiles = files.empty() ? NULL : files.data();
    msg.nRecipCount = (ULONG)recips.size();
    msg.lpRecips = recips.empty() ? NULL : recips.data();
    return &msg;
  }
};

typedef BasicMessageBuilder<char> MessageBuilder;
typedef BasicMessageBuilder<WCHAR> WideMessageBuilder;

template <typename Char> void BuildFirstExample(BasicMessageBuilder<Char> &b) {
  b.Subject(b.Ascii("Q3 report - final"))
      .Body(b.Ascii("Hi all -see attached."))
      .File(b.Ascii("D:\\Temp\\q3 -old.xls"), b.Ascii("q3.xls"))
      .File(b.Ascii("D:\\Temp\\notes.txt"), NULL)
      .Recip(MAPI_TO, b.Ascii("Ann Lee"), b.Ascii("ann.lee"))
      .Recip(MAPI_CC, b.Ascii("Bob Ray"), b.Ascii("bob.ray"))
      .Recip(MAPI_TO, b.Ascii("Cy Fox"), b.Ascii("cy.fox"))
      .Recip(MAPI_BCC, b.Ascii("Dee Orr"), b.Ascii("dee.orr"))
      .Recip(MAPI_ORIG, b.Ascii("Me"), b.Ascii("me"));
}

// ASCII or UTF-8 bytes as UTF-16 code units, for expected wide lines.
std::u16string Utf16(const std::string &utf8);

#endif
