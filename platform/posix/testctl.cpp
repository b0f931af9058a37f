#include "platform/posix/testctl.h"

#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <mutex>

#include "platform/posix/seam.h"
#include "platform/posix/store.h"

extern UINT g_qvAnsiCodePage;
extern UINT g_qvSystemCodePage;

namespace {

struct Arm {
  std::atomic<int> armed{0};
  unsigned long target = 0; // count at which to fail
  DWORD error = 0;
  int persistent = 0;
};

std::mutex g_ctlMutex;
std::atomic<unsigned long> g_calls[QVOP_COUNT];
Arm g_opArm[QVOP_COUNT];
std::atomic<unsigned long> g_allocCalls{0};
std::atomic<unsigned long> g_allocsOk{0};
std::atomic<long> g_live{0};
Arm g_allocArm;
std::atomic<int> g_fired{0};
TestCtl_Hook g_hooks[QVOP_COUNT];
void *g_hookContext[QVOP_COUNT];
std::atomic<int> g_anyHook{0};
TestCtl_ProcessCall g_lastProcess;
std::atomic<unsigned long> g_processCalls{0};

// Decides, under the lock, whether call number `count` of an armed
// operation fails.
int Decide(Arm &arm, unsigned long count, DWORD *error) {
  if (!arm.armed.load(std::memory_order_acquire))
    return 0;
  std::lock_guard<std::mutex> lock(g_ctlMutex);
  if (!arm.armed.load() || count < arm.target)
    return 0;
  if (count > arm.target && !arm.persistent)
    return 0;
  if (error)
    *error = arm.error;
  if (!arm.persistent)
    arm.armed = 0;
  g_fired = 1;
  return 1;
}

} // namespace

int QvOpEnter(QvOp op, DWORD *error) {
  unsigned long count = ++g_calls[op];
  if (g_anyHook.load(std::memory_order_relaxed)) {
    TestCtl_Hook hook;
    void *context;
    {
      std::lock_guard<std::mutex> lock(g_ctlMutex);
      hook = g_hooks[op];
      context = g_hookContext[op];
    }
    if (hook)
      hook(op, context);
  }
  return Decide(g_opArm[op], count, error);
}

int QvAllocMustFail(void) {
  unsigned long count = ++g_allocCalls;
  return Decide(g_allocArm, count, NULL);
}

void QvAllocNoteLive(int delta) {
  if (delta > 0)
    ++g_allocsOk;
  g_live += delta;
}

void QvNoteCreateProcess(LPCSTR app, LPCSTR cmdline, LPSECURITY_ATTRIBUTES pa,
                         LPSECURITY_ATTRIBUTES ta, BOOL inherit, DWORD flags,
                         LPVOID env, LPCSTR dir, const STARTUPINFOA *si) {
  std::lock_guard<std::mutex> lock(g_ctlMutex);
  ++g_processCalls;
  TestCtl_ProcessCall &c = g_lastProcess;
  free(c.commandLine);
  free(c.commandLineW);
  c.commandLineW = NULL;
  c.made = 1;
  c.application[0] = 0;
  if (app)
    strncat(c.application, app, sizeof c.application - 1);
  c.commandLine = cmdline ? strdup(cmdline) : NULL;
  c.processAttributes = pa != NULL;
  c.threadAttributes = ta != NULL;
  c.inheritHandles = inherit;
  c.creationFlags = flags;
  c.environment = env != NULL;
  c.currentDirectory = dir != NULL;
  if (si) {
    c.startupInfo = *si;
    c.cb = si->cb;
    c.dwFlags = si->dwFlags;
    c.wShowWindow = si->wShowWindow;
  }
}

std::atomic<int> g_scanLimit{-1};
int QvTextScanLimit(void) { return g_scanLimit.load(); }
void TestCtl_LimitTextScan(int width) { g_scanLimit = width; }

void QvNoteCreateProcessWide(LPCWSTR cmdline) {
  std::lock_guard<std::mutex> lock(g_ctlMutex);
  free(g_lastProcess.commandLineW);
  g_lastProcess.commandLineW = NULL;
  if (!cmdline)
    return;
  size_t n = 0;
  while (cmdline[n])
    n++;
  g_lastProcess.commandLineW = (WCHAR *)malloc((n + 1) * sizeof(WCHAR));
  if (g_lastProcess.commandLineW)
    memcpy(g_lastProcess.commandLineW, cmdline, (n + 1) * sizeof(WCHAR));
}

