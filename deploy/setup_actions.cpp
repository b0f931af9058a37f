// The installer's custom actions (qvmapi-setup.dll, carried in the MSI's
// Binary table, never installed). The MSI itself only places files: what
// depends on CLIENTPATH and MAKEDEFAULT, what must be put back on removal,
// and what a failed run must undo, is done here. This DLL holds the client
// path rule and nothing else of the library: no start-up of the library,
// no trace log, runs inside msiexec.
//
//   QvCheckClientPath  immediate: CLIENTPATH against the rule the DLL
//                      applies before it starts a client; logs why a value
//                      is refused, and keeps the verdict in QvClientVerdict.
//   QvSnapshot         immediate: the state of every key the deferred
//                      actions below may change, as the data of the two
//                      rollback actions.
//   QvRegister         deferred: keeps what the registration was before
//                      the first install, then writes DLLPath (and removes
//                      what Windows' stub would follow first), the client
//                      command and, with MAKEDEFAULT=1, the default mail
//                      client and the Active Setup entry that makes every
//                      user take it (keeping the user's own default for
//                      the way back). CLIENTPATH and MAKEDEFAULT are
//                      remembered: a repair, a reinstall or an upgrade that
//                      is not given them anew keeps them.
//   QvUnregister       deferred, on removal (not on an upgrade's removal of
//                      the older product): puts back what was kept. Only
//                      the product that registered last (Setup's Owner)
//                      does: whatever the upgrade's removal of an older
//                      product is told, it leaves the newer registration.
//                      The Active Setup entry stays, at a higher version,
//                      to give each user back their own default.
//   QvRestore          rollback, scheduled right before each of the two:
//                      puts the snapshot back, types and lengths included.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "handoff/client_path.h"
#include "include/qvmapi/registry.h"

