// ComposeCommandLine: the reference messages, the section rules, the rules that
// keep values from adding switches, and every failure point.
#include <string.h>

#include <functional>

#include "handoff/handoff.h"
#include "tests/native/messages.h"
#include "tests/native/support.h"
#include "tests/support/line_reader.h"

namespace {

class Compose : public QvTest {
protected:
  // Composes and returns the line; "<FAILED>" when composition failed.
  std::string Line(const MapiMessage *msg, FLAGS flags, int *length = nullptr) {
    std::vector<char> buffer(COMMAND_LINE_SIZE, 0);
    int n = ComposeCommandLine(msg, flags, buffer.data());
    if (length)
      *length = n;
    if (n == COMPOSE_FAILED) {
      EXPECT_EQ(buffer[0], 0) << "a failed line is left empty";
      return "<FAILED>";
    }
    EXPECT_EQ(strlen(buffer.data()), (size_t)n) << "NUL at the running length";
    return std::string(buffer.data(), (size_t)n);
  }
};

std::string Hex(const void *p) {
  char buf[16];
  snprintf(buf, sizeof buf, "%x", (unsigned)(uintptr_t)p);
  return buf;
}

// The line of each message, the same whether it comes as ANSI or as
// UTF-16: the section rules and the rules that keep values from adding
// switches.
template <typename Char> struct ComposeCase {
  const char *what;
  std::function<void(BasicMessageBuilder<Char> &)> build;
  FLAGS flags;
  const char *line;
};

template <typename Char> std::vector<ComposeCase<Char>> ComposeCases() {
  typedef BasicMessageBuilder<Char> B;
  auto first = [](B &b) { BuildFirstExample(b); };
  return {
      {"the reference message", first, 0, FIRST_EXAMPLE_LINE},
      {"MAPI_DIALOG drops only -Silent", first, MAPI_DIALOG,
       "-Subject Q3 report -- final -Attach D:\\Temp\\q3 --old.xls -Alias "
       "q3.xls -Attach D:\\Temp\\notes.txt -Body Hi all --see attached. -To "
       "ann.lee;cy.fox -Cc bob.ray -Bcc dee.orr"},
      {"other flags change nothing", first,
       MAPI_DIALOG | MAPI_LOGON_UI | 0xFFFF0000u,
       "-Subject Q3 report -- final -Attach D:\\Temp\\q3 --old.xls -Alias "
       "q3.xls -Attach D:\\Temp\\notes.txt -Body Hi all --see attached. -To "
       "ann.lee;cy.fox -Cc bob.ray -Bcc dee.orr"},
      {"no -Silent without MAPI_DIALOG", first, MAPI_LOGON_UI | MAPI_NEW_SESSION,
       FIRST_EXAMPLE_LINE},
      {"an empty message", [](B &) {}, 0, " -Silent"},
      {"an empty message, dialog", [](B &) {}, MAPI_DIALOG, ""},
      // MAPI_DIALOG_MODELESS is 0xC; some hosts pass its 0x4 alone.
      {"the modeless bit alone asks for a dialog", [](B &) {}, 0x4, ""},
      {"the modeless bit and MAPI_LOGON_UI", [](B &) {}, 0x5, ""},
      {"MAPI_DIALOG_MODELESS", [](B &) {}, 0xC, ""},
      {"MAPI_DIALOG_MODELESS and MAPI_LOGON_UI", [](B &) {}, 0xD, ""},
      {"absent fields and an empty address",
       [](B &b) {
         b.Subject(b.Ascii(""))
             .File(b.Ascii("D:\\a b\\c.doc"), b.Ascii(""))
             .Recip(MAPI_TO, b.Ascii("Eve"), NULL)
             .Recip(MAPI_CC, NULL, b.Ascii(""));
       },
       MAPI_DIALOG, " -Attach D:\\a b\\c.doc -Cc "},
      {"recipients grouped to -To, -Cc, -Bcc",
       [](B &b) {
         b.Recip(MAPI_BCC, b.Ascii("B"), b.Ascii("b@x"))
             .Recip(MAPI_TO, b.Ascii("T"), b.Ascii("t@x"))
             .Recip(MAPI_CC, b.Ascii("C"), b.Ascii("c@x"))
             .Recip(MAPI_TO, b.Ascii("T2"), b.Ascii("t2@x"))
             .Recip(4, b.Ascii("Four"), b.Ascii("four@x"))
             .Recip(MAPI_ORIG, b.Ascii("O"), b.Ascii("o@x"))
             .Recip(0xFFFFFFFFu, b.Ascii("Big"), b.Ascii("big@x"));
       },
       MAPI_DIALOG, " -To t@x;t2@x -Cc c@x -Bcc b@x"},
      {"the address, or a name with an at sign",
       [](B &b) {
         b.Recip(MAPI_TO, b.Ascii("ann@x.org"), NULL)
             .Recip(MAPI_TO, b.Ascii("No At Sign"), NULL) // passed over
             .Recip(MAPI_TO, NULL, NULL)                  // passed over
             .Recip(MAPI_TO, b.Ascii("named@x"), b.Ascii("addr"))
             .Recip(MAPI_TO, b.Ascii("x"), b.Ascii("")) // empty, taken
             .Recip(MAPI_CC, NULL, b.Ascii(""))
             .Recip(MAPI_CC, NULL, b.Ascii("c"));
       },
       MAPI_DIALOG, " -To ann@x.org;addr; -Cc ;c"},
      {"an alias without a path, absent texts",
       [](B &b) {
         b.File(NULL, b.Ascii("only.txt"))
             .File(b.Ascii(""), NULL)
             .File(b.Ascii("p"), b.Ascii(""))
             .Body(b.Ascii(""));
       },
       MAPI_DIALOG, " -Alias only.txt -Attach p"},
      {"values pass character for character",
       [](B &b) {
         b.Subject(b.Ascii("tab\there \"q\" back\\slash"))
             .Body(b.Ascii("line 1\r\nline 2\n-x"));
       },
       MAPI_DIALOG,
       "-Subject tab\there \"q\" back\\slash -Body line 1\r\nline 2\n-x"},
      {"values that look like switches stay values",
       [](B &b) {
         b.Subject(b.Ascii("-Attach C:\\secret.txt"))
             .File(b.Ascii("-Body x"), b.Ascii("a -Attach C:\\y"))
             .Body(b.Ascii("--already"))
             .Recip(MAPI_TO, b.Ascii("n"), b.Ascii("a@b.c -Attach C:\\x"))
             .Recip(MAPI_TO, b.Ascii("n"), b.Ascii("-Bcc evil@x"))
             .Recip(MAPI_CC, b.Ascii("n"), b.Ascii("-c"));
       },
       MAPI_DIALOG,
       "-Subject --Attach C:\\secret.txt -Attach --Body x -Alias a --Attach "
       "C:\\y -Body ---already -To a@b.c --Attach C:\\x;--Bcc evil@x -Cc --c"},
      {"an empty subject, an alias alone",
       [](B &b) { b.Subject(b.Ascii("")).File(NULL, b.Ascii("only")); },
       MAPI_DIALOG, " -Alias only"},
  };
}

int ComposeAny(const MapiMessage *m, FLAGS f, char *line) {
  return ComposeCommandLine(m, f, line);
}
int ComposeAny(const MapiMessageW *m, FLAGS f, WCHAR *line) {
  return ComposeCommandLineW(m, f, line);
}

template <typename Char> class ComposeTable : public QvTest {};
typedef ::testing::Types<char, WCHAR> CharTypes;
TYPED_TEST_SUITE(ComposeTable, CharTypes);

TYPED_TEST(ComposeTable, EveryCaseGivesItsLine) {
  for (const auto &c : ComposeCases<TypeParam>()) {
    BasicMessageBuilder<TypeParam> b;
    c.build(b);
    std::vector<TypeParam> buffer(COMMAND_LINE_SIZE, 0);
    int n = ComposeAny(b.Get(), c.flags, buffer.data());
    std::string expected = c.line;
    ASSERT_EQ(n, (int)expected.size()) << c.what;
    EXPECT_EQ(std::basic_string<TypeParam>(buffer.data(), (size_t)n),
              std::basic_string<TypeParam>(expected.begin(), expected.end()))
        << c.what;
  }
  std::vector<TypeParam> buffer(COMMAND_LINE_SIZE, 1);
  int n = ComposeAny((const typename Text<TypeParam>::Message *)NULL, 0,
                     buffer.data());
  EXPECT_EQ(n, 0) << "a NULL message is an empty line";
  EXPECT_EQ(buffer[0], 0);
}

TEST_F(Compose, ReferenceMessageLineAndTrace) {
  StartTraceLog(1);
  MessageBuilder b;
  BuildFirstExample(b);
  MapiMessage *msg = b.Get();
  int n;
  EXPECT_EQ(Line(msg, 0, &n), FIRST_EXAMPLE_LINE);
  EXPECT_EQ(n, 177);
  std::vector<std::string> expected = {
      "lpMapiMessage lpMessage = " + Hex(msg),
      "lpMessage->lpszSubject = " + Hex(msg->lpszSubject),
      "lpMessage->nFileCount = 2",
      "lpMessage->lpFiles[0].lpszPathName = 'D:\\Temp\\q3 -old.xls'",
      "lpMessage->lpFiles[0].lpszFileName = 'q3.xls'",
      "lpMessage->lpFiles[1].lpszPathName = 'D:\\Temp\\notes.txt'",
      "lpMessage->lpszNoteText = 'Hi all -see attached.'",
      "lpMessage->nRecipCount = 5",
      "00000 Name: 'Ann Lee'",
      "00000 Recipient Class: '1'",
      "00000 Address: 'ann.lee'",
      "00001 Name: 'Bob Ray'",
      "00001 Recipient Class: '2'",
      "00001 Address: 'bob.ray'",
      "00002 Name: 'Cy Fox'",
      "00002 Recipient Class: '1'",
      "00002 Address: 'cy.fox'",
      "00003 Name: 'Dee Orr'",
      "00003 Recipient Class: '3'",
      "00003 Address: 'dee.orr'",
      "00004 Name: 'Me'",
      "00004 Recipient Class: '0'",
      "00004 Address: 'me'"};
  EXPECT_EQ(LogMessages(), expected);
}

TEST_F(Compose, MessageOfAbsentFieldsAndEmptyAddress) {
  StartTraceLog(1);
  MessageBuilder b;
  b.Subject("")
      .File("D:\\a b\\c.doc", "")
      .Recip(MAPI_TO, "Eve", NULL)
      .Recip(MAPI_CC, NULL, "");
  int n;
  EXPECT_EQ(Line(b.Get(), MAPI_DIALOG, &n), " -Attach D:\\a b\\c.doc -Cc ");
  EXPECT_EQ(n, 26);
  auto messages = LogMessages();
  ASSERT_EQ(messages.size(), 10u)
      << "no subject or body line; 3 lines per recipient";
  EXPECT_EQ(messages[1], "lpMessage->nFileCount = 1");
  EXPECT_EQ(messages[4], "00000 Name: 'Eve'");
  EXPECT_EQ(messages[6], "00000 Address: 'NULL'");
  EXPECT_EQ(messages[7], "00001 Name: 'NULL'");
  EXPECT_EQ(messages[9], "00001 Address: ''");
}

TEST_F(Compose, NullAndEmptyMessages) {
  StartTraceLog(1);
  EXPECT_EQ(Line(NULL, 0), "");
  EXPECT_EQ(Line(NULL, MAPI_DIALOG), "");
  EXPECT_TRUE(LogMessages().empty()) << "a NULL message writes no trace line";
}

TEST_F(Compose, CountsAreSignedAndZeroTouchesNoArray) {
  MessageBuilder b;
  b.Subject("s");
  MapiMessage *msg = b.Get();
  msg->nFileCount = 0;
  msg->lpFiles = (lpMapiFileDesc)(uintptr_t)0x10; // never dereferenced
  msg->nRecipCount = 0;
  msg->lpRecips = (lpMapiRecipDesc)(uintptr_t)0x10;
  EXPECT_EQ(Line(msg, MAPI_DIALOG), "-Subject s");
  msg->nFileCount = 0x80000000u; // negative as a signed count
  msg->nRecipCount = 0xFFFFFFFFu;
  EXPECT_EQ(Line(msg, MAPI_DIALOG), "-Subject s");
}

// A host bug: counts above 0 with no array. Nothing is read from the
// missing array, the rest is traced, and the line fails.
TEST_F(Compose, CountedArraysThatAreMissingFailTheLine) {
  StartTraceLog(1);
  MessageBuilder b;
  b.Body("b").Recip(MAPI_TO, "n", "a@b");
  MapiMessage *msg = b.Get();
  msg->nFileCount = 2; // lpFiles stays NULL
  EXPECT_EQ(Line(msg, 0), "<FAILED>");
  EXPECT_EQ(LogMessages(),
            (std::vector<std::string>{
                "lpMapiMessage lpMessage = " + Hex(msg),
                "lpMessage->nFileCount = 2", "lpMessage->lpszNoteText = 'b'",
                "lpMessage->nRecipCount = 1", "00000 Name: 'n'",
                "00000 Recipient Class: '1'", "00000 Address: 'a@b'"}));
  MessageBuilder c;
  c.Subject("s");
  msg = c.Get();
  msg->nRecipCount = 3; // lpRecips stays NULL
  EXPECT_EQ(Line(msg, 0), "<FAILED>");
  EXPECT_EQ(LogMessages().back(), "lpMessage->nRecipCount = 3");
}

// Under a double-byte code page (932 here) a value's dangling lead byte is
// left out of the line, so the blank or ';' behind it stays a separator;
// the trace shows the value as given. A trail byte 0x40 is no at sign.
TEST_F(Compose, DoubleByteCodePage) {
  TestCtl_SetAnsiCodePage(932);
  StartTraceLog(1);
  MessageBuilder b;
  b.Subject("s\x82")
      .File("C:\\r\x82", "n\x82")
      .Body("\x88\x9f b\x82") // a whole character, then a dangling lead
      .Recip(MAPI_TO, "n", "a\x82")
      .Recip(MAPI_TO, "n", "c@d")
      .Recip(MAPI_CC, "\x83\x40", NULL) // no at sign: passed over
      .Recip(MAPI_CC, "\x83\x40@x", NULL)
      .Recip(MAPI_BCC, "n", "\x82");
  std::string line = Line(b.Get(), 0);
  EXPECT_EQ(line,
            "-Subject s -Attach C:\\r -Alias n -Body \x88\x9f b -To a;c@d "
            "-Cc \x83\x40@x -Bcc  -Silent");
  auto messages = LogMessages();
  EXPECT_EQ(messages[3], "lpMessage->lpFiles[0].lpszPathName = 'C:\\r\x82'");
  EXPECT_EQ(messages[5], "lpMessage->lpszNoteText = '\x88\x9f b\x82'");
  // A lead byte inside a value takes the next byte, blank or not.
  MessageBuilder c;
  c.Subject("a\x82 -x");
  EXPECT_EQ(Line(c.Get(), MAPI_DIALOG), "-Subject a\x82 -x");
  // Each trimmed copy is one more allocation; its failure fails the line.
  MessageBuilder d;
  d.Subject("s\x82");
  TestCtl_FailAlloc(1);
  EXPECT_EQ(Line(d.Get(), 0), "<FAILED>");
  // Under a single-byte code page the same bytes are whole characters.
  TestCtl_SetAnsiCodePage(1252);
  EXPECT_EQ(Line(d.Get(), MAPI_DIALOG), "-Subject s\x82");
}

// No value, address included, can add a switch: the reader gets each back.
TEST_F(Compose, ValuesThatLookLikeSwitchesStayValues) {
  MessageBuilder b;
  b.Subject("-Attach C:\\secret.txt")
      .File("-Body x", "a -Attach C:\\y")
      .Body("--already")
      .Recip(MAPI_TO, "n", "a@b.c -Attach C:\\x")
      .Recip(MAPI_TO, "n", "-Bcc evil@x")
      .Recip(MAPI_CC, "n", "-c");
  std::string line = Line(b.Get(), MAPI_DIALOG);
  ParsedLine parsed = ReadCommandLine(line);
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.subject, "-Attach C:\\secret.txt");
  ASSERT_EQ(parsed.attachments.size(), 1u);
  EXPECT_EQ(parsed.attachments[0].path, "-Body x");
  EXPECT_EQ(parsed.attachments[0].name, "a -Attach C:\\y");
  EXPECT_EQ(parsed.body, "--already");
  EXPECT_EQ(parsed.to,
            (std::vector<std::string>{"a@b.c -Attach C:\\x", "-Bcc evil@x"}));
  EXPECT_EQ(parsed.cc, (std::vector<std::string>{"-c"}));
  EXPECT_FALSE(parsed.hasBcc);
}

