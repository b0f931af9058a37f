// Helpers of the Windows tests that load qvmapi.dll as a host would.
#ifndef QV_TESTS_WINDOWS_WINE_SUPPORT_H
#define QV_TESTS_WINDOWS_WINE_SUPPORT_H

#include <windows.h>

#include <string>
#include <vector>

#include "include/qvmapi/mapi.h"

#include "include/qvmapi/registry.h"
#include "tests/support/files.h"

typedef ULONG(WINAPI *SendMailFn)(LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS,
                                  ULONG);
typedef ULONG(WINAPI *SendMailWFn)(LHANDLE, ULONG_PTR, lpMapiMessageW, FLAGS,
                                   ULONG);
typedef ULONG(WINAPI *LogonFn)(ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG,
                               LPLHANDLE);
typedef ULONG(WINAPI *LogoffFn)(LHANDLE, ULONG_PTR, FLAGS, ULONG);
typedef ULONG(WINAPI *ResolveNameFn)(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG,
                                     lpMapiRecipDesc *);
typedef ULONG(WINAPI *FreeBufferFn)(LPVOID);

// The folder of the running test program (with a trailing backslash).
std::string ProgramFolder();

void SetClientPath(const char *path); // NULL deletes the whole command key
void SetLogLevel(const DWORD *level); // NULL deletes the value
std::string TraceFolder();            // %APPDATA%\Quorvantile ...\Brindleway
void EmptyTraceFolder();
std::vector<std::string> TraceFiles(); // names in the trace folder, sorted

// A fresh empty folder for the stand-in client's records; sets the
// environment the client reads.
std::string NewClientFolder(const char *tag, unsigned waitMs);
// The command lines the stand-in client recorded in that folder.
std::vector<std::string> ClientRecords(const std::string &folder);

#endif
