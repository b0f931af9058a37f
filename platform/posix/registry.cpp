// An in-process registry: keys under the predefined roots, each with named
// values of any type. Key and value names compare without regard to case.
#include <ctype.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <mutex>

#include "platform/posix/seam.h"
#include "platform/posix/store.h"
#include "platform/posix/text.h"

namespace {

struct RegValue {
  char *name;
  DWORD type;
  BYTE *data;
  DWORD size;
  RegValue *next;
};

struct RegKey {
  HKEY root;
  char *path; // normalised: no leading, trailing or doubled backslashes
  RegValue *values;
  RegKey *next;
};

struct OpenKey {
  unsigned magic;
  HKEY root;
  char *path;
};

const unsigned kKeyMagic = 0x5156524bu; // "QVRK"
std::mutex g_regMutex;
RegKey *g_keys;

bool IsRoot(HKEY h) {
  return h == HKEY_CLASSES_ROOT || h == HKEY_CURRENT_USER ||
         h == HKEY_LOCAL_MACHINE || h == HKEY_USERS;
}

char *Normalise(const char *parent, const char *subkey) {
  size_t n = (parent ? strlen(parent) + 1 : 0) + (subkey ? strlen(subkey) : 0);
  char *out = (char *)malloc(n + 1);
  if (!out)
    return NULL;
  size_t len = 0;
  const char *parts[2] = {parent, subkey};
  for (const char *part : parts) {
    if (!part)
      continue;
    for (const char *p = part; *p; p++) {
      if (*p == '\\' && (len == 0 || out[len - 1] == '\\'))
        continue;
      out[len++] = *p;
    }
    if (len && out[len - 1] != '\\')
      out[len++] = '\\';
  }
  while (len && out[len - 1] == '\\')
    len--;
  out[len] = 0;
  return out;
}

RegKey *FindKey(HKEY root, const char *path) {
  for (RegKey *k = g_keys; k; k = k->next)
    if (k->root == root && strcasecmp(k->path, path) == 0)
      return k;
  return NULL;
}

// A key exists when it was created or when a key below it was.
bool KeyExists(HKEY root, const char *path) {
  size_t n = strlen(path);
  if (n == 0)
    return true;
  for (RegKey *k = g_keys; k; k = k->next)
    if (k->root == root && strncasecmp(k->path, path, n) == 0 &&
        (k->path[n] == 0 || k->path[n] == '\\'))
      return true;
  return false;
}

RegKey *GetOrCreateKey(HKEY root, const char *path) {
  RegKey *k = FindKey(root, path);
  if (k)
    return k;
  k = (RegKey *)calloc(1, sizeof *k);
  if (!k)
    return NULL;
  k->root = root;
  k->path = strdup(path);
  k->next = g_keys;
  g_keys = k;
  return k;
}

void FreeValue(RegValue *v) {
  free(v->name);
  free(v->data);
  free(v);
}

void FreeKey(RegKey *k) {
  while (k->values) {
    RegValue *v = k->values;
    k->values = v->next;
    FreeValue(v);
  }
  free(k->path);
  free(k);
}

OpenKey *GetOpenKey(HKEY h) {
  if (!h || IsRoot(h))
    return NULL;
  OpenKey *k = (OpenKey *)h;
  return k->magic == kKeyMagic ? k : NULL;
}

} // namespace

int QvRegStoreCreateKey(HKEY root, LPCSTR subkey) {
  std::lock_guard<std::mutex> lock(g_regMutex);
  char *path = Normalise(NULL, subkey);
  RegKey *k = path ? GetOrCreateKey(root, path) : NULL;
  free(path);
  return k != NULL;
}

int QvRegStoreSet(HKEY root, LPCSTR subkey, LPCSTR name, DWORD type,
                  const void *data, DWORD size) {
  std::lock_guard<std::mutex> lock(g_regMutex);
  char *path = Normalise(NULL, subkey);
  RegKey *k = path ? GetOrCreateKey(root, path) : NULL;
  free(path);
  if (!k)
    return 0;
  const char *valueName = name ? name : "";
  RegValue *v = k->values;
  while (v && strcasecmp(v->name, valueName) != 0)
    v = v->next;
  if (!v) {
    v = (RegValue *)calloc(1, sizeof *v);
    v->name = strdup(valueName);
    v->next = k->values;
    k->values = v;
  }
  free(v->data);
  v->data = (BYTE *)malloc(size ? size : 1);
  if (size)
    memcpy(v->data, data, size);
  v->size = size;
  v->type = type;
  return 1;
}

void QvRegStoreDeleteKey(HKEY root, LPCSTR subkey) {
  std::lock_guard<std::mutex> lock(g_regMutex);
  char *path = Normalise(NULL, subkey);
  if (!path)
    return;
  size_t n = strlen(path);
  for (RegKey **pk = &g_keys; *pk;) {
    RegKey *k = *pk;
    if (k->root == root && strncasecmp(k->path, path, n) == 0 &&
        (k->path[n] == 0 || k->path[n] == '\\')) {
      *pk = k->next;
      FreeKey(k);
    } else {
      pk = &k->next;
    }
  }
  free(path);
}

