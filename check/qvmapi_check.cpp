// qvmapi-check: tells an administrator why "send as mail" does not work on
// this machine for this user. It reads only: the registry, the DLLs' PE
// headers and version resources (read from the files, never loaded), the
// client program's headers and the trace folder. It loads nothing from its
// own folder. The rules are the library's own: the client
// path rule (CheckClientPath), the log level (ReadLogLevel), the trace
// folder and its numbering (GetTraceFolder, ListUsedNumbers).
#include <windows.h>

#include <shellapi.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "handoff/client_path.h"
#include "handoff/handoff.h"
#include "handoff/registration.h"
#include "mapi/mapi_types.h"
#include "platform/alloc.h"
#include "trace/startup.h"
#include "trace/trace_file.h"
#include "trace/trace_state.h"

namespace {

const unsigned kLogWarningAt = 900;

const char kHelp[] =
    "usage: qvmapi-check [--send-test] [--help]\n"
    "       qvmapi-check --client-path \"C:\\...\\client.exe\"\n"
    "       qvmapi-check --is-default\n"
    "\n"
    "Checks, reading only, why \"send as mail\" might not work for the user\n"
    "who runs it, and prints one line per check: \"ok: ...\", \"warning: "
    "...\", or\n"
    "\"problem: ...\" with what to do about it; then a summary line.\n"
    "\n"
    "  1. the default mail client this user gets: a per-user default\n"
    "     (HKEY_CURRENT_USER\\Software\\Clients\\Mail) overrides the "
    "machine's;\n"
    "     it must be \"Outlook Web Access\";\n"
    "  2. DLLPath: present, the file there, a 64-bit DLL exporting\n"
    "     MAPISendMail and MAPISendMailW (read from its headers, not "
    "loaded),\n"
    "     and its file version;\n"
    "  3. the 32-bit copy that 32-bit applications load through the same\n"
    "     DLLPath (SysWOW64): present, a 32-bit DLL, the same version;\n"
    "  4. the client command: present, a string, a full path to an .exe\n"
    "     program (the rule qvmapi.dll applies before it starts a client),\n"
    "     and the program file there;\n"
    "  5. this user's trace log: off or its mode, the folder, how many\n"
    "     numbered files it holds (a problem at 1000: no further log is\n"
    "     opened; a warning from 900), the newest file.\n"
    "\n"
    "  --send-test  after the checks, sends a short test message through the\n"
    "               system's mapi32.dll (MAPISendMailW), as an application\n"
    "               does, and reports the result code. The mail client\n"
    "               opens with the message; close it or send it.\n"
    "  --client-path PATH\n"
    "               checks only PATH, before it is registered, by the rule\n"
    "               qvmapi.dll applies: exit code 0 when it may be started.\n"
    "  --is-default exit code 0 when \"Outlook Web Access\" is the machine's\n"
    "               default mail client, 1 otherwise (for scripts).\n"
    "  --help       this text.\n"
    "\n"
    "Exit code: 0 when every check passed, 1 when any found a problem, 2 for\n"
    "bad usage.\n";

struct Report {
  int checks = 0;
  int problems = 0;
};

std::string Utf8(const std::wstring &text) {
  if (text.empty())
    return "";
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL,
                              0, NULL, NULL);
  std::string out(n > 0 ? (size_t)n : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], n,
                        NULL, NULL);
  return out;
}

std::string Quoted(const std::wstring &text) {
  return "\"" + Utf8(text) + "\"";
}

void Ok(Report *r, const std::string &what) {
  r->checks++;
  printf("ok: %s\n", what.c_str());
}

void Problem(Report *r, const std::string &what, const std::string &todo) {
  r->checks++;
  r->problems++;
  printf("problem: %s. %s\n", what.c_str(), todo.c_str());
}

void Warning(const std::string &what) { printf("warning: %s\n", what.c_str()); }

