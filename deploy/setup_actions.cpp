// The installer's custom actions (qvmapi-setup.dll, carried in the MSI's
// Binary table, never installed). The MSI itself only places files: what
// depends on CLIENTPATH and MAKEDEFAULT, and what must be put back on
// removal, is done here.
//
//   QvCheckClientPath  immediate: CLIENTPATH against the rule the DLL
//                      applies before it starts a client (CheckClientPath);
//                      sets QVCLIENTOK=1, or logs why the value is refused.
//   QvRegister         deferred: keeps what "Outlook Web Access" and the
//                      default mail client were, then writes DLLPath, the
//                      client command (when accepted) and, with
//                      MAKEDEFAULT=1, the default.
//   QvUnregister       deferred on removal, and as the rollback of
//                      QvRegister: puts back what was kept.
//
// What was there before is kept under the product's own key, once: a later
// install or an upgrade keeps the record of the state before the first.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <string>

#include "handoff/client_path.h"
#include "handoff/registration.h"

namespace {

const wchar_t kSetupKey[] =
    L"SOFTWARE\\Quorvantile Incorporated\\Quorvantile Brindleway\\Setup";
const wchar_t kProductKey[] =
    L"SOFTWARE\\Quorvantile Incorporated\\Quorvantile Brindleway";
const wchar_t kCompanyKey[] = L"SOFTWARE\\Quorvantile Incorporated";

// One value the install changes, and where its earlier state is kept.
struct Kept {
  const wchar_t *key;
  const wchar_t *name; // L"" for the default value
  const wchar_t *keptAs;
};
const Kept kKept[] = {
    {kMailKey, L"", L"PreviousDefaultMailClient"},
    {kClientKey, L"DLLPath", L"PreviousDllPath"},
    {kCommandKey, L"", L"PreviousClientCommand"},
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

// A string value of HKLM (the 64-bit view), or false when there is none.
bool ReadString(const wchar_t *key, const wchar_t *name, std::wstring *out) {
  wchar_t value[2048];
  DWORD size = sizeof value - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, NULL, value,
                   &size) != ERROR_SUCCESS)
    return false;
  *out = value;
  return true;
}

bool WriteString(const wchar_t *key, const wchar_t *name,
                 const std::wstring &value) {
  HKEY k;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, NULL, 0,
                      KEY_SET_VALUE | KEY_WOW64_64KEY, NULL, &k,
                      NULL) != ERROR_SUCCESS)
    return false;
  LONG rc = RegSetValueExW(k, name, 0, REG_SZ, (const BYTE *)value.c_str(),
                           (DWORD)((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(k);
  return rc == ERROR_SUCCESS;
}

void DeleteValue(const wchar_t *key, const wchar_t *name) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                    &k) != ERROR_SUCCESS)
    return;
  RegDeleteValueW(k, name);
  RegCloseKey(k);
}

// Deletes key when it holds no value and no subkey.
void DeleteIfEmpty(const wchar_t *key) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | KEY_WOW64_64KEY,
                    &k) != ERROR_SUCCESS)
    return;
  DWORD subkeys = 1, values = 1;
  RegQueryInfoKeyW(k, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL,
                   NULL, NULL, NULL);
  RegCloseKey(k);
  if (subkeys == 0 && values == 0)
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY, 0);
}

// Keeps the earlier state of every value, unless a record exists already.
void KeepEarlierState(MSIHANDLE install) {
  std::wstring ignored;
  if (ReadString(kSetupKey, L"Kept", &ignored))
    return;
  for (const Kept &k : kKept) {
    std::wstring value;
    if (ReadString(k.key, k.name, &value))
      WriteString(kSetupKey, k.keptAs, value);
  }
  WriteString(kSetupKey, L"Kept", L"1");
  Log(install, L"kept the earlier mail client registration");
}

// CustomActionData: "<client accepted>|<make default>|<DLL path>|<client>".
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

} // namespace

extern "C" UINT __stdcall QvCheckClientPath(MSIHANDLE install) {
  std::wstring path = Property(install, L"CLIENTPATH");
  if (path.empty())
    return ERROR_SUCCESS;
  ClientPathVerdict verdict = CheckClientPath(path.c_str());
  const char *word = ClientPathVerdictWord(verdict);
  MsiSetPropertyW(install, L"QVCLIENTVERDICT",
                  std::wstring(word, word + strlen(word)).c_str());
  if (verdict != CLIENT_PATH_OK) {
    const char *why = ClientPathVerdictText(verdict);
    Log(install, L"CLIENTPATH \"" + path + L"\" is not written: " +
                     std::wstring(why, why + strlen(why)));
    MsiSetPropertyW(install, L"QVCLIENTOK", L"");
    MsiSetPropertyW(install, L"QVCLIENTREFUSED", L"1");
    return ERROR_SUCCESS;
  }
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
    Log(install, L"CLIENTPATH \"" + path +
                     L"\" does not exist yet; it is written all the same");
  MsiSetPropertyW(install, L"QVCLIENTREFUSED", L"");
  MsiSetPropertyW(install, L"QVCLIENTOK", L"1");
  return ERROR_SUCCESS;
}

extern "C" UINT __stdcall QvRegister(MSIHANDLE install) {
  std::wstring data = Property(install, L"CustomActionData");
  KeepEarlierState(install);
  bool ok = WriteString(kClientKey, L"DLLPath", Field(data, 2));
  if (Field(data, 0) == L"1") {
    ok = WriteString(kCommandKey, L"", Field(data, 3)) && ok;
    Log(install, L"client command: " + Field(data, 3));
  }
  if (Field(data, 1) == L"1") {
    ok = WriteString(kMailKey, L"", kClientName) && ok;
    Log(install, L"\"Outlook Web Access\" is now the default mail client");
  }
  if (!ok)
    Log(install, L"writing HKLM\\SOFTWARE\\Clients\\Mail failed");
  return ok ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

extern "C" UINT __stdcall QvUnregister(MSIHANDLE install) {
  std::wstring ignored;
  if (!ReadString(kSetupKey, L"Kept", &ignored))
    return ERROR_SUCCESS;
  for (const Kept &k : kKept) {
    std::wstring earlier, now;
    bool had = ReadString(kSetupKey, k.keptAs, &earlier);
    // The default mail client is put back only while it is still ours: a
    // user who chose another one since keeps it.
    if (k.key == kMailKey &&
        !(ReadString(k.key, k.name, &now) && now == kClientName))
      continue;
    if (had)
      WriteString(k.key, k.name, earlier);
    else
      DeleteValue(k.key, k.name);
  }
  DeleteValue(kSetupKey, L"Kept");
  for (const Kept &k : kKept)
    DeleteValue(kSetupKey, k.keptAs);
  const wchar_t *const emptied[] = {
      kCommandKey,
      L"SOFTWARE\\Clients\\Mail\\Outlook Web Access\\shell\\open",
      L"SOFTWARE\\Clients\\Mail\\Outlook Web Access\\shell",
      kClientKey,
      kSetupKey,
      kProductKey,
      kCompanyKey};
  for (const wchar_t *key : emptied)
    DeleteIfEmpty(key);
  Log(install, L"the earlier mail client registration is back");
  return ERROR_SUCCESS;
}
