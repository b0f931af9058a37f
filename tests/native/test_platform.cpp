// The POSIX platform layer keeps the Win32 contracts the library relies on.
#include <string.h>

#include "tests/native/support.h"

namespace {

class Platform : public QvTest {};

TEST_F(Platform, ErrorsOfFileCreation) {
  std::string name = dir_ + "\\a.txt";
  HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, NULL);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << "backslashes separate folders";
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(
      CreateFileA(name.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL),
      INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);
  h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, 0, NULL);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS)
      << "existing file opened";
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(CreateFileA((dir_ + "/x/y.txt").c_str(), GENERIC_WRITE, 0, NULL,
                        OPEN_ALWAYS, 0, NULL),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(CreateFileA((dir_ + "/none.txt").c_str(), GENERIC_WRITE, 0, NULL,
                        OPEN_EXISTING, 0, NULL),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST_F(Platform, WildcardProbeIgnoresCase) {
  WriteWholeFile(dir_ + "/mapi_0000A.log", "");
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((dir_ + "\\MAPI_0000a.*").c_str(), &found);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(found.cFileName, "mapi_0000A.log");
  EXPECT_FALSE(FindNextFileA(h, &found));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(h));
  WriteWholeFile(dir_ + "/MAPI_00002.txt", "");
  WriteWholeFile(dir_ + "/other.txt", "");
  h = FindFirstFileA((dir_ + "\\MAPI_*").c_str(), &found);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  int matches = 1;
  while (FindNextFileA(h, &found))
    matches++;
  EXPECT_EQ(matches, 2);
  EXPECT_TRUE(FindClose(h));
  EXPECT_EQ(FindFirstFileA((dir_ + "\\MAPI_0000b.*").c_str(), &found),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(FindFirstFileA((dir_ + "\\nope\\*").c_str(), &found),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(Platform, RegistryQueriesFollowWin32) {
  const char *key = "SOFTWARE\\Test\\Sub";
  TestCtl_RegSetString(HKEY_LOCAL_MACHINE, key, "", "C:\\x.exe");
  HKEY h;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &h),
            ERROR_FILE_NOT_FOUND)
      << "hives are separate";
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\test", 0, KEY_READ, &h),
      ERROR_SUCCESS)
      << "a parent key exists, names ignore case";
  EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h),
            ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(h, "", NULL, &type, NULL, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 9u);
  char small[4];
  DWORD room = sizeof small;
  EXPECT_EQ(RegQueryValueExA(h, "", NULL, NULL, (LPBYTE)small, &room),
            ERROR_MORE_DATA);
  EXPECT_EQ(room, 9u);
  char buf[16];
  room = sizeof buf;
  EXPECT_EQ(RegQueryValueExA(h, NULL, NULL, NULL, (LPBYTE)buf, &room),
            ERROR_SUCCESS);
  EXPECT_STREQ(buf, "C:\\x.exe");
  EXPECT_EQ(RegQueryValueExA(h, "missing", NULL, NULL, NULL, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
}

TEST_F(Platform, InjectedFailuresHitTheNthCallOnly) {
  TestCtl_FailCall(QVOP_RegOpenKeyExA, 2, ERROR_ACCESS_DENIED);
  TestCtl_RegCreateKey(HKEY_CURRENT_USER, "K");
  HKEY h;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "K", 0, KEY_READ, &h),
            ERROR_SUCCESS);
  RegCloseKey(h);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "K", 0, KEY_READ, &h),
            ERROR_ACCESS_DENIED);
  EXPECT_TRUE(TestCtl_FailureFired());
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "K", 0, KEY_READ, &h),
            ERROR_SUCCESS);
  RegCloseKey(h);
  EXPECT_EQ(TestCtl_Calls(QVOP_RegOpenKeyExA), 3u);
}

TEST_F(Platform, FolderCreationResults) {
  std::string deep = dir_ + "\\a\\b\\c\\";
  EXPECT_EQ(SHCreateDirectoryExA(NULL, deep.c_str(), NULL), ERROR_SUCCESS);
  EXPECT_TRUE(FileExists(dir_ + "/a/b/c"));
  EXPECT_EQ(SHCreateDirectoryExA(NULL, deep.c_str(), NULL),
            ERROR_ALREADY_EXISTS);
  WriteWholeFile(dir_ + "/file", "");
  EXPECT_EQ(SHCreateDirectoryExA(NULL, (dir_ + "\\file").c_str(), NULL),
            ERROR_FILE_EXISTS);
  EXPECT_EQ(SHCreateDirectoryExA(NULL, "relative\\x", NULL),
            ERROR_BAD_PATHNAME);
  char path[MAX_PATH];
  EXPECT_TRUE(FAILED(SHGetFolderPathA(NULL, CSIDL_APPDATA, NULL, 0, path)));
  TestCtl_SetAppDataFolder("/home/u/AppData");
  EXPECT_EQ(SHGetFolderPathA(NULL, CSIDL_APPDATA, NULL, 0, path), S_OK);
  EXPECT_STREQ(path, "/home/u/AppData");
}

TEST_F(Platform, ProcessGetsTheWholeLineAsOneArgument) {
  setenv("QV_CLIENT_DIR", dir_.c_str(), 1);
  char line[] = " -Body a \"b\" c";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  ASSERT_TRUE(CreateProcessA(QV_STAND_IN_CLIENT, line, NULL, NULL, FALSE,
                             NORMAL_PRIORITY_CLASS, NULL, NULL, &si, &pi));
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(pi.hThread));
  EXPECT_TRUE(CloseHandle(pi.hProcess));
  EXPECT_EQ(ReadWholeFile(dir_ + "/client-" + std::to_string(pi.dwProcessId) +
                          ".txt"),
            line);
  EXPECT_FALSE(CreateProcessA((dir_ + "/missing").c_str(), line, NULL, NULL,
                              FALSE, 0, NULL, NULL, &si, &pi));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
  unsetenv("QV_CLIENT_DIR");
}

} // namespace
