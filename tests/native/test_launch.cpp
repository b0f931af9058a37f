// The hand-off: registry lookup of the client, its start, the wait, and
// MAPISendMail around it.
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "handoff/client_path.h"
#include "handoff/handoff.h"
#include "include/qvmapi/registry.h"
#include "mapi/exports.h"
#include "platform/platform.h"
#include "tests/native/messages.h"
#include "tests/native/support.h"

namespace {

void RegisterClient(const char *path = QV_STAND_IN_CLIENT) {
  TestCtl_RegSetString(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, "", path);
}

// Units as data of the given type, as they stand (no NUL added).
void RegisterData(DWORD type, const std::u16string &units) {
  TestCtl_RegSetValue(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, "", type,
                      units.data(), (DWORD)(units.size() * sizeof(WCHAR)));
}

class Launch : public ClientTest {};

TEST_F(Launch, StartsTheRegisteredClientWithExactlyTheLineAndWaits) {
  RegisterClient();
  setenv("QV_CLIENT_WAIT_MS", "300", 1);
  MessageBuilder b;
  BuildFirstExample(b);
  EXPECT_EQ(SendViaMailClient(b.Get(), 0, 0x1234), 1);
  auto clients = Clients();
  ASSERT_EQ(clients.size(), 1u);
  EXPECT_EQ(clients[0].line, FIRST_EXAMPLE_LINE) << "no program name in front";
  EXPECT_TRUE(clients[0].exited)
      << "the call returned before the client exited";
  const TestCtl_Start *call = TestCtl_LastStart();
  EXPECT_STREQ(call->program, QV_STAND_IN_CLIENT);
  EXPECT_EQ(call->uiParam, (ULONG_PTR)0x1234) << "the host's window, for the wait";
  EXPECT_EQ(TestCtl_Calls(QVOP_StartAndWait), 1u);
}

TEST_F(Launch, NullMessageStartsTheClientWithAnEmptyLine) {
  RegisterClient();
  EXPECT_EQ(SendViaMailClient(NULL, 0), 1);
  auto clients = Clients();
  ASSERT_EQ(clients.size(), 1u);
  EXPECT_EQ(clients[0].line, "");
  EXPECT_EQ(FakeUtf8(TestCtl_LastStart()->line), "");
}

void CheckBufferReleased(QvOp, void *context) {
  long *liveAtWait = (long *)context;
  *liveAtWait = TestCtl_LiveBlocks();
}

// The value buffer is released before the wait. The line (on the heap, not
// the caller's stack) and the ANSI line's UTF-16 copy, which the client was
// started with, live until it exits.
TEST_F(Launch, ValueBufferIsReleasedBeforeTheWait) {
  RegisterClient();
  long liveAtWait = -1;
  TestCtl_SetHook(QVOP_StartAndWait, CheckBufferReleased, &liveAtWait);
  EXPECT_EQ(SendViaMailClientW(NULL, 0), 1);
  EXPECT_EQ(liveAtWait, liveBlocksAtStart_ + 1);
  EXPECT_EQ(SendViaMailClient(NULL, 0), 1);
  EXPECT_EQ(liveAtWait, liveBlocksAtStart_ + 2);
}

// The rows of the shared table (UTF-8, checked as UTF-16), then what a
// table file cannot hold.
TEST_F(Launch, ClientPathRule) {
  FILE *f = fopen(QV_CLIENT_PATH_TABLE, "r");
  ASSERT_NE(f, nullptr) << QV_CLIENT_PATH_TABLE;
  int rows = 0;
  char row[1024];
  while (fgets(row, sizeof row, f)) {
    std::string line = row;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
      line.pop_back();
    if (line.empty() || line[0] == '#')
      continue;
    size_t blank = line.find(' ');
    ASSERT_NE(blank, std::string::npos) << line;
    std::string word = line.substr(0, blank), path = line.substr(blank + 1);
    EXPECT_EQ(ClientPathVerdictWord(CheckClientPath(Utf16(path).c_str())), word)
        << path;
    rows++;
  }
  fclose(f);
  EXPECT_GT(rows, 35);
  EXPECT_EQ(CheckClientPath((const WCHAR *)NULL), CLIENT_PATH_EMPTY);
  EXPECT_EQ(CheckClientPath(u""), CLIENT_PATH_EMPTY);
  EXPECT_EQ(CheckClientPath(u"C:\\Mail\\send.cmd  "), CLIENT_PATH_NOT_PROGRAM);
  EXPECT_EQ(CheckClientPath(u"C:\\Mail\\client.exe "), CLIENT_PATH_OK);
  // The limit is the path's own, before any blank or dot is dropped.
  std::u16string atLimit = u"C:\\" + std::u16string(252, u'x') + u".exe";
  EXPECT_EQ(CheckClientPath(atLimit.c_str()), CLIENT_PATH_OK);
  EXPECT_EQ(CheckClientPath((atLimit + u".").c_str()), CLIENT_PATH_TOO_LONG);
  for (int v = CLIENT_PATH_OK; v <= CLIENT_PATH_NOT_STRING; v++)
    for (int w = v + 1; w <= CLIENT_PATH_NOT_STRING; w++)
      EXPECT_STRNE(ClientPathVerdictText((ClientPathVerdict)v),
                   ClientPathVerdictText((ClientPathVerdict)w));
}

// The command as Windows stores it: a REG_EXPAND_SZ is expanded first, and
// only string data is a path.
TEST_F(Launch, ClientCommandTypes) {
  WCHAR path[MAX_PATH];
  setenv("QV_MAIL_ROOT", "C:\\Program Files", 1);
  EXPECT_EQ(
      CheckClientCommand(REG_EXPAND_SZ, u"%QV_MAIL_ROOT%\\Mail\\c.exe", path),
      CLIENT_PATH_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\Program Files\\Mail\\c.exe");
  EXPECT_EQ(CheckClientCommand(REG_SZ, u"%QV_MAIL_ROOT%\\Mail\\c.exe", path),
            CLIENT_PATH_NOT_FULL)
      << "a REG_SZ is taken as it stands";
  EXPECT_EQ(CheckClientCommand(REG_EXPAND_SZ, u"%QV_NO_SUCH_VAR%\\c.exe", path),
            CLIENT_PATH_NOT_FULL);
  // The expansion decides the length: a short value can grow past it.
  setenv("QV_MAIL_ROOT", ("C:\\" + std::string(300, 'd')).c_str(), 1);
  EXPECT_EQ(CheckClientCommand(REG_EXPAND_SZ, u"%QV_MAIL_ROOT%\\c.exe", path),
            CLIENT_PATH_TOO_LONG);
  EXPECT_EQ(path[0], 0);
  unsetenv("QV_MAIL_ROOT");
  // A 32-bit host's environment names the "(x86)" folders: the command
  // names the 64-bit ones wherever Windows says what they are, so that
  // both DLLs start the same file.
  setenv("ProgramFiles", "C:\\Program Files (x86)", 1);
  setenv("CommonProgramFiles", "C:\\Program Files (x86)\\Common Files", 1);
  const struct {
    const char16_t *command, *path;
  } kWidths[] = {
      {u"%ProgramFiles%\\Mail\\c.exe", u"C:\\Program Files\\Mail\\c.exe"},
      {u"%programfiles%\\Mail\\c.exe", u"C:\\Program Files\\Mail\\c.exe"},
      {u"%CommonProgramFiles%\\c.exe",
       u"C:\\Program Files\\Common Files\\c.exe"},
      {u"%ProgramFiles(x86)%\\c.exe", u"C:\\Program Files (x86)\\c.exe"},
  };
  setenv("ProgramFiles(x86)", "C:\\Program Files (x86)", 1);
  setenv("ProgramW6432", "C:\\Program Files", 1);
  setenv("CommonProgramW6432", "C:\\Program Files\\Common Files", 1);
  for (const auto &w : kWidths) {
    EXPECT_EQ(CheckClientCommand(REG_EXPAND_SZ, w.command, path),
              CLIENT_PATH_OK);
    EXPECT_EQ(std::u16string(path), w.path);
  }
  // Where Windows has no 64-bit folders (32-bit Windows), as the host sees.
  unsetenv("ProgramW6432");
  EXPECT_EQ(CheckClientCommand(REG_EXPAND_SZ, u"%ProgramFiles%\\c.exe", path),
            CLIENT_PATH_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\Program Files (x86)\\c.exe");
  for (const char *name : {"ProgramFiles", "CommonProgramFiles",
                           "ProgramFiles(x86)", "CommonProgramW6432"})
    unsetenv(name);
  for (DWORD type : {(DWORD)REG_BINARY, (DWORD)REG_DWORD, (DWORD)REG_MULTI_SZ,
                     (DWORD)REG_NONE, (DWORD)REG_QWORD})
    EXPECT_EQ(CheckClientCommand(type, u"C:\\Mail\\client.exe", path),
              CLIENT_PATH_NOT_STRING)
        << type;
}

TEST_F(Launch, FailureTableGivesZeroAndLeavesNothingBehind) {
  struct Case {
    const char *what;
    void (*arrange)(void);
    unsigned long starts; // starts tried over the two sends
  } cases[] = {
      {"key missing", [] {}, 0},
      {"value missing",
       [] {
         TestCtl_RegSetString(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, "other",
                              "x");
       },
       0},
      {"value unreadable",
       [] {
         RegisterClient();
         TestCtl_FailCall(QVOP_ReadRegistryString, 1);
       },
       0},
      {"no memory",
       [] {
         RegisterClient();
         TestCtl_FailAlloc(1);
       },
       0},
      {"program missing", [] { RegisterClient("Z:\\no\\such\\client.exe"); },
       2},
      {"quoted path", [] { RegisterClient("\"" QV_STAND_IN_CLIENT "\""); }, 0},
      {"path with arguments", [] { RegisterClient(QV_STAND_IN_CLIENT " -x"); },
       0},
      {"empty path", [] { RegisterClient(""); }, 0},
      // The current folder holds the stand-in: a relative path would start it.
      {"relative path", [] { RegisterClient("stand_in_client.exe"); }, 0},
      {"batch file", [] { RegisterClient("Z:\\tmp\\wrapper.CMD. ."); }, 0},
      {"named stream", [] { RegisterClient(QV_STAND_IN_CLIENT ":x.exe"); }, 0},
      {"literal path", [] { RegisterClient("\\\\?\\" QV_STAND_IN_CLIENT); },
       0},
      {"over-long path",
       [] {
         RegisterClient(("Z:\\" + std::string(32000, 'x') + ".exe").c_str());
       },
       0},
      // The stand-in's path as data of other types: none of them is a path.
      {"REG_BINARY",
       [] { RegisterData(REG_BINARY, Utf16(QV_STAND_IN_CLIENT) + u'\0'); }, 0},
      {"REG_MULTI_SZ",
       [] {
         RegisterData(REG_MULTI_SZ, Utf16(QV_STAND_IN_CLIENT) + u'\0' + u'\0');
       },
       0},
      {"REG_DWORD",
       [] {
         DWORD n = 1;
         TestCtl_RegSetValue(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, "", REG_DWORD,
                             &n, sizeof n);
       },
       0},
      {"expansion fails",
       [] {
         RegisterData(REG_EXPAND_SZ, Utf16(QV_STAND_IN_CLIENT) + u'\0');
         TestCtl_FailCall(QVOP_ExpandCommand, 1);
       },
       0},
      {"start refused",
       [] {
         RegisterClient();
         TestCtl_FailCall(QVOP_StartAndWait, 1);
       },
       2},
  };
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(QV_STAND_IN_FOLDER), 0);
  for (const Case &c : cases) {
    unsigned long triedBefore = TestCtl_Calls(QVOP_StartAndWait);
    TestCtl_RegDeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients");
    c.arrange();
    EXPECT_EQ(SendViaMailClient(NULL, 0), 0) << c.what;
    TestCtl_DisarmAll();
    TestCtl_RegDeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients");
    c.arrange();
    EXPECT_EQ(MAPISendMail(0, 0, NULL, 0, 0), (ULONG)MAPI_E_FAILURE) << c.what;
    TestCtl_DisarmAll();
    EXPECT_EQ(TestCtl_LiveBlocks(), liveBlocksAtStart_) << c.what;
    EXPECT_EQ(TestCtl_OpenHandles(), handlesAtStart_) << c.what;
    EXPECT_TRUE(Clients().empty()) << c.what;
    EXPECT_EQ(TestCtl_Calls(QVOP_StartAndWait) - triedBefore, c.starts)
        << c.what;
  }
  EXPECT_EQ(TestCtl_ProcessesStarted(), 0u);
  ASSERT_EQ(chdir(cwd), 0);
}

TEST_F(Launch, AValueWithoutMemoryForItIsReported) {
  const std::u16string key = Utf16(QV_COMMAND_KEY);
  RegisterClient();
  WCHAR *buffer = (WCHAR *)0x1;
  DWORD size = 0, type = 0;
  TestCtl_FailAlloc(1);
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key.c_str(), u"", &buffer,
                               &size, &type),
            -1);
  EXPECT_EQ(buffer, nullptr);
}

