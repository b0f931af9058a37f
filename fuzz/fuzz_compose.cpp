// ComposeCommandLine, ComposeCommandLineW and ComposeCommandLineUtf8 on
// messages built from fuzz input (the first byte picks ANSI, UTF-16, or
// ANSI records whose texts are UTF-8, each read as UTF-8 when valid and in
// the ANSI code page otherwise: truncated and overlong sequences, encoded
// surrogates and plain ANSI bytes alike; UTF-16 texts take their
// units from byte pairs, any unit but NUL, with pairs 0x01nn standing for
// blanks, hyphens and their look-alikes). Invariants: the line fits its
// buffer and is terminated at its length, a blank and a single hyphen only
// ever begin a known switch, the reference reader gives every present field
// back exactly, and nothing is left allocated. A wide line is also read
// through its ANSI view (the client view's blanks and hyphens, as
// GetCommandLineA gives them): the same invariants hold there, and both views read each value
// alike; a wide value differs from what was given only where a look-alike
// became the ASCII blank or hyphen the ANSI view shows.
#include <iconv.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "fuzz/fuzz_entry.h"
#include "handoff/handoff.h"
#include "handoff/text.h"
#include "include/qvmapi/mapi.h"
#include "platform/fake/control.h"
#include "tests/support/line_reader.h"

namespace {

struct Input {
  const uint8_t *data;
  size_t size, pos;
  int Byte() { return pos < size ? data[pos++] : 0; }
  int Unit(char) { return Byte(); }
  int Unit(WCHAR) {
    static const WCHAR kNear[] = {0x2212, 0x2010, 0xFF0D, 0x3000,
                                  0x2002, 0x2500, ' ',    '-'};
    int u = Byte() | Byte() << 8;
    return (u >> 8) == 1 ? kNear[u & 7] : u;
  }
  // A text up to the next NUL unit; the single unit 0x01 stands for NULL.
  template <typename Char> bool Text(std::basic_string<Char> *out) {
    out->clear();
    while (pos < size) {
      Char c = (Char)Unit(Char());
      if (!c)
        break;
      *out += c;
    }
    return !(out->size() == 1 && (*out)[0] == 1);
  }
};

// The line and the texts as the reader takes them: ANSI as it is, UTF-16
// unit by unit.
std::string Bytes(const char *s) { return s; }
std::string Bytes(const WCHAR *s) { return UnitBytes(s, TextLength(s)); }

int Compose(const MapiMessage *msg, FLAGS flags, char *buffer) {
  return ComposeCommandLine(msg, flags, buffer);
}
int Compose(const MapiMessageW *msg, FLAGS flags, WCHAR *buffer) {
  return ComposeCommandLineW(msg, flags, buffer);
}
int ComposeUtf8(MapiMessage *msg, FLAGS flags, WCHAR *buffer) {
  msg->ulReserved = CP_UTF8;
  return ComposeCommandLineUtf8(msg, flags, buffer);
}
int ComposeUtf8(MapiMessageW *, FLAGS, WCHAR *) { abort(); } // never asked
int Capacity(char) { return COMMAND_LINE_SIZE; }
int Capacity(WCHAR) { return WIDE_COMMAND_LINE_SIZE; }

const char *const kSwitches[] = {"Subject", "Attach", "Alias", "Body",
                                 "To",      "Cc",     "Bcc",   "Silent"};

bool BeginsKnownSwitch(const char *p) {
  for (const char *s : kSwitches) {
    size_t n = strlen(s);
    if (strncmp(p, s, n) == 0 && (p[n] == ' ' || p[n] == 0))
      return true;
  }
  return false;
}

std::string g_line;

// What a client reading GetCommandLineA sees of a wide text; ANSI as it is.
std::string AnsiView(const char *s) { return s; }
std::string AnsiView(const WCHAR *s) {
  return FakeClientSees(s, TextLength(s));
}

// A value as the wide reader gave it back against the value given: equal,
// but where a unit became the ASCII blank or hyphen its ANSI view shows.
bool SameOrPlain(const std::string &got, const char *given) {
  return got == given;
}
bool SameOrPlain(const std::string &got, const WCHAR *given) {
  size_t at = 0;
  for (const WCHAR *p = given; *p; p++) {
    std::string unit = UnitBytes(p, 1);
    if (got.compare(at, unit.size(), unit) == 0) {
      at += unit.size();
      continue;
    }
    WCHAR one[2] = {*p, 0};
    std::string view = AnsiView(one);
    if (*p < 0x80 || (view != " " && view != "-") || at >= got.size() ||
        got[at] != view[0])
      return false;
    at++;
  }
  return at == got.size();
}

// Says which invariant broke, and on which line, before stopping.
#define CHECK(cond)                                                            \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "broken: %s\nline: [%s]\n", #cond, g_line.c_str());      \
      abort();                                                                 \
    }                                                                          \
  } while (0)

