#include "tests/windows/wine_support.h"

#include <shlobj.h>
#include <stdio.h>

#include <algorithm>

std::string ProgramFolder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
  std::string s(path, n);
  return s.substr(0, s.find_last_of('\\') + 1);
}

void SetClientPath(const char *path) {
  if (!path) {
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, KEY_WOW64_64KEY, 0);
    return;
  }
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, 0, NULL, 0,
                      KEY_ALL_ACCESS | KEY_WOW64_64KEY, NULL, &key,
                      NULL) == ERROR_SUCCESS) {
    RegSetValueExA(key, "", 0, REG_SZ, (const BYTE *)path,
                   (DWORD)strlen(path) + 1);
    RegCloseKey(key);
  }
}

void SetLogLevel(const DWORD *level) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, QV_SETTINGS_KEY, 0, NULL, 0,
                      KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS)
    return;
  if (level)
    RegSetValueExA(key, "FileLoggingLevel", 0, REG_DWORD, (const BYTE *)level,
                   sizeof *level);
  else
    RegDeleteValueA(key, "FileLoggingLevel");
  RegCloseKey(key);
}

std::string TraceFolder() {
  char path[MAX_PATH];
  SHGetFolderPathA(NULL, CSIDL_APPDATA, NULL, 0, path);
  std::string s = path;
  if (s.empty() || s.back() != '\\')
    s += '\\';
  return s + QV_PRODUCT_FOLDER;
}

std::vector<std::string> TraceFiles() {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((TraceFolder() + "\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE)
    return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      names.push_back(found.cFileName);
  } while (FindNextFileA(h, &found));
  FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

void EmptyTraceFolder() {
  for (const std::string &name : TraceFiles())
    DeleteFileA((TraceFolder() + "\\" + name).c_str());
  RemoveDirectoryA(TraceFolder().c_str());
}

std::string NewClientFolder(const char *tag, unsigned waitMs) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string folder = std::string(temp) + "qv-client-" + tag;
  CreateDirectoryA(folder.c_str(), NULL);
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do
      DeleteFileA((folder + "\\" + found.cFileName).c_str());
    while (FindNextFileA(h, &found));
    FindClose(h);
  }
  SetEnvironmentVariableA("QV_CLIENT_DIR", folder.c_str());
  char wait[16];
  snprintf(wait, sizeof wait, "%u", waitMs);
  SetEnvironmentVariableA("QV_CLIENT_WAIT_MS", wait);
  return folder;
}

std::vector<std::string> ClientRecords(const std::string &folder) {
  std::vector<std::string> records;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "\\client-*.txt").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE)
    return records;
  do
    records.push_back(ReadWholeFile(folder + "\\" + found.cFileName));
  while (FindNextFileA(h, &found));
  FindClose(h);
  std::sort(records.begin(), records.end());
  return records;
}
