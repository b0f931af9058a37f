// MAPISendMailW: the UTF-16 line from the same composition, its limit, the
// wide registry read and process start, and the trace in the ANSI code page.
#include <stdlib.h>
#include <string.h>

#include <sys/mman.h>
#include <thread>
#include <unistd.h>

#include "handoff/ansi_view.h"
#include "handoff/client_path.h"
#include "handoff/handoff.h"
#include "include/qvmapi/registry.h"
#include "mapi/exports.h"
#include "tests/native/messages.h"
#include "tests/native/support.h"
#include "tests/support/line_reader.h"

namespace {

class Wide : public ClientTest {
protected:
  // Composes and returns the wide line; u"<FAILED>" when it failed.
  std::u16string Line(const MapiMessageW *msg, FLAGS flags) {
    std::vector<WCHAR> buffer(WIDE_COMMAND_LINE_SIZE, 0);
    int n = ComposeCommandLineW(msg, flags, buffer.data());
    if (n == COMPOSE_FAILED) {
      EXPECT_EQ(buffer[0], 0) << "a failed line is left empty";
      return u"<FAILED>";
    }
    EXPECT_EQ(TextLength(buffer.data()), (size_t)n);
    return std::u16string(buffer.data(), (size_t)n);
  }
  std::string Narrow(const MapiMessage *msg, FLAGS flags) {
    std::vector<char> buffer(COMMAND_LINE_SIZE, 0);
    int n = ComposeCommandLine(msg, flags, buffer.data());
    return n == COMPOSE_FAILED ? "<FAILED>" : std::string(buffer.data());
  }
};

// Texts pass through unit for unit, unpaired surrogates included; the
// double-byte rules of the ANSI line do not apply.
TEST_F(Wide, UnitsPassThroughAndReadBack) {
  TestCtl_SetAnsiCodePage(932);
  const std::u16string subject = u"Αναφορά – Отчёт 報告 \U0001F4E7 -x";
  const std::u16string lone = std::u16string(u"a") + (char16_t)0xD800 + u"b" +
                              (char16_t)0xDC00 + (char16_t)0x0082;
  WideMessageBuilder b;
  b.Subject(subject.c_str())
      .File(u"C:\\Берлин\\日本 -x.pdf", lone.c_str())
      .Body(lone.c_str())
      .Recip(MAPI_TO, u"名前@例え.jp", NULL)
      .Recip(MAPI_CC, u"n", (u"-" + lone).c_str());
  std::u16string line = Line(b.Get(), 0);
  ParsedLine parsed = ReadCommandLine(UnitBytes(line));
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.subject, UnitBytes(subject));
  ASSERT_EQ(parsed.attachments.size(), 1u);
  EXPECT_EQ(parsed.attachments[0].path,
            UnitBytes(std::u16string(u"C:\\Берлин\\日本 -x.pdf")));
  EXPECT_EQ(parsed.attachments[0].name, UnitBytes(lone));
  EXPECT_EQ(parsed.body, UnitBytes(lone));
  EXPECT_EQ(parsed.to, std::vector<std::string>{
                           UnitBytes(std::u16string(u"名前@例え.jp"))});
  EXPECT_EQ(parsed.cc, std::vector<std::string>{UnitBytes(u"-" + lone)});
  EXPECT_TRUE(parsed.silent);
}

// The platform takes 32,766 units; the wide line holds no more.
TEST_F(Wide, TheLineLimitIs32766Units) {
  WideMessageBuilder b;
  std::u16string body(32766 - 7, u'b'); // " -Body " and the body
  b.Body(body.c_str());
  EXPECT_EQ(Line(b.Get(), MAPI_DIALOG).size(), 32766u);
  EXPECT_EQ(Line(b.Get(), 0), u"<FAILED>") << "no room for -Silent";
  WideMessageBuilder c;
  body += u'b';
  c.Body(body.c_str());
  EXPECT_EQ(Line(c.Get(), MAPI_DIALOG), u"<FAILED>");
  WideMessageBuilder d;
  for (int i = 0; i < 4000; i++)
    d.Recip(MAPI_TO, u"n", u"abcdefghij");
  EXPECT_EQ(Line(d.Get(), MAPI_DIALOG), u"<FAILED>") << "the lists stop";
  TestCtl_RegSetString(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, "", QV_STAND_IN_CLIENT);
  EXPECT_EQ(MAPISendMailW(0, 0, c.Get(), MAPI_DIALOG, 0),
            (ULONG)MAPI_E_FAILURE);
  EXPECT_EQ(TestCtl_ProcessesStarted(), 0u);
}

