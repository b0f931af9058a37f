// In-process tests of the library under Wine's real Win32: the trace writer
// on real WriteFile and critical sections, and the composition built with
// the Windows compiler.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "handoff/handoff.h"
#include "include/qvmapi/mapi.h"
#include "platform/platform.h"
#include "tests/support/first_example.h"
#include "tests/support/line_reader.h"
#include "tests/support/trace_lines.h"
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

class WinTrace : public ::testing::Test {
protected:
  void Start(int level, const char *tag) {
    path_ = TempName(tag);
    DeleteFileA(path_.c_str());
    TraceState *ts = &g_traceState;
    snprintf(ts->logFileName, sizeof ts->logFileName, "%s", path_.c_str());
    LockInit(&ts->lock);
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
  auto lines = SplitCrLf(ReadWholeFile(path_), &ended);
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

TEST_F(WinTrace, ConcurrentKeepOpenLinesAreWholeAndComplete) {
  Start(1, "keep");
  CheckConcurrentLines(path_);
}

TEST_F(WinTrace, ConcurrentOpenPerLineLinesAreWholeAndComplete) {
  Start(2, "perline");
  CheckConcurrentLines(path_);
}

TEST_F(WinTrace, OpenPerLineRecreatesADeletedLog) {
  Start(2, "deleted");
  TraceWrite(0, "before");
  ASSERT_TRUE(DeleteFileA(path_.c_str()));
  TraceWrite(0, "after");
  bool ended;
  auto lines = SplitCrLf(ReadWholeFile(path_), &ended);
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

// What the seam cannot be made to show: a registry value that changes
// between ReadRegistryString's query of its size and its read. The test's
// own import of RegQueryValueExW (the library is linked in) is pointed at
// one that makes the value longer after the first query; the real second
// query then fails with ERROR_MORE_DATA.
decltype(&RegQueryValueExW) g_realQuery;
int g_queries;
const wchar_t kGrowKey[] = L"Software\\QvGrowingValue";

void SetGrowValue(const wchar_t *text) {
  RegSetKeyValueW(HKEY_CURRENT_USER, kGrowKey, L"", REG_SZ, text,
                  (DWORD)((wcslen(text) + 1) * sizeof(wchar_t)));
}

LSTATUS WINAPI GrowingQuery(HKEY key, LPCWSTR name, LPDWORD reserved,
                            LPDWORD type, LPBYTE data, LPDWORD size) {
  LSTATUS rc = g_realQuery(key, name, reserved, type, data, size);
  if (g_queries++ == 0)
    SetGrowValue(L"C:\\Program Files\\a much longer client\\mail.exe");
  return rc;
}

// Points this program's import of function at hook; the old one in *real.
bool PatchImport(const char *function, void *hook, void **real) {
  BYTE *base = (BYTE *)GetModuleHandleW(NULL);
  IMAGE_NT_HEADERS *nt =
      (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
  IMAGE_DATA_DIRECTORY dir =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (IMAGE_IMPORT_DESCRIPTOR *d =
           (IMAGE_IMPORT_DESCRIPTOR *)(base + dir.VirtualAddress);
       d->Name; d++) {
    IMAGE_THUNK_DATA *names =
        (IMAGE_THUNK_DATA *)(base + d->OriginalFirstThunk);
    IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + d->FirstThunk);
    for (; names->u1.AddressOfData; names++, slots++) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
          strcmp((const char *)((IMAGE_IMPORT_BY_NAME *)(base +
                                                         names->u1
                                                             .AddressOfData))
                     ->Name,
                 function) != 0)
        continue;
      DWORD old;
      VirtualProtect(&slots->u1.Function, sizeof(void *), PAGE_READWRITE, &old);
      *real = (void *)slots->u1.Function;
      slots->u1.Function = (ULONG_PTR)hook;
      VirtualProtect(&slots->u1.Function, sizeof(void *), old, &old);
      return true;
    }
  }
  return false;
}

TEST(WinRegistry, AValueThatGrowsBetweenTheQueriesIsNotRead) {
  SetGrowValue(L"C:\\a.exe");
  void *real = NULL;
  ASSERT_TRUE(PatchImport("RegQueryValueExW", (void *)GrowingQuery, &real));
  g_realQuery = (decltype(&RegQueryValueExW))real;
  g_queries = 0;
  WCHAR *buffer = (WCHAR *)1;
  DWORD size = 0, type = 0;
  int rc = ReadRegistryString(HKEY_CURRENT_USER, kGrowKey, L"", &buffer, &size,
                              &type);
  void *hook;
  PatchImport("RegQueryValueExW", real, &hook);
  EXPECT_EQ(g_queries, 2);
  EXPECT_EQ(rc, 0) << "no cut path, no read past the block";
  EXPECT_EQ(buffer, nullptr);
  // Read again, it is the new value, whole.
  ASSERT_EQ(ReadRegistryString(HKEY_CURRENT_USER, kGrowKey, L"", &buffer,
                               &size, &type),
            1);
  EXPECT_EQ(std::wstring(buffer),
            L"C:\\Program Files\\a much longer client\\mail.exe");
  QvFree(buffer);
  RegDeleteTreeW(HKEY_CURRENT_USER, kGrowKey);
}

#if !defined(_WIN64)
// The 32-bit build runs where 32-bit hosts run on 64-bit Windows: WoW64.
TEST(WinProcess, TheX86TestsRunUnderWow64) {
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_TRUE(wow64) << "a 32-bit process on a 32-bit system";
  char system[MAX_PATH] = "";
  GetSystemWow64DirectoryA(system, MAX_PATH);
  CharLowerA(system);
  EXPECT_NE(strstr(system, "\\syswow64"), nullptr) << system;
}
#endif

} // namespace
