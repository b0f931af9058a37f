// What the library asks of the operating system, checked on both sides of
// the seam: natively against the fake the unit tests run on, under Wine
// against platform/win32/. What one side promises here the other keeps.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>

#include "platform/fake/look_alikes.h"
#include "platform/platform.h"
#include "tests/support/files.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#else
#include <dirent.h>
#include <unistd.h>

#include "platform/fake/control.h"
#endif

namespace {

const char kKey[] = "SOFTWARE\\QvSeamContract";

// What differs between the sides: where the files go, how the registry and
// the environment are set, which client runs.
#ifdef _WIN32
std::string NewFolder() {
  char temp[MAX_PATH], name[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  static int serial;
  snprintf(name, sizeof name, "%sqv-seam-%lu-%d", temp,
           (unsigned long)GetCurrentProcessId(), ++serial);
  CreateDirectoryA(name, NULL);
  return name;
}
void RemoveFolder(const std::string &folder) {
  std::string from = folder + '\0';
  SHFILEOPSTRUCTA op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  SHFileOperationA(&op);
}
// The data as given, whatever its type: the W form converts nothing.
void SetValue(const char *name, DWORD type, const void *data, DWORD size) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, NULL, 0, KEY_ALL_ACCESS,
                            NULL, &key, NULL),
            ERROR_SUCCESS);
  std::wstring wide(name, name + strlen(name));
  RegSetValueExW(key, wide.c_str(), 0, type, (const BYTE *)data, size);
  RegCloseKey(key);
}
void DeleteKey() { RegDeleteTreeA(HKEY_CURRENT_USER, kKey); }
void SetEnv(const char *name, const char *value) {
  SetEnvironmentVariableA(name, value);
}
std::string ClientProgram() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
  std::string s(path, n);
  return s.substr(0, s.find_last_of('\\') + 1) + "stand_in_client.exe";
}
std::vector<std::string> Names(const std::string &folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
  for (BOOL more = h != INVALID_HANDLE_VALUE; more;
       more = FindNextFileA(h, &found))
    names.push_back(found.cFileName);
  if (h != INVALID_HANDLE_VALUE)
    FindClose(h);
  return names;
}
#else
std::string NewFolder() {
  char name[] = "/tmp/qv-seam.XXXXXX";
  return mkdtemp(name) ? name : "";
}
void RemoveFolder(const std::string &folder) {
  std::string command = "rm -rf '" + folder + "'";
  EXPECT_EQ(system(command.c_str()), 0);
}
void SetValue(const char *name, DWORD type, const void *data, DWORD size) {
  TestCtl_RegSetValue(HKEY_CURRENT_USER, kKey, name, type, data, size);
}
void DeleteKey() { TestCtl_RegDeleteKey(HKEY_CURRENT_USER, kKey); }
void SetEnv(const char *name, const char *value) {
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}
std::string ClientProgram() { return QV_STAND_IN_CLIENT; }
std::vector<std::string> Names(const std::string &folder) {
  std::vector<std::string> names;
  DIR *d = opendir(folder.c_str());
  for (struct dirent *e; d && (e = readdir(d));)
    names.push_back(e->d_name);
  if (d)
    closedir(d);
  return names;
}
#endif

class Seam : public ::testing::Test {
protected:
  void SetUp() override {
#ifndef _WIN32
    TestCtl_Reset();
#endif
    folder_ = NewFolder();
    ASSERT_FALSE(folder_.empty());
    DeleteKey();
  }
  void TearDown() override {
    DeleteKey();
    RemoveFolder(folder_);
  }
  // A name in the folder, as the library writes one, and as this side's
  // C library opens it.
  std::string In(const char *name) const { return folder_ + "\\" + name; }
  std::string Native(const std::string &name) const {
#ifdef _WIN32
    return In(name.c_str());
#else
    return folder_ + "/" + name;
#endif
  }
  std::string folder_;
};

std::u16string Units(const WCHAR *text) {
  return std::u16string(text, text + std::char_traits<WCHAR>::length(text));
}

TEST_F(Seam, TheHeapKeepsWhatItHolds) {
  char *block = (char *)QvAlloc(0);
  ASSERT_NE(block, nullptr) << "a NULL only ever means out of memory";
  block = (char *)QvRealloc(block, 4);
  ASSERT_NE(block, nullptr);
  memcpy(block, "abc", 4);
  block = (char *)QvRealloc(block, 1 << 20);
  ASSERT_NE(block, nullptr);
  EXPECT_STREQ(block, "abc");
  QvFree(block);
  QvFree(NULL);
}

