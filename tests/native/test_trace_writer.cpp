// The trace log writer: line format, both modes, failures, concurrency.
#include <string.h>
#include <unistd.h>

#include <thread>

#include "platform/platform.h"
#include "tests/native/support.h"
#include "tests/support/trace_lines.h"
#include "trace/format.h"
#include "trace/trace.h"
#include "trace/trace_state.h"

namespace {

class TraceWriter : public QvTest {};

// Formats "%04u/%02u/%02u %02u:%02u:%02u %08X %s " the way a line must.
std::string ExpectedPrefix(const SYSTEMTIME &t, const char *label) {
  char buf[64];
  snprintf(buf, sizeof buf, "%04u/%02u/%02u %02u:%02u:%02u %08X %s ",
           (unsigned)t.wYear, (unsigned)t.wMonth, (unsigned)t.wDay,
           (unsigned)t.wHour, (unsigned)t.wMinute, (unsigned)t.wSecond,
           (unsigned)CurrentThreadId(), label);
  return buf;
}

bool SameSecond(const SYSTEMTIME &a, const SYSTEMTIME &b) {
  return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay &&
         a.wHour == b.wHour && a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

TEST_F(TraceWriter, LineIsPrefixLabelAndMessageThenCrLf) {
  StartTraceLog(1);
  for (int attempt = 0; attempt < 5; attempt++) {
    SYSTEMTIME before, after;
    LocalTime(&before);
    TraceWrite(0, "/***** %s *****/", "MAPILogon");
    LocalTime(&after);
    if (!SameSecond(before, after))
      continue; // the second turned over during the call; try again
    auto lines = LogLines();
    ASSERT_FALSE(lines.empty());
    std::string expected =
        ExpectedPrefix(before, " I") + "/***** MAPILogon *****/";
    EXPECT_EQ(lines.back(), expected);
    EXPECT_EQ(lines.back().size(), 55u) << "prefix 32 + message 23";
    return;
  }
  FAIL() << "the clock never stayed within one second";
}

TEST_F(TraceWriter, PrefixMatchesItsPrintfFormatForAnyValues) {
  const char *labels[] = {" I", " W", " E", "AF", "AS"};
  unsigned state = 12345;
  for (int i = 0; i < 20000; i++) {
    state = state * 1103515245u + 12345u;
    SYSTEMTIME t = {};
    WORD *fields[] = {&t.wYear, &t.wMonth,  &t.wDay,
                      &t.wHour, &t.wMinute, &t.wSecond};
    for (WORD *f : fields) {
      state = state * 1103515245u + 12345u;
      *f =
          (WORD)(i < 10000 ? (state >> 8) % 100 : state >> 16); // small and any
    }
    DWORD tid = state ^ (state << 7);
    char mine[TRACE_LINE_SIZE], theirs[TRACE_LINE_SIZE];
    const char *label = labels[i % 5];
    int n = FormatLinePrefix(mine, &t, tid, label);
    int m = snprintf(theirs, sizeof theirs,
                     "%04u/%02u/%02u %02u:%02u:%02u %08X %s ",
                     (unsigned)t.wYear, (unsigned)t.wMonth, (unsigned)t.wDay,
                     (unsigned)t.wHour, (unsigned)t.wMinute,
                     (unsigned)t.wSecond, (unsigned)tid, label);
    ASSERT_EQ(n, m);
    ASSERT_STREQ(mine, theirs);
  }
}

// The library's own formatter, which every target ships, against the C
// library's: each conversion the trace and its file names use, widths,
// precisions, the extremes, and the bound.
TEST(TraceFormatter, WritesWhatTheCLibraryWrites) {
  char ours[96], theirs[96];
#define SAME(...)                                                              \
  do {                                                                         \
    int a = TraceFormat(ours, sizeof ours, __VA_ARGS__);                       \
    int b = snprintf(theirs, sizeof theirs, __VA_ARGS__);                      \
    EXPECT_EQ(a, b) << #__VA_ARGS__;                                           \
    EXPECT_STREQ(ours, theirs) << #__VA_ARGS__;                                \
  } while (0)
  SAME("%x|%x|%X", 0u, 0xdeadbeefu, 0xabcu);
  SAME("%d|%d|%d|%i", 0, -1, -2147483647 - 1, 2147483647);
  SAME("%05i|%05i|%05i|%05i", 0, 7, -7, 1234567);
  SAME("%5.5lx|%5.5lx|%5.5lx", 0ul, 0x3e8ul, 0x1234567ul);
  SAME("%u|%lu|%lu", 4294967295u, 0ul, (unsigned long)-1);
  SAME("'%s'|%s|%8s", "a b", "", "ab");
  SAME("%.*s|%.*s|%.3s|%.0s", 3, "abcdef", 10, "ab", "wxyz", "q");
  SAME("%c%%%c", 'q', 0x7f);
  SAME("lpMessage->lpFiles[%d].lpszPathName = '%s'", 12, "C:\\r.pdf");
#undef SAME
  // The length of the whole text, at most room - 1 bytes and the NUL.
  EXPECT_EQ(TraceFormat(ours, 4, "%s", "abcdef"), 6);
  EXPECT_STREQ(ours, "abc");
  memset(ours, 'z', sizeof ours);
  EXPECT_EQ(TraceFormat(ours, 0, "%d", 12), 2);
  EXPECT_EQ(ours[0], 'z') << "no room, nothing written";
  EXPECT_EQ(TraceFormat(ours, 3, "%05i", 42), 5);
  EXPECT_STREQ(ours, "00");
  // A NULL text shows as the C libraries of glibc and mingw-w64 show it.
  const char *volatile none = NULL;
  EXPECT_EQ(TraceFormat(ours, sizeof ours, "'%s'", none), 8);
  EXPECT_STREQ(ours, "'(null)'");
}

TEST_F(TraceWriter, SeverityLabels) {
  StartTraceLog(1);
  for (unsigned short s : {0, 1, 2, 3, 4, 5, 7, 65535})
    TraceWrite(s, "s%u", (unsigned)s);
  auto lines = LogLines();
  ASSERT_EQ(lines.size(), 8u);
  const char *labels[] = {" I", " W", " E", "AF", "AS", " I", " I", " I"};
  for (size_t i = 0; i < 8; i++)
    EXPECT_EQ(lines[i].substr(29, 3), std::string(labels[i]) + " ")
        << "line " << i << ": " << lines[i];
}

TEST_F(TraceWriter, LongMessageIsCutAfter480Characters) {
  StartTraceLog(1);
  std::string message(500, 'x');
  for (int i = 0; i < 500; i++)
    message[i] = (char)('a' + i % 26);
  TraceWrite(0, "%s", message.c_str());
  std::string bytes = ReadWholeFile(LogPath());
  ASSERT_EQ(bytes.size(), 514u);
  EXPECT_EQ(bytes.substr(32, 480), message.substr(0, 480));
  EXPECT_EQ(bytes.substr(512), "\r\n");
}

// The cut falls between characters of the ANSI code page: never after a
// lone lead byte or inside a UTF-8 sequence, whose reader would take the
// CR as the rest of the character.
TEST_F(TraceWriter, ACutKeepsWholeCharacters) {
  const struct {
    UINT page;
    std::string head, character; // the character stands across the cut
    size_t kept;                 // message bytes on the line
  } cases[] = {
      {932, std::string(479, 'x'), "\x93\xfa", 479},
      {932, std::string(478, 'x'), "\x93\xfa", 480},
      {932, "\x93\xfa" + std::string(477, 'x'), "\x93\xfa", 479},
      {65001, std::string(478, 'x'), "\xe6\x97\xa5", 478},
      {65001, std::string(479, 'x'), "\xf0\x9f\x93\xa7", 479},
      {65001, std::string(477, 'x'), "\xe6\x97\xa5", 480},
      {1252, std::string(479, 'x'), "\xe9\xe9", 480},
  };
  for (const auto &c : cases) {
    TestCtl_SetAnsiCodePage(c.page);
    StartTraceLog(1, ("cut-" + std::to_string(&c - cases) + ".log").c_str());
    std::string message = c.head + c.character + "tail";
    TraceWrite(0, "%s", message.c_str());
    std::string bytes = ReadWholeFile(LogPath());
    ASSERT_EQ(bytes.size(), 32 + c.kept + 2) << c.page;
    EXPECT_EQ(bytes.substr(32, c.kept), message.substr(0, c.kept));
    EXPECT_EQ(bytes.substr(32 + c.kept), "\r\n");
    ResetLibraryState();
  }
}

TEST_F(TraceWriter, MessageOfExactly480CharactersIsWhole) {
  StartTraceLog(1);
  std::string message(480, 'q');
  TraceWrite(0, "%s", message.c_str());
  TraceWrite(0, "%s!", message.c_str());
  auto lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(32), message);
  EXPECT_EQ(lines[1].substr(32), message) << "the 481st character is cut";
}

TEST_F(TraceWriter, EmptyMessageNullTextAndLineBreaks) {
  StartTraceLog(1);
  TraceWrite(0, "%s", "");
  const char *volatile nothing = NULL;
  TraceWrite(0, "name = '%s'", (const char *)nothing);
  TraceWrite(0, "body = '%s'", "one\r\ntwo\nthree");
  std::string bytes = ReadWholeFile(LogPath());
  bool ended;
  auto lines = SplitCrLf(bytes, &ended);
  ASSERT_TRUE(ended);
  ASSERT_EQ(lines.size(), 4u) << "the CR LF inside the body splits its record";
  EXPECT_EQ(lines[0].size(), 32u);
  EXPECT_EQ(lines[0].back(), ' ');
  EXPECT_EQ(lines[1].substr(32), "name = '(null)'");
  EXPECT_EQ(lines[2].substr(32), "body = 'one");
  EXPECT_EQ(lines[3], "two\nthree'");
}

TEST_F(TraceWriter, OffOrInactiveMakesNoPlatformCallAtAll) {
  StartTraceLog(1);
  g_traceState.level = 0; // active, but level 0
  TestCtl_ResetCounts();
  TraceWrite(0, "%s", "never");
  EXPECT_EQ(TestCtl_AllCalls(), 0u);

  g_traceState.level = 1;
  g_traceState.active = 0;
  TraceWrite(0, "%s", "never");
  g_traceState.level = 2;
  TraceWrite(0, "%s", "never");
  EXPECT_EQ(TestCtl_AllCalls(), 0u);
  EXPECT_EQ(ReadWholeFile(LogPath()), "");
}

TEST_F(TraceWriter, KeepOpenWritesOneRequestPerLineAndNoLock) {
  StartTraceLog(5); // any level but 0 and 2 keeps the file open
  TraceWrite(0, "a");
  TraceWrite(0, "b");
  EXPECT_EQ(TestCtl_Calls(QVOP_FileWrite), 2u);
  EXPECT_EQ(TestCtl_Calls(QVOP_FileOpen), 0u);
  EXPECT_EQ(TestCtl_Calls(QVOP_LockEnter), 0u);
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(TraceWriter, KeepOpenFailedWriteLosesOnlyThatLine) {
  StartTraceLog(1);
  HANDLE before = g_traceState.logHandle;
  TestCtl_FailCall(QVOP_FileWrite, 2, ERROR_DISK_FULL);
  TraceWrite(0, "one");
  TraceWrite(0, "two");
  TraceWrite(0, "three");
  EXPECT_EQ(g_traceState.logHandle, before) << "the handle is never re-opened";
  EXPECT_EQ(g_traceState.active, 1);
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"one", "three"}));
}

