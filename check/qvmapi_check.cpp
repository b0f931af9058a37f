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
#include "include/qvmapi/mapi.h"
#include "include/qvmapi/registry.h"
#include "platform/platform.h"
#include "trace/startup.h"
#include "trace/trace_file.h"
#include "trace/trace_state.h"

static const wchar_t kMailKey[] = QV_WIDE(QV_MAIL_KEY);
static const wchar_t kClientKey[] = QV_WIDE(QV_CLIENT_KEY);
static const wchar_t kCommandKey[] = QV_WIDE(QV_COMMAND_KEY);
static const wchar_t kClientName[] = QV_WIDE(QV_CLIENT_NAME);

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
    "     it must be \"Outlook Web Access\", a key that exists under\n"
    "     HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail;\n"
    "  2. what Windows' Simple MAPI stub loads from that key: the DLL of\n"
    "     MSIComponentID, else DLLPathEx, else DLLPath (expanded where they\n"
    "     are REG_EXPAND_SZ); neither of the first two may name another "
    "DLL\n"
    "     (the installer and register.cmd remove them, and give them back\n"
    "     on removal);\n"
    "  3. DLLPath: present, the file there, a 64-bit DLL exporting\n"
    "     MAPISendMail and MAPISendMailW (read from its headers, not "
    "loaded),\n"
    "     and its file version;\n"
    "  4. the 32-bit copy that 32-bit applications load through the same\n"
    "     DLLPath (SysWOW64): present, a 32-bit DLL, the same version;\n"
    "  5. HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows Messaging "
    "Subsystem\\\n"
    "     MSMapiApps, in the 64-bit and the 32-bit view: no program routed\n"
    "     to another mail client or to the system's own MAPI;\n"
    "  6. MAPI = \"1\" under ...\\Windows Messaging Subsystem, in the "
    "64-bit\n"
    "     and the 32-bit view: applications test it before they offer\n"
    "     \"send as mail\" (the installer leaves it as Windows has it);\n"
    "  7. the client command: present, a string, a full path to an .exe\n"
    "     program (the rule qvmapi.dll applies before it starts a client),\n"
    "     and the program file there;\n"
    "  8. this user's trace log: off or its mode, the folder, how many\n"
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

// A registry view: the 64-bit one, or the one 32-bit applications see
// (Wow6432Node), with the reg.exe switch that names it.
struct View {
  REGSAM sam;
  const char *name;
  const char *regSwitch;
  const char *applications; // whose view it is
};
const View k64BitView = {KEY_WOW64_64KEY, "64-bit view", "", "64-bit"};
const View k32BitView = {KEY_WOW64_32KEY, "32-bit view (Wow6432Node)",
                         " /reg:32", "32-bit"};

// A string value of root\key, as RegGetValueW gives it (REG_EXPAND_SZ
// expanded); false when there is none or it is not a string. The 64-bit
// view unless told: the one 64-bit Windows shares with 32-bit applications
// for SOFTWARE\Clients.
bool ReadString(HKEY root, const wchar_t *key, const wchar_t *name,
                std::wstring *out, REGSAM view = KEY_WOW64_64KEY) {
  HKEY k;
  if (RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | view, &k) != ERROR_SUCCESS)
    return false;
  DWORD size = 0;
  DWORD flags = RRF_RT_REG_SZ; // a REG_EXPAND_SZ is expanded to one
  bool ok = RegGetValueW(k, NULL, name, flags, NULL, NULL, &size) ==
            ERROR_SUCCESS;
  if (ok) {
    std::vector<wchar_t> value(size / sizeof(wchar_t) + 1, 0);
    ok = RegGetValueW(k, NULL, name, flags, NULL, value.data(), &size) ==
         ERROR_SUCCESS;
    if (ok)
      *out = value.data();
  }
  RegCloseKey(k);
  return ok;
}

// The type of a value of HKEY_LOCAL_MACHINE\key; false when there is none.
bool ValueType(const wchar_t *key, const wchar_t *name, REGSAM view,
               DWORD *type) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | view, &k) !=
      ERROR_SUCCESS)
    return false;
  bool found =
      RegQueryValueExW(k, name, NULL, type, NULL, NULL) == ERROR_SUCCESS;
  RegCloseKey(k);
  return found;
}

