// In-process tests of the library under Wine's real Win32: the trace writer
// on real WriteFile and critical sections, and the composition built with
// the Windows compiler.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <thread>
#include <vector>

#include "handoff/handoff.h"
#include "mapi/mapi_types.h"
#include "tests/support/first_example.h"
#include "tests/support/line_reader.h"
#include "trace/trace.h"
#include "trace/trace_state.h"

namespace {

std::string TempName(const char *tag) {
  char dir[MAX_PATH], name[MAX_PATH];
  GetTempPathA(sizeof dir, dir);
  snprintf(name, sizeof name, "%sqv-%s-%lu.log", dir, tag,
           (unsigned long)GetCurrentProcessId());
  return name;
}

std::string ReadAll(const std::string &path) {
  std::string out;
  FILE *f = fopen(path.c_str(), "rb");
  if (!f)
    return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0)
    out.append(buf, n);
  fclose(f);
  return out;
}

std::vector<std::string> Lines(const std::string &bytes, bool *ended) {
  std::vector<std::string> lines;
  size_t start = 0;
  *ended = true;
  while (start < bytes.size()) {
    size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      *ended = false;
      lines.push_back(bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

class WinTrace : public ::testing::Test {
protected:
  void Start(int level, const char *tag) {
    path_ = TempName(tag);
    DeleteFileA(path_.c_str());
    TraceState *ts = &g_traceState;
    snprintf(ts->logFileName, sizeof ts->logFileName, "%s", path_.c_str());
    InitializeCriticalSection(&ts->lock);
    ts->lockInitialised = 1;
    ts->level = level;
    ts->logHandle = CreateFileA(ts->logFileName, GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(ts->logHandle, INVALID_HANDLE_VALUE);
    if (level == 2) {
      CloseHandle(ts->logHandle);
      ts->logHandle = INVALID_HANDLE_VALUE;
    }
    ts->active = 1;
  }
  void TearDown() override {
    TraceClose();
    g_traceState.level = 0;
    DeleteFileA(path_.c_str());
  }
  std::string path_;
};

TEST_F(WinTrace, LineFormatOnRealFiles) {
  Start(1, "format");
  SYSTEMTIME before, after;
  GetLocalTime(&before);
  TraceWrite(0, "LPTSTR lpszName = '%s'", "Ann");
  const char *volatile nothing = NULL;
  TraceWrite(7, "x = '%s' %05i %x", (const char *)nothing, 3, 0xABCDu);
  TraceWrite(0, "%s", std::string(500, 'm').c_str());
  GetLocalTime(&after);
  TraceClose();
  bool ended;
  auto lines = Lines(ReadAll(path_), &ended);
  ASSERT_TRUE(ended);
  ASSERT_EQ(lines.size(), 3u);
  char prefix[64];
  snprintf(prefix, sizeof prefix, "%04u/%02u/%02u %02u:%02u:%02u %08lX  I ",
           before.wYear, before.wMonth, before.wDay, before.wHour,
           before.wMinute, before.wSecond, (unsigned long)GetCurrentThreadId());
  if (before.wSecond == after.wSecond && before.wMinute == after.wMinute) {
    EXPECT_EQ(lines[0], std::string(prefix) + "LPTSTR lpszName = 'Ann'");
  }
  EXPECT_EQ(lines[1].substr(29), " I x = '(null)' 00003 abcd");
  EXPECT_EQ(lines[2].size(), 512u) << "cut after 480 message characters";
}

void ConcurrentLines(const std::string &path) {
  const int kThreads = 8, kLines = 10000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++)
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; i++)
        TraceWrite(0, "thread %d line %05d %s", t, i,
                   "payload-payload-payload");
    });
  for (auto &th : threads)
    th.join();
  TraceClose();
  bool ended;
  auto lines = Lines(ReadAll(path), &ended);
  EXPECT_TRUE(ended);
  ASSERT_EQ(lines.size(), (size_t)kThreads * kLines);
  std::vector<int> next(kThreads, 0);
  for (const std::string &line : lines) {
    ASSERT_EQ(line.size(), 75u) << line;
    int t = -1, i = -1;
    char tail[64] = {0};
    ASSERT_EQ(
        sscanf(line.c_str() + 32, "thread %d line %05d %63s", &t, &i, tail), 3);
    ASSERT_STREQ(tail, "payload-payload-payload");
    ASSERT_TRUE(t >= 0 && t < kThreads);
    EXPECT_EQ(i, next[t]);
    next[t] = i + 1;
  }
}

TEST_F(WinTrace, ConcurrentKeepOpenLinesAreWholeAndComplete) {
  Start(1, "keep");
  ConcurrentLines(path_);
}

TEST_F(WinTrace, ConcurrentOpenPerLineLinesAreWholeAndComplete) {
  Start(2, "perline");
  ConcurrentLines(path_);
}

TEST_F(WinTrace, OpenPerLineRecreatesADeletedLog) {
  Start(2, "deleted");
  TraceWrite(0, "before");
  ASSERT_TRUE(DeleteFileA(path_.c_str()));
  TraceWrite(0, "after");
  bool ended;
  auto lines = Lines(ReadAll(path_), &ended);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(32), "after");
}

TEST(WinCompose, ReferenceMessageWithTheWindowsCompiler) {
  FirstExample example;
  std::vector<char> buffer(COMMAND_LINE_SIZE, 0);
  EXPECT_EQ(ComposeCommandLine(&example.msg, 0, buffer.data()), 177);
  EXPECT_STREQ(buffer.data(), FIRST_EXAMPLE_LINE);
  ParsedLine parsed = ReadCommandLine(buffer.data());
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.subject, "Q3 report - final");
  EXPECT_EQ(parsed.attachments.size(), 2u);
  FirstExampleW wide;
  std::vector<WCHAR> wideBuffer(WIDE_COMMAND_LINE_SIZE, 0);
  EXPECT_EQ(ComposeCommandLineW(&wide.msg, 0, wideBuffer.data()), 177);
  std::string narrow = FIRST_EXAMPLE_LINE;
  EXPECT_EQ(std::wstring(wideBuffer.data()),
            std::wstring(narrow.begin(), narrow.end()));
}

} // namespace