TEST_F(Launch, UnterminatedRegistryPathStillStartsTheClient) {
  RegisterData(REG_SZ, Utf16(QV_STAND_IN_CLIENT));
  EXPECT_EQ(SendViaMailClient(NULL, MAPI_DIALOG), 1);
  EXPECT_EQ(Clients().size(), 1u);
}

TEST_F(Launch, ARegistrationChangedBetweenCallsIsHonoured) {
  RegisterClient("/no/such/client");
  EXPECT_EQ(SendViaMailClient(NULL, 0), 0);
  RegisterClient();
  EXPECT_EQ(SendViaMailClient(NULL, 0), 1);
  EXPECT_EQ(TestCtl_Calls(QVOP_ReadRegistryString), 2u) << "read anew on every call";
}

// The ANSI line reaches the client through its conversion to UTF-16: one
// that the platform cannot take is not started at all; a double-byte line
// of more bytes than that converts to fewer units and goes.
TEST_F(Launch, TheAnsiLineAsThePlatformTakesIt) {
  RegisterClient();
  MessageBuilder b;
  b.Body(std::string(32766 - 7, 'x').c_str());
  EXPECT_EQ(SendViaMailClient(b.Get(), MAPI_DIALOG), 1);
  MessageBuilder c;
  c.Body(std::string(32766 - 6, 'x').c_str());
  EXPECT_EQ(SendViaMailClient(c.Get(), MAPI_DIALOG), 0);
  EXPECT_EQ(TestCtl_Calls(QVOP_ReadRegistryString), 1u) << "nothing looked up";
  TestCtl_SetAnsiCodePage(932);
  std::string kanji;
  for (int i = 0; i < 17000; i++)
    kanji += "\x93\xfa"; // U+65E5
  MessageBuilder d;
  d.Body(kanji.c_str());
  EXPECT_EQ(SendViaMailClient(d.Get(), MAPI_DIALOG), 1);
  EXPECT_EQ(std::u16string(TestCtl_LastStart()->line),
            u" -Body " + std::u16string(17000, u'\u65E5'));
  // A 1252 line as the system converts it.
  TestCtl_SetAnsiCodePage(1252);
  MessageBuilder e;
  e.Subject("\x80 \x96 \xe9");
  EXPECT_EQ(SendViaMailClient(e.Get(), MAPI_DIALOG), 1);
  EXPECT_EQ(std::u16string(TestCtl_LastStart()->line),
            u"-Subject € – é");
  EXPECT_EQ(Clients().size(), 3u);
}