void QvRegStoreDeleteValue(HKEY root, LPCSTR subkey, LPCSTR name) {
  std::lock_guard<std::mutex> lock(g_regMutex);
  char *path = Normalise(NULL, subkey);
  RegKey *k = path ? FindKey(root, path) : NULL;
  free(path);
  if (!k)
    return;
  for (RegValue **pv = &k->values; *pv; pv = &(*pv)->next) {
    if (strcasecmp((*pv)->name, name ? name : "") == 0) {
      RegValue *v = *pv;
      *pv = v->next;
      FreeValue(v);
      return;
    }
  }
}

void QvRegStoreClear(void) {
  std::lock_guard<std::mutex> lock(g_regMutex);
  while (g_keys) {
    RegKey *k = g_keys;
    g_keys = k->next;
    FreeKey(k);
  }
}

static LONG OpenKeyUtf8(HKEY hKey, LPCSTR subkey, PHKEY result) {
  if (!result)
    return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(g_regMutex);
  HKEY root;
  const char *parent = NULL;
  if (IsRoot(hKey)) {
    root = hKey;
  } else {
    OpenKey *open = GetOpenKey(hKey);
    if (!open)
      return ERROR_INVALID_HANDLE;
    root = open->root;
    parent = open->path;
  }
  char *path = Normalise(parent, subkey);
  if (!path)
    return ERROR_NOT_ENOUGH_MEMORY;
  if (!KeyExists(root, path)) {
    free(path);
    return ERROR_FILE_NOT_FOUND;
  }
  OpenKey *open = (OpenKey *)calloc(1, sizeof *open);
  if (!open) {
    free(path);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  open->magic = kKeyMagic;
  open->root = root;
  open->path = path;
  QvHandleNoteOpen(1);
  *result = (HKEY)open;
  return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR subkey, DWORD options, REGSAM sam,
                   PHKEY result) {
  (void)options;
  (void)sam;
  DWORD injected;
  if (QvOpEnter(QVOP_RegOpenKeyExA, &injected))
    return (LONG)injected;
  return OpenKeyUtf8(hKey, subkey, result);
}

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR subkey, DWORD options, REGSAM sam,
                   PHKEY result) {
  (void)options;
  (void)sam;
  DWORD injected;
  if (QvOpEnter(QVOP_RegOpenKeyExW, &injected))
    return (LONG)injected;
  char *narrow = subkey ? QvUtf16ToUtf8(subkey, -1) : NULL;
  if (subkey && !narrow)
    return ERROR_NOT_ENOUGH_MEMORY;
  LONG rc = OpenKeyUtf8(hKey, narrow, result);
  free(narrow);
  return rc;
}

// wide: string data goes out as UTF-16, converted from the stored UTF-8.
static LONG QueryValueUtf8(HKEY hKey, LPCSTR name, LPDWORD reserved,
                           LPDWORD type, LPBYTE data, LPDWORD size, int wide) {
  if (reserved || (data && !size))
    return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(g_regMutex);
  OpenKey *open = GetOpenKey(hKey);
  if (!open)
    return ERROR_INVALID_HANDLE;
  RegKey *k = FindKey(open->root, open->path);
  RegValue *v = k ? k->values : NULL;
  while (v && strcasecmp(v->name, name ? name : "") != 0)
    v = v->next;
  if (!v)
    return ERROR_FILE_NOT_FOUND;
  if (type)
    *type = v->type;
  const BYTE *bytes = v->data;
  DWORD length = v->size;
  WCHAR *converted = NULL;
  if (wide && (v->type == REG_SZ || v->type == REG_EXPAND_SZ ||
               v->type == REG_MULTI_SZ)) {
    size_t units = 0;
    converted = QvUtf8ToUtf16((const char *)v->data, v->size, &units);
    if (!converted)
      return ERROR_NOT_ENOUGH_MEMORY;
    bytes = (const BYTE *)converted;
    length = (DWORD)(units * sizeof(WCHAR));
  }
  LONG rc = ERROR_SUCCESS;
  if (data) {
    if (*size < length)
      rc = ERROR_MORE_DATA;
    else
      memcpy(data, bytes, length);
  }
  if (size)
    *size = length;
  free(converted);
  return rc;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR name, LPDWORD reserved, LPDWORD type,
                      LPBYTE data, LPDWORD size) {
  DWORD injected;
  if (QvOpEnter(QVOP_RegQueryValueExA, &injected))
    return (LONG)injected;
  return QueryValueUtf8(hKey, name, reserved, type, data, size, 0);
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                      LPBYTE data, LPDWORD size) {
  DWORD injected;
  if (QvOpEnter(QVOP_RegQueryValueExW, &injected))
    return (LONG)injected;
  char *narrow = name ? QvUtf16ToUtf8(name, -1) : NULL;
  if (name && !narrow)
    return ERROR_NOT_ENOUGH_MEMORY;
  LONG rc = QueryValueUtf8(hKey, narrow, reserved, type, data, size, 1);
  free(narrow);
  return rc;
}

LONG RegCloseKey(HKEY hKey) {
  DWORD injected;
  int fail = QvOpEnter(QVOP_RegCloseKey, &injected);
  if (IsRoot(hKey))
    return fail ? (LONG)injected : ERROR_SUCCESS;
  std::lock_guard<std::mutex> lock(g_regMutex);
  OpenKey *open = GetOpenKey(hKey);
  if (!open)
    return ERROR_INVALID_HANDLE;
  // As with CloseHandle, an injected failure still releases the key.
  open->magic = 0;
  free(open->path);
  free(open);
  QvHandleNoteOpen(-1);
  return fail ? (LONG)injected : ERROR_SUCCESS;
}