TEST_F(Wide, AHostBugOrAnUnsafeClientStartsNothing) {
  TestCtl_RegSetString(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, "", QV_STAND_IN_CLIENT);
  WideMessageBuilder b;
  b.Subject(u"s");
  MapiMessageW *msg = b.Get();
  msg->nRecipCount = 1;
  EXPECT_EQ(MAPISendMailW(0, 0, msg, 0, 0), (ULONG)MAPI_E_FAILURE);
  msg->nRecipCount = 0;
  msg->nFileCount = 2;
  EXPECT_EQ(MAPISendMailW(0, 0, msg, 0, 0), (ULONG)MAPI_E_FAILURE);
  msg->nFileCount = 0;
  for (const char *path : {"Z:\\tmp\\send.cmd", "stand_in_client.exe",
                           QV_STAND_IN_CLIENT ":x.exe"}) {
    TestCtl_RegSetString(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, "", path);
    EXPECT_EQ(MAPISendMailW(0, 0, msg, 0, 0), (ULONG)MAPI_E_FAILURE) << path;
  }
  EXPECT_EQ(TestCtl_ProcessesStarted(), 0u);
  EXPECT_EQ(CheckClientPath(u"C:\\Почта\\клиент.EXE. "), CLIENT_PATH_OK);
  EXPECT_EQ(CheckClientPath(u"C:\\Почта\\send.cmd"), CLIENT_PATH_NOT_PROGRAM);
}

// The path is read and the client started in UTF-16, so a folder name
// outside the ANSI code page works.
TEST_F(Wide, TheClientIsReadAndStartedWide) {
  std::string folder = dir_ + "/Ωμέγα 客户端";
  MakeDirs(folder);
  ASSERT_EQ(symlink(QV_STAND_IN_FOLDER "/stand_in_client.exe",
                    (folder + "/client.exe").c_str()),
            0);
  std::string path = "Z:" + folder + "/client.exe";
  for (char &c : path)
    c = c == '/' ? '\\' : c;
  TestCtl_RegSetString(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, "", path.c_str());
  WideMessageBuilder b;
  BuildFirstExample(b);
  b.Subject(u"Σ -x");
  EXPECT_EQ(MAPISendMailW(0, 0, b.Get(), 0, 0), (ULONG)SUCCESS_SUCCESS);
  EXPECT_EQ(TestCtl_Calls(QVOP_ReadRegistryString), 1u);
  const TestCtl_Start *call = TestCtl_LastStart();
  EXPECT_STREQ(call->program, path.c_str());
  std::u16string expected =
      u"-Subject Σ --x" + Utf16(FIRST_EXAMPLE_LINE).substr(27);
  EXPECT_EQ(std::u16string(call->line), expected);
  auto clients = Clients();
  ASSERT_EQ(clients.size(), 1u);
  EXPECT_EQ(Utf16(clients[0].line), expected);
  EXPECT_TRUE(clients[0].exited);
}

// What a client that reads GetCommandLineA sees: the client view's blanks
// and hyphens, everything else as the ANSI code page has it.
std::string AnsiView(const std::u16string &line) {
  return FakeClientSees(line.data(), line.size());
}