// " -Body " is 7 characters, so a body of 40952 makes a 40959-character line.
TEST_F(Compose, ALineOfExactly40959CharactersFitsOneMoreFails) {
  MessageBuilder b;
  std::string body(COMMAND_LINE_SIZE - 1 - 7, 'b');
  b.Body(body.c_str());
  int n;
  std::string line = Line(b.Get(), MAPI_DIALOG, &n);
  EXPECT_EQ(n, 40959);
  EXPECT_EQ(line, " -Body " + body);
  MessageBuilder c;
  body += 'b';
  c.Body(body.c_str());
  EXPECT_EQ(Line(c.Get(), MAPI_DIALOG), "<FAILED>");
  MessageBuilder d;
  d.Body(std::string(40945, 'b').c_str()); // fits, but " -Silent" does not
  EXPECT_EQ(Line(d.Get(), MAPI_DIALOG, &n).size(), 40945u + 7u);
  EXPECT_EQ(Line(d.Get(), 0), "<FAILED>");
}

TEST_F(Compose, EscapingThatOverflowsFails) {
  MessageBuilder b;
  std::string body;
  while (body.size() < 40000)
    body += " -"; // 20,000 occurrences, 60,000 characters escaped
  b.Body(body.c_str());
  EXPECT_EQ(Line(b.Get(), MAPI_DIALOG), "<FAILED>");
}

