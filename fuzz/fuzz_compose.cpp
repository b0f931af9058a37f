// ComposeCommandLine on messages built from fuzz input. Invariants: the
// line fits its buffer and is terminated at its length, a blank and a single
// hyphen only ever begin a known switch, the reference reader gives every
// present field back exactly, and nothing is left allocated.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "handoff/handoff.h"
#include "mapi/mapi_types.h"
#include "platform/posix/testctl.h"
#include "tests/support/line_reader.h"

namespace {

struct Input {
  const uint8_t *data;
  size_t size, pos;
  int Byte() { return pos < size ? data[pos++] : 0; }
  // A text up to the next NUL; a text of the single byte 0x01 stands for NULL.
  bool Text(std::string *out) {
    size_t start = pos;
    while (pos < size && data[pos])
      pos++;
    *out = std::string((const char *)data + start, pos - start);
    if (pos < size)
      pos++;
    return *out != "\x01";
  }
};

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

const char *g_line = "";

// Says which invariant broke, and on which line, before stopping.
#define CHECK(cond)                                                            \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "broken: %s\nline: [%s]\n", #cond, g_line);              \
      abort();                                                                 \
    }                                                                          \
  } while (0)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Input in = {data, size, 0};
  FLAGS flags = (FLAGS)in.Byte();
  int nFiles = in.Byte() % 4, nRecips = in.Byte() % 7;
  std::vector<std::string> store(2 + 2 * nFiles + 2 * nRecips);
  std::vector<bool> present(store.size());
  for (size_t i = 0; i < store.size(); i++)
    present[i] = in.Text(&store[i]);
  auto ptr = [&](size_t i) {
    return present[i] ? (LPSTR)store[i].c_str() : (LPSTR)NULL;
  };
  MapiFileDesc files[3] = {};
  MapiRecipDesc recips[6] = {};
  MapiMessage msg = {};
  msg.lpszSubject = ptr(0);
  msg.lpszNoteText = ptr(1);
  for (int i = 0; i < nFiles; i++) {
    files[i].lpszPathName = ptr(2 + 2 * i);
    files[i].lpszFileName = ptr(3 + 2 * i);
  }
  for (int i = 0; i < nRecips; i++) {
    recips[i].lpszName = ptr(2 + 2 * nFiles + 2 * i);
    recips[i].lpszAddress = ptr(3 + 2 * nFiles + 2 * i);
    recips[i].ulRecipClass = (ULONG)(in.Byte() % 5);
  }
  msg.nFileCount = (ULONG)nFiles;
  msg.lpFiles = nFiles ? files : NULL;
  msg.nRecipCount = (ULONG)nRecips;
  msg.lpRecips = nRecips ? recips : NULL;

  long live = TestCtl_LiveBlocks();
  std::vector<char> buffer(COMMAND_LINE_SIZE, 0);
  int n = ComposeCommandLine(&msg, flags, buffer.data());
  CHECK(!(TestCtl_LiveBlocks() != live));
  CHECK(n != COMPOSE_FAILED); // inputs this small always fit
  CHECK(!(n < 0 || n > COMMAND_LINE_SIZE - 1 ||
          strlen(buffer.data()) != (size_t)n));
  const char *line = buffer.data();
  g_line = line;
  for (int i = 0; i + 1 < n; i++)
    CHECK(!(line[i] == ' ' && line[i + 1] == '-' && line[i + 2] != '-' &&
            !BeginsKnownSwitch(line + i + 2)));

  ParsedLine parsed = ReadCommandLine(line);
  CHECK(parsed.ok);
  auto given = [](const char *s) { return s && *s; };
  CHECK(!(parsed.hasSubject != given(msg.lpszSubject) ||
          (parsed.hasSubject && parsed.subject != msg.lpszSubject)));
  CHECK(!(parsed.hasBody != given(msg.lpszNoteText) ||
          (parsed.hasBody && parsed.body != msg.lpszNoteText)));
  // Attachments as the sequence of their sections: an alias standing right
  // behind a path that has none of its own cannot be told from that path's
  // alias, so the reader's pairing is not compared, only the sections.
  std::vector<std::string> expected, got;
  for (int i = 0; i < nFiles; i++) {
    if (given(files[i].lpszPathName))
      expected.push_back(std::string("A") + files[i].lpszPathName);
    if (given(files[i].lpszFileName))
      expected.push_back(std::string("N") + files[i].lpszFileName);
  }
  for (const ParsedAttachment &pa : parsed.attachments) {
    if (pa.hasPath)
      got.push_back("A" + pa.path);
    if (pa.hasName)
      got.push_back("N" + pa.name);
  }
  CHECK(expected == got);
  std::vector<std::string> lists[3];
  bool semicolon = false;
  for (int i = 0; i < nRecips; i++) {
    const char *addr = recips[i].lpszAddress;
    if (!addr && recips[i].lpszName && strchr(recips[i].lpszName, '@'))
      addr = recips[i].lpszName;
    ULONG c = recips[i].ulRecipClass;
    if (!addr || c < 1 || c > 3)
      continue;
    semicolon |= strchr(addr, ';') != NULL;
    lists[c - 1].push_back(addr);
  }
  CHECK(!(parsed.hasTo != !lists[0].empty() ||
          parsed.hasCc != !lists[1].empty() ||
          parsed.hasBcc != !lists[2].empty()));
  CHECK(!(!semicolon && (parsed.to != lists[0] || parsed.cc != lists[1] ||
                         parsed.bcc != lists[2])));
  CHECK(!(parsed.silent != !(flags & MAPI_DIALOG)));
  return 0;
}
