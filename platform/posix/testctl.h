// Test control for the POSIX platform layer: compiled only into native
// test builds, never into a library a host loads.
//
// It seeds the in-process registry and application-data folder, counts the
// calls of every platform operation and makes the Nth call of one, or the
// Nth heap allocation, fail with a chosen error.
#ifndef QV_PLATFORM_POSIX_TESTCTL_H
#define QV_PLATFORM_POSIX_TESTCTL_H

#include "platform/posix/ops.h"
#include "platform/posix/win32_posix.h"

#ifndef QV_TEST_CONTROL
#error "testctl.h belongs to native test builds only"
#endif

// Back to a clean process: empty registry, no application-data folder,
// counters at zero, no failures armed, no hooks, code page 1252.
void TestCtl_Reset(void);

void TestCtl_SetAppDataFolder(LPCSTR path); // NULL: SHGetFolderPathA fails
void TestCtl_SetAnsiCodePage(UINT codePage);
// The system's default ANSI code page, apart from the process's (0: the
// same as the process's).
void TestCtl_SetSystemCodePage(UINT codePage);

int TestCtl_RegCreateKey(HKEY root, LPCSTR subkey);
int TestCtl_RegSetValue(HKEY root, LPCSTR subkey, LPCSTR name, DWORD type,
                        const void *data, DWORD size);
int TestCtl_RegSetDword(HKEY root, LPCSTR subkey, LPCSTR name, DWORD value);
int TestCtl_RegSetString(HKEY root, LPCSTR subkey, LPCSTR name, LPCSTR value);
void TestCtl_RegDeleteKey(HKEY root, LPCSTR subkey);
void TestCtl_RegDeleteValue(HKEY root, LPCSTR subkey, LPCSTR name);

// Calls made since the last reset of the counters.
unsigned long TestCtl_Calls(QvOp op);
unsigned long TestCtl_AllCalls(void);
void TestCtl_ResetCounts(void);

// The nth call of op from now on (1 = the next one) fails with error; with
// persistent set, every later call fails too. nth 0 disarms.
void TestCtl_FailCall(QvOp op, unsigned long nth, DWORD error,
                      int persistent = 0);
// The nth allocation from now on returns NULL (and every later one, with
// persistent set).
void TestCtl_FailAlloc(unsigned long nth, int persistent = 0);
// Whether an armed failure has been delivered since it was armed.
int TestCtl_FailureFired(void);
void TestCtl_DisarmAll(void);

unsigned long TestCtl_Allocs(void); // successful allocations so far
long TestCtl_LiveBlocks(void);      // allocated and not yet freed
long TestCtl_OpenHandles(void);     // files, finds, processes, keys

// Called on entry to op, before any injected failure, on the calling thread.
typedef void (*TestCtl_Hook)(QvOp op, void *context);
void TestCtl_SetHook(QvOp op, TestCtl_Hook hook, void *context);

// What the last CreateProcessA call was given.
struct TestCtl_ProcessCall {
  int made;
  char application[4096];
  char *commandLine;   // owned by test control; NULL when NULL was passed
                       // (UTF-8 for CreateProcessW)
  WCHAR *commandLineW; // CreateProcessW's line; NULL for CreateProcessA
  int processAttributes, threadAttributes; // non-NULL pointers given
  BOOL inheritHandles;
  DWORD creationFlags;
  int environment, currentDirectory; // non-NULL pointers given
  DWORD cb, dwFlags;
  WORD wShowWindow;
  STARTUPINFOA startupInfo;
};
// The library's text scans read at most this wide: 2 AVX2, 1 SSE2, 0 a
// unit at a time; -1 lifts the limit.
void TestCtl_LimitTextScan(int width);

const TestCtl_ProcessCall *TestCtl_LastCreateProcess(void);
unsigned long TestCtl_ProcessesStarted(void);

#endif