// The invariants on one view of the line: the line itself (exact, values
// compared with what was given) or the ANSI view of a wide line (values
// compared with the ANSI views of what was given).
template <typename Message, typename File, typename Recip>
void CheckView(const std::string &view, const Message &msg, const File *files,
               int nFiles, const Recip *recips, int nRecips, FLAGS flags,
               bool exact) {
  typedef typename std::remove_pointer<decltype(msg.lpszSubject)>::type Char;
  // The value as this view shows it: the wide reader's bytes, or the ANSI
  // view of the value.
  // The value as this view shows it, and whether a parsed value reads as
  // the value given.
  auto shown = [&](const Char *s) { return exact ? Bytes(s) : AnsiView(s); };
  auto same = [&](const std::string &got, const Char *given) {
    return exact ? SameOrPlain(got, given) : got == AnsiView(given);
  };
  const char *line = view.c_str();
  int n = (int)view.size();
  for (int i = 0; i + 1 < n; i++)
    CHECK(!(line[i] == ' ' && line[i + 1] == '-' && line[i + 2] != '-' &&
            !BeginsKnownSwitch(line + i + 2)));

  ParsedLine parsed = ReadCommandLine(line);
  CHECK(parsed.ok);
  auto given = [](const Char *s) { return s && *s; };
  CHECK(!(parsed.hasSubject != given(msg.lpszSubject) ||
          (parsed.hasSubject && !same(parsed.subject, msg.lpszSubject))));
  CHECK(!(parsed.hasBody != given(msg.lpszNoteText) ||
          (parsed.hasBody && !same(parsed.body, msg.lpszNoteText))));
  // Attachments as the sequence of their sections: an alias standing right
  // behind a path that has none of its own cannot be told from that path's
  // alias, so the reader's pairing is not compared, only the sections.
  std::vector<std::pair<char, const Char *>> expected;
  std::vector<std::pair<char, std::string>> got;
  for (int i = 0; i < nFiles; i++) {
    if (given(files[i].lpszPathName))
      expected.push_back({'A', files[i].lpszPathName});
    if (given(files[i].lpszFileName))
      expected.push_back({'N', files[i].lpszFileName});
  }
  for (const ParsedAttachment &pa : parsed.attachments) {
    if (pa.hasPath)
      got.push_back({'A', pa.path});
    if (pa.hasName)
      got.push_back({'N', pa.name});
  }
  CHECK(expected.size() == got.size());
  for (size_t i = 0; i < got.size(); i++)
    CHECK(got[i].first == expected[i].first &&
          same(got[i].second, expected[i].second));
  std::vector<const Char *> lists[3];
  bool semicolon = false;
  for (int i = 0; i < nRecips; i++) {
    const Char *addr = recips[i].lpszAddress;
    if (!addr && recips[i].lpszName &&
        strchr(Bytes(recips[i].lpszName).c_str(), '@'))
      addr = recips[i].lpszName;
    ULONG c = recips[i].ulRecipClass;
    if (!addr || c < 1 || c > 3)
      continue;
    semicolon |= strchr(shown(addr).c_str(), ';') != NULL;
    lists[c - 1].push_back(addr);
  }
  auto sameList = [&](const std::vector<std::string> &parsedList,
                      const std::vector<const Char *> &givenList) {
    if (parsedList.size() != givenList.size())
      return false;
    for (size_t i = 0; i < parsedList.size(); i++)
      if (!same(parsedList[i], givenList[i]))
        return false;
    return true;
  };
  CHECK(!(parsed.hasTo != !lists[0].empty() ||
          parsed.hasCc != !lists[1].empty() ||
          parsed.hasBcc != !lists[2].empty()));
  CHECK(!(!semicolon &&
          !(sameList(parsed.to, lists[0]) && sameList(parsed.cc, lists[1]) &&
            sameList(parsed.bcc, lists[2]))));
  CHECK(!(parsed.silent != !(flags & (MAPI_DIALOG | 0x4))));
}

// A message of Char texts over store (present[i] false: NULL).
template <typename Char> struct Built;

