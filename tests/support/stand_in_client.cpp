// A stand-in mail client for the tests. It writes the whole command line it
// was started with to QV_CLIENT_DIR/client-<pid>.txt, waits
// QV_CLIENT_WAIT_MS milliseconds, and writes client-<pid>.done just before
// it exits, so a caller can tell that it waited for the exit.
//
// On Windows it also writes the wide command line (GetCommandLineW), unit
// for unit as UTF-16LE, to client-<pid>.w16, and its own program path
// (GetModuleFileNameW, UTF-16LE) to client-<pid>.exe16, before the .txt
// record.
//
// On Windows, with QV_CLIENT_SEND_TO set to a window class, it first sends
// that window a message, as real clients do to the host that started them,
// and writes what the window answered to client-<pid>.sent. With
// QV_CLIENT_WAIT_EVENT set to an event's name, it waits up to 20 seconds
// for that event (set by whoever it depends on) and writes "set" or
// "timeout" to client-<pid>.event. With QV_CLIENT_ENABLED_OF set to a
// window class, it writes whether that window is enabled ("1" or "0") to
// client-<pid>.enabled, as the host's window is seen from another process.
// With QV_CLIENT_WINDOW_MS set, it shows a window (class QvClientWindow,
// titled QV_CLIENT_TITLE or "compose") for that long instead of waiting
// QV_CLIENT_WAIT_MS, takes the foreground with it (after
// QV_CLIENT_FRONT_AFTER_MS, when set; never, when that is not shorter), and
// writes whether it still had the foreground at the close ("1" or "0") to
// client-<pid>.front; as a mail client should, it lets the host take the
// foreground back before its last window goes. QV_CLIENT_GONE_TO names the
// window the foreground then goes to, as Windows would pick it.
// QV_CLIENT_FRONT_CUE delays the foreground's clock until another
// stand-in's window of that title shows.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
static const char *CommandLine(int, char **) { return GetCommandLineA(); }
static unsigned long ProcessId(void) { return GetCurrentProcessId(); }
static void SleepMs(unsigned long ms) { Sleep(ms); }
static const char kSep[] = "\\";
#else
#include <unistd.h>
static const char *CommandLine(int argc, char **argv) {
  // The POSIX platform layer hands the Win32 command line over as argv[1].
  return argc > 1 ? argv[1] : "";
}
static unsigned long ProcessId(void) { return (unsigned long)getpid(); }
static void SleepMs(unsigned long ms) { usleep((useconds_t)ms * 1000); }
static const char kSep[] = "/";
#endif

#ifdef _WIN32
static void Pump(DWORD ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG m;
    while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE))
      DispatchMessageA(&m);
    Sleep(10);
  }
}

// Windows raises the event itself; Wine 8 does not, so the stand-in does.
static void TakeFront(HWND w) {
  SetForegroundWindow(w);
  NotifyWinEvent(EVENT_SYSTEM_FOREGROUND, w, OBJID_WINDOW, CHILDID_SELF);
}

static void ShowComposeWindow(DWORD ms, const char *dir) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(NULL);
  wc.lpszClassName = "QvClientWindow";
  RegisterClassA(&wc);
  const char *title = getenv("QV_CLIENT_TITLE");
  HWND w =
      CreateWindowExA(0, wc.lpszClassName, title && *title ? title : "compose",
                      WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 100, 300, 200,
                      NULL, NULL, wc.hInstance, NULL);
  const char *after = getenv("QV_CLIENT_FRONT_AFTER_MS");
  DWORD front = after && *after ? strtoul(after, NULL, 10) : 0;
  // QV_CLIENT_FRONT_CUE: the time to the foreground counts from when
  // another stand-in's window of that title shows (at most 20 s).
  const char *cue = getenv("QV_CLIENT_FRONT_CUE");
  for (int i = 0;
       cue && *cue && i < 2000 && !FindWindowA(wc.lpszClassName, cue); i++)
    Pump(10);
  Pump(front < ms ? front : ms);
  if (front < ms)
    TakeFront(w);
  Pump(front < ms ? ms - front : 0);
  bool inFront = GetForegroundWindow() == w;
  // Only the foreground process may grant it, so a client the user left
  // meanwhile gives nothing away.
  if (inFront)
    AllowSetForegroundWindow(ASFW_ANY);
  DestroyWindow(w);
  // Windows then activates the next window that can be: with the host still
  // disabled, another application's. Wine leaves the foreground empty.
  const char *goneTo = getenv("QV_CLIENT_GONE_TO");
  HWND next = goneTo && *goneTo ? FindWindowA(wc.lpszClassName, goneTo) : NULL;
  if (inFront && next)
    TakeFront(next);
  if (dir && *dir) {
    char name[1024];
    snprintf(name, sizeof name, "%s%sclient-%lu.front", dir, kSep, ProcessId());
    FILE *f = fopen(name, "wb");
    if (f) {
      fputs(inFront ? "1" : "0", f);
      fclose(f);
    }
  }
}
#endif