bool Same(const std::wstring &a, const std::wstring &b) {
  return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

// A string value of root\key, as RegGetValueW gives it (REG_EXPAND_SZ
// expanded); false when there is none.
bool ReadString(HKEY root, const wchar_t *key, const wchar_t *name,
                std::wstring *out) {
  DWORD size = 0;
  DWORD flags = RRF_RT_REG_SZ; // a REG_EXPAND_SZ is expanded to one
  if (RegGetValueW(root, key, name, flags, NULL, NULL, &size) != ERROR_SUCCESS)
    return false;
  std::vector<wchar_t> value(size / sizeof(wchar_t) + 1, 0);
  if (RegGetValueW(root, key, name, flags, NULL, value.data(), &size) !=
      ERROR_SUCCESS)
    return false;
  *out = value.data();
  return true;
}

bool Exists(const std::wstring &path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// What the PE headers of a file say, read from the file (never loaded).
struct PeFile {
  bool pe = false; // a PE image at all
  WORD machine = 0;
  bool dll = false;
  std::vector<std::string> exports;
  std::string version; // "a.b.c.d" of its version resource, or ""
};

bool ReadWhole(const std::wstring &path, std::vector<unsigned char> *bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         NULL, OPEN_EXISTING, 0, NULL);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  LARGE_INTEGER size;
  bool ok = GetFileSizeEx(h, &size) && size.QuadPart < (64 << 20);
  if (ok) {
    bytes->resize((size_t)size.QuadPart);
    DWORD got = 0;
    ok = bytes->empty() ||
         (ReadFile(h, bytes->data(), (DWORD)bytes->size(), &got, NULL) &&
          got == bytes->size());
  }
  CloseHandle(h);
  return ok;
}

// Every offset is checked against the file: the file may be anything.
PeFile ReadPe(const std::wstring &path) {
  PeFile pe;
  std::vector<unsigned char> f;
  if (!ReadWhole(path, &f) || f.size() < 0x40 || f[0] != 'M' || f[1] != 'Z')
    return pe;
  auto u16 = [&](size_t at) -> unsigned {
    return at + 2 <= f.size() ? (unsigned)(f[at] | f[at + 1] << 8) : 0;
  };
  auto u32 = [&](size_t at) -> unsigned long {
    return at + 4 <= f.size()
               ? (unsigned long)f[at] | (unsigned long)f[at + 1] << 8 |
                     (unsigned long)f[at + 2] << 16 |
                     (unsigned long)f[at + 3] << 24
               : 0;
  };
  size_t nt = u32(0x3C);
  if (nt + 24 > f.size() || memcmp(&f[nt], "PE\0\0", 4) != 0)
    return pe;
  pe.pe = true;
  pe.machine = (WORD)u16(nt + 4);
  unsigned sections = u16(nt + 6);
  unsigned optionalSize = u16(nt + 20);
  pe.dll = (u16(nt + 22) & IMAGE_FILE_DLL) != 0;
  size_t optional = nt + 24;
  unsigned magic = u16(optional);
  size_t directories = optional + (magic == 0x20B ? 112 : 96);
  if (directories + 8 > optional + optionalSize)
    return pe;
  unsigned long exportRva = u32(directories);
  size_t sectionTable = optional + optionalSize;
  auto offsetOf = [&](unsigned long rva) -> size_t {
    for (unsigned i = 0; i < sections; i++) {
      size_t s = sectionTable + i * 40;
      unsigned long va = u32(s + 12), virtualSize = u32(s + 8),
                    raw = u32(s + 20), rawSize = u32(s + 16);
      unsigned long span = virtualSize > rawSize ? virtualSize : rawSize;
      if (rva >= va && rva < va + span && rva - va < rawSize)
        return raw + (rva - va);
    }
    return 0;
  };
  // The version resource: type 16 (RT_VERSION), its first name and
  // language, whose data holds VS_FIXEDFILEINFO after its signature.
  unsigned long resourceRva = u32(directories + 16);
  size_t resources = resourceRva ? offsetOf(resourceRva) : 0;
  auto entryOf = [&](size_t dir, long id) -> unsigned long {
    unsigned count = u16(dir + 12) + u16(dir + 14);
    for (unsigned i = 0; dir && i < count && i < 256; i++) {
      size_t e = dir + 16 + 8 * i;
      if (id < 0 || u32(e) == (unsigned long)id)
        return u32(e + 4);
    }
    return 0;
  };
  unsigned long level = resources ? entryOf(resources, 16) : 0;
  for (int depth = 0; depth < 2 && (level & 0x80000000ul); depth++)
    level = entryOf(resources + (level & 0x7FFFFFFFul), -1);
  if (level && !(level & 0x80000000ul) && resources + level + 8 <= f.size()) {
    size_t data = offsetOf(u32(resources + level));
    size_t size = u32(resources + level + 4);
    for (size_t at = data;
         data && at + 16 <= data + size && at + 16 <= f.size(); at += 4)
      if (u32(at) == 0xFEEF04BDul) {
        unsigned long ms = u32(at + 8), ls = u32(at + 12);
        pe.version =
            std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
            std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
        break;
      }
  }
  size_t exportDir = exportRva ? offsetOf(exportRva) : 0;
  if (!exportDir || exportDir + 40 > f.size())
    return pe;
  unsigned long names = u32(exportDir + 24);
  size_t nameTable = offsetOf(u32(exportDir + 32));
  for (unsigned long i = 0; nameTable && i < names && i < 4096; i++) {
    size_t name = offsetOf(u32(nameTable + 4 * i));
    std::string text;
    while (name && name < f.size() && f[name] && text.size() < 256)
      text += (char)f[name++];
    pe.exports.push_back(text);
  }
  return pe;
}

bool Exports(const PeFile &pe, const char *name) {
  for (const std::string &e : pe.exports)
    if (e == name)
      return true;
  return false;
}

// "a.b.c.d", or "" when the file has no version resource. Read from the
// file: GetFileVersionInfo would load it.
std::string FileVersion(const std::wstring &path) {
  return ReadPe(path).version;
}

const char kInstall[] =
    "Install qvmapi with its MSI (msiexec /i qvmapi-...-x64.msi /qn "
    "CLIENTPATH=\"C:\\...\\client.exe\" MAKEDEFAULT=1)";

void CheckDefaultClient(Report *r) {
  std::wstring user, machine;
  bool hasUser =
      ReadString(HKEY_CURRENT_USER, kMailKey, L"", &user) && !user.empty();
  bool hasMachine = ReadString(HKEY_LOCAL_MACHINE, kMailKey, L"", &machine) &&
                    !machine.empty();
  if (hasUser) {
    if (Same(user, kClientName))
      Ok(r, "this user's default mail client is \"Outlook Web Access\" (a "
            "per-user default, which overrides the machine's)");
    else
      Problem(r,
              "this user has a per-user default mail client, " + Quoted(user) +
                  " (HKEY_CURRENT_USER\\Software\\Clients\\Mail), which "
                  "overrides the machine's" +
                  (hasMachine ? " (" + Quoted(machine) + ")" : ""),
              "Remove it (reg delete \"HKCU\\Software\\Clients\\Mail\" /ve /f) "
              "or choose \"Outlook Web Access\" for this user; installed "
              "with MAKEDEFAULT=1, qvmapi removes every user's own default "
              "at their next logon (Active Setup)");
    return;
  }
  if (!hasMachine)
    Problem(r, "no default mail client is set",
            std::string(kInstall) +
                ", or run register.cmd \"C:\\...\\client.exe\" /default");
  else if (!Same(machine, kClientName))
    Problem(r,
            "the default mail client is " + Quoted(machine) +
                ", not \"Outlook Web Access\"",
            "Make it the default: msiexec ... MAKEDEFAULT=1, or "
            "register.cmd \"C:\\...\\client.exe\" /default");
  else
    Ok(r, "the default mail client is \"Outlook Web Access\" (the "
          "machine's; this user has none of their own)");
}

// A DLL of the given machine exporting both MAPISendMail entries; the
// problem, or "" when there is none.
std::string DllProblem(const std::wstring &path, WORD machine) {
  if (!Exists(path))
    return Quoted(path) + " does not exist";
  PeFile pe = ReadPe(path);
  if (!pe.pe || !pe.dll)
    return Quoted(path) + " is not a DLL";
  if (pe.machine != machine)
    return Quoted(path) + " is a " +
           (pe.machine == IMAGE_FILE_MACHINE_I386 ? "32-bit" : "foreign") +
           " DLL, not a " +
           (machine == IMAGE_FILE_MACHINE_AMD64 ? "64-bit" : "32-bit") + " one";
  if (!Exports(pe, "MAPISendMail") || !Exports(pe, "MAPISendMailW"))
    return Quoted(path) + " does not export MAPISendMail and MAPISendMailW";
  return "";
}

// Returns the 64-bit DLL's path and version when it passed.
bool CheckDllPath(Report *r, std::wstring *dll, std::string *version) {
  if (!ReadString(HKEY_LOCAL_MACHINE, kClientKey, L"DLLPath", dll)) {
    Problem(r,
            "DLLPath is missing (HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\"
            "Outlook Web Access): no application can load qvmapi.dll",
            kInstall);
    return false;
  }
  std::string problem = DllProblem(*dll, IMAGE_FILE_MACHINE_AMD64);
  if (!problem.empty()) {
    Problem(r, "DLLPath: " + problem,
            "Point DLLPath at the 64-bit qvmapi.dll. " + std::string(kInstall));
    return false;
  }
  *version = FileVersion(*dll);
  Ok(r, "DLLPath: " + Quoted(*dll) +
            ", a 64-bit DLL exporting MAPISendMail and MAPISendMailW, file "
            "version " +
            (version->empty() ? "unknown" : *version));
  return true;
}

void Check32BitCopy(Report *r, const std::wstring &dll,
                    const std::string &version) {
  wchar_t system[MAX_PATH], wow[MAX_PATH];
  UINT n = GetSystemDirectoryW(system, MAX_PATH);
  if (!GetSystemWow64DirectoryW(wow, MAX_PATH)) {
    Ok(r, "this Windows runs no 32-bit applications");
    return;
  }
  std::wstring folder(system, n);
  if (dll.size() <= folder.size() + 1 ||
      !Same(dll.substr(0, folder.size()), folder) ||
      dll[folder.size()] != L'\\') {
    Problem(r,
            "DLLPath is not in the 64-bit system folder, so 32-bit "
            "applications load that same 64-bit DLL and cannot send mail",
            "Install qvmapi with its MSI: it places the 32-bit DLL where "
            "Windows sends 32-bit applications that load DLLPath");
    return;
  }
  std::wstring copy = std::wstring(wow) + dll.substr(folder.size());
  if (!Exists(copy)) {
    Problem(r,
            "the 32-bit copy " + Quoted(copy) +
                " is missing: 32-bit applications cannot send mail",
            kInstall);
    return;
  }
  std::string problem = DllProblem(copy, IMAGE_FILE_MACHINE_I386);
  if (!problem.empty()) {
    Problem(r, "the 32-bit copy: " + problem, kInstall);
    return;
  }
  std::string copyVersion = FileVersion(copy);
  if (copyVersion != version) {
    Problem(r,
            "the 32-bit copy " + Quoted(copy) + " has version " + copyVersion +
                ", the 64-bit DLL " + version,
            "Install both from one release: " + std::string(kInstall));
    return;
  }
  Ok(r, "the 32-bit copy " + Quoted(copy) +
            " is a 32-bit DLL of the same version");
}

const char kRegisterClient[] =
    "Register the mail client's program file itself, a full path to its "
    ".exe without quotes or arguments (msiexec ... CLIENTPATH=\"C:\\...\\"
    "client.exe\", or register.cmd \"C:\\...\\client.exe\")";

bool HasWow64(void) {
  wchar_t wow[MAX_PATH];
  return GetSystemWow64DirectoryW(wow, MAX_PATH) != 0;
}

// What a 32-bit process makes of a REG_EXPAND_SZ command: its environment
// names the "(x86)" folders and an x86 processor. The 32-bit DLL starts a
// System32 path as a 64-bit process names it.
bool ExpandedFor32BitApplications(const WCHAR *data, std::wstring *path) {
  if (!HasWow64())
    return false;
  static const wchar_t *const kNames[][2] = {
      {L"ProgramFiles", L"ProgramFiles(x86)"},
      {L"CommonProgramFiles", L"CommonProgramFiles(x86)"},
      {L"PROCESSOR_ARCHITECTURE", NULL}};
  std::wstring saved[3];
  bool had[3];
  for (int i = 0; i < 3; i++) {
    wchar_t value[MAX_PATH] = L"";
    had[i] = GetEnvironmentVariableW(kNames[i][0], value, MAX_PATH) > 0;
    saved[i] = value;
    wchar_t x86[MAX_PATH] = L"x86";
    if (kNames[i][1])
      GetEnvironmentVariableW(kNames[i][1], x86, MAX_PATH);
    SetEnvironmentVariableW(kNames[i][0], x86);
  }
  WCHAR expanded[MAX_PATH];
  bool ok =
      ::CheckClientCommand(REG_EXPAND_SZ, data, expanded) == CLIENT_PATH_OK;
  for (int i = 0; i < 3; i++)
    SetEnvironmentVariableW(kNames[i][0], had[i] ? saved[i].c_str() : NULL);
  *path = ok ? expanded : L"(nothing: the rule refuses it)";
  return true;
}

// The command as qvmapi.dll reads and judges it (ReadRegistryString,
// CheckClientCommand): the same verdict, the same words.
void CheckCommand(Report *r) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCommandKey, 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    Problem(r,
            "no client command is registered (HKEY_LOCAL_MACHINE\\"
            "SOFTWARE\\Clients\\Mail\\Outlook Web Access\\shell\\open\\"
            "command)",
            kRegisterClient);
    return;
  }
  RegCloseKey(key);
  WCHAR *value = NULL;
  DWORD size = 0, type = 0;
  if (ReadRegistryString(HKEY_LOCAL_MACHINE, kCommandKey, L"", &value, &size,
                         &type) != 1) {
    Problem(r, "the client command key has no default value", kRegisterClient);
    return;
  }
  struct Owned {
    WCHAR *block;
    ~Owned() { QvFree(block); }
  } owned = {value};
  WCHAR path[MAX_PATH];
  ClientPathVerdict verdict = ::CheckClientCommand(type, value, path);
  std::wstring data = value;
  if (verdict == CLIENT_PATH_NOT_STRING) {
    Problem(r,
            std::string(ClientPathVerdictText(verdict)) + " (registry type " +
                std::to_string(type) + "); qvmapi.dll refuses to start it",
            kRegisterClient);
    return;
  }
  std::string shown = "the client command " + Quoted(data) +
                      (type == REG_EXPAND_SZ && verdict == CLIENT_PATH_OK
                           ? " (expanded: " + Quoted(path) + ")"
                           : "");
  if (verdict != CLIENT_PATH_OK) {
    Problem(r,
            shown + ": " + ClientPathVerdictText(verdict) +
                "; qvmapi.dll refuses to start it",
            kRegisterClient);
    return;
  }
  if (!Exists(path)) {
    Problem(r, "the client program " + Quoted(path) + " does not exist",
            kRegisterClient);
    return;
  }
  std::wstring path32;
  if (type == REG_EXPAND_SZ && ExpandedFor32BitApplications(value, &path32) &&
      !Same(path32, path)) {
    Problem(r,
            shown + ", but 32-bit applications start " + Quoted(path32) +
                " from it",
            "Register a command that names the same program for both, such "
            "as a REG_SZ full path");
    return;
  }
  PeFile pe = ReadPe(path);
  if (!pe.pe || pe.dll) {
    Problem(r, shown + " is not a Windows program", kRegisterClient);
    return;
  }
  Ok(r, shown + ", a Windows program" +
            (type == REG_EXPAND_SZ && HasWow64()
                 ? " (32-bit applications start the same file)"
                 : ""));
}