namespace {

const wchar_t kMailKey[] = QV_WIDE(QV_MAIL_KEY);
const wchar_t kClientKey[] = QV_WIDE(QV_CLIENT_KEY);
const wchar_t kCommandKey[] = QV_WIDE(QV_COMMAND_KEY);
const wchar_t kClientName[] = QV_WIDE(QV_CLIENT_NAME);
const wchar_t kProductKey[] = QV_WIDE(QV_SETTINGS_KEY);
const wchar_t kSetupKey[] = QV_WIDE(QV_SETTINGS_KEY "\\Setup");
const wchar_t kCompanyKey[] = QV_WIDE("SOFTWARE\\" QV_COMPANY_NAME);
const wchar_t kShellKey[] = QV_WIDE(QV_CLIENT_KEY "\\shell");
const wchar_t kOpenKey[] = QV_WIDE(QV_CLIENT_KEY "\\shell\\open");
// Active Setup runs StubPath once per user (and again for a higher
// Version) at the user's next logon. With MAKEDEFAULT=1 it keeps the user's
// own default mail client, which Windows' Simple MAPI stub prefers to the
// machine's, under the entry's own per-user key and removes it; after the
// product's removal the same entry, at a higher version, puts it back and
// deletes what it kept. Both are plain reg.exe commands: Active Setup runs
// them after the product's files are gone, and no text of reg.exe's output
// is read (it is translated on localized Windows).
#define QV_ACTIVE_SETUP_GUID L"{57D73ABE-30C5-4838-B36E-449FB823EFA9}"
const wchar_t kActiveSetupKey[] =
    L"SOFTWARE\\Microsoft\\Active Setup\\Installed "
    L"Components\\" QV_ACTIVE_SETUP_GUID;
// clang-format off
#define QV_USER_MAIL L"\"HKCU\\Software\\Clients\\Mail\""
#define QV_USER_KEPT L"\"HKCU\\Software\\Microsoft\\Active Setup\\Installed " \
  L"Components\\" QV_ACTIVE_SETUP_GUID L"\\PreviousMailDefault\""
const wchar_t kActiveSetupStub[] =
    L"cmd.exe /c reg.exe copy " QV_USER_MAIL L" " QV_USER_KEPT L" /f"
    L" & reg.exe delete " QV_USER_MAIL L" /ve /f";
const wchar_t kActiveSetupRestoreStub[] =
    L"cmd.exe /c reg.exe copy " QV_USER_KEPT L" " QV_USER_MAIL L" /f"
    L" & reg.exe delete " QV_USER_KEPT L" /f";
// clang-format on
const wchar_t kActiveSetupName[] =
    L"Quorvantile Brindleway: the machine's default mail client";
const wchar_t kActiveSetupVersion[] = L"3,1,0,6";

// Every key the deferred actions may change, parents before children.
const wchar_t *const kWatched[] = {kMailKey,    kClientKey,  kShellKey,
                                   kOpenKey,    kCommandKey, kCompanyKey,
                                   kProductKey, kSetupKey,   kActiveSetupKey};

// One value the install changes, and where its earlier state is kept.
// Windows' Simple MAPI stub loads the DLL of the client key's
// MSIComponentID (a Windows Installer component, qualified by the two LCID
// values), else its DLLPathEx, and only then its DLLPath: the install
// takes those away (taken), so that DLLPath decides, and removal gives
// them back.
struct Kept {
  const wchar_t *key;
  const wchar_t *name; // L"" for the default value
  const wchar_t *keptAs;
  bool taken;
};
const Kept kKept[] = {
    {kMailKey, L"", L"PreviousDefaultMailClient", false},
    {kClientKey, L"DLLPath", L"PreviousDllPath", false},
    {kCommandKey, L"", L"PreviousClientCommand", false},
    {kClientKey, L"MSIComponentID", L"PreviousMsiComponentId", true},
    {kClientKey, L"MSIApplicationLCID", L"PreviousMsiApplicationLcid", true},
    {kClientKey, L"MSIOfficeLCID", L"PreviousMsiOfficeLcid", true},
    {kClientKey, L"DLLPathEx", L"PreviousDllPathEx", true},
};
// The Setup key's Kept: 1 once the first three were kept (releases that
// took nothing over wrote 1 or "1"), 2 once the taken values were kept as
// well.
const DWORD kKeptAll = 2;

const REGSAM k64 = KEY_WOW64_64KEY;

// A value as the registry holds it: any type, any length.
struct Value {
  std::wstring name;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

std::wstring Property(MSIHANDLE install, const wchar_t *name) {
  DWORD size = 0;
  wchar_t none[1] = {0};
  if (MsiGetPropertyW(install, name, none, &size) != ERROR_MORE_DATA)
    return L"";
  std::wstring value(size + 1, L'\0');
  size++;
  if (MsiGetPropertyW(install, name, &value[0], &size) != ERROR_SUCCESS)
    return L"";
  value.resize(size);
  return value;
}

// A line in the install log (msiexec /l*v).
void Log(MSIHANDLE install, const std::wstring &text) {
  MSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringW(record, 0, L"qvmapi: [1]");
  MsiRecordSetStringW(record, 1, text.c_str());
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
  MsiCloseHandle(record);
}

std::wstring Widen(const char *ascii) {
  return std::wstring(ascii, ascii + strlen(ascii));
}

bool ReadValue(const wchar_t *key, const wchar_t *name, Value *out) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | k64, &k) !=
      ERROR_SUCCESS)
    return false;
  DWORD size = 0, type = 0;
  LONG rc = RegQueryValueExW(k, name, NULL, &type, NULL, &size);
  // The value may grow between the two calls: ask again until it fits.
  while (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
    out->data.resize(size);
    rc = RegQueryValueExW(k, name, NULL, &type,
                          out->data.empty() ? NULL : out->data.data(), &size);
    if (rc == ERROR_SUCCESS) {
      out->data.resize(size);
      break;
    }
  }
  RegCloseKey(k);
  out->name = name;
  out->type = type;
  return rc == ERROR_SUCCESS;
}

bool WriteValue(const wchar_t *key, const Value &value) {
  HKEY k;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, NULL, 0, KEY_SET_VALUE | k64,
                      NULL, &k, NULL) != ERROR_SUCCESS)
    return false;
  LONG rc = RegSetValueExW(k, value.name.c_str(), 0, value.type,
                           value.data.empty() ? NULL : value.data.data(),
                           (DWORD)value.data.size());
  RegCloseKey(k);
  return rc == ERROR_SUCCESS;
}

