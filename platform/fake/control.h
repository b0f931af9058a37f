// The fake platform's control, for the native tests: it seeds the registry
// and the application-data folder, picks the code pages, counts the calls
// of every operation and makes the Nth call of one, or the Nth heap
// allocation, fail. One function decides every failure (Fails in fake.cpp).
#ifndef QV_PLATFORM_FAKE_CONTROL_H
#define QV_PLATFORM_FAKE_CONTROL_H

#include <string>

#include "platform/platform.h"

// The operations of the seam that count, and can be made to fail.
enum QvOp {
  QVOP_FileOpen,
  QVOP_FileWrite,
  QVOP_FileSeek,
  QVOP_FileClose,
  QVOP_AppDataFolder,
  QVOP_CreateFolder,
  QVOP_NameSearchFirst,
  QVOP_NameSearchNext,
  QVOP_ReadRegistryDword,
  QVOP_ReadRegistryString,
  QVOP_ExpandCommand,
  QVOP_AnsiToWide,
  QVOP_WideToAnsi,
  QVOP_Utf8ToWide,
  QVOP_ClientAnsiView,
  QVOP_ProbeFile,
  QVOP_StartAndWait,
  QVOP_LockEnter,
  QVOP_LockLeave,
  QVOP_COUNT
};

// Back to a clean process: empty registry, no application-data folder, no
// drive folders,
// counters at zero, nothing armed, no hooks, code page 1252 for the host
// and the system.
void TestCtl_Reset(void);

void TestCtl_SetAppDataFolder(const char *path); // NULL: there is none
// Paths on that drive ("D:\Temp\x") are under folder (NULL: "/Temp/x").
void TestCtl_SetDriveFolder(char drive, const char *folder);
// The host's ANSI code page (1252, 932 or 65001) and the system's default
// one (0: the host's).
void TestCtl_SetAnsiCodePage(UINT codePage);
void TestCtl_SetSystemCodePage(UINT codePage);

// Registry values: raw data of any type; a string, stored as REG_SZ in
// UTF-16 with its NUL; a DWORD.
void TestCtl_RegSetValue(HKEY root, const char *subkey, const char *name,
                         DWORD type, const void *data, DWORD size);
void TestCtl_RegSetString(HKEY root, const char *subkey, const char *name,
                          const char *utf8);
void TestCtl_RegSetDword(HKEY root, const char *subkey, const char *name,
                         DWORD value);
void TestCtl_RegDeleteKey(HKEY root, const char *subkey); // and below it

// Calls made since the last reset of the counters.
unsigned long TestCtl_Calls(QvOp op);
unsigned long TestCtl_AllCalls(void); // the heap's included
void TestCtl_ResetCounts(void);

// The nth call of op from now on (1 = the next one) fails, with error for
// the operations that report one; with persistent set, every later call
// fails too. nth 0 disarms.
void TestCtl_FailCall(QvOp op, unsigned long nth, DWORD error = 0,
                      int persistent = 0);
// The nth allocation from now on returns NULL (and every later one, with
// persistent set).
void TestCtl_FailAlloc(unsigned long nth, int persistent = 0);
// Whether an armed failure has been delivered since it was armed.
int TestCtl_FailureFired(void);
void TestCtl_DisarmAll(void);

unsigned long TestCtl_Allocs(void); // successful allocations so far
long TestCtl_LiveBlocks(void);      // allocated and not yet freed
long TestCtl_OpenHandles(void);     // files and searches

// Called on entry to op, before any injected failure, on the calling thread.
typedef void (*TestCtl_Hook)(QvOp op, void *context);
void TestCtl_SetHook(QvOp op, TestCtl_Hook hook, void *context);

// What the last StartAndWait was given (UTF-8), and how many it started.
struct TestCtl_Start {
  int made;
  char program[4096];
  WCHAR *line; // owned by the control
  ULONG_PTR uiParam;
};
const TestCtl_Start *TestCtl_LastStart(void);
unsigned long TestCtl_ProcessesStarted(void);

// UTF-8 and UTF-16 of the fake's names and lines, and of the tests': a
// lone surrogate is its three bytes, as UTF-8 of a wide line's units.
std::string FakeUtf8(const WCHAR *text);
std::string FakeUtf8(const WCHAR *text, size_t units);
std::u16string FakeUtf16(const char *utf8);
std::u16string FakeUtf16(const char *utf8, size_t bytes);
// What a client that reads GetCommandLineA sees of wide units: the client
// view's blanks and hyphens, the rest as the host's ANSI code page has it.
std::string FakeClientSees(const WCHAR *units, size_t n);

#endif