TEST_F(Compose, HugeRecipientCountsStayBoundedByTheLine) {
  StartTraceLog(1);
  MessageBuilder b;
  std::string address(100, 'a');
  for (int i = 0; i < 1000; i++)
    b.Recip(MAPI_TO, "n", address.c_str());
  unsigned long allocs = TestCtl_Allocs();
  EXPECT_EQ(Line(b.Get(), MAPI_DIALOG), "<FAILED>");
  // The list stopped growing at the line's size: about 400 addresses fit.
  EXPECT_LT(TestCtl_Allocs() - allocs, 2u * 410u);
  EXPECT_EQ(LogMessages().size(), 3u + 3u * 1000u)
      << "every recipient is traced";
}

TEST_F(Compose, EveryAllocationFailureFailsTheLine) {
  MessageBuilder b;
  BuildFirstExample(b);
  int points = 0;
  for (unsigned long nth = 1;; nth++) {
    TestCtl_FailAlloc(nth);
    std::string line = Line(b.Get(), 0);
    if (!TestCtl_FailureFired()) {
      EXPECT_EQ(line, FIRST_EXAMPLE_LINE);
      break;
    }
    points++;
    EXPECT_EQ(line, "<FAILED>") << "allocation " << nth;
    EXPECT_EQ(TestCtl_LiveBlocks(), liveBlocksAtStart_) << "allocation " << nth;
  }
  EXPECT_EQ(points, 14) << "5 escaped values, 5 address copies, 4 list blocks";
}

TEST_F(Compose, FailedListGrowthReleasesTheList) {
  MessageBuilder b;
  b.Recip(MAPI_TO, "a", "a@x").Recip(MAPI_TO, "b", "b@x");
  TestCtl_FailAlloc(4); // copy a, list, copy b, grow list: the growth fails
  EXPECT_EQ(Line(b.Get(), MAPI_DIALOG), "<FAILED>");
  EXPECT_TRUE(TestCtl_FailureFired());
}

} // namespace