// Each attachment is probed as the client will open it, before anything
// starts: what names no file gives 11, what does not open gives 12 (a file
// held without sharing is an injected error here: POSIX has no sharing
// modes), both entries alike, and the trace says which and why. A relative
// path is the current folder's, which the client inherits; a quoted path
// is judged without its quotes and sent with them.
TEST_F(Launch, AttachmentsAreProbedBeforeTheStart) {
  RegisterClient();
  MakeDirs(dir_ + "/D/here");
  WriteWholeFile(dir_ + "/D/here/rel.txt", "r");
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir((dir_ + "/D/here").c_str()), 0);
  struct Case {
    const char *what;
    std::vector<const char *> paths;
    DWORD injected;
    ULONG rc;
    const char *traced; // the refusal's line
  } cases[] = {
      {"a missing file",
       {"D:\\Temp\\gone.txt"},
       0,
       MAPI_E_ATTACHMENT_NOT_FOUND,
       "lpMessage->lpFiles[0].lpszPathName names no file (error 2): no "
       "message was sent"},
      {"one behind an existing file",
       {"D:\\Temp\\notes.txt", "D:\\Nowhere\\x.txt"},
       0,
       MAPI_E_ATTACHMENT_NOT_FOUND,
       "lpMessage->lpFiles[1].lpszPathName names no file (error 3): no "
       "message was sent"},
      {"a folder",
       {"D:\\Temp"},
       0,
       MAPI_E_ATTACHMENT_NOT_FOUND,
       "lpMessage->lpFiles[0].lpszPathName names no file (error 267): no "
       "message was sent"},
      {"a relative path naming nothing here",
       {"gone.txt"},
       0,
       MAPI_E_ATTACHMENT_NOT_FOUND,
       NULL},
      {"a file held without sharing",
       {"D:\\Temp\\notes.txt"},
       ERROR_SHARING_VIOLATION,
       MAPI_E_ATTACHMENT_OPEN_FAILURE,
       "lpMessage->lpFiles[0].lpszPathName cannot be opened for reading "
       "(error 32): no message was sent"},
      {"a relative path to a file here", {"rel.txt"}, 0, SUCCESS_SUCCESS, NULL},
      {"a file in double quotes",
       {"\"D:\\Temp\\notes.txt\""},
       0,
       SUCCESS_SUCCESS,
       NULL},
  };
  for (const Case &c : cases)
    for (int wide = 0; wide < 2; wide++) {
      MessageBuilder b;
      WideMessageBuilder w;
      for (const char *path : c.paths) {
        b.File(path, NULL);
        w.File(w.Ascii(path), NULL);
      }
      ResetLibraryState();
      StartTraceLog(1, wide ? "wide.log" : "ansi.log");
      unsigned long started = TestCtl_ProcessesStarted();
      if (c.injected)
        TestCtl_FailCall(QVOP_ProbeFile, 1, c.injected);
      ULONG rc = wide ? MAPISendMailW(0, 0, w.Get(), 0, 0)
                      : MAPISendMail(0, 0, b.Get(), 0, 0);
      EXPECT_EQ(rc, c.rc) << c.what << (wide ? ", wide" : "");
      EXPECT_EQ(TestCtl_ProcessesStarted() - started, c.rc ? 0u : 1u) << c.what;
      std::vector<std::string> messages = LogMessages();
      if (c.traced) {
        EXPECT_NE(std::find(messages.begin(), messages.end(), c.traced),
                  messages.end())
            << c.what;
      }
      if (!c.rc) {
        EXPECT_EQ(FakeUtf8(TestCtl_LastStart()->line),
                  std::string(" -Attach ") + c.paths[0] + " -Silent");
      }
    }
  // A machine without a client: 2, whatever the attachments.
  TestCtl_RegDeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE");
  MessageBuilder missing;
  missing.File("D:\\Temp\\gone.txt", NULL);
  EXPECT_EQ(MAPISendMail(0, 0, missing.Get(), 0, 0), (ULONG)MAPI_E_FAILURE);
  EXPECT_EQ(chdir(previous), 0);
}