// The sections of a parsed line, by name and count.
std::string Shape(const ParsedLine &p) {
  std::string s = p.ok ? "" : "bad:" + p.error;
  s += p.hasSubject ? "S" : "";
  for (const ParsedAttachment &a : p.attachments)
    s += std::string(a.hasPath ? "A" : "") + (a.hasName ? "N" : "");
  s += p.hasBody ? "B" : "";
  s += "T" + std::to_string(p.to.size()) + "C" + std::to_string(p.cc.size()) +
       "X" + std::to_string(p.bcc.size());
  return s + (p.silent ? "!" : "");
}

// A look-alike of a blank or a hyphen beside a blank or a hyphen would show
// a section start in the ANSI view: there both views carry the ASCII
// characters, escaped; nowhere else is the wide text changed.
TEST_F(Wide, NoValueShowsASectionInEitherView) {
  const char16_t kLookAlikes[] = {0x2212, 0x2010, 0xFF0D, 0x3000, 0x2002};
  for (char16_t c : kLookAlikes) {
    bool blank = c == 0x3000 || c == 0x2002;
    for (const char16_t *name : {u"Attach", u"Bcc", u"Cc"}) {
      // "Q3 −Attach ...", "Q3\u3000-Attach ...", and the same first in a value.
      std::u16string forged = blank ? std::u16string(u"Q3") + c + u"-" + name
                                    : std::u16string(u"Q3 ") + c + name;
      std::u16string first = blank ? std::u16string(1, c) + u"-" + name
                                   : std::u16string(1, c) + name;
      WideMessageBuilder b;
      b.Subject(forged.c_str())
          .File(first.c_str(), forged.c_str())
          .Body(first.c_str())
          .Recip(MAPI_TO, u"n", forged.c_str())
          .Recip(MAPI_TO, u"n", first.c_str());
      std::u16string line = Line(b.Get(), 0);
      ParsedLine wide = ReadCommandLine(UnitBytes(line));
      ParsedLine ansi = ReadCommandLine(AnsiView(line));
      EXPECT_EQ(Shape(wide), "SANBT2C0X0!") << UnitBytes(line);
      EXPECT_EQ(Shape(ansi), "SANBT2C0X0!") << AnsiView(line);
      // Both views read the same value: the look-alike as the view shows it.
      std::u16string n16(name);
      EXPECT_EQ(wide.subject, "Q3 -" + std::string(n16.begin(), n16.end()));
      EXPECT_EQ(ansi.subject, wide.subject);
      EXPECT_EQ(ansi.body, wide.body);
      EXPECT_EQ(ansi.to, wide.to);
    }
  }
  // Look-alikes that form no blank-hyphen pair stay as they are.
  const std::u16string kept[] = {u"a\u2212b", u"\u3000\u3000x", u"a\u2212 -b",
                                 u"-\u2212", u"x\u2212\u3000"};
  for (const std::u16string &value : kept) {
    WideMessageBuilder b;
    b.Body(value.c_str());
    std::u16string line = Line(b.Get(), MAPI_DIALOG);
    ParsedLine wide = ReadCommandLine(UnitBytes(line));
    EXPECT_EQ(wide.body, UnitBytes(value)) << UnitBytes(line);
    EXPECT_EQ(Shape(ReadCommandLine(AnsiView(line))), "BT0C0X0");
  }
}

