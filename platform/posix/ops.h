// The platform operations the POSIX layer serves, by name, so that test
// control can count them and make any one of them fail.
#ifndef QV_PLATFORM_POSIX_OPS_H
#define QV_PLATFORM_POSIX_OPS_H

enum QvOp {
  QVOP_CreateFileA,
  QVOP_WriteFile,
  QVOP_SetFilePointer,
  QVOP_CloseHandle,
  QVOP_FindFirstFileA,
  QVOP_FindNextFileA,
  QVOP_FindClose,
  QVOP_CreateProcessA,
  QVOP_CreateProcessW,
  QVOP_WaitForSingleObject,
  QVOP_RegOpenKeyExA,
  QVOP_RegQueryValueExA,
  QVOP_RegCloseKey,
  QVOP_RegOpenKeyExW,
  QVOP_RegQueryValueExW,
  QVOP_SHGetFolderPathA,
  QVOP_SHCreateDirectoryExA,
  QVOP_InitializeCriticalSection,
  QVOP_EnterCriticalSection,
  QVOP_LeaveCriticalSection,
  QVOP_DeleteCriticalSection,
  QVOP_GetCurrentThreadId,
  QVOP_GetLocalTime,
  QVOP_GetCPInfo,
  QVOP_WideCharToMultiByte,
  QVOP_MultiByteToWideChar,
  QVOP_ExpandEnvironmentStringsW,
  QVOP_COUNT
};

#endif