bool KeyExists(const std::wstring &key) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0,
                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, &k) != ERROR_SUCCESS)
    return false;
  RegCloseKey(k);
  return true;
}

bool Exists(const std::wstring &path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// What the PE headers of a file say, read from the file (never loaded).
struct PeView {
  WORD machine = 0;
  std::vector<std::string> exports;  // names
  std::vector<std::string> forwards; // "dll.name" for a forwarder, else ""
};
struct PeFile : PeView {
  bool pe = false; // a PE image at all
  bool dll = false;
  bool arm64x = false; // an ARM64 image with an x64 (EC) view as well
  PeView ec;           // the x64 view of an Arm64X file
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

// Reads the image's headers, exports, version resource and (for Arm64X)
// the dynamic relocations that make its x64 view. Every offset is checked
// against the file: the file may be anything.
struct Image {
  const std::vector<unsigned char> &f;
  size_t nt = 0, optional = 0, directories = 0, sectionTable = 0;
  unsigned sections = 0;
  unsigned u16(size_t at) const {
    return at + 2 <= f.size() ? (unsigned)(f[at] | f[at + 1] << 8) : 0;
  }
  unsigned long u32(size_t at) const {
    return at + 4 <= f.size()
               ? (unsigned long)f[at] | (unsigned long)f[at + 1] << 8 |
                     (unsigned long)f[at + 2] << 16 |
                     (unsigned long)f[at + 3] << 24
               : 0;
  }
  unsigned long long u64(size_t at) const {
    return u32(at) | (unsigned long long)u32(at + 4) << 32;
  }
  // The file offset of an RVA, 0 when no section holds it; the headers
  // are at their RVAs.
  size_t OffsetOf(unsigned long rva) const {
    if (rva && rva < sectionTable + 40 * sections && rva < f.size())
      return rva;
    for (unsigned i = 0; i < sections; i++) {
      size_t s = sectionTable + i * 40;
      unsigned long va = u32(s + 12), virtualSize = u32(s + 8),
                    raw = u32(s + 20), rawSize = u32(s + 16);
      unsigned long span = virtualSize > rawSize ? virtualSize : rawSize;
      if (rva >= va && rva < va + span && rva - va < rawSize)
        return raw + (rva - va);
    }
    return 0;
  }
  bool Headers() {
    if (f.size() < 0x40 || f[0] != 'M' || f[1] != 'Z')
      return false;
    nt = u32(0x3C);
    if (nt + 24 > f.size() || memcmp(&f[nt], "PE\0\0", 4) != 0)
      return false;
    sections = u16(nt + 6);
    unsigned optionalSize = u16(nt + 20);
    optional = nt + 24;
    directories = optional + (u16(optional) == 0x20B ? 112 : 96);
    sectionTable = optional + optionalSize;
    return directories + 16 * 8 <= sectionTable && sections < 96;
  }
  unsigned long Directory(int index, unsigned long *size = NULL) const {
    if (size)
      *size = u32(directories + 8 * index + 4);
    return u32(directories + 8 * index);
  }
  std::string Text(size_t at, size_t limit = 256) const {
    std::string text;
    while (at && at < f.size() && f[at] && text.size() < limit)
      text += (char)f[at++];
    return text;
  }
  // The machine and the exports.
  void View(PeView *view) const {
    view->machine = (WORD)u16(nt + 4);
    unsigned long dirSize = 0, dirRva = Directory(0, &dirSize);
    size_t dir = dirRva ? OffsetOf(dirRva) : 0;
    if (!dir || dir + 40 > f.size())
      return;
    unsigned long names = u32(dir + 24), functions = u32(dir + 20);
    size_t nameTable = OffsetOf(u32(dir + 32));
    size_t ordinalTable = OffsetOf(u32(dir + 36));
    size_t functionTable = OffsetOf(u32(dir + 28));
    for (unsigned long i = 0; nameTable && i < names && i < 4096; i++) {
      view->exports.push_back(Text(OffsetOf(u32(nameTable + 4 * i))));
      unsigned index = ordinalTable ? u16(ordinalTable + 2 * i) : functions;
      unsigned long rva = functionTable && index < functions
                              ? u32(functionTable + 4 * index)
                              : 0;
      // A function inside the export directory is a forwarder's text.
      bool forwarded = rva >= dirRva && rva < dirRva + dirSize;
      view->forwards.push_back(forwarded ? Text(OffsetOf(rva)) : "");
    }
  }
  std::string Version() const {
    // The version resource: type 16 (RT_VERSION), its first name and
    // language, whose data holds VS_FIXEDFILEINFO after its signature.
    size_t resources = Directory(2) ? OffsetOf(Directory(2)) : 0;
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
    if (!level || (level & 0x80000000ul) || resources + level + 8 > f.size())
      return "";
    size_t data = OffsetOf(u32(resources + level));
    size_t size = u32(resources + level + 4);
    for (size_t at = data;
         data && at + 16 <= data + size && at + 16 <= f.size(); at += 4)
      if (u32(at) == 0xFEEF04BDul) {
        unsigned long ms = u32(at + 8), ls = u32(at + 12);
        return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) +
               "." + std::to_string(ls >> 16) + "." +
               std::to_string(ls & 0xFFFF);
      }
    return "";
  }
  // An ARM64 image whose load configuration names CHPE metadata carries an
  // x64 view: its ARM64X dynamic relocations rewrite the headers (machine,
  // export directory, ...) for it. Applies them to a copy of the file.
  bool Arm64XView(std::vector<unsigned char> *view) const {
    if (u16(nt + 4) != IMAGE_FILE_MACHINE_ARM64)
      return false;
    size_t config = Directory(10) ? OffsetOf(Directory(10)) : 0;
    if (!config || u32(config) < 0xE8 || !u64(config + 0xC8))
      return false;
    unsigned long tableOffset = u32(config + 0xE0);
    unsigned section = u16(config + 0xE4);
    if (!section || section > sections)
      return false;
    size_t table = u32(sectionTable + (section - 1) * 40 + 20) + tableOffset;
    if (u32(table) != 1)
      return false;
    *view = f;
    size_t end = table + 8 + u32(table + 4);
    for (size_t at = table + 8; at + 12 <= end && at + 12 <= f.size();) {
      unsigned long long symbol = u64(at);
      size_t relocEnd = at + 12 + u32(at + 8);
      at += 12;
      for (size_t block = at; symbol == 6 && block + 8 <= relocEnd;) {
        unsigned long page = u32(block), blockSize = u32(block + 4);
        if (blockSize < 8)
          break;
        for (size_t e = block + 8; e + 2 <= block + blockSize;) {
          unsigned h = u16(e);
          e += 2;
          unsigned kind = (h >> 12) & 3, meta = (h >> 14) & 3;
          size_t target = OffsetOf(page + (h & 0xFFF));
          if (kind == 2) { // a delta: a scaled 16-bit count, not needed here
            e += 2;
            continue;
          }
          size_t size = (size_t)1 << meta;
          for (size_t b = 0; b < size && target && target + b < view->size();
               b++)
            (*view)[target + b] = kind == 1 && e + b < f.size() ? f[e + b] : 0;
          if (kind == 1)
            e += size;
        }
        block += blockSize;
      }
      at = relocEnd;
    }
    return true;
  }
};

PeFile ReadPe(const std::wstring &path) {
  PeFile pe;
  std::vector<unsigned char> bytes;
  if (!ReadWhole(path, &bytes))
    return pe;
  Image image = {bytes};
  if (!image.Headers())
    return pe;
  pe.pe = true;
  pe.dll = (image.u16(image.nt + 22) & IMAGE_FILE_DLL) != 0;
  image.View(&pe);
  pe.version = image.Version();
  std::vector<unsigned char> viewBytes;
  if (image.Arm64XView(&viewBytes)) {
    Image ec = {viewBytes};
    if (ec.Headers()) {
      pe.arm64x = true;
      ec.View(&pe.ec);
    }
  }
  return pe;
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
    // Windows' stub looks the name up under the machine's client keys.
    if (!KeyExists(std::wstring(kMailKey) + L"\\" + user))
      Problem(r,
              "this user's per-user default mail client, " + Quoted(user) +
                  " (HKEY_CURRENT_USER\\Software\\Clients\\Mail), names "
                  "no client key: HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\"
                  "Mail\\" +
                  Utf8(user) + " does not exist, so no DLL is loaded for it",
              "Remove it (reg delete \"HKCU\\Software\\Clients\\Mail\" /ve "
              "/f) or install the client it names");
    else if (Same(user, kClientName))
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

// The machine this Windows runs natively: ARM64 on Windows on ARM, where
// this (x64) program runs emulated.
WORD NativeMachine(void) {
  typedef BOOL(WINAPI * IsWow64Process2Fn)(HANDLE, USHORT *, USHORT *);
  IsWow64Process2Fn isWow64Process2 = (IsWow64Process2Fn)(void *)GetProcAddress(
      GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2");
  USHORT process = 0, native = 0;
  if (isWow64Process2 &&
      isWow64Process2(GetCurrentProcess(), &process, &native))
    return native;
  return IMAGE_FILE_MACHINE_AMD64;
}

bool ExportsBoth(const std::vector<std::string> &exports) {
  bool a = false, w = false;
  for (const std::string &e : exports) {
    a = a || e == "MAPISendMail";
    w = w || e == "MAPISendMailW";
  }
  return a && w;
}

// Where a view sends MAPISendMail: "qvmapi_arm64.MAPISendMail", or "".
std::string ForwardOf(const PeView &view) {
  for (size_t i = 0; i < view.exports.size() && i < view.forwards.size(); i++)
    if (view.exports[i] == "MAPISendMail")
      return view.forwards[i];
  return "";
}

std::string MachineName(WORD machine) {
  return machine == IMAGE_FILE_MACHINE_AMD64   ? "64-bit"
         : machine == IMAGE_FILE_MACHINE_I386  ? "32-bit"
         : machine == IMAGE_FILE_MACHINE_ARM64 ? "ARM64"
                                               : "foreign";
}

// A view's forwarding target beside the DLL: a DLL of that machine that
// exports both entries; the problem, or "".
std::string TargetProblem(const std::wstring &dll, const std::string &forward,
                          WORD machine) {
  size_t dot = forward.find('.');
  if (forward.empty() || dot == std::string::npos)
    return "its " + MachineName(machine) +
           " view does not forward MAPISendMail";
  std::wstring folder = dll.substr(0, dll.find_last_of(L'\\') + 1);
  std::wstring target =
      folder + std::wstring(forward.begin(), forward.begin() + dot) + L".dll";
  PeFile pe = ReadPe(target);
  if (!pe.pe || !pe.dll || pe.machine != machine || !ExportsBoth(pe.exports))
    return "its " + MachineName(machine) + " view forwards to " +
           Quoted(target) + ", which is not a " + MachineName(machine) +
           " DLL exporting MAPISendMail and MAPISendMailW";
  return "";
}

// A DLL of the given machine exporting both MAPISendMail entries; the
// problem, or "" when there is none. On Windows on ARM the 64-bit DLL is
// the Arm64X one, whose two views forward to the ARM64 and the x64 DLL.
// *version: the file version of its version resource (read from the file:
// GetFileVersionInfo would load it), "a.b.c.d" or "".
std::string DllProblem(const std::wstring &path, WORD machine,
                       std::string *version, std::string *described = NULL) {
  if (!Exists(path))
    return Quoted(path) + " does not exist";
  PeFile pe = ReadPe(path);
  *version = pe.version;
  if (!pe.pe || !pe.dll)
    return Quoted(path) + " is not a DLL";
  std::string views;
  if (pe.arm64x)
    views = "an Arm64X DLL: its ARM64 view exports " +
            std::to_string(pe.exports.size()) + " names (MAPISendMail to " +
            ForwardOf(pe) + "), its x64 view " +
            std::to_string(pe.ec.exports.size()) + " names (MAPISendMail to " +
            ForwardOf(pe.ec) + ")";
  bool wantArm64X = machine == IMAGE_FILE_MACHINE_AMD64 &&
                    NativeMachine() == IMAGE_FILE_MACHINE_ARM64;
  if (pe.arm64x && !wantArm64X)
    return Quoted(path) + " is " + views +
           "; this Windows is not Windows on ARM, and loads no ARM64 code";
  if (wantArm64X && !pe.arm64x)
    return Quoted(path) + " is a " + MachineName(pe.machine) +
           " DLL: on Windows on ARM an Arm64X qvmapi.dll serves ARM64 and x64 "
           "applications alike";
  if (!pe.arm64x && pe.machine != machine)
    return Quoted(path) + " is a " + MachineName(pe.machine) + " DLL, not a " +
           MachineName(machine) + " one";
  if (pe.arm64x) {
    if (!ExportsBoth(pe.exports) || !ExportsBoth(pe.ec.exports))
      return Quoted(path) + " is " + views +
             ", but not both export MAPISendMail and MAPISendMailW";
    std::string problem =
        TargetProblem(path, ForwardOf(pe), IMAGE_FILE_MACHINE_ARM64);
    if (problem.empty())
      problem = TargetProblem(path, ForwardOf(pe.ec), IMAGE_FILE_MACHINE_AMD64);
    if (!problem.empty())
      return Quoted(path) + " is " + views + "; " + problem;
  } else if (!ExportsBoth(pe.exports)) {
    return Quoted(path) + " does not export MAPISendMail and MAPISendMailW";
  }
  if (described)
    *described = pe.arm64x ? views
                           : "a " + MachineName(pe.machine) +
                                 " DLL exporting MAPISendMail and "
                                 "MAPISendMailW";
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
  std::string described;
  std::string problem =
      DllProblem(*dll, IMAGE_FILE_MACHINE_AMD64, version, &described);
  if (!problem.empty()) {
    Problem(r, "DLLPath: " + problem,
            "Point DLLPath at the 64-bit qvmapi.dll. " + std::string(kInstall));
    return false;
  }
  Ok(r, "DLLPath: " + Quoted(*dll) + ", " + described + ", file version " +
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
  std::string copyVersion;
  std::string problem = DllProblem(copy, IMAGE_FILE_MACHINE_I386, &copyVersion);
  if (!problem.empty()) {
    Problem(r, "the 32-bit copy: " + problem, kInstall);
    return;
  }
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
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCommandKey, 0,
                    KEY_READ | KEY_WOW64_64KEY, &key) !=
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

const char kTakeOver[] =
    "Repair qvmapi (msiexec /fa, or its MSI again) or run register.cmd "
    "again: either keeps the value for the way back and removes it";

// What Windows' Simple MAPI stub loads from the client key: the DLL of the
// Windows Installer component that MSIComponentID names, else DLLPathEx,
// else DLLPath, each expanded where it is a REG_EXPAND_SZ.
void CheckLoadOrder(Report *r) {
  std::wstring component, extended, path;
  bool hasPath = ReadString(HKEY_LOCAL_MACHINE, kClientKey, L"DLLPath", &path);
  if (ReadString(HKEY_LOCAL_MACHINE, kClientKey, L"MSIComponentID",
                 &component) &&
      !component.empty()) {
    Problem(r,
            "MSIComponentID " + Quoted(component) +
                " of \"Outlook Web Access\" wins over DLLPath: Windows' "
                "Simple MAPI stub loads the DLL of that Windows Installer "
                "component, not qvmapi.dll",
            kTakeOver);
    return;
  }
  bool hasExtended = ReadString(HKEY_LOCAL_MACHINE, kClientKey, L"DLLPathEx",
                                &extended) &&
                     !extended.empty();
  if (hasExtended && !(hasPath && Same(extended, path))) {
    Problem(r,
            "DLLPathEx " + Quoted(extended) +
                " of \"Outlook Web Access\" wins over DLLPath: Windows' "
                "Simple MAPI stub loads that file, not " +
                (hasPath ? Quoted(path) : std::string("qvmapi.dll")),
            kTakeOver);
    return;
  }
  Ok(r, std::string("Windows' Simple MAPI stub follows DLLPath of \"Outlook "
                    "Web Access\" (no MSIComponentID; ") +
            (hasExtended ? "DLLPathEx names the same file)" : "no DLLPathEx)"));
}

const wchar_t kMessagingKey[] =
    L"SOFTWARE\\Microsoft\\Windows Messaging Subsystem";
const wchar_t kMapiAppsKey[] =
    L"SOFTWARE\\Microsoft\\Windows Messaging Subsystem\\MSMapiApps";

// The views applications read the messaging key in: that key is redirected
// for 32-bit applications.
std::vector<View> ApplicationViews() {
  std::vector<View> views = {k64BitView};
  if (HasWow64())
    views.push_back(k32BitView);
  return views;
}

// MSMapiApps sends the Simple MAPI calls of the programs (or DLLs) it
// names to the client key its data names, or, for "", to the system's own
// MAPI, whatever the default mail client.
void CheckRouting(Report *r) {
  int routed = 0;
  for (const View &view : ApplicationViews()) {
    HKEY k;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMapiAppsKey, 0,
                      KEY_QUERY_VALUE | view.sam, &k) != ERROR_SUCCESS)
      continue;
    DWORD longestName = 0, longestData = 0;
    RegQueryInfoKeyW(k, NULL, NULL, NULL, NULL, NULL, NULL, NULL, &longestName,
                     &longestData, NULL, NULL);
    for (DWORD i = 0;; i++) {
      std::vector<wchar_t> name(longestName + 2, 0);
      std::vector<BYTE> data(longestData + 2 * sizeof(wchar_t), 0);
      DWORD nameLength = (DWORD)name.size(), size = longestData, type = 0;
      LONG rc = RegEnumValueW(k, i, name.data(), &nameLength, NULL, &type,
                              data.data(), &size);
      if (rc == ERROR_MORE_DATA) { // it grew since: ask again, bigger
        longestName = longestName * 2 + 256;
        longestData = longestData * 2 + 256;
        i--;
        continue;
      }
      if (rc != ERROR_SUCCESS)
        break;
      std::wstring program(name.data(), nameLength);
      std::wstring target((const wchar_t *)data.data());
      if (program.empty() || (type != REG_SZ && type != REG_EXPAND_SZ) ||
          Same(target, kClientName))
        continue;
      routed++;
      Problem(r,
              "MSMapiApps (" + std::string(view.name) + ") routes " +
                  Quoted(program) + " to " +
                  (target.empty() ? std::string("the system's own MAPI")
                                  : "the mail client " + Quoted(target)) +
                  ": \"send as mail\" from it never reaches qvmapi.dll",
              "If it should use the default mail client, remove the entry: "
              "reg delete \"HKLM\\SOFTWARE\\Microsoft\\Windows Messaging "
              "Subsystem\\MSMapiApps\" /v \"" +
                  Utf8(program) + "\" /f" + view.regSwitch);
    }
    RegCloseKey(k);
  }
  if (!routed)
    Ok(r, "MSMapiApps routes no program to another mail client");
}

// Applications test MAPI = "1" before they offer "send as mail" at all;
// each reads it in its own view.
void CheckMapiFlag(Report *r) {
  for (const View &view : ApplicationViews()) {
    std::wstring flag;
    DWORD type = 0;
    bool present = ValueType(kMessagingKey, L"MAPI", view.sam, &type);
    bool text =
        ReadString(HKEY_LOCAL_MACHINE, kMessagingKey, L"MAPI", &flag, view.sam);
    std::string where = std::string(view.name) +
                        " of HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\"
                        "Windows Messaging Subsystem";
    std::string width = view.applications;
    if (text && flag == L"1") {
      Ok(r, "MAPI is \"1\" in the " + where + ": " + width +
                " applications offer \"send as mail\"");
      continue;
    }
    std::string state = !present ? "missing"
                        : !text  ? "not a string (registry type " +
                                      std::to_string(type) + ")"
                                 : Quoted(flag);
    Problem(r,
            "MAPI is " + state + " in the " + where + ": " + width +
                " applications that test it offer no \"send as mail\"",
            "Set it: reg add \"HKLM\\SOFTWARE\\Microsoft\\Windows Messaging "
            "Subsystem\" /v MAPI /d 1 /f" +
                std::string(view.regSwitch));
  }
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
  CheckLoadOrder(&r);
  std::wstring dll;
  std::string version;
  if (CheckDllPath(&r, &dll, &version))
    Check32BitCopy(&r, dll, version);
  CheckRouting(&r);
  CheckMapiFlag(&r);
  CheckCommand(&r);
  CheckTraceLog(&r);
  if (sendTest)
    SendTest(&r);
  printf("summary: %d checks, %s\n", r.checks,
         r.problems ? (std::to_string(r.problems) + " found a problem").c_str()
                    : "no problems");
  return r.problems ? 1 : 0;
}