template <typename Char>
void CheckLine(const Char *line, int n, const Built<Char> &m, FLAGS flags) {
  CHECK(!(n < 0 || n > Capacity(Char()) - 1 || TextLength(line) != (size_t)n));
  g_line = Bytes(line);
  CheckView(g_line, m.msg, m.files, m.nFiles, m.recips, m.nRecips, flags, true);
  if (sizeof(Char) > 1) {
    g_line = AnsiView(line);
    CheckView(g_line, m.msg, m.files, m.nFiles, m.recips, m.nRecips, flags,
              false);
  }
}

template <typename Char> struct Built {
  typename Text<Char>::File files[3] = {};
  typename Text<Char>::Recip recips[6] = {};
  typename Text<Char>::Message msg = {};
  int nFiles, nRecips;
  Built(const std::vector<std::basic_string<Char>> &store,
        const std::vector<bool> &present, int files_, int recips_,
        const std::vector<ULONG> &classes)
      : nFiles(files_), nRecips(recips_) {
    auto ptr = [&](size_t i) {
      return present[i] ? (Char *)store[i].c_str() : (Char *)NULL;
    };
    msg.lpszSubject = ptr(0);
    msg.lpszNoteText = ptr(1);
    for (int i = 0; i < nFiles; i++) {
      files[i].lpszPathName = ptr(2 + 2 * i);
      files[i].lpszFileName = ptr(3 + 2 * i);
    }
    for (int i = 0; i < nRecips; i++) {
      recips[i].lpszName = ptr(2 + 2 * nFiles + 2 * i);
      recips[i].lpszAddress = ptr(3 + 2 * nFiles + 2 * i);
      recips[i].ulRecipClass = classes[i];
    }
    msg.nFileCount = (ULONG)nFiles;
    msg.lpFiles = nFiles ? files : NULL;
    msg.nRecipCount = (ULONG)nRecips;
    msg.lpRecips = nRecips ? recips : NULL;
  }
};

// A text of a UTF-8 message as the library must read it: UTF-8 when valid,
// the ANSI code page otherwise.
// The C library's iconv judges the UTF-8, independently of the library.
std::basic_string<WCHAR> Read(const std::string &bytes) {
  std::vector<WCHAR> out(bytes.size() + 1);
  iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
  char *in = (char *)bytes.c_str(), *o = (char *)out.data();
  size_t inLeft = bytes.size(), outLeft = out.size() * sizeof(WCHAR);
  bool utf8 = iconv(cd, &in, &inLeft, &o, &outLeft) != (size_t)-1;
  iconv_close(cd);
  if (utf8)
    return std::basic_string<WCHAR>(out.data(),
                                    (WCHAR *)o - out.data());
  int n = AnsiToWide(bytes.c_str(), -1, out.data(), (int)out.size());
  return std::basic_string<WCHAR>(out.data(), n > 0 ? (size_t)n - 1 : 0);
}

// utf8: an ANSI message with ulReserved CP_UTF8, composed by
// ComposeCommandLineUtf8 and checked as the wide message of its texts.
template <typename Char> void Check(Input &in, bool utf8) {
  FLAGS flags = (FLAGS)in.Byte();
  int nFiles = in.Byte() % 4, nRecips = in.Byte() % 7;
  std::vector<std::basic_string<Char>> store(2 + 2 * nFiles + 2 * nRecips);
  std::vector<bool> present(store.size());
  for (size_t i = 0; i < store.size(); i++)
    present[i] = in.Text(&store[i]);
  std::vector<ULONG> classes(6);
  for (int i = 0; i < nRecips; i++)
    classes[i] = (ULONG)(in.Byte() % 5);
  Built<Char> given(store, present, nFiles, nRecips, classes);

  long live = TestCtl_LiveBlocks();
  std::vector<WCHAR> wide(WIDE_COMMAND_LINE_SIZE, 0);
  std::vector<Char> buffer(Capacity(Char()), 0);
  int n = utf8 ? ComposeUtf8(&given.msg, flags, wide.data())
               : Compose(&given.msg, flags, buffer.data());
  CHECK(!(TestCtl_LiveBlocks() != live));
  CHECK(n != COMPOSE_FAILED); // inputs this small always fit
  if (utf8) {
    std::vector<std::basic_string<WCHAR>> read;
    for (const std::basic_string<Char> &text : store)
      read.push_back(Read(std::string(text.begin(), text.end())));
    Built<WCHAR> w(read, present, nFiles, nRecips, classes);
    CheckLine(wide.data(), n, w, flags);
  } else {
    CheckLine(buffer.data(), n, given, flags);
  }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Input in = {data, size, 0};
  int kind = in.Byte() % 3;
  if (kind == 1)
    Check<WCHAR>(in, false);
  else
    Check<char>(in, kind == 2);
  return 0;
}