// The client's GetCommandLineA is made in the system's ANSI code page,
// not the host's: a host whose code page is UTF-8 (a manifest's
// activeCodePage) has no look-alikes, its client under 1252 does. The host's
// ANSI text then goes to the client in UTF-16, read in the host's code
// page, by the same rules; a host and a system of one code page keep the
// ANSI line as ever. Where they differ otherwise, both code pages count.
TEST_F(Wide, TheClientsCodePageNotTheHosts) {
  TestCtl_RegSetString(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, "", QV_STAND_IN_CLIENT);
  const char kForged[] = "Q3 \xe2\x88\x92"
                         "Attach C:\\secret.txt";
  const std::u16string kEscaped =
      u"-Subject Q3 --Attach C:\\secret.txt -Silent";
  auto sent = [] {
    return std::u16string(TestCtl_LastStart()->line);
  };
  struct Case {
    UINT host, system;
    std::u16string wide, ansi; // the lines MAPISendMailW, MAPISendMail send
  } cases[] = {
      {CP_UTF8, 1252, kEscaped, kEscaped},
      {932, 1252, kEscaped, u""},
      {1252, 1252, kEscaped,
       u"-Subject Q3 \u00e2\u02c6\u2019Attach C:\\secret.txt -Silent"},
  };
  for (const Case &c : cases) {
    TestCtl_SetAnsiCodePage(c.host);
    TestCtl_SetSystemCodePage(c.system);
    WideMessageBuilder w;
    w.Subject(u"Q3 \u2212Attach C:\\secret.txt");
    EXPECT_EQ(MAPISendMailW(0, 0, w.Get(), 0, 0), 0u);
    EXPECT_EQ(sent(), c.wide) << "wide, host " << c.host;
    if (c.ansi.empty())
      continue;
    MessageBuilder a;
    a.Subject(kForged);
    EXPECT_EQ(MAPISendMail(0, 0, a.Get(), 0, 0), 0u);
    EXPECT_EQ(sent(), c.ansi) << "ANSI, host " << c.host;
    a.Get()->ulReserved = CP_UTF8;
    EXPECT_EQ(MAPISendMail(0, 0, a.Get(), 0, 0), 0u);
    EXPECT_EQ(sent(), kEscaped) << "UTF-8 message, host " << c.host;
  }
}

// A view that cannot be worked out sends nothing rather than a line that
// might show a section: 2, no client started.
TEST_F(Wide, AnUnknownAnsiViewStartsNothing) {
  TestCtl_RegSetString(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, "", QV_STAND_IN_CLIENT);
  TestCtl_FailCall(QVOP_ClientAnsiView, 1);
  WideMessageBuilder b;
  b.Subject(u"Q3 \u2212Attach C:\\secret.txt");
  EXPECT_EQ(MAPISendMailW(0, 0, b.Get(), 0, 0), (ULONG)MAPI_E_FAILURE);
  EXPECT_EQ(TestCtl_ProcessesStarted(), 0u);
  EXPECT_EQ(MAPISendMailW(0, 0, b.Get(), 0, 0), (ULONG)SUCCESS_SUCCESS)
      << "the next call works it out";
  ASSERT_EQ(Clients().size(), 1u);
  EXPECT_EQ(Shape(ReadCommandLine(Clients()[0].line)), "ST0C0X0!");
}

