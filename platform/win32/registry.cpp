// The two registry reads of the library: the log level (per user) and the
// client command (machine-wide).
#include "platform/platform.h"

// A REG_DWORD of more than 4 bytes is not a well-formed DWORD: it counts as
// a failed read rather than being cut or written past the variable.
int ReadRegistryDword(HKEY root, const char *subkey, const char *valueName,
                      DWORD *value) {
  HKEY key;
  if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return 0;
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExA(key, valueName, NULL, &type, NULL, &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size > sizeof(DWORD)) {
    RegCloseKey(key);
    return 0;
  }
  if (RegQueryValueExA(key, valueName, NULL, NULL, (LPBYTE)value, &size) !=
      ERROR_SUCCESS) {
    RegCloseKey(key);
    return 0;
  }
  return RegCloseKey(key) == ERROR_SUCCESS ? 1 : 0;
}

// Always the 64-bit view: 64-bit Windows shares SOFTWARE\Clients between
// the two views, and where a system redirects it for 32-bit processes (Wine
// does), the one registration the installer writes still serves them.
int ReadRegistryString(HKEY root, const WCHAR *subkey, const WCHAR *valueName,
                       WCHAR **buffer, DWORD *size, DWORD *type) {
  HKEY key;
  if (RegOpenKeyExW(root, subkey, 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS)
    return 0;
  *size = 0;
  RegQueryValueExW(key, valueName, NULL, type, NULL, size);
  // One spare unit behind the data (a partial one rounded up), so the text
  // is always terminated.
  size_t units = ((size_t)*size + sizeof(WCHAR) - 1) / sizeof(WCHAR) + 1;
  WCHAR *block = (WCHAR *)QvAlloc(units * sizeof(WCHAR));
  *buffer = block;
  if (!block) {
    RegCloseKey(key);
    return -1;
  }
  DWORD room = *size;
  if (RegQueryValueExW(key, valueName, NULL, type, (LPBYTE)block, &room) !=
      ERROR_SUCCESS) {
    RegCloseKey(key);
    QvFree(block);
    *buffer = NULL;
    return 0;
  }
  *size = room;
  if (room % sizeof(WCHAR))
    ((BYTE *)block)[room] = 0;
  block[(room + sizeof(WCHAR) - 1) / sizeof(WCHAR)] = 0;
  if (RegCloseKey(key) != ERROR_SUCCESS) {
    QvFree(block);
    *buffer = NULL;
    return 0;
  }
  return 1;
}