Value Text(const wchar_t *name, const std::wstring &text, DWORD type = REG_SZ) {
  Value v;
  v.name = name;
  v.type = type;
  const BYTE *bytes = (const BYTE *)text.c_str();
  v.data.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
  return v;
}

Value Number(const wchar_t *name, DWORD number) {
  Value v;
  v.name = name;
  v.type = REG_DWORD;
  v.data.assign((const BYTE *)&number, (const BYTE *)&number + sizeof number);
  return v;
}

bool ReadText(const wchar_t *key, const wchar_t *name, std::wstring *out) {
  Value v;
  if (!ReadValue(key, name, &v) ||
      (v.type != REG_SZ && v.type != REG_EXPAND_SZ))
    return false;
  out->assign((const wchar_t *)v.data.data(), v.data.size() / sizeof(wchar_t));
  while (!out->empty() && out->back() == 0)
    out->pop_back();
  return true;
}

bool DeleteValue(const wchar_t *key, const wchar_t *name) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE | k64, &k) !=
      ERROR_SUCCESS)
    return true;
  LONG rc = RegDeleteValueW(k, name);
  RegCloseKey(k);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

void DeleteTree(const wchar_t *key) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_ALL_ACCESS | k64, &k) !=
      ERROR_SUCCESS)
    return;
  RegDeleteTreeW(k, NULL);
  RegCloseKey(k);
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, k64, 0);
}

// Deletes key when it holds no value and no subkey.
void DeleteIfEmpty(const wchar_t *key) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | k64, &k) !=
      ERROR_SUCCESS)
    return;
  DWORD subkeys = 1, values = 1;
  RegQueryInfoKeyW(k, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL,
                   NULL, NULL, NULL);
  RegCloseKey(k);
  if (subkeys == 0 && values == 0)
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, k64, 0);
}

// Every value of a key; false when the key does not exist.
bool ReadKey(const wchar_t *key, std::vector<Value> *values) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | k64, &k) !=
      ERROR_SUCCESS)
    return false;
  DWORD count = 0, longestName = 0;
  RegQueryInfoKeyW(k, NULL, NULL, NULL, NULL, NULL, NULL, &count, &longestName,
                   NULL, NULL, NULL);
  std::vector<std::wstring> names;
  for (DWORD i = 0;; i++) {
    std::wstring name(longestName + 2, L'\0');
    DWORD length = (DWORD)name.size();
    LONG rc = RegEnumValueW(k, i, &name[0], &length, NULL, NULL, NULL, NULL);
    if (rc == ERROR_MORE_DATA) {
      longestName = longestName * 2 + 256;
      i--;
      continue;
    }
    if (rc != ERROR_SUCCESS)
      break;
    name.resize(length);
    names.push_back(name);
  }
  RegCloseKey(k);
  for (const std::wstring &name : names) {
    Value v;
    if (ReadValue(key, name.c_str(), &v))
      values->push_back(v);
  }
  return true;
}

// The snapshot, one line a key or value, every text in hexadecimal so that
// no name or data can break the lines:
//   K <key index> <0|1: the key exists>
//   V <key index> <name> <type> <data>
const char kHex[] = "0123456789abcdef";

std::wstring Hex(const BYTE *bytes, size_t n) {
  std::wstring out;
  for (size_t i = 0; i < n; i++) {
    out += (wchar_t)kHex[bytes[i] >> 4];
    out += (wchar_t)kHex[bytes[i] & 15];
  }
  return out.empty() ? L"-" : out;
}

std::vector<BYTE> Unhex(const std::wstring &text) {
  std::vector<BYTE> out;
  auto nibble = [](wchar_t c) { return c >= 'a' ? c - 'a' + 10 : c - '0'; };
  for (size_t i = 0; text != L"-" && i + 1 < text.size(); i += 2)
    out.push_back((BYTE)(nibble(text[i]) << 4 | nibble(text[i + 1])));
  return out;
}

std::wstring Snapshot() {
  std::wstring out;
  for (size_t i = 0; i < ARRAY_SIZE(kWatched); i++) {
    std::vector<Value> values;
    bool exists = ReadKey(kWatched[i], &values);
    out += L"K " + std::to_wstring(i) + (exists ? L" 1\n" : L" 0\n");
    for (const Value &v : values)
      out +=
          L"V " + std::to_wstring(i) + L" " +
          Hex((const BYTE *)v.name.c_str(), v.name.size() * sizeof(wchar_t)) +
          L" " + std::to_wstring(v.type) + L" " +
          Hex(v.data.data(), v.data.size()) + L"\n";
  }
  return out;
}