// ulReserved == CP_UTF8: each text read as UTF-8 when it is valid UTF-8,
// in the ANSI code page otherwise, and composed as the wide line.
TEST_F(Wide, Utf8MessagesAreReadTextByText) {
  auto utf8Line = [&](MapiMessage *msg) {
    std::vector<WCHAR> buffer(WIDE_COMMAND_LINE_SIZE, 0);
    int n = ComposeCommandLineUtf8(msg, MAPI_DIALOG, buffer.data());
    return n == COMPOSE_FAILED ? std::u16string(u"<FAILED>")
                               : std::u16string(buffer.data(), (size_t)n);
  };
  const struct {
    UINT page;
    const char *bytes;
    std::u16string read;
  } kValues[] = {
      {1252, "\xd0\x9e\xd1\x82\xd1\x87\xd1\x91\xd1\x82", u"Отчёт"},
      {1252, "\xce\x93 \xe6\x97\xa5 \xf0\x9f\x93\xa7", u"Γ 日 \U0001F4E7"},
      {1252, "caf\xe9.pdf", u"café.pdf"},            // ANSI, not UTF-8
      {1252, "ab\xd0", u"ab\u00d0"},                 // cut short
      {1252, "\xc0\xaf", u"\u00c0\u00af"},           // overlong '/'
      {1252, "\xed\xa0\x80", u"\u00ed\u00a0\u20ac"}, // an encoded surrogate
      {1252, "\xf4\x90\x80\x80", u"\u00f4\u0090\u20ac\u20ac"}, // > U+10FFFF
      {932, "\x93\xfa\x96\x7b", u"日本"},                      // 932, not UTF-8
      {932, "\xe6\x97\xa5", u"日"},                            // UTF-8 wins
  };
  for (const auto &v : kValues) {
    TestCtl_SetAnsiCodePage(v.page);
    MessageBuilder b;
    b.Subject(v.bytes).Recip(MAPI_TO, v.bytes, "a@x");
    b.Get()->ulReserved = CP_UTF8;
    EXPECT_EQ(utf8Line(b.Get()), u"-Subject " + v.read + u" -To a@x")
        << v.bytes;
  }
  TestCtl_SetAnsiCodePage(1252);
  // Every field, against the same message given in UTF-16; a host bug in
  // the counts fails as it does there.
  MessageBuilder b;
  b.Subject("Q3 \xe2\x88\x92"
            "Attach x")
      .Body("\xce\x93\xce\xb5\xce\xb9\xce\xb1 -x")
      .File("C:\\\xd0\x91\\r.pdf", "r\xe9.pdf")
      .Recip(MAPI_CC, "\xe5\x90\x8d@x.jp", NULL)
      .Recip(MAPI_BCC, NULL, "");
  MapiMessage *msg = b.Get();
  msg->ulReserved = CP_UTF8;
  WideMessageBuilder w;
  w.Subject(u"Q3 \u2212Attach x")
      .Body(u"Γεια -x")
      .File(u"C:\\Б\\r.pdf", u"ré.pdf")
      .Recip(MAPI_CC, u"名@x.jp", NULL)
      .Recip(MAPI_BCC, NULL, u"");
  std::u16string expected = Line(w.Get(), MAPI_DIALOG);
  EXPECT_EQ(utf8Line(msg), expected);
  msg->nFileCount = 3;
  msg->lpFiles = NULL;
  EXPECT_EQ(utf8Line(msg), u"<FAILED>");
  // Through MAPISendMail to the client, and in the trace, whose banner
  // stays MAPISendMail's; any other ulReserved changes nothing.
  TestCtl_RegSetString(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, "",
                       QV_STAND_IN_CLIENT);
  WriteWholeFile(dir_ + "/D/Temp/caf\xc3\xa9", "r");
  MessageBuilder c;
  c.Subject("\xd0\x9e\xd1\x82").File("D:\\Temp\\caf\xe9", NULL);
  c.Get()->ulReserved = CP_UTF8;
  StartTraceLog(1);
  EXPECT_EQ(MAPISendMail(0, 0, c.Get(), MAPI_DIALOG, 0), 0u);
  EXPECT_EQ(std::u16string(TestCtl_LastStart()->line),
            u"-Subject От -Attach D:\\Temp\\café");
  auto messages = LogMessages();
  ASSERT_GE(messages.size(), 9u);
  EXPECT_EQ(messages[0], "/***** MAPISendMail *****/");
  EXPECT_EQ(messages[5], "lpMessage->ulReserved = fde9: the texts are UTF-8");
  char ptr[64];
  snprintf(ptr, sizeof ptr, "lpMapiMessage lpMessage = %x",
           (unsigned)(uintptr_t)c.Get());
  EXPECT_EQ(messages[6], ptr) << "the host's own address";
  EXPECT_EQ(messages[9],
            "lpMessage->lpFiles[0].lpszPathName = 'D:\\Temp\\caf\xe9'");
  for (ULONG other : {0u, 1252u, 65000u, 1200u}) {
    c.Get()->ulReserved = other;
    EXPECT_EQ(MAPISendMail(0, 0, c.Get(), MAPI_DIALOG, 0), 0u);
    EXPECT_EQ(std::u16string(TestCtl_LastStart()->line),
              u"-Subject \u00d0\u017e\u00d1\u201a -Attach D:\\Temp\\café")
        << "the ANSI line as ever: " << other;
  }
}

