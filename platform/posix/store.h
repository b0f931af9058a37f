// The process-held stand-ins for the registry and the user's folders.
// Test control fills them; the Win32 functions read them.
#ifndef QV_PLATFORM_POSIX_STORE_H
#define QV_PLATFORM_POSIX_STORE_H

#include "platform/posix/win32_posix.h"

int QvRegStoreSet(HKEY root, LPCSTR subkey, LPCSTR name, DWORD type,
                  const void *data, DWORD size);
int QvRegStoreCreateKey(HKEY root, LPCSTR subkey);
void QvRegStoreDeleteKey(HKEY root, LPCSTR subkey);
void QvRegStoreDeleteValue(HKEY root, LPCSTR subkey, LPCSTR name);
void QvRegStoreClear(void);

// NULL: the folder is unknown and SHGetFolderPathA fails.
void QvShellSetAppData(LPCSTR path);

#endif
