// The seam over POSIX, for the native tests: real files and processes, a
// registry in memory, code pages 1252, 932 and UTF-8. Every operation asks
// FakeFails() first; that one function decides, from what the control armed,
// which call fails (the heap's countdown included).
#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <string>

#include "platform/fake/control.h"
#include "platform/fake/fake.h"

namespace {

const int kHeap = QVOP_COUNT; // the heap's own slot among the operations

pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
struct Armed {
  unsigned long nth; // 0: nothing armed
  DWORD error;
  int persistent;
};
Armed g_armed[QVOP_COUNT + 1];
unsigned long g_calls[QVOP_COUNT + 1];
int g_fired;
TestCtl_Hook g_hooks[QVOP_COUNT];
void *g_hookContexts[QVOP_COUNT];
std::atomic<long> g_liveBlocks, g_openHandles;
std::atomic<unsigned long> g_allocs, g_started;

} // namespace

int FakeFails(int op, DWORD *error) {
  if (op < QVOP_COUNT && g_hooks[op])
    g_hooks[op]((QvOp)op, g_hookContexts[op]);
  pthread_mutex_lock(&g_mutex);
  g_calls[op]++;
  Armed *a = &g_armed[op];
  int fail = a->nth != 0 && --a->nth == 0;
  if (fail) {
    g_fired = 1;
    if (a->persistent)
      a->nth = 1;
  }
  if (error)
    *error = a->error;
  pthread_mutex_unlock(&g_mutex);
  return fail;
}

// The heap. Blocks carry their size in front, so that the control can
// tell how many are live.
void *QvAlloc(size_t size) { return QvRealloc(NULL, size); }
void *QvRealloc(void *block, size_t size) {
  if (FakeFails(kHeap))
    return NULL;
  void *grown = realloc(block, size ? size : 1);
  if (grown) {
    g_allocs++;
    if (!block)
      g_liveBlocks++;
  }
  return grown;
}
void QvFree(void *block) {
  if (block)
    g_liveBlocks--;
  free(block);
}

// Windows paths as the tests give them: "Z:\tmp\x" is "/tmp/x".
static std::string FakePosixPath(const char *path) {
  std::string out = path;
  if (out.size() >= 2 && out[1] == ':')
    out.erase(0, 2);
  for (char &c : out)
    c = c == '\\' ? '/' : c;
  return out;
}

static DWORD Win32Error(int error, const std::string &path) {
  switch (error) {
  case ENOENT: {
    std::string parent = path.substr(0, path.find_last_of('/'));
    struct stat st;
    return stat(parent.c_str(), &st) == 0 ? ERROR_FILE_NOT_FOUND
                                          : ERROR_PATH_NOT_FOUND;
  }
  case ENOTDIR:
    return ERROR_PATH_NOT_FOUND;
  case EEXIST:
    return ERROR_FILE_EXISTS;
  case ENOSPC:
    return ERROR_DISK_FULL;
  case ENAMETOOLONG:
    return ERROR_FILENAME_EXCED_RANGE;
  default:
    return ERROR_ACCESS_DENIED;
  }
}

DWORD FileOpen(const char *name, HANDLE *file, DWORD access, DWORD,
               DWORD disposition) {
  *file = INVALID_HANDLE_VALUE;
  DWORD error;
  if (FakeFails(QVOP_FileOpen, &error))
    return error;
  int flags = (access & GENERIC_READ) && (access & GENERIC_WRITE) ? O_RDWR
              : (access & GENERIC_WRITE)                          ? O_WRONLY
                                                                  : O_RDONLY;
  flags |= disposition == CREATE_NEW    ? O_CREAT | O_EXCL
           : disposition == OPEN_ALWAYS ? O_CREAT
                                        : 0;
  std::string path = FakePosixPath(name);
  int fd = open(path.c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0)
    return Win32Error(errno, path);
  g_openHandles++;
  *file = (HANDLE)(intptr_t)fd;
  return 0;
}