TEST_F(Launch, AFailedCompositionStartsNothing) {
  RegisterClient();
  MessageBuilder b;
  BuildFirstExample(b);
  TestCtl_FailAlloc(1);
  EXPECT_EQ(MAPISendMail(0, 0, b.Get(), 0, 0), (ULONG)MAPI_E_FAILURE);
  EXPECT_EQ(TestCtl_ProcessesStarted(), 0u);
  EXPECT_EQ(TestCtl_Calls(QVOP_ReadRegistryString), 0u);
}

TEST_F(Launch, SendMailTraceFrameAndResults) {
  StartTraceLog(1);
  MessageBuilder b;
  b.Subject("s").Recip(MAPI_TO, "n", "a@b");
  MapiMessage *msg = b.Get();
  // No client registered: the message is composed and traced, then 2.
  EXPECT_EQ(MAPISendMail((LHANDLE)0x123456789aULL, (ULONG_PTR)0xfedcba9876ULL,
                         msg, 0x8000000bu, 0x42),
            (ULONG)MAPI_E_FAILURE);
  char ptr[16];
  snprintf(ptr, sizeof ptr, "%x", (unsigned)(uintptr_t)msg);
  char subject[16];
  snprintf(subject, sizeof subject, "%x",
           (unsigned)(uintptr_t)msg->lpszSubject);
  std::vector<std::string> expected = {
      "/***** MAPISendMail *****/",
      "LHANDLE lhSession = 3456789a",
      "ULONG ulUIParam = dcba9876",
      "FLAGS flFlags = 8000000b",
      "ULONG ulReserved = 42",
      std::string("lpMapiMessage lpMessage = ") + ptr,
      std::string("lpMessage->lpszSubject = ") + subject,
      "lpMessage->nFileCount = 0",
      "lpMessage->nRecipCount = 1",
      "00000 Name: 'n'",
      "00000 Recipient Class: '1'",
      "00000 Address: 'a@b'",
      "/***** MAPISendMail(END) ****/"};
  EXPECT_EQ(LogMessages(), expected);

  RegisterClient();
  EXPECT_EQ(MAPISendMail(0, 0, NULL, MAPI_DIALOG, 0), (ULONG)SUCCESS_SUCCESS);
  auto messages = LogMessages();
  ASSERT_EQ(messages.size(), expected.size() + 6)
      << "frame only for a NULL message";
  EXPECT_EQ(messages.back(), "/***** MAPISendMail(END) ****/");
}