std::vector<std::wstring> Words(const std::wstring &line) {
  std::vector<std::wstring> words;
  size_t start = 0;
  while (start <= line.size()) {
    size_t blank = line.find(L' ', start);
    if (blank == std::wstring::npos)
      blank = line.size();
    words.push_back(line.substr(start, blank - start));
    start = blank + 1;
  }
  return words;
}

// Puts every watched key back as the snapshot has it: values of the keys
// that existed, exactly (a value that differs is written, one that was not
// there is deleted), and keys that did not exist deleted with all below.
bool Restore(const std::wstring &snapshot) {
  const size_t kKeys = ARRAY_SIZE(kWatched);
  std::vector<int> existed(kKeys, -1);
  std::vector<std::vector<Value>> values(kKeys);
  size_t start = 0;
  while (start < snapshot.size()) {
    size_t end = snapshot.find(L'\n', start);
    if (end == std::wstring::npos)
      end = snapshot.size();
    std::vector<std::wstring> w = Words(snapshot.substr(start, end - start));
    start = end + 1;
    size_t key = w.size() > 1 ? (size_t)_wtoi(w[1].c_str()) : kKeys;
    if (key >= kKeys)
      continue;
    if (w[0] == L"K" && w.size() == 3) {
      existed[key] = w[2] == L"1";
    } else if (w[0] == L"V" && w.size() == 5) {
      Value v;
      std::vector<BYTE> name = Unhex(w[2]);
      v.name.assign((const wchar_t *)name.data(),
                    name.size() / sizeof(wchar_t));
      v.type = (DWORD)_wtoi(w[3].c_str());
      v.data = Unhex(w[4]);
      values[key].push_back(v);
    }
  }
  bool ok = true;
  for (size_t i = 0; i < kKeys; i++) {
    if (existed[i] != 1)
      continue;
    std::vector<Value> now;
    if (!ReadKey(kWatched[i], &now)) {
      HKEY k;
      ok = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kWatched[i], 0, NULL, 0,
                           KEY_READ | k64, NULL, &k, NULL) == ERROR_SUCCESS &&
           ok;
      if (ok)
        RegCloseKey(k);
    }
    for (const Value &n : now) {
      bool kept = false;
      for (const Value &v : values[i])
        kept = kept || _wcsicmp(v.name.c_str(), n.name.c_str()) == 0;
      if (!kept)
        ok = DeleteValue(kWatched[i], n.name.c_str()) && ok;
    }
    for (const Value &v : values[i]) {
      Value n;
      if (!ReadValue(kWatched[i], v.name.c_str(), &n) || n.type != v.type ||
          n.data != v.data)
        ok = WriteValue(kWatched[i], v) && ok;
    }
  }
  for (size_t i = kKeys; i-- > 0;)
    if (existed[i] == 0)
      DeleteTree(kWatched[i]);
  return ok;
}

DWORD KeptLevel() {
  Value flag;
  if (!ReadValue(kSetupKey, L"Kept", &flag))
    return 0;
  // The first releases wrote it as the text "1".
  return flag.type == REG_DWORD && flag.data.size() == sizeof(DWORD)
             ? *(const DWORD *)flag.data.data()
             : 1;
}

// Keeps the earlier state of every value, unless a record exists already:
// an upgrade or a second install keeps the state before the first. An
// upgrade from a release that took nothing over keeps the taken values
// now: that release left them as they were before it.
bool KeepEarlierState(MSIHANDLE install) {
  DWORD level = KeptLevel();
  if (level >= kKeptAll)
    return true;
  bool ok = true;
  for (const Kept &k : kKept) {
    Value v;
    if ((level == 0 || k.taken) && ReadValue(k.key, k.name, &v)) {
      v.name = k.keptAs;
      ok = WriteValue(kSetupKey, v) && ok;
    }
  }
  ok = WriteValue(kSetupKey, Number(L"Kept", kKeptAll)) && ok;
  Log(install, L"kept the earlier mail client registration");
  return ok;
}