DWORD FileWrite(HANDLE file, const void *bytes, DWORD count, DWORD *written) {
  *written = 0;
  DWORD error;
  if (FakeFails(QVOP_FileWrite, &error))
    return error;
  while (*written < count) {
    ssize_t n = write((int)(intptr_t)file, (const char *)bytes + *written,
                      count - *written);
    if (n < 0 && errno != EINTR)
      return Win32Error(errno, "");
    *written += n > 0 ? (DWORD)n : 0;
  }
  return 0;
}

DWORD FileSeek(HANDLE file, LONG distance, DWORD method) {
  DWORD error;
  if (FakeFails(QVOP_FileSeek, &error))
    return error;
  return lseek((int)(intptr_t)file, distance,
               method == FILE_END ? SEEK_END : SEEK_SET) < 0
             ? ERROR_INVALID_HANDLE
             : 0;
}

DWORD FileClose(HANDLE file) {
  if (file == INVALID_HANDLE_VALUE)
    return 0;
  DWORD error;
  int fail = FakeFails(QVOP_FileClose, &error);
  // A failed close still gives the handle back, as CloseHandle does.
  g_openHandles--;
  close((int)(intptr_t)file);
  return fail ? error : 0;
}

static pthread_mutex_t g_dataMutex = PTHREAD_MUTEX_INITIALIZER;
static std::string g_appData;
static int g_hasAppData;

int AppDataFolder(char *folder, size_t room) {
  if (FakeFails(QVOP_AppDataFolder))
    return 0;
  pthread_mutex_lock(&g_dataMutex);
  std::string path = g_hasAppData ? g_appData : "";
  pthread_mutex_unlock(&g_dataMutex);
  while (!path.empty() && (path.back() == '/' || path.back() == '\\'))
    path.pop_back();
  if (path.empty() || path.size() >= room)
    return 0;
  memcpy(folder, path.c_str(), path.size() + 1);
  return 1;
}

int CreateFolder(const char *name) {
  DWORD error;
  if (FakeFails(QVOP_CreateFolder, &error))
    return (int)error;
  std::string path = FakePosixPath(name);
  struct stat st;
  if (stat(path.c_str(), &st) == 0)
    return S_ISDIR(st.st_mode) ? ERROR_ALREADY_EXISTS : ERROR_FILE_EXISTS;
  for (size_t i = 1; i <= path.size(); i++)
    if ((i == path.size() || path[i] == '/') &&
        mkdir(path.substr(0, i).c_str(), 0777) != 0 && errno != EEXIST)
      return (int)Win32Error(errno, path.substr(0, i));
  return ERROR_SUCCESS;
}

// Windows' wildcards, in any case; "name.*" also finds "name".
static bool Matches(const char *pattern, const char *name) {
  for (; *pattern; pattern++, name++) {
    if (*pattern == '*') {
      for (const char *rest = name;; rest++) {
        if (Matches(pattern + 1, rest))
          return true;
        if (!*rest)
          return false;
      }
    }
    if (!*name)
      return strcmp(pattern, ".*") == 0;
    if (*pattern != '?' && tolower((unsigned char)*pattern) !=
                               tolower((unsigned char)*name))
      return false;
  }
  return !*name;
}

struct FakeSearch {
  DIR *dir;
  std::string pattern;
};

static int NextMatch(NameSearch *s) {
  FakeSearch *search = (FakeSearch *)s->search;
  for (struct dirent *e; (e = readdir(search->dir)) != NULL;)
    if (Matches(search->pattern.c_str(), e->d_name)) {
      snprintf(s->name, sizeof s->name, "%s", e->d_name);
      return 1;
    }
  return 0;
}