TEST_F(Seam, FilesGiveTheWin32Codes) {
  HANDLE h = (HANDLE)0x1234;
  EXPECT_EQ(FileOpen(In("none\\x.log").c_str(), &h, GENERIC_WRITE, 0,
                     OPEN_ALWAYS),
            (DWORD)ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE) << "the handle is set on failure too";
  EXPECT_EQ(FileOpen(In("x.log").c_str(), &h, GENERIC_WRITE, 0, OPEN_EXISTING),
            (DWORD)ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(FileOpen(In("x.log").c_str(), &h, GENERIC_READ | GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_NEW),
            0u);
  DWORD written = 0;
  EXPECT_EQ(FileWrite(h, "xyz", 3, &written), 0u);
  EXPECT_EQ(written, 3u);
  HANDLE other;
  EXPECT_EQ(FileOpen(In("x.log").c_str(), &other, GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_NEW),
            (DWORD)ERROR_FILE_EXISTS);
  EXPECT_EQ(FileClose(h), 0u);
  EXPECT_EQ(FileClose(INVALID_HANDLE_VALUE), 0u);
  // Appending, as the log does: open, seek to the end, write.
  ASSERT_EQ(FileOpen(In("x.log").c_str(), &h, GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS),
            0u);
  EXPECT_EQ(FileSeek(h, 0, FILE_END), 0u);
  EXPECT_EQ(FileWrite(h, "\r\n", 2, &written), 0u);
  EXPECT_EQ(FileClose(h), 0u);
  EXPECT_EQ(ReadWholeFile(Native("x.log")), "xyz\r\n");
}

TEST_F(Seam, FoldersAndNameSearches) {
  EXPECT_EQ(CreateFolder(In("a\\b\\c").c_str()), ERROR_SUCCESS);
  int again = CreateFolder(In("a\\b\\c").c_str());
  EXPECT_TRUE(again == ERROR_ALREADY_EXISTS || again == ERROR_FILE_EXISTS)
      << again;
  for (const char *name : {"mapi_0000A.log", "MAPI_00002.txt", "MAPI_00003",
                           "other.txt"}) {
    HANDLE h;
    ASSERT_EQ(FileOpen(In(name).c_str(), &h, GENERIC_WRITE, 0, CREATE_NEW), 0u);
    FileClose(h);
  }
  auto found = [&](const char *pattern) {
    std::multiset<std::string> names;
    NameSearch s;
    if (NameSearchFirst(&s, In(pattern).c_str())) {
      do
        names.insert(s.name);
      while (NameSearchNext(&s));
      NameSearchClose(&s);
    }
    return names;
  };
  EXPECT_EQ(found("MAPI_*"), (std::multiset<std::string>{
                                 "MAPI_00002.txt", "MAPI_00003",
                                 "mapi_0000A.log"}))
      << "names in any case, each once";
  EXPECT_EQ(found("MAPI_0000a.*"),
            (std::multiset<std::string>{"mapi_0000A.log"}));
  EXPECT_EQ(found("MAPI_00003.*"), (std::multiset<std::string>{"MAPI_00003"}))
      << "\".*\" finds a name without an extension";
  EXPECT_TRUE(found("MAPI_0000b.*").empty());
  EXPECT_TRUE(found("none\\*").empty());
}

TEST_F(Seam, TheApplicationDataFolder) {
#ifndef _WIN32
  char none[8];
  EXPECT_EQ(AppDataFolder(none, sizeof none), 0) << "none is set";
  TestCtl_SetAppDataFolder((folder_ + "/Roaming/").c_str());
#endif
  char folder[MAX_PATH + 1] = "";
  ASSERT_EQ(AppDataFolder(folder, sizeof folder), 1);
  size_t n = strlen(folder);
  ASSERT_GT(n, 0u);
  EXPECT_NE(folder[n - 1], '\\');
  EXPECT_NE(folder[n - 1], '/');
  char again[MAX_PATH + 1];
  EXPECT_EQ(AppDataFolder(again, n), 0) << "no room for its NUL";
}

TEST_F(Seam, RegistryDwords) {
  DWORD seven = 7, value = 0;
  SetValue("level", REG_DWORD, &seven, 4);
  EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kKey, "LEVEL", &value), 1)
      << "names in any case";
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(ReadRegistryDword(HKEY_LOCAL_MACHINE, kKey, "level", &value), 0)
      << "the hives are apart";
  unsigned long long eight = 9;
  SetValue("long", REG_DWORD, &eight, 8);
  EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kKey, "long", &value), 0);
  SetValue("text", REG_SZ, QV_WIDE("1"), 4);
  EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kKey, "text", &value), 0);
  SetValue("empty", REG_DWORD, NULL, 0);
  value = 5;
  EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kKey, "empty", &value), 1);
  EXPECT_EQ(value, 5u) << "an empty DWORD leaves the value";
  EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kKey, "missing", &value), 0);
  EXPECT_EQ(value, 5u);
}