TEST_F(Launch, SendMailBehavesTheSameWithTheLogOff) {
  RegisterClient();
  MessageBuilder b;
  BuildFirstExample(b);
  EXPECT_EQ(MAPISendMail(0, 0, b.Get(), 0, 0), (ULONG)SUCCESS_SUCCESS);
  StartTraceLog(1);
  EXPECT_EQ(MAPISendMail(0, 0, b.Get(), 0, 0), (ULONG)SUCCESS_SUCCESS);
  auto clients = Clients();
  ASSERT_EQ(clients.size(), 2u);
  EXPECT_EQ(clients[0].line, clients[1].line);
}

TEST_F(Launch, ConcurrentSendsEachStartAndWaitForTheirOwnClient) {
  RegisterClient();
  setenv("QV_CLIENT_WAIT_MS", "200", 1);
  const int kThreads = 6;
  std::vector<std::thread> threads;
  std::vector<ULONG> results(kThreads, 99);
  std::vector<MessageBuilder> messages(kThreads);
  for (int t = 0; t < kThreads; t++)
    messages[t].Subject(("thread " + std::to_string(t)).c_str());
  for (int t = 0; t < kThreads; t++)
    threads.emplace_back([&, t] {
      results[t] = MAPISendMail(0, 0, messages[t].Get(), MAPI_DIALOG, 0);
    });
  for (auto &th : threads)
    th.join();
  std::vector<std::string> lines;
  for (auto &c : Clients()) {
    EXPECT_TRUE(c.exited);
    lines.push_back(c.line);
  }
  std::sort(lines.begin(), lines.end());
  ASSERT_EQ(lines.size(), (size_t)kThreads);
  for (int t = 0; t < kThreads; t++) {
    EXPECT_EQ(results[t], (ULONG)SUCCESS_SUCCESS);
    EXPECT_EQ(lines[t], "-Subject thread " + std::to_string(t));
  }
}

} // namespace