int NameSearchFirst(NameSearch *s, const char *pattern) {
  s->search = INVALID_HANDLE_VALUE;
  if (FakeFails(QVOP_NameSearchFirst))
    return 0;
  std::string path = FakePosixPath(pattern);
  size_t slash = path.find_last_of('/');
  DIR *dir = opendir(slash == std::string::npos
                         ? "."
                         : path.substr(0, slash ? slash : 1).c_str());
  if (!dir)
    return 0;
  s->search = new FakeSearch{dir, path.substr(slash + 1)};
  g_openHandles++;
  if (NextMatch(s))
    return 1;
  NameSearchClose(s);
  return 0;
}

int NameSearchNext(NameSearch *s) {
  return !FakeFails(QVOP_NameSearchNext) && NextMatch(s);
}

void NameSearchClose(NameSearch *s) {
  if (s->search == INVALID_HANDLE_VALUE)
    return;
  FakeSearch *search = (FakeSearch *)s->search;
  closedir(search->dir);
  delete search;
  g_openHandles--;
  s->search = INVALID_HANDLE_VALUE;
}

// The registry: "HKLM\SUBKEY" in capitals, then value names in capitals.
struct Value {
  DWORD type;
  std::string data;
};
static std::map<std::string, std::map<std::string, Value>> g_registry;