// Deletes what would load another DLL before DLLPath.
bool TakeOver(MSIHANDLE install) {
  bool ok = true;
  for (const Kept &k : kKept) {
    Value v;
    if (!k.taken || !ReadValue(k.key, k.name, &v))
      continue;
    ok = DeleteValue(k.key, k.name) && ok;
    Log(install, std::wstring(k.name) +
                     L" removed: Windows' Simple MAPI stub would follow it "
                     L"before DLLPath (removal puts it back)");
  }
  return ok;
}

// QvRegister's CustomActionData:
//   "<ProductCode>|<MAKEDEFAULT>|<DLL path>|<CLIENTPATH>";
// QvUnregister's: "<ProductCode>".
std::wstring Field(const std::wstring &data, int index) {
  size_t start = 0;
  for (int i = 0; i < index; i++) {
    size_t bar = data.find(L'|', start);
    if (bar == std::wstring::npos)
      return L"";
    start = bar + 1;
  }
  if (index == 3)
    return data.substr(start); // the last field may hold anything
  size_t bar = data.find(L'|', start);
  return data.substr(start, bar == std::wstring::npos ? std::wstring::npos
                                                      : bar - start);
}

// Writes the Active Setup entry with this stub. A user runs a stub only
// for a version higher than the one they last ran: a changed stub gets the
// next version, and the same stub again (a repair) keeps its own.
bool WriteActiveSetup(const wchar_t *stubPath) {
  std::wstring stub, version;
  if (ReadText(kActiveSetupKey, L"StubPath", &stub) && stub == stubPath &&
      ReadText(kActiveSetupKey, L"Version", &version))
    return true;
  version = kActiveSetupVersion;
  std::wstring was;
  if (ReadText(kActiveSetupKey, L"Version", &was)) {
    unsigned part[4] = {0, 0, 0, 0};
    swscanf(was.c_str(), L"%u,%u,%u,%u", &part[0], &part[1], &part[2],
            &part[3]);
    version = std::to_wstring(part[0]) + L"," + std::to_wstring(part[1]) +
              L"," + std::to_wstring(part[2]) + L"," +
              std::to_wstring(part[3] + 1);
  }
  return WriteValue(kActiveSetupKey, Text(L"", kActiveSetupName)) &&
         WriteValue(kActiveSetupKey, Text(L"StubPath", stubPath)) &&
         WriteValue(kActiveSetupKey, Text(L"Version", version)) &&
         WriteValue(kActiveSetupKey, Number(L"IsInstalled", 1));
}

// Users whose own default the entry kept get it back at their next logon:
// the entry stays, with the restoring stub, after the product is gone.
bool RestoreUsersDefaults(MSIHANDLE install) {
  std::wstring stub;
  if (!ReadText(kActiveSetupKey, L"StubPath", &stub) ||
      stub != kActiveSetupStub)
    return true;
  Log(install, L"each user's own default mail client comes back at their "
               L"next logon (Active Setup)");
  return WriteActiveSetup(kActiveSetupRestoreStub);
}

} // namespace

extern "C" UINT __stdcall QvCheckClientPath(MSIHANDLE install) {
  std::wstring path = Property(install, L"CLIENTPATH");
  if (path.empty())
    return ERROR_SUCCESS;
  ClientPathVerdict verdict = CheckClientPath(path.c_str());
  MsiSetPropertyW(install, L"QvClientVerdict",
                  Widen(ClientPathVerdictWord(verdict)).c_str());
  if (verdict != CLIENT_PATH_OK)
    Log(install, L"CLIENTPATH \"" + path + L"\" is not written: " +
                     Widen(ClientPathVerdictText(verdict)));
  else if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
    Log(install, L"CLIENTPATH \"" + path +
                     L"\" does not exist yet; it is written all the same");
  return ERROR_SUCCESS;
}

extern "C" UINT __stdcall QvSnapshot(MSIHANDLE install) {
  std::wstring snapshot = Snapshot();
  MsiSetPropertyW(install, L"QvRollbackRegister", snapshot.c_str());
  MsiSetPropertyW(install, L"QvRollbackUnregister", snapshot.c_str());
  return ERROR_SUCCESS;
}