TEST_F(TraceWriter, OpenPerLineOpensSeeksWritesClosesUnderTheLock) {
  StartTraceLog(2);
  TraceWrite(0, "first");
  EXPECT_EQ(TestCtl_Calls(QVOP_FileOpen), 1u);
  EXPECT_EQ(TestCtl_Calls(QVOP_FileSeek), 1u);
  EXPECT_EQ(TestCtl_Calls(QVOP_FileWrite), 1u);
  EXPECT_EQ(TestCtl_Calls(QVOP_FileClose), 1u);
  EXPECT_EQ(TestCtl_Calls(QVOP_LockEnter), 1u);
  EXPECT_EQ(TestCtl_Calls(QVOP_LockLeave), 1u);
  EXPECT_EQ(g_traceState.logHandle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(g_traceState.writingThread, 0u);
  // Lines are appended to whatever the file holds by then.
  WriteWholeFile(LogPath(), ReadWholeFile(LogPath()) + "viewer\r\n");
  TraceWrite(0, "second");
  auto lines = LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "viewer");
  EXPECT_EQ(lines[2].substr(32), "second");
}

TEST_F(TraceWriter, OpenPerLineRecreatesADeletedLog) {
  StartTraceLog(2);
  TraceWrite(0, "before");
  ASSERT_EQ(unlink(LogPath().c_str()), 0);
  TraceWrite(0, "after");
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"after"}));
}