static std::string Upper(std::string s) {
  for (char &c : s)
    c = (char)toupper((unsigned char)c);
  return s;
}
static std::string KeyName(HKEY root, const std::string &subkey) {
  return Upper((root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\") + subkey);
}

// The value, copied out under the lock; 0 when there is none.
static int FindValue(HKEY root, const std::string &subkey,
                     const std::string &name, Value *value) {
  pthread_mutex_lock(&g_dataMutex);
  auto key = g_registry.find(KeyName(root, subkey));
  int found = 0;
  if (key != g_registry.end()) {
    auto v = key->second.find(Upper(name));
    if ((found = v != key->second.end()))
      *value = v->second;
  }
  pthread_mutex_unlock(&g_dataMutex);
  return found;
}

int ReadRegistryDword(HKEY root, const char *subkey, const char *valueName,
                      DWORD *value) {
  Value v;
  if (FakeFails(QVOP_ReadRegistryDword) ||
      !FindValue(root, subkey, valueName, &v) || v.type != REG_DWORD ||
      v.data.size() > sizeof(DWORD))
    return 0;
  memcpy(value, v.data.data(), v.data.size());
  return 1;
}

int ReadRegistryString(HKEY root, const WCHAR *subkey, const WCHAR *valueName,
                       WCHAR **buffer, DWORD *size, DWORD *type) {
  *buffer = NULL;
  Value v;
  if (FakeFails(QVOP_ReadRegistryString) ||
      !FindValue(root, FakeUtf8(subkey), FakeUtf8(valueName), &v))
    return 0;
  // As the Win32 side does: one spare unit behind the data, a partial one
  // rounded up, so that the text is always terminated.
  size_t units = (v.data.size() + sizeof(WCHAR) - 1) / sizeof(WCHAR) + 1;
  WCHAR *block = (WCHAR *)QvAlloc(units * sizeof(WCHAR));
  if (!block)
    return -1;
  memset(block, 0, units * sizeof(WCHAR));
  memcpy(block, v.data.data(), v.data.size());
  *buffer = block;
  *size = (DWORD)v.data.size();
  *type = v.type;
  return 1;
}

DWORD ExpandCommand(const WCHAR *command, WCHAR *out, DWORD room) {
  if (FakeFails(QVOP_ExpandCommand))
    return 0;
  std::u16string result;
  for (const WCHAR *p = command; *p;) {
    const WCHAR *end = *p == '%' ? p + 1 : NULL;
    while (end && *end && *end != '%')
      end++;
    const char *value = NULL;
    if (end && *end == '%' && end > p + 1)
      value = getenv(FakeUtf8(p + 1, (size_t)(end - p - 1)).c_str());
    if (!value) {
      result += *p++;
      continue;
    }
    result += FakeUtf16(value);
    p = end + 1;
  }
  if (result.size() < room)
    memcpy(out, result.c_str(), (result.size() + 1) * sizeof(WCHAR));
  return (DWORD)result.size() + 1;
}

int EnvironmentHas(const WCHAR *name) {
  return getenv(FakeUtf8(name).c_str()) != NULL;
}

static pthread_mutex_t g_startMutex = PTHREAD_MUTEX_INITIALIZER;
static TestCtl_Start g_lastStart;
static std::u16string g_lastLine;

// The child gets the whole line as its one argument, in UTF-8.
int StartAndWait(const WCHAR *program, WCHAR *line, ULONG_PTR uiParam) {
  std::string path = FakePosixPath(FakeUtf8(program).c_str());
  std::string narrow = FakeUtf8(line);
  pthread_mutex_lock(&g_startMutex);
  g_lastStart.made = 1;
  snprintf(g_lastStart.program, sizeof g_lastStart.program, "%s",
           FakeUtf8(program).c_str());
  g_lastLine = line;
  g_lastStart.uiParam = uiParam;
  pthread_mutex_unlock(&g_startMutex);
  if (FakeFails(QVOP_StartAndWait))
    return 0;
  char *argv[] = {&path[0], &narrow[0], NULL};
  pid_t pid;
  if (posix_spawn(&pid, path.c_str(), NULL, NULL, argv, environ) != 0)
    return 0;
  g_started++;
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
    ;
  return 1;
}

DWORD CurrentThreadId(void) {
  static std::atomic<DWORD> next{0x100};
  static thread_local DWORD id = next++;
  return id;
}

void LocalTime(SYSTEMTIME *now) {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm t;
  localtime_r(&ts.tv_sec, &t);
  now->wYear = (WORD)(t.tm_year + 1900);
  now->wMonth = (WORD)(t.tm_mon + 1);
  now->wDayOfWeek = (WORD)t.tm_wday;
  now->wDay = (WORD)t.tm_mday;
  now->wHour = (WORD)t.tm_hour;
  now->wMinute = (WORD)t.tm_min;
  now->wSecond = (WORD)t.tm_sec;
  now->wMilliseconds = (WORD)(ts.tv_nsec / 1000000);
}

static_assert(sizeof(pthread_mutex_t) <= sizeof(QvLock), "a lock fits");
void LockInit(QvLock *lock) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init((pthread_mutex_t *)lock, &attr);
  pthread_mutexattr_destroy(&attr);
}
void LockEnter(QvLock *lock) {
  FakeFails(QVOP_LockEnter);
  pthread_mutex_lock((pthread_mutex_t *)lock);
}
void LockLeave(QvLock *lock) {
  FakeFails(QVOP_LockLeave);
  pthread_mutex_unlock((pthread_mutex_t *)lock);
}
void LockDelete(QvLock *lock) { pthread_mutex_destroy((pthread_mutex_t *)lock); }


// The control.

void TestCtl_Reset(void) {
  TestCtl_DisarmAll();
  TestCtl_ResetCounts();
  pthread_mutex_lock(&g_dataMutex);
  g_registry.clear();
  g_hasAppData = 0;
  pthread_mutex_unlock(&g_dataMutex);
  memset(g_hooks, 0, sizeof g_hooks);
  pthread_mutex_lock(&g_startMutex);
  memset(&g_lastStart, 0, sizeof g_lastStart);
  g_lastLine.clear();
  pthread_mutex_unlock(&g_startMutex);
  g_started = 0;
  TestCtl_SetAnsiCodePage(1252);
  TestCtl_SetSystemCodePage(0);
}

void TestCtl_SetAppDataFolder(const char *path) {
  pthread_mutex_lock(&g_dataMutex);
  g_hasAppData = path != NULL;
  g_appData = path ? path : "";
  pthread_mutex_unlock(&g_dataMutex);
}

void TestCtl_RegSetValue(HKEY root, const char *subkey, const char *name,
                         DWORD type, const void *data, DWORD size) {
  pthread_mutex_lock(&g_dataMutex);
  g_registry[KeyName(root, subkey)][Upper(name)] = {
      type, std::string((const char *)data, size)};
  pthread_mutex_unlock(&g_dataMutex);
}

void TestCtl_RegSetString(HKEY root, const char *subkey, const char *name,
                          const char *utf8) {
  std::u16string text = FakeUtf16(utf8);
  TestCtl_RegSetValue(root, subkey, name, REG_SZ, text.c_str(),
                      (DWORD)((text.size() + 1) * sizeof(WCHAR)));
}

void TestCtl_RegSetDword(HKEY root, const char *subkey, const char *name,
                         DWORD value) {
  TestCtl_RegSetValue(root, subkey, name, REG_DWORD, &value, sizeof value);
}

void TestCtl_RegDeleteKey(HKEY root, const char *subkey) {
  std::string key = KeyName(root, subkey);
  pthread_mutex_lock(&g_dataMutex);
  for (auto it = g_registry.begin(); it != g_registry.end();)
    if (it->first == key || it->first.compare(0, key.size() + 1,
                                              key + "\\") == 0)
      it = g_registry.erase(it);
    else
      ++it;
  pthread_mutex_unlock(&g_dataMutex);
}

unsigned long TestCtl_Calls(QvOp op) {
  pthread_mutex_lock(&g_mutex);
  unsigned long calls = g_calls[op];
  pthread_mutex_unlock(&g_mutex);
  return calls;
}

unsigned long TestCtl_AllCalls(void) {
  pthread_mutex_lock(&g_mutex);
  unsigned long calls = 0;
  for (unsigned long n : g_calls)
    calls += n;
  pthread_mutex_unlock(&g_mutex);
  return calls;
}

void TestCtl_ResetCounts(void) {
  pthread_mutex_lock(&g_mutex);
  memset(g_calls, 0, sizeof g_calls);
  pthread_mutex_unlock(&g_mutex);
}

static void Arm(int op, unsigned long nth, DWORD error, int persistent) {
  pthread_mutex_lock(&g_mutex);
  g_armed[op] = {nth, error, persistent};
  g_fired = 0;
  pthread_mutex_unlock(&g_mutex);
}
void TestCtl_FailCall(QvOp op, unsigned long nth, DWORD error,
                      int persistent) {
  Arm(op, nth, error, persistent);
}
void TestCtl_FailAlloc(unsigned long nth, int persistent) {
  Arm(kHeap, nth, 0, persistent);
}

int TestCtl_FailureFired(void) {
  pthread_mutex_lock(&g_mutex);
  int fired = g_fired;
  pthread_mutex_unlock(&g_mutex);
  return fired;
}

void TestCtl_DisarmAll(void) {
  pthread_mutex_lock(&g_mutex);
  memset(g_armed, 0, sizeof g_armed);
  g_fired = 0;
  pthread_mutex_unlock(&g_mutex);
}

unsigned long TestCtl_Allocs(void) { return g_allocs; }
long TestCtl_LiveBlocks(void) { return g_liveBlocks; }
long TestCtl_OpenHandles(void) { return g_openHandles; }

void TestCtl_SetHook(QvOp op, TestCtl_Hook hook, void *context) {
  g_hookContexts[op] = context;
  g_hooks[op] = hook;
}

const TestCtl_Start *TestCtl_LastStart(void) {
  static std::u16string copy;
  pthread_mutex_lock(&g_startMutex);
  copy = g_lastLine;
  g_lastStart.line = (WCHAR *)copy.c_str();
  pthread_mutex_unlock(&g_startMutex);
  return &g_lastStart;
}

unsigned long TestCtl_ProcessesStarted(void) { return g_started; }