void TestCtl_Reset(void) {
  TestCtl_LimitTextScan(-1);
  TestCtl_DisarmAll();
  QvRegStoreClear();
  QvShellSetAppData(NULL);
  g_qvAnsiCodePage = 1252;
  g_qvSystemCodePage = 0;
  {
    std::lock_guard<std::mutex> lock(g_ctlMutex);
    for (int i = 0; i < QVOP_COUNT; i++) {
      g_hooks[i] = NULL;
      g_hookContext[i] = NULL;
    }
    g_anyHook = 0;
    free(g_lastProcess.commandLine);
    free(g_lastProcess.commandLineW);
    memset(&g_lastProcess, 0, sizeof g_lastProcess);
    g_processCalls = 0;
  }
  TestCtl_ResetCounts();
}

void TestCtl_SetAppDataFolder(LPCSTR path) { QvShellSetAppData(path); }
void TestCtl_SetAnsiCodePage(UINT codePage) { g_qvAnsiCodePage = codePage; }
void TestCtl_SetSystemCodePage(UINT codePage) { g_qvSystemCodePage = codePage; }

int TestCtl_RegCreateKey(HKEY root, LPCSTR subkey) {
  return QvRegStoreCreateKey(root, subkey);
}
int TestCtl_RegSetValue(HKEY root, LPCSTR subkey, LPCSTR name, DWORD type,
                        const void *data, DWORD size) {
  return QvRegStoreSet(root, subkey, name, type, data, size);
}
int TestCtl_RegSetDword(HKEY root, LPCSTR subkey, LPCSTR name, DWORD value) {
  return QvRegStoreSet(root, subkey, name, REG_DWORD, &value, sizeof value);
}
int TestCtl_RegSetString(HKEY root, LPCSTR subkey, LPCSTR name, LPCSTR value) {
  return QvRegStoreSet(root, subkey, name, REG_SZ, value,
                       (DWORD)strlen(value) + 1);
}
void TestCtl_RegDeleteKey(HKEY root, LPCSTR subkey) {
  QvRegStoreDeleteKey(root, subkey);
}
void TestCtl_RegDeleteValue(HKEY root, LPCSTR subkey, LPCSTR name) {
  QvRegStoreDeleteValue(root, subkey, name);
}

unsigned long TestCtl_Calls(QvOp op) { return g_calls[op].load(); }
unsigned long TestCtl_AllCalls(void) {
  unsigned long total = 0;
  for (int i = 0; i < QVOP_COUNT; i++)
    total += g_calls[i].load();
  return total;
}
void TestCtl_ResetCounts(void) {
  // Counting restarts; armed failures keep their distance from now.
  std::lock_guard<std::mutex> lock(g_ctlMutex);
  for (int i = 0; i < QVOP_COUNT; i++) {
    if (g_opArm[i].armed)
      g_opArm[i].target -= g_calls[i].load();
    g_calls[i] = 0;
  }
}

void TestCtl_FailCall(QvOp op, unsigned long nth, DWORD error, int persistent) {
  std::lock_guard<std::mutex> lock(g_ctlMutex);
  Arm &arm = g_opArm[op];
  arm.armed = 0;
  g_fired = 0;
  if (nth == 0)
    return;
  arm.target = g_calls[op].load() + nth;
  arm.error = error;
  arm.persistent = persistent;
  arm.armed = 1;
}

void TestCtl_FailAlloc(unsigned long nth, int persistent) {
  std::lock_guard<std::mutex> lock(g_ctlMutex);
  g_allocArm.armed = 0;
  g_fired = 0;
  if (nth == 0)
    return;
  g_allocArm.target = g_allocCalls.load() + nth;
  g_allocArm.persistent = persistent;
  g_allocArm.armed = 1;
}

int TestCtl_FailureFired(void) { return g_fired.load(); }

void TestCtl_DisarmAll(void) {
  std::lock_guard<std::mutex> lock(g_ctlMutex);
  for (int i = 0; i < QVOP_COUNT; i++)
    g_opArm[i].armed = 0;
  g_allocArm.armed = 0;
  g_fired = 0;
}

unsigned long TestCtl_Allocs(void) { return g_allocsOk.load(); }
long TestCtl_LiveBlocks(void) { return g_live.load(); }
long TestCtl_OpenHandles(void) { return QvHandlesOpen(); }

void TestCtl_SetHook(QvOp op, TestCtl_Hook hook, void *context) {
  std::lock_guard<std::mutex> lock(g_ctlMutex);
  g_hooks[op] = hook;
  g_hookContext[op] = context;
  int any = 0;
  for (int i = 0; i < QVOP_COUNT; i++)
    any |= g_hooks[i] != NULL;
  g_anyHook = any;
}

const TestCtl_ProcessCall *TestCtl_LastCreateProcess(void) {
  return &g_lastProcess;
}
unsigned long TestCtl_ProcessesStarted(void) { return g_processCalls.load(); }