// Word's paths: an ANSI path whose bytes happen to be valid UTF-8 (a 1252
// folder "\xc3\x83\xc2\xa9", bytes C3 A9) is read in ANSI only when that
// reading names a file and the UTF-8 one does not.
TEST_F(Wide, AUtf8PathIsReadInAnsiOnlyWhenThatNamesTheFile) {
  TestCtl_RegSetString(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, "",
                       QV_STAND_IN_CLIENT);
  const std::string ansi = dir_ + "/D/\xc3\x83\xc2\xa9",
                    utf8 = dir_ + "/D/\xc3\xa9";
  struct Case {
    const char *what;
    bool ansi, utf8;
    ULONG rc;
    std::u16string line;
  } cases[] = {
      {"only the ANSI reading names a file", true, false, 0,
       u" -Attach D:\\\u00c3\u00a9\\r.txt -Silent"},
      {"both do: the UTF-8 reading, Word's", true, true, 0,
       u" -Attach D:\\\u00e9\\r.txt -Silent"},
      {"neither does", false, false, MAPI_E_ATTACHMENT_NOT_FOUND, u""},
  };
  for (const Case &c : cases) {
    for (const std::string &folder : {ansi, utf8}) {
      RemoveTree(folder);
      if (folder == ansi ? c.ansi : c.utf8) {
        MakeDirs(folder);
        WriteWholeFile(folder + "/r.txt", "r");
      }
    }
    MessageBuilder b;
    b.File("D:\\\xc3\xa9\\r.txt", NULL);
    b.Get()->ulReserved = CP_UTF8;
    unsigned long started = TestCtl_ProcessesStarted();
    EXPECT_EQ(MAPISendMail(0, 0, b.Get(), 0, 0), c.rc) << c.what;
    EXPECT_EQ(TestCtl_ProcessesStarted() - started, c.rc ? 0u : 1u) << c.what;
    if (!c.rc) {
      EXPECT_EQ(std::u16string(TestCtl_LastStart()->line), c.line) << c.what;
    }
  }
}

// Under a UTF-8 ANSI code page the trace shows the wide values (Windows
// refuses WC_NO_BEST_FIT_CHARS there), and an ANSI value cut inside a
// sequence loses no section behind it.
TEST_F(Wide, AUtf8AnsiCodePage) {
  TestCtl_SetAnsiCodePage(CP_UTF8);
  StartTraceLog(1);
  WideMessageBuilder w;
  w.Body(u"Grüße 日本");
  MAPISendMailW(0, 0, w.Get(), 0, 0);
  auto messages = LogMessages();
  ASSERT_GE(messages.size(), 9u);
  EXPECT_EQ(messages[7], "lpMessage->lpszNoteText = 'Gr\xc3\xbc\xc3\x9f"
                         "e \xe6\x97\xa5\xe6\x9c\xac'");
  MessageBuilder b;
  b.Subject("\xe6\x97\xa5\xe6\x9c")
      .Body("@ \xe6\x97")
      .Recip(MAPI_TO, "n", "a@b");
  std::string line = Narrow(b.Get(), 0);
  EXPECT_EQ(line, "-Subject \xe6\x97\xa5 -Body @  -To a@b -Silent");
  ParsedLine parsed = ReadCommandLine(line);
  EXPECT_TRUE(parsed.ok && parsed.hasBody && parsed.to.size() == 1) << line;
}