// --client-path: a path judged by the rule before it is registered.
int CheckOnePath(const wchar_t *path) {
  ClientPathVerdict verdict = CheckClientPath(path);
  if (verdict == CLIENT_PATH_OK) {
    printf("ok: %s is %s\n", Quoted(path).c_str(),
           ClientPathVerdictText(verdict));
    return 0;
  }
  printf("problem: %s: %s (%s)\n", Quoted(path).c_str(),
         ClientPathVerdictText(verdict), ClientPathVerdictWord(verdict));
  return 1;
}

void CheckTraceLog(Report *r) {
  DWORD level = ReadLogLevel();
  std::string mode = level == 0   ? "off"
                     : level == 2 ? "on, open-per-line mode"
                                  : "on, keep-open mode (FileLoggingLevel " +
                                        std::to_string(level) + ")";
  char folder[TRACE_PATH_SIZE];
  if (!GetTraceFolder(folder)) {
    Ok(r, "the trace log is " + mode +
              "; this user has no application-data folder for it");
    return;
  }
  unsigned char used[TRACE_MAX_LOG_NUMBERS + 1] = {};
  ListUsedNumbers(folder, TRACE_LOG_PREFIX, used);
  unsigned count = 0;
  for (unsigned i = 1; i <= TRACE_MAX_LOG_NUMBERS; i++)
    count += used[i];
  std::string newest;
  FILETIME newestTime = {0, 0};
  WIN32_FIND_DATAA found;
  std::string pattern = std::string(folder) + TRACE_LOG_PREFIX "*";
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (CompareFileTime(&found.ftLastWriteTime, &newestTime) > 0) {
        newestTime = found.ftLastWriteTime;
        newest = found.cFileName;
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  std::string where = "folder \"" + std::string(folder) + "\"";
  if (count >= TRACE_MAX_LOG_NUMBERS) {
    Problem(r,
            "the trace log is " + mode + "; all " +
                std::to_string(TRACE_MAX_LOG_NUMBERS) +
                " log numbers are used in the " + where +
                ": no further log is opened",
            "Delete or move old MAPI_*.LOG files from that folder");
    return;
  }
  Ok(r, "the trace log is " + mode + "; " + where + " holds " +
            std::to_string(count) + " numbered log file" +
            (count == 1 ? "" : "s") +
            (newest.empty() ? "" : ", the newest " + newest));
  if (count >= kLogWarningAt)
    Warning(std::to_string(count) + " of " +
            std::to_string(TRACE_MAX_LOG_NUMBERS) +
            " log numbers are used: delete old MAPI_*.LOG files before the "
            "log stops");
}

typedef ULONG(WINAPI *SendMailWFn)(LHANDLE, ULONG_PTR, lpMapiMessageW, FLAGS,
                                   ULONG);

void SendTest(Report *r) {
  // The system's stub, from System32 only: this program is unpacked into a
  // folder an administrator picks and run elevated, and a mapi32.dll beside
  // it would otherwise be loaded first.
  HMODULE stub =
      LoadLibraryExW(L"mapi32.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
  SendMailWFn send =
      stub ? (SendMailWFn)(void *)GetProcAddress(stub, "MAPISendMailW") : NULL;
  if (!send) {
    Problem(r,
            "the system's mapi32.dll cannot be loaded or lacks "
            "MAPISendMailW",
            "Repair Windows' Simple MAPI stub (mapi32.dll)");
    if (stub)
      FreeLibrary(stub);
    return;
  }
  MapiMessageW msg = {};
  msg.lpszSubject = (PWSTR)L"qvmapi-check test message";
  msg.lpszNoteText =
      (PWSTR)L"This message was sent by qvmapi-check --send-test.";
  ULONG rc = send(0, 0, &msg, MAPI_DIALOG, 0);
  FreeLibrary(stub);
  if (rc == SUCCESS_SUCCESS)
    Ok(r, "the test message went through mapi32.dll: MAPISendMailW returned "
          "0 (SUCCESS_SUCCESS)");
  else
    Problem(r,
            "the test message through mapi32.dll: MAPISendMailW returned " +
                std::to_string(rc) +
                (rc == MAPI_E_FAILURE ? " (MAPI_E_FAILURE)" : ""),
            "See the problems above, and docs/results.md");
}

} // namespace

// --is-default: 0 when "Outlook Web Access" is the machine's default mail
// client, 1 otherwise; for scripts, which cannot read reg.exe's translated
// output.
int IsMachineDefault(void) {
  std::wstring machine;
  return ReadString(HKEY_LOCAL_MACHINE, kMailKey, L"", &machine) &&
                 machine == kClientName
             ? 0
             : 1;
}

int main(int argc, char **argv) {
  // Nothing is loaded from this program's own folder, whatever a DLL the
  // process uses asks for.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetConsoleOutputCP(CP_UTF8);
  bool sendTest = false;
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "--client-path") == 0 && i + 1 < argc) {
      // The path as given, in UTF-16: argv is the ANSI view of it.
      int count = 0;
      wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
      int rc = wide && count == argc ? CheckOnePath(wide[i + 1]) : 2;
      LocalFree(wide);
      return rc;
    }
    if (strcmp(argv[i], "--is-default") == 0)
      return IsMachineDefault();
    if (strcmp(argv[i], "--send-test") == 0) {
      sendTest = true;
    } else if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "/?") == 0) {
      fputs(kHelp, stdout);
      return 0;
    } else {
      fprintf(stderr, "qvmapi-check: unknown argument \"%s\"\n\n%s", argv[i],
              kHelp);
      return 2;
    }
  }
  Report r;
  CheckDefaultClient(&r);
  std::wstring dll;
  std::string version;
  if (CheckDllPath(&r, &dll, &version))
    Check32BitCopy(&r, dll, version);
  CheckCommand(&r);
  CheckTraceLog(&r);
  if (sendTest)
    SendTest(&r);
  printf("summary: %d checks, %s\n", r.checks,
         r.problems ? (std::to_string(r.problems) + " found a problem").c_str()
                    : "no problems");
  return r.problems ? 1 : 0;
}