TEST_F(TraceWriter, OpenPerLineEachFailureLosesOnlyItsLine) {
  StartTraceLog(2);
  struct Case {
    QvOp op;
    DWORD error;
  } cases[] = {{QVOP_FileOpen, ERROR_SHARING_VIOLATION},
               {QVOP_FileSeek, ERROR_INVALID_PARAMETER},
               {QVOP_FileWrite, ERROR_DISK_FULL}};
  std::vector<std::string> expected;
  for (const Case &c : cases) {
    TestCtl_FailCall(c.op, 1, c.error);
    TraceWrite(0, "lost");
    EXPECT_TRUE(TestCtl_FailureFired());
    EXPECT_EQ(g_traceState.logHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(g_traceState.writingThread, 0u);
    TraceWrite(0, "kept %d", (int)c.op);
    expected.push_back("kept " + std::to_string((int)c.op));
  }
  EXPECT_EQ(LogMessages(), expected);
  EXPECT_EQ(g_traceState.active, 1);
}

void NestedTrace(QvOp, void *context) {
  int *calls = (int *)context;
  if ((*calls)++ == 0)
    TraceWrite(0, "%s", "inner");
}

TEST_F(TraceWriter, OpenPerLineDropsANestedCallFromTheWritingThread) {
  StartTraceLog(2);
  int calls = 0;
  TestCtl_SetHook(QVOP_FileWrite, NestedTrace, &calls);
  TraceWrite(0, "%s", "outer");
  TestCtl_SetHook(QVOP_FileWrite, NULL, NULL);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(TestCtl_Calls(QVOP_FileOpen), 1u)
      << "the inner call opened nothing";
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"outer"}));
  TraceWrite(0, "%s", "later");
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"outer", "later"}));
}