TEST_F(Seam, RegistryStringsAreTerminatedWithTheirTypeAndSize) {
  const WCHAR kWideKey[] = QV_WIDE("SOFTWARE\\QvSeamContract");
  auto read = [&](const WCHAR *name, std::u16string *text, DWORD *size,
                  DWORD *type) {
    WCHAR *buffer = (WCHAR *)1;
    int rc = ReadRegistryString(HKEY_CURRENT_USER, kWideKey, name, &buffer,
                                size, type);
    if (rc == 1) {
      *text = Units(buffer);
      QvFree(buffer);
    } else {
      EXPECT_EQ(buffer, nullptr) << "no block without a read";
    }
    return rc;
  };
  const WCHAR kPath[] = QV_WIDE("C:\\x.exe");
  SetValue("", REG_SZ, kPath, sizeof kPath);
  std::u16string text;
  DWORD size = 0, type = 0;
  ASSERT_EQ(read(QV_WIDE(""), &text, &size, &type), 1);
  EXPECT_EQ(text, Units(kPath));
  EXPECT_EQ(size, (DWORD)sizeof kPath);
  EXPECT_EQ(type, (DWORD)REG_SZ);
  // Without its NUL, and cut inside a unit: terminated all the same.
  SetValue("cut", REG_EXPAND_SZ, kPath, 5);
  ASSERT_EQ(read(QV_WIDE("cut"), &text, &size, &type), 1);
  EXPECT_EQ(text, Units(QV_WIDE("C:")) + (char16_t)'\\');
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(type, (DWORD)REG_EXPAND_SZ);
  DWORD number = 0x41;
  SetValue("n", REG_DWORD, &number, 4);
  ASSERT_EQ(read(QV_WIDE("n"), &text, &size, &type), 1);
  EXPECT_EQ(type, (DWORD)REG_DWORD);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(read(QV_WIDE("missing"), &text, &size, &type), 0);
}

TEST_F(Seam, CommandsExpandAsTheEnvironmentSays) {
  SetEnv("QV_SEAM_FOLDER", "C:\\Apps");
  WCHAR out[MAX_PATH];
  const WCHAR kCommand[] = QV_WIDE("%QV_SEAM_FOLDER%\\m.exe %QV_SEAM_NONE%");
  const std::u16string expanded =
      Units(QV_WIDE("C:\\Apps\\m.exe %QV_SEAM_NONE%"));
  EXPECT_EQ(ExpandCommand(kCommand, out, MAX_PATH), expanded.size() + 1)
      << "its NUL included";
  EXPECT_EQ(Units(out), expanded);
  EXPECT_EQ(ExpandCommand(kCommand, out, 4), expanded.size() + 1)
      << "the size it needs";
  EXPECT_TRUE(EnvironmentHas(QV_WIDE("QV_SEAM_FOLDER")));
  EXPECT_FALSE(EnvironmentHas(QV_WIDE("QV_SEAM_NONE")));
  SetEnv("QV_SEAM_FOLDER", NULL);
  EXPECT_FALSE(EnvironmentHas(QV_WIDE("QV_SEAM_FOLDER")));
}

// The tests' ANSI code page, 1252, both ways; no look-alikes on the way to
// ANSI, room 0 asks for the size.
TEST_F(Seam, CodePage1252) {
  const CodePage *page = HostCodePage();
  ASSERT_EQ(page->number, 1252u);
  EXPECT_EQ(page->kind, ANSI_SINGLE_BYTE);
  EXPECT_FALSE(page->clientDiffers);
  for (int b = 0; b < 256; b++)
    ASSERT_FALSE(page->lead[b]) << b;
  WCHAR wide[8];
  EXPECT_EQ(AnsiToWide("\x80\xe9x", -1, NULL, 0), 4);
  ASSERT_EQ(AnsiToWide("\x80\xe9x", -1, wide, 8), 4);
  EXPECT_EQ(Units(wide), Units(QV_WIDE("\u20ac\u00e9x")));
  EXPECT_EQ(AnsiToWide("\x80\xe9x", -1, wide, 2), 0) << "no room";
  char ansi[8];
  const WCHAR kText[] = QV_WIDE("\u2212\u00e9\u3000\U0001F4E7");
  int n = WideToAnsi(kText, -1, ansi, sizeof ansi);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(ansi), "?\xe9?" + std::string(n - 4, '?'))
      << "the default character, never a look-alike";
  EXPECT_EQ(WideToAnsi(kText, -1, NULL, 0), n);
}