// The frame of MAPISendMail with its own banners; texts in the ANSI code
// page (here 1252: what it lacks is written <U+XXXX>), converted only while
// the log is on.
TEST_F(Wide, TheTraceOfOneCall) {
  WideMessageBuilder b;
  b.Subject(u"s")
      .File(u"C:\\Άλφα.pdf", u"ä.pdf")
      .Body(u"Grüße 日本")
      .Recip(MAPI_TO, u"Ωmega", u"o@x")
      .Recip(MAPI_CC, NULL, NULL);
  MapiMessageW *msg = b.Get();
  MAPISendMailW(0, 0, msg, 0, 0); // the ANSI view is worked out once
  TestCtl_ResetCounts();
  MAPISendMailW(0, 0, msg, 0, 0);
  EXPECT_EQ(TestCtl_Calls(QVOP_WideToAnsi), 0u)
      << "nothing is converted while the log is off";
  StartTraceLog(1);
  EXPECT_EQ(
      MAPISendMailW(0x12, 0x34, msg, MAPI_FORCE_UNICODE | MAPI_DIALOG, 0x56),
      (ULONG)MAPI_E_FAILURE)
      << "no client registered";
  char ptr[16], subject[16];
  snprintf(ptr, sizeof ptr, "%x", (unsigned)(uintptr_t)msg);
  snprintf(subject, sizeof subject, "%x",
           (unsigned)(uintptr_t)msg->lpszSubject);
  EXPECT_EQ(LogMessages(),
            (std::vector<std::string>{
                "/***** MAPISendMailW *****/", "LHANDLE lhSession = 12",
                "ULONG ulUIParam = 34", "FLAGS flFlags = 40008",
                "ULONG ulReserved = 56",
                std::string("lpMapiMessage lpMessage = ") + ptr,
                std::string("lpMessage->lpszSubject = ") + subject,
                "lpMessage->nFileCount = 1",
                "lpMessage->lpFiles[0].lpszPathName = "
                "'C:\\<U+0386><U+03BB><U+03C6><U+03B1>.pdf'",
                "lpMessage->lpFiles[0].lpszFileName = '\xe4.pdf'",
                "lpMessage->lpszNoteText = 'Gr\xfc\xdf"
                "e <U+65E5><U+672C>'",
                "lpMessage->nRecipCount = 2", "00000 Name: '<U+03A9>mega'",
                "00000 Recipient Class: '1'", "00000 Address: 'o@x'",
                "00001 Name: 'NULL'", "00001 Recipient Class: '2'",
                "00001 Address: 'NULL'", "/***** MAPISendMailW(END) ****/"}));
}

// A pair is one escape, a lone surrogate one of its own, and a cut line
// ends before an escape it would split, never inside it.
TEST_F(Wide, TheTraceWritesWhatTheCodePageLacksAsEscapes) {
  StartTraceLog(1);
  std::u16string cut = std::u16string(449, u'x') + u"\u65e5";
  for (const std::u16string &body :
       {std::u16string(u"a\U0001F600b") + char16_t(0xD800) + u"c\u20ac", cut}) {
    WideMessageBuilder b;
    b.Body(body.c_str());
    MAPISendMailW(0, 0, b.Get(), 0, 0);
  }
  std::vector<std::string> notes;
  for (const std::string &m : LogMessages())
    if (m.rfind("lpMessage->lpszNoteText", 0) == 0)
      notes.push_back(m);
  EXPECT_EQ(notes, (std::vector<std::string>{
                       "lpMessage->lpszNoteText = 'a<U+1F600>b<U+D800>c\x80'",
                       "lpMessage->lpszNoteText = '" + std::string(449, 'x')}));
}

// A text that ends where an unreadable page begins, at every length, is
// measured and searched without a read past its end.
TEST_F(Wide, ScanningStopsAtThePageEnd) {
  long page = sysconf(_SC_PAGESIZE);
  char *pages = (char *)mmap(NULL, 2 * page, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(pages, MAP_FAILED);
  ASSERT_EQ(mprotect(pages + page, page, PROT_NONE), 0);
  for (size_t units = 1; units < 200; units++) {
    WCHAR *text = (WCHAR *)(pages + page) - units;
    for (size_t i = 0; i + 1 < units; i++)
      text[i] = (i % 7 == 3) ? u' ' : u'x';
    text[units - 1] = 0;
    ASSERT_EQ(TextLength(text), units - 1) << units;
    ASSERT_EQ(TextFindPair(text, text + units - 1, u' ', u'-'), nullptr);
    if (units > 2) {
      text[units - 2] = u'-';
      text[units - 3] = u' ';
      ASSERT_EQ(TextFindPair(text, text + units - 1, u' ', u'-'),
                text + units - 3)
          << units;
    }
  }
  munmap(pages, 2 * page);
}

} // namespace