TEST_F(TraceWriter, WriteLineCrLfInPlaceKeepsTheBufferTerminated) {
  StartTraceLog(1);
  char text[16] = "abc";
  unsigned long allocs = TestCtl_Allocs();
  EXPECT_EQ(WriteLineCrLf(g_traceState.logHandle, text, sizeof text), 0u);
  EXPECT_STREQ(text, "abc");
  EXPECT_EQ(text[4], '\n') << "the LF stays behind the NUL in place";
  EXPECT_EQ(TestCtl_Allocs(), allocs);
  EXPECT_EQ(ReadWholeFile(LogPath()), "abc\r\n");
}

TEST_F(TraceWriter, WriteLineCrLfCopiesWhenTheCapacityIsTooSmall) {
  StartTraceLog(1);
  char text[8] = "abcdef"; // 6 + CR LF needs 8 > capacity 7
  unsigned long allocs = TestCtl_Allocs();
  EXPECT_EQ(WriteLineCrLf(g_traceState.logHandle, text, 7), 0u);
  EXPECT_EQ(TestCtl_Allocs(), allocs + 1);
  EXPECT_EQ(memcmp(text, "abcdef\0", 8), 0)
      << "the caller's buffer is unchanged";
  EXPECT_EQ(ReadWholeFile(LogPath()), "abcdef\r\n");

  TestCtl_FailAlloc(1);
  EXPECT_EQ(WriteLineCrLf(g_traceState.logHandle, text, 7),
            (DWORD)ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(ReadWholeFile(LogPath()), "abcdef\r\n") << "nothing written";
}

TEST_F(TraceWriter, TraceLinesUseNoHeap) {
  StartTraceLog(2);
  unsigned long allocs = TestCtl_Allocs();
  TraceWrite(0, "%s", std::string(600, 'z').c_str());
  EXPECT_EQ(TestCtl_Allocs(), allocs);
}

// 8 threads x 10,000 lines: every line whole, none lost, in both modes.
TEST_F(TraceWriter, ConcurrentKeepOpenLinesAreWholeAndComplete) {
  StartTraceLog(1);
  CheckConcurrentLines(LogPath());
}

TEST_F(TraceWriter, ConcurrentOpenPerLineLinesAreWholeAndComplete) {
  StartTraceLog(2);
  CheckConcurrentLines(LogPath());
}

TEST_F(TraceWriter, FileWrappersReturnTheWin32Code) {
  HANDLE h = (HANDLE)0x1234;
  std::string missing = dir_ + "\\no such folder\\x.log";
  EXPECT_EQ(FileOpen(missing.c_str(), &h, GENERIC_WRITE, 0, OPEN_ALWAYS),
            (DWORD)ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE) << "the handle is stored on failure too";
  TestCtl_ResetCounts();
  EXPECT_EQ(FileClose(INVALID_HANDLE_VALUE), 0u);
  EXPECT_EQ(TestCtl_Calls(QVOP_FileClose), 0u)
      << "no call for a missing handle";

  std::string name = dir_ + "\\f.log";
  ASSERT_EQ(FileOpen(name.c_str(), &h, GENERIC_WRITE, 0, CREATE_NEW), 0u);
  DWORD written = 0;
  EXPECT_EQ(FileWrite(h, "xyz", 3, &written), 0u);
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(FileSeek(h, 0, FILE_END), 0u);
  TestCtl_FailCall(QVOP_FileSeek, 1, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(FileSeek(h, 0, FILE_END), (DWORD)ERROR_INVALID_PARAMETER);
  HANDLE other;
  EXPECT_EQ(FileOpen(name.c_str(), &other, GENERIC_WRITE, 0, CREATE_NEW),
            (DWORD)ERROR_FILE_EXISTS)
      << "CREATE_NEW on an existing name fails with 80";
  EXPECT_EQ(FileClose(h), 0u);
  TestCtl_FailCall(QVOP_FileClose, 1, ERROR_INVALID_HANDLE);
  HANDLE again;
  ASSERT_EQ(FileOpen(name.c_str(), &again, GENERIC_WRITE, 0, OPEN_EXISTING),
            0u);
  EXPECT_EQ(FileClose(again), (DWORD)ERROR_INVALID_HANDLE);
  EXPECT_EQ(ReadWholeFile(dir_ + "/f.log"), "xyz");
}

} // namespace
