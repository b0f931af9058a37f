// The seam over POSIX, for the native tests: real files and processes, a
// registry in memory. Every operation asks FakeFails() first: that one
// function decides, from what the control armed, which call fails (the
// heap's countdown included).
#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
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
#include <vector>

#include "platform/fake/control.h"
#include "platform/fake/fake.h"

namespace {

const int kHeap = QVOP_COUNT; // the heap's own slot among the operations

struct Armed {
  unsigned long nth; // 0: nothing armed
  DWORD error;
  int persistent;
};

// Everything below is under g_mutex but the counters.
pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
Armed g_armed[QVOP_COUNT + 1];
std::atomic<unsigned long> g_calls[QVOP_COUNT + 1];
std::atomic<int> g_fired, g_armedCount; // failures armed and not yet run out
TestCtl_Hook g_hooks[QVOP_COUNT];
void *g_hookContexts[QVOP_COUNT];
std::string g_appData;
int g_hasAppData;
struct Value {
  DWORD type;
  std::string data;
};
std::map<std::string, Value> g_registry; // "HKCU\KEY" NUL "NAME", in capitals
TestCtl_Start g_lastStart;
std::u16string g_lastLine;
std::atomic<long> g_liveBlocks, g_openHandles;
std::atomic<unsigned long> g_allocs, g_started;

struct Locked {
  Locked() { pthread_mutex_lock(&g_mutex); }
  ~Locked() { pthread_mutex_unlock(&g_mutex); }
};

// The folders the tests gave drive letters (set before any thread starts).
std::string g_drives[26];

// Windows paths as the tests give them: "Z:\tmp\x" is "/tmp/x", unless
// the test gave Z: a folder.
std::string PosixPath(const char *path) {
  std::string out = path[0] && path[1] == ':' ? path + 2 : path;
  int drive = path[0] && path[1] == ':' ? toupper((unsigned char)path[0]) : 0;
  if (drive >= 'A' && drive <= 'Z' && !g_drives[drive - 'A'].empty())
    out = g_drives[drive - 'A'] + out;
  for (char &c : out)
    c = c == '\\' ? '/' : c;
  return out;
}

DWORD Win32Error(int error, const std::string &path) {
  struct stat st;
  std::string parent = path.substr(0, path.find_last_of('/'));
  if (error == ENOENT)
    return stat(parent.c_str(), &st) == 0 ? ERROR_FILE_NOT_FOUND
                                          : ERROR_PATH_NOT_FOUND;
  return error == ENOTDIR        ? ERROR_PATH_NOT_FOUND
         : error == EEXIST       ? ERROR_FILE_EXISTS
         : error == ENOSPC       ? ERROR_DISK_FULL
         : error == ENAMETOOLONG ? ERROR_FILENAME_EXCED_RANGE
                                 : ERROR_ACCESS_DENIED;
}

std::string ValueKey(HKEY root, const std::string &subkey,
                     const std::string &name) {
  std::string key = (root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\") +
                    subkey + '\0' + name;
  for (char &c : key)
    c = (char)toupper((unsigned char)c);
  return key;
}

int FindValue(HKEY root, const std::string &subkey, const std::string &name,
              Value *value) {
  Locked locked;
  auto found = g_registry.find(ValueKey(root, subkey, name));
  if (found != g_registry.end())
    *value = found->second;
  return found != g_registry.end();
}

struct Search {
  std::vector<std::string> names;
  size_t next;
};

} // namespace

int FakeFails(int op, DWORD *error) {
  if (op < QVOP_COUNT && g_hooks[op])
    g_hooks[op]((QvOp)op, g_hookContexts[op]);
  g_calls[op]++;
  if (!g_armedCount) // the common case costs no lock
    return 0;
  Locked locked;
  Armed *a = &g_armed[op];
  int fail = a->nth != 0 && --a->nth == 0;
  if (fail)
    g_fired = 1;
  if (fail && a->persistent)
    a->nth = 1;
  else if (fail)
    g_armedCount--;
  if (error)
    *error = a->error;
  return fail;
}

void *QvAlloc(size_t size) { return QvRealloc(NULL, size); }
void *QvRealloc(void *block, size_t size) {
  if (FakeFails(kHeap))
    return NULL;
  void *grown = realloc(block, size ? size : 1);
  g_allocs += grown != NULL;
  g_liveBlocks += grown && !block;
  return grown;
}
void QvFree(void *block) {
  g_liveBlocks -= block != NULL;
  free(block);
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
  std::string path = PosixPath(name);
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
  for (ssize_t n; *written < count; *written += (DWORD)n)
    if ((n = write((int)(intptr_t)file, (const char *)bytes + *written,
                   count - *written)) < 0)
      return Win32Error(errno, "");
  return 0;
}

DWORD FileSeek(HANDLE file, LONG distance, DWORD method) {
  DWORD error;
  if (FakeFails(QVOP_FileSeek, &error))
    return error;
  int whence = method == FILE_END ? SEEK_END : SEEK_SET;
  return lseek((int)(intptr_t)file, distance, whence) < 0 ? ERROR_INVALID_HANDLE
                                                          : 0;
}

// A failed close still gives the handle back, as CloseHandle does.
DWORD FileClose(HANDLE file) {
  if (file == INVALID_HANDLE_VALUE)
    return 0;
  DWORD error;
  int fail = FakeFails(QVOP_FileClose, &error);
  g_openHandles--;
  close((int)(intptr_t)file);
  return fail ? error : 0;
}

int AppDataFolder(char *folder, size_t room) {
  if (FakeFails(QVOP_AppDataFolder))
    return 0;
  Locked locked;
  std::string path = g_hasAppData ? g_appData : "";
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
  std::string path = PosixPath(name);
  struct stat st;
  if (stat(path.c_str(), &st) == 0)
    return S_ISDIR(st.st_mode) ? ERROR_ALREADY_EXISTS : ERROR_FILE_EXISTS;
  for (size_t i = 1; i <= path.size(); i++)
    if ((i == path.size() || path[i] == '/') &&
        mkdir(path.substr(0, i).c_str(), 0777) != 0 && errno != EEXIST)
      return (int)Win32Error(errno, path.substr(0, i));
  return ERROR_SUCCESS;
}

// Windows' wildcards in any case; "name.*" also finds "name". The names
// are listed at the first call.
int NameSearchFirst(NameSearch *s, const char *pattern) {
  s->search = INVALID_HANDLE_VALUE;
  if (FakeFails(QVOP_NameSearchFirst))
    return 0;
  std::string path = PosixPath(pattern);
  size_t slash = path.find_last_of('/');
  std::string folder = path.substr(0, slash), wildcard = path.substr(slash + 1);
  std::string bare = wildcard.size() > 2 && !wildcard.compare(
                                                wildcard.size() - 2, 2, ".*")
                         ? wildcard.substr(0, wildcard.size() - 2)
                         : wildcard;
  Search *search = new Search{{}, 0};
  DIR *d = opendir(folder.c_str());
  for (struct dirent *e; d && (e = readdir(d));)
    if (!fnmatch(wildcard.c_str(), e->d_name, FNM_CASEFOLD) ||
        !fnmatch(bare.c_str(), e->d_name, FNM_CASEFOLD))
      search->names.push_back(e->d_name);
  if (d)
    closedir(d);
  s->search = search;
  g_openHandles++;
  if (NameSearchNext(s))
    return 1;
  NameSearchClose(s);
  return 0;
}

int NameSearchNext(NameSearch *s) {
  Search *search = (Search *)s->search;
  if (FakeFails(QVOP_NameSearchNext) || search->next == search->names.size())
    return 0;
  snprintf(s->name, sizeof s->name, "%s",
           search->names[search->next++].c_str());
  return 1;
}

void NameSearchClose(NameSearch *s) {
  if (s->search == INVALID_HANDLE_VALUE)
    return;
  delete (Search *)s->search;
  g_openHandles--;
  s->search = INVALID_HANDLE_VALUE;
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

// As the Win32 side does: one spare unit behind the data, a partial one
// rounded up, so that the text is always terminated.
int ReadRegistryString(HKEY root, const WCHAR *subkey, const WCHAR *valueName,
                       WCHAR **buffer, DWORD *size, DWORD *type) {
  *buffer = NULL;
  Value v;
  if (FakeFails(QVOP_ReadRegistryString) ||
      !FindValue(root, FakeUtf8(subkey), FakeUtf8(valueName), &v))
    return 0;
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
    const WCHAR *end = p[0] == '%' ? p + 1 : p;
    while (end > p && *end && *end != '%')
      end++;
    const char *value =
        end > p + 1 && *end ? getenv(FakeUtf8(p + 1, end - p - 1).c_str())
                            : NULL;
    result += value ? FakeUtf16(value) : std::u16string(1, *p);
    p = value ? end + 1 : p + 1;
  }
  if (result.size() < room)
    memcpy(out, result.c_str(), (result.size() + 1) * sizeof(WCHAR));
  return (DWORD)result.size() + 1;
}

int EnvironmentHas(const WCHAR *name) {
  return getenv(FakeUtf8(name).c_str()) != NULL;
}

// POSIX has no sharing modes: a file the host holds is an injected error.
DWORD ProbeFile(const WCHAR *path) {
  DWORD error;
  if (FakeFails(QVOP_ProbeFile, &error))
    return error;
  std::string name = FakeUtf8(path), posix = PosixPath(name.c_str());
  struct stat st;
  if (stat(posix.c_str(), &st) != 0)
    return Win32Error(errno, posix);
  if (S_ISDIR(st.st_mode))
    return ERROR_DIRECTORY;
  int fd = open(posix.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return Win32Error(errno, posix);
  close(fd);
  return 0;
}

// The child gets the whole line as its one argument, in UTF-8.
int StartAndWait(const WCHAR *program, WCHAR *line, ULONG_PTR uiParam,
                 StartFiles *files) {
  for (size_t i = 0; files && i < files->count; i++)
    if ((files->error = ProbeFile(files->paths[i])) != 0) {
      files->failed = i;
      return START_FILE_REFUSED;
    }
  std::string name = FakeUtf8(program), path = PosixPath(name.c_str());
  std::string narrow = FakeUtf8(line);
  {
    Locked locked;
    g_lastStart.made = 1;
    snprintf(g_lastStart.program, sizeof g_lastStart.program, "%s",
             name.c_str());
    g_lastLine = line;
    g_lastStart.uiParam = uiParam;
  }
  char *argv[] = {&path[0], &narrow[0], NULL};
  pid_t pid;
  if (FakeFails(QVOP_StartAndWait) ||
      posix_spawn(&pid, path.c_str(), NULL, NULL, argv, environ) != 0)
    return START_FAILED;
  g_started++;
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
    ;
  return START_DONE;
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
  *now = {(WORD)(t.tm_year + 1900), (WORD)(t.tm_mon + 1), (WORD)t.tm_wday,
          (WORD)t.tm_mday,          (WORD)t.tm_hour,      (WORD)t.tm_min,
          (WORD)t.tm_sec,           (WORD)(ts.tv_nsec / 1000000)};
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

void TestCtl_Reset(void) {
  TestCtl_DisarmAll();
  TestCtl_ResetCounts();
  {
    Locked locked;
    memset(g_hooks, 0, sizeof g_hooks);
    g_hasAppData = 0;
    g_registry.clear();
    g_lastStart = TestCtl_Start();
    g_lastLine.clear();
  }
  for (std::string &drive : g_drives)
    drive.clear();
  g_started = 0;
  TestCtl_SetAnsiCodePage(1252);
  TestCtl_SetSystemCodePage(0);
}

void TestCtl_SetDriveFolder(char drive, const char *folder) {
  int letter = toupper((unsigned char)drive);
  if (letter >= 'A' && letter <= 'Z')
    g_drives[letter - 'A'] = folder ? folder : "";
}

void TestCtl_SetAppDataFolder(const char *path) {
  Locked locked;
  g_hasAppData = path != NULL;
  g_appData = path ? path : "";
}

void TestCtl_RegSetValue(HKEY root, const char *subkey, const char *name,
                         DWORD type, const void *data, DWORD size) {
  Locked locked;
  g_registry[ValueKey(root, subkey, name)] = {
      type, std::string((const char *)data, size)};
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

// The key's values and those of every key below it.
void TestCtl_RegDeleteKey(HKEY root, const char *subkey) {
  std::string key = ValueKey(root, subkey, "");
  key.pop_back(); // the NUL
  Locked locked;
  for (auto it = g_registry.begin(); it != g_registry.end();) {
    std::string k = it->first.substr(0, it->first.find('\0'));
    bool below = k == key || !k.compare(0, key.size() + 1, key + "\\");
    it = below ? g_registry.erase(it) : std::next(it);
  }
}

unsigned long TestCtl_Calls(QvOp op) { return g_calls[op]; }
unsigned long TestCtl_AllCalls(void) {
  unsigned long calls = 0;
  for (const auto &n : g_calls)
    calls += n;
  return calls;
}
void TestCtl_ResetCounts(void) {
  for (auto &n : g_calls)
    n = 0;
}

void TestCtl_FailCall(QvOp op, unsigned long nth, DWORD error,
                      int persistent) {
  Locked locked;
  g_armedCount += (nth != 0) - (g_armed[op].nth != 0);
  g_armed[op] = {nth, error, persistent};
  g_fired = 0;
}
void TestCtl_FailAlloc(unsigned long nth, int persistent) {
  TestCtl_FailCall((QvOp)kHeap, nth, 0, persistent);
}
int TestCtl_FailureFired(void) { return g_fired; }
void TestCtl_DisarmAll(void) {
  Locked locked;
  memset(g_armed, 0, sizeof g_armed);
  g_fired = g_armedCount = 0;
}

unsigned long TestCtl_Allocs(void) { return g_allocs; }
long TestCtl_LiveBlocks(void) { return g_liveBlocks; }
long TestCtl_OpenHandles(void) { return g_openHandles; }

void TestCtl_SetHook(QvOp op, TestCtl_Hook hook, void *context) {
  g_hookContexts[op] = context;
  g_hooks[op] = hook;
}

// Read between sends, never while one is in flight.
const TestCtl_Start *TestCtl_LastStart(void) {
  Locked locked;
  g_lastStart.line = (WCHAR *)g_lastLine.c_str();
  return &g_lastStart;
}

unsigned long TestCtl_ProcessesStarted(void) { return g_started; }