int main(int argc, char **argv) {
  const char *line = CommandLine(argc, argv);
  const char *dir = getenv("QV_CLIENT_DIR");
#ifdef _WIN32
  if (dir && *dir) {
    const wchar_t *wide = GetCommandLineW();
    char name[1024];
    snprintf(name, sizeof name, "%s%sclient-%lu.w16", dir, kSep, ProcessId());
    FILE *f = fopen(name, "wb");
    if (f) {
      fwrite(wide, sizeof *wide, wcslen(wide), f);
      fclose(f);
    }
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, self, MAX_PATH);
    snprintf(name, sizeof name, "%s%sclient-%lu.exe16", dir, kSep, ProcessId());
    f = fopen(name, "wb");
    if (f) {
      fwrite(self, sizeof *self, n, f);
      fclose(f);
    }
  }
#endif
  if (dir && *dir) {
    char tmp[1024], final[1024];
    snprintf(tmp, sizeof tmp, "%s%sclient-%lu.tmp", dir, kSep, ProcessId());
    snprintf(final, sizeof final, "%s%sclient-%lu.txt", dir, kSep, ProcessId());
    FILE *f = fopen(tmp, "wb");
    if (!f)
      return 2;
    fwrite(line, 1, strlen(line), f);
    fclose(f);
    rename(tmp, final); // readers never see a half-written record
  }
#ifdef _WIN32
  const char *sendTo = getenv("QV_CLIENT_SEND_TO");
  if (sendTo && *sendTo && dir && *dir) {
    HWND host = FindWindowA(sendTo, NULL);
    LRESULT answer = host ? SendMessageA(host, WM_APP + 7, 0x51, 0) : -1;
    char sent[1024];
    snprintf(sent, sizeof sent, "%s%sclient-%lu.sent", dir, kSep, ProcessId());
    FILE *f = fopen(sent, "wb");
    if (f) {
      fprintf(f, "%lld", (long long)answer);
      fclose(f);
    }
  }
#endif
#ifdef _WIN32
  const char *enabledOf = getenv("QV_CLIENT_ENABLED_OF");
  if (enabledOf && *enabledOf && dir && *dir) {
    HWND host = FindWindowA(enabledOf, NULL);
    char name[1024];
    snprintf(name, sizeof name, "%s%sclient-%lu.enabled", dir, kSep,
             ProcessId());
    FILE *f = fopen(name, "wb");
    if (f) {
      fputs(!host ? "none" : IsWindowEnabled(host) ? "1" : "0", f);
      fclose(f);
    }
  }
  const char *eventName = getenv("QV_CLIENT_WAIT_EVENT");
  if (eventName && *eventName && dir && *dir) {
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, eventName);
    DWORD waited = event ? WaitForSingleObject(event, 20000) : WAIT_FAILED;
    char name[1024];
    snprintf(name, sizeof name, "%s%sclient-%lu.event", dir, kSep, ProcessId());
    FILE *f = fopen(name, "wb");
    if (f) {
      fputs(waited == WAIT_OBJECT_0 ? "set" : "timeout", f);
      fclose(f);
    }
    if (event)
      CloseHandle(event);
  }
#endif
  const char *shown = getenv("QV_CLIENT_WINDOW_MS");
#ifdef _WIN32
  if (shown && *shown)
    ShowComposeWindow(strtoul(shown, NULL, 10), dir);
#endif
  const char *wait = getenv("QV_CLIENT_WAIT_MS");
  if (wait && *wait && !(shown && *shown))
    SleepMs(strtoul(wait, NULL, 10));
  if (dir && *dir) {
    char done[1024];
    snprintf(done, sizeof done, "%s%sclient-%lu.done", dir, kSep, ProcessId());
    FILE *f = fopen(done, "wb");
    if (f)
      fclose(f);
  }
  return 7; // an exit code the library must not care about
}