// Strict UTF-8 or none: what is not UTF-8 is told apart from a failure.
TEST_F(Seam, StrictUtf8) {
  WCHAR out[16];
  ASSERT_EQ(Utf8ToWide("\xd0\x9e\xe6\x97\xa5\xf0\x9f\x93\xa7", out, 16), 5);
  EXPECT_EQ(Units(out), Units(QV_WIDE("\u041e\u65e5\U0001F4E7")));
  for (const char *bad : {"ab\xd0", "\xc0\xaf", "\xed\xa0\x80",
                          "\xf4\x90\x80\x80", "caf\xe9"})
    EXPECT_EQ(Utf8ToWide(bad, out, 16), 0) << bad;
}

// The client's view holds every look-alike the fake knows of, and no
// character that shows as itself.
TEST_F(Seam, TheClientViewHoldsTheLookAlikes) {
  const ClientView *view = ClientAnsiView();
  ASSERT_NE(view, nullptr);
  auto marked = [&](const unsigned char *bits, unsigned u) {
    return (bits[u >> 3] >> (u & 7)) & 1;
  };
  unsigned lowest = 0x10000;
  for (const auto &look : kLookAlikes1252) {
    const unsigned char *bits = look.shows == ' ' ? view->blank : view->hyphen;
    EXPECT_TRUE(marked(bits, look.unit)) << std::hex << look.unit;
    lowest = look.unit < lowest ? look.unit : lowest;
  }
  for (unsigned u : {0x41u, 0x20u, 0x2Du, 0xE9u, 0x0416u, 0x65E5u}) {
    EXPECT_FALSE(marked(view->blank, u)) << std::hex << u;
    EXPECT_FALSE(marked(view->hyphen, u)) << std::hex << u;
  }
  EXPECT_GE(view->lowest, 0x80u);
  EXPECT_LE(view->lowest, lowest);
}

// The client gets the line, whole and alone (the longest the library
// composes too), and has exited when the call returns; a missing program
// starts nothing.
TEST_F(Seam, StartAndWaitHandsOverTheWholeLine) {
  SetEnv("QV_CLIENT_DIR", folder_.c_str());
  SetEnv("QV_CLIENT_WAIT_MS", "200");
  std::string name = ClientProgram();
  std::u16string program(name.begin(), name.end());
  const std::string kLines[] = {"-Subject \"a b\"  -Body x",
                                std::string(32766, 'x')};
  for (const std::string &line : kLines) {
    for (const std::string &old : Names(folder_))
      remove(Native(old).c_str());
    std::u16string sent(line.begin(), line.end());
    ASSERT_EQ(StartAndWait((const WCHAR *)program.c_str(), (WCHAR *)&sent[0], 0),
              1);
    std::string record, done;
    for (const std::string &file : Names(folder_)) {
      if (file.find(".txt") != std::string::npos)
        record = ReadWholeFile(Native(file));
      done += file.find(".done") != std::string::npos ? file : "";
    }
    EXPECT_EQ(record, line) << "the line whole, and nothing in front";
    EXPECT_FALSE(done.empty()) << "the call returned before the exit";
  }
  std::u16string missing = program.substr(0, program.size() - 4) + u"x.exe";
  std::u16string line = u"-Body x";
  EXPECT_EQ(StartAndWait((const WCHAR *)missing.c_str(), (WCHAR *)&line[0], 0),
            0);
  SetEnv("QV_CLIENT_DIR", NULL);
  SetEnv("QV_CLIENT_WAIT_MS", NULL);
}

TEST_F(Seam, ThreadsTimeAndLocks) {
  DWORD self = CurrentThreadId(), other = 0;
  std::thread([&] { other = CurrentThreadId(); }).join();
  EXPECT_EQ(CurrentThreadId(), self);
  EXPECT_NE(other, self);
  SYSTEMTIME now;
  LocalTime(&now);
  EXPECT_GE(now.wYear, 2024);
  EXPECT_TRUE(now.wMonth >= 1 && now.wMonth <= 12 && now.wDay >= 1 &&
              now.wDay <= 31 && now.wHour < 24 && now.wMinute < 60);
  QvLock lock;
  LockInit(&lock);
  LockEnter(&lock);
  LockEnter(&lock); // re-entrant for its owner
  std::atomic<int> entered{0};
  std::thread waiter([&] {
    LockEnter(&lock);
    entered = 1;
    LockLeave(&lock);
  });
  LockLeave(&lock);
  for (int i = 0; i < 20; i++)
    std::this_thread::yield();
  EXPECT_EQ(entered.load(), 0) << "still held once";
  LockLeave(&lock);
  waiter.join();
  EXPECT_EQ(entered.load(), 1);
  LockDelete(&lock);
}

} // namespace