extern "C" UINT __stdcall QvRestore(MSIHANDLE install) {
  bool ok = Restore(Property(install, L"CustomActionData"));
  Log(install, ok ? L"the registration is back as it was before this run"
                  : L"the registration could not be put back whole");
  return ERROR_SUCCESS;
}

extern "C" UINT __stdcall QvRegister(MSIHANDLE install) {
  std::wstring data = Property(install, L"CustomActionData");
  bool ok = KeepEarlierState(install);
  ok = WriteValue(kSetupKey, Text(L"Owner", Field(data, 0))) && ok;
  ok = WriteValue(kClientKey, Text(L"DLLPath", Field(data, 2))) && ok;
  ok = TakeOver(install) && ok;
  // The client path is checked here too: whatever the properties say, a
  // path the DLL would refuse is never written.
  std::wstring client = Field(data, 3), remembered;
  if (!client.empty() && CheckClientPath(client.c_str()) == CLIENT_PATH_OK) {
    ok = WriteValue(kSetupKey, Text(L"ClientPath", client)) && ok;
  } else {
    if (!client.empty())
      Log(install, L"CLIENTPATH \"" + client + L"\" is not written");
    client.clear();
    if (ReadText(kSetupKey, L"ClientPath", &remembered) &&
        CheckClientPath(remembered.c_str()) == CLIENT_PATH_OK)
      client = remembered;
  }
  if (!client.empty()) {
    ok = WriteValue(kCommandKey, Text(L"", client)) && ok;
    Log(install, L"client command: " + client);
  }
  std::wstring given = Field(data, 1);
  Value was;
  bool makeDefault = given.empty()
                         ? ReadValue(kSetupKey, L"MakeDefault", &was) &&
                               was.data.size() == sizeof(DWORD) &&
                               *(const DWORD *)was.data.data() == 1
                         : given == L"1";
  if (!given.empty())
    ok = WriteValue(kSetupKey, Number(L"MakeDefault", makeDefault)) && ok;
  if (makeDefault) {
    ok = WriteValue(kMailKey, Text(L"", kClientName)) && ok;
    ok = WriteActiveSetup(kActiveSetupStub) && ok;
    Log(install, L"\"Outlook Web Access\" is now the default mail client");
  } else {
    ok = RestoreUsersDefaults(install) && ok;
  }
  if (!ok)
    Log(install, L"writing the mail client registration failed");
  return ok ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

extern "C" UINT __stdcall QvUnregister(MSIHANDLE install) {
  std::wstring owner, me = Property(install, L"CustomActionData");
  if (ReadText(kSetupKey, L"Owner", &owner) &&
      _wcsicmp(owner.c_str(), me.c_str())) {
    Log(install, L"the registration belongs to " + owner + L": left as it is");
    return ERROR_SUCCESS;
  }
  RestoreUsersDefaults(install);
  if (DWORD level = KeptLevel()) {
    for (const Kept &k : kKept) {
      // The default mail client is put back only while it is still ours: a
      // user or an administrator who chose another one since keeps it. A
      // taken value is put back only where none was written since, and
      // only when it was kept.
      std::wstring now;
      Value since;
      if (k.key == kMailKey &&
          !(ReadText(k.key, k.name, &now) && now == kClientName))
        continue;
      if (k.taken && (level < kKeptAll || ReadValue(k.key, k.name, &since)))
        continue;
      Value earlier;
      if (ReadValue(kSetupKey, k.keptAs, &earlier)) {
        earlier.name = k.name;
        WriteValue(k.key, earlier);
      } else {
        DeleteValue(k.key, k.name);
      }
    }
    Log(install, L"the earlier mail client registration is back");
  }
  const wchar_t *const mine[] = {L"Kept", L"Owner", L"ClientPath",
                                 L"MakeDefault"};
  for (const wchar_t *name : mine)
    DeleteValue(kSetupKey, name);
  for (const Kept &k : kKept)
    DeleteValue(kSetupKey, k.keptAs);
  const wchar_t *const emptied[] = {kCommandKey, kOpenKey,  kShellKey,
                                    kClientKey,  kSetupKey, kProductKey,
                                    kCompanyKey};
  for (const wchar_t *key : emptied)
    DeleteIfEmpty(key);
  return ERROR_SUCCESS;
}
