// The start of the mail client and the wait for it: modal, the way a
// dialog box is, for as long as the client runs.
//
// Windows counts a thread as hung when it has not read its queue for five
// seconds, and then ghosts its windows ("Not Responding") and offers to
// close the program. Disabling the caller's windows makes the system refuse
// input to them, so nothing the user does on the host re-enters it, and
// nothing queues up to replay after the call; every message is pumped.
#include <string.h>

#include "platform/platform.h"

namespace {

struct KeptMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

struct ModalWait {
  HWND *disabled; // the windows this call disabled, to enable again
  size_t disabledCount, disabledRoom;
  HWND active, focus; // as they were before the call
  KeptMessage *kept;  // posted to the thread during the wait, in order
  size_t keptCount, keptRoom;
  int quit; // a WM_QUIT was taken; posted again with quitCode
  WPARAM quitCode;
  // The foreground: whether this thread had it when the call began, and
  // what the system gave it to when the client's last window went away.
  int hadForeground;
  HWINEVENTHOOK hook;
  DWORD client; // the client's process id, once started
  int clientHadForeground;
  HWND picked;
};

// A growing array of the call's own; 0 when it cannot grow.
template <typename T>
int Append(T **items, size_t *count, size_t *room, const T &item) {
  if (*count == *room) {
    size_t more = *room ? *room * 2 : 8;
    T *grown = (T *)QvRealloc(*items, more * sizeof(T));
    if (!grown)
      return 0;
    *items = grown;
    *room = more;
  }
  (*items)[(*count)++] = item;
  return 1;
}

int IsOwnThreads(HWND window) {
  return window && IsWindow(window) &&
         GetWindowThreadProcessId(window, NULL) == GetCurrentThreadId();
}

// A window this call disabled, or one inside it: a child is disabled with
// its parent, but a child that holds the focus still gets the keys.
int IsHeld(const ModalWait *wait, HWND window) {
  if (!window)
    return 0;
  for (size_t i = 0; i < wait->disabledCount; i++)
    if (window == wait->disabled[i] || IsChild(wait->disabled[i], window))
      return 1;
  return 0;
}

// Only a window that is enabled now is this call's to enable again: one the
// host had disabled itself stays so. A window that cannot be recorded is
// left enabled rather than left disabled for good.
void Disable(ModalWait *wait, HWND window) {
  if (!IsWindowEnabled(window) ||
      !Append(&wait->disabled, &wait->disabledCount, &wait->disabledRoom,
              window))
    return;
  EnableWindow(window, FALSE);
}

BOOL CALLBACK DisableIfShown(HWND window, LPARAM wait) {
  if (IsWindowVisible(window))
    Disable((ModalWait *)wait, window);
  return TRUE;
}

// The outermost window of this thread in the chain of parents of a window
// of this thread: an add-in's pane inside another thread's frame.
HWND OutermostOwn(HWND window) {
  HWND outermost = window, desktop = GetDesktopWindow();
  for (HWND up = GetAncestor(window, GA_PARENT); up && up != desktop;
       up = GetAncestor(up, GA_PARENT))
    if (IsOwnThreads(up))
      outermost = up;
  return outermost;
}

// The out-of-context event hook calls back on this thread, from inside the
// wait's own loop or one the host runs in it, with no context but its
// handle: a few slots tie each hook to its wait.
struct HookSlot {
  HWINEVENTHOOK volatile hook;
  ModalWait *volatile wait;
};
HookSlot g_hooks[32];

ModalWait *WaitOf(HWINEVENTHOOK hook) {
  for (size_t i = 0; i < ARRAY_SIZE(g_hooks); i++)
    if (g_hooks[i].hook == hook)
      return g_hooks[i].wait;
  return NULL;
}

DWORD ProcessOf(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process;
}

BOOL CALLBACK FindShown(HWND window, LPARAM client) {
  if (ProcessOf(window) == (DWORD)client && IsWindowVisible(window)) {
    SetLastError(ERROR_SUCCESS);
    return FALSE;
  }
  return TRUE;
}

int ClientShowsAWindow(DWORD client) {
  SetLastError(ERROR_NO_MORE_ITEMS);
  return !EnumWindows(FindShown, (LPARAM)client) &&
         GetLastError() == ERROR_SUCCESS;
}

// When the client's last window goes, the system activates another window:
// not the host's, which is still disabled, but another application's. That
// one is the system's pick, and the host may take the foreground back from
// it. A window the user went to while the client's was still shown is the
// user's choice, and stays in front.
void CALLBACK ForegroundMoved(HWINEVENTHOOK hook, DWORD, HWND window, LONG,
                              LONG, DWORD, DWORD) {
  ModalWait *wait = WaitOf(hook);
  if (!wait || !window)
    return;
  DWORD process = ProcessOf(window);
  wait->picked = NULL;
  if (wait->client && process == wait->client) {
    wait->clientHadForeground = 1;
    return;
  }
  if (wait->clientHadForeground && process != GetCurrentProcessId() &&
      !ClientShowsAWindow(wait->client))
    wait->picked = window;
  wait->clientHadForeground = 0;
}

void Watch(ModalWait *wait) {
  HWINEVENTHOOK hook =
      SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, NULL,
                      ForegroundMoved, 0, 0, WINEVENT_OUTOFCONTEXT);
  if (!hook)
    return;
  // A slot is claimed by its hook first: other threads only ever look for
  // their own hooks, and this one's callback runs on this thread, later.
  for (size_t i = 0; i < ARRAY_SIZE(g_hooks); i++) {
    if (InterlockedCompareExchangePointer((PVOID volatile *)&g_hooks[i].hook,
                                          hook, NULL) == NULL) {
      g_hooks[i].wait = wait;
      wait->hook = hook;
      return;
    }
  }
  UnhookWinEvent(hook); // every slot taken: the foreground stays as it is
}

void Unwatch(ModalWait *wait) {
  if (!wait->hook)
    return;
  UnhookWinEvent(wait->hook);
  for (size_t i = 0; i < ARRAY_SIZE(g_hooks); i++)
    if (g_hooks[i].hook == wait->hook)
      InterlockedExchangePointer((PVOID volatile *)&g_hooks[i].hook, NULL);
  wait->hook = NULL;
}

// Before the client starts: ulUIParam's top-level window when it is this
// thread's; this thread's outermost window around ulUIParam when that sits
// in another thread's window; otherwise every enabled, visible top-level
// window of the thread. EnableWindow sends WM_ENABLE: to a window of
// another thread, one that may be waiting for this one, that would hang
// both.
void Begin(ModalWait *wait, ULONG_PTR uiParam) {
  memset(wait, 0, sizeof *wait);
  wait->active = GetActiveWindow();
  wait->focus = GetFocus();
  HWND foreground = GetForegroundWindow();
  wait->hadForeground =
      foreground &&
      GetWindowThreadProcessId(foreground, NULL) == GetCurrentThreadId();
  HWND given = (HWND)uiParam;
  HWND top = given && IsWindow(given) ? GetAncestor(given, GA_ROOT) : NULL;
  if (IsOwnThreads(top))
    Disable(wait, top);
  else if (IsOwnThreads(given))
    Disable(wait, OutermostOwn(given));
  else
    EnumThreadWindows(GetCurrentThreadId(), DisableIfShown, (LPARAM)wait);
  // Disabling a window does not take the focus from a child of it: the
  // keys would still reach that edit box. The active window, with no
  // focus, gets them as WM_SYSKEYDOWN, which the wait drops.
  if (IsHeld(wait, GetFocus()))
    SetFocus(NULL);
  if (wait->disabledCount && wait->hadForeground)
    Watch(wait);
}

int IsInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
         (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK) ||
         (message >= WM_IME_STARTCOMPOSITION && message <= WM_IME_KEYLAST) ||
         message == WM_IME_CHAR || message == WM_IME_KEYDOWN ||
         message == WM_IME_KEYUP || (message >= 0x0240 && message <= 0x024F) ||
         (message >= WM_NCMOUSEHOVER && message <= WM_MOUSELEAVE);
}

// Windows gives no input to a disabled window, except where the focus or
// the foreground stayed on it or on a window inside it. Whoever disabled
// it (this call, an outer send, the host), the wait drops that input too.
int IsRefused(HWND window) {
  HWND desktop = GetDesktopWindow();
  for (; window && window != desktop; window = GetAncestor(window, GA_PARENT))
    if (!IsWindowEnabled(window))
      return 1;
  return 0;
}

// Messages posted to the thread itself have no window to go to: they are
// kept for the host's own loop, as is a WM_QUIT, which would otherwise end
// a loop the host is not in yet. A thread timer's WM_TIMER carries its
// callback and is dispatched, as any message loop does. Input for a
// disabled window is dropped, however it got there (a focused child, the
// host brought to the front meanwhile); the host's message filter hooks
// see the rest first, as in a dialog box's loop.
void Take(ModalWait *wait, MSG *message) {
  if (message->message == WM_QUIT) {
    wait->quit = 1;
    wait->quitCode = message->wParam;
    return;
  }
  if (!message->hwnd && message->message != WM_TIMER) {
    KeptMessage kept = {message->message, message->wParam, message->lParam};
    if (Append(&wait->kept, &wait->keptCount, &wait->keptRoom, kept))
      return;
  }
  if (IsInput(message->message) && IsRefused(message->hwnd))
    return;
  if (CallMsgFilterW(message, MSGF_DIALOGBOX))
    return;
  TranslateMessage(message);
  DispatchMessageW(message);
}

void WaitFor(ModalWait *wait, HANDLE process) {
  for (;;) {
    // MWMO_INPUTAVAILABLE: wake for messages that were already waiting when
    // the call began too, a sent message the host had looked at among them
    // (its sender, which the client may wait for, would stay blocked).
    DWORD woken = MsgWaitForMultipleObjectsEx(1, &process, INFINITE,
                                              QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken == WAIT_OBJECT_0)
      return;
    if (woken != WAIT_OBJECT_0 + 1) {
      WaitForSingleObject(process, INFINITE);
      return;
    }
    // One message a wake, so that a host which posts itself a message for
    // every one it handles still sees the client's exit. Sent messages are
    // handled inside the peek.
    MSG message;
    if (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE))
      Take(wait, &message);
  }
}

// The host takes the foreground back only when it had it, and the client's
// going left it nowhere or with the window the system picked then; Windows
// lets it when the client allowed it (AllowSetForegroundWindow) as its last
// window closed, and the user has not gone elsewhere since.
int MayTakeForeground(const ModalWait *wait) {
  if (!wait->hadForeground)
    return 0;
  HWND foreground = GetForegroundWindow();
  return !foreground || (foreground == wait->picked &&
                         ProcessOf(foreground) != GetCurrentProcessId());
}

// Ends as a dialog box does: enables exactly what Begin disabled, first,
// since a disabled window cannot be activated; gives activation back to
// the window that had it only when it is now nowhere or on a window the
// call held (a window the user went to meanwhile keeps it), and the focus
// likewise; posts the kept messages and WM_QUIT again. A call that
// disabled nothing (a worker thread, a send nested in another) leaves
// activation to whoever did.
void End(ModalWait *wait) {
  // The client's last events may still wait in the queue: a peek runs
  // their callbacks.
  MSG pending;
  if (wait->hook)
    PeekMessageW(&pending, NULL, 0, 0, PM_NOREMOVE);
  Unwatch(wait);
  for (size_t i = wait->disabledCount; i-- > 0;)
    if (IsOwnThreads(wait->disabled[i]))
      EnableWindow(wait->disabled[i], TRUE);
  if (wait->disabledCount) {
    HWND active = GetActiveWindow();
    if ((!active || IsHeld(wait, active)) && IsOwnThreads(wait->active) &&
        IsWindowEnabled(wait->active)) {
      if (MayTakeForeground(wait))
        SetForegroundWindow(wait->active);
      SetActiveWindow(wait->active);
    }
    // The focus goes back only inside the window that is active now, so
    // that no other thread's window is activated by it.
    HWND focus = GetFocus();
    if ((!focus || (focus != wait->focus && IsHeld(wait, focus))) &&
        IsOwnThreads(wait->focus) &&
        GetAncestor(wait->focus, GA_ROOT) == GetActiveWindow())
      SetFocus(wait->focus);
  }
  DWORD self = GetCurrentThreadId();
  for (size_t i = 0; i < wait->keptCount; i++)
    PostThreadMessageW(self, wait->kept[i].message, wait->kept[i].wParam,
                       wait->kept[i].lParam);
  if (wait->quit)
    PostQuitMessage((int)wait->quitCode);
  QvFree(wait->disabled);
  QvFree(wait->kept);
}

} // namespace

DWORD ProbeFile(const WCHAR *path) {
  DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return GetLastError();
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    return ERROR_DIRECTORY;
  // Opened as the client will open it, with every sharing mode: a file the
  // host still writes with FILE_SHARE_READ passes; one it holds with no
  // sharing does not.
  HANDLE file =
      CreateFileW(path, GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE)
    return GetLastError();
  CloseHandle(file);
  return 0;
}

namespace {

DWORD WINAPI ProbeAll(LPVOID job) {
  StartFiles *files = (StartFiles *)job;
  for (files->failed = 0; files->failed < files->count; files->failed++)
    if ((files->error = ProbeFile(files->paths[files->failed])) != 0)
      return 1;
  return 0;
}

// A local fixed drive answers at once; a server that does not answer, or a
// removable drive that spins up, can take tens of seconds. A relative path
// is on the current folder's drive. *drive remembers the last drive asked.
int MayBeSlow(const WCHAR *path, WCHAR *drive, int *slow) {
  if ((path[0] == '\\' || path[0] == '/') &&
      (path[1] == '\\' || path[1] == '/'))
    return 1;
  WCHAR letter = path[0] && path[1] == ':' ? path[0] : '.';
  if (letter != *drive) {
    WCHAR root[] = {letter, ':', '\\', 0};
    UINT type = GetDriveTypeW(letter == '.' ? NULL : root);
    *slow = type != DRIVE_FIXED && type != DRIVE_RAMDISK;
    *drive = letter;
  }
  return *slow;
}

// On a thread with windows, such paths are probed on a thread of their own
// while the host's windows are held and its messages pumped, as they are
// while the client runs; others on the caller's thread (a thread's start
// costs more than they do, and a thread without windows has nothing to
// serve meanwhile).
int ProbeWhileModal(ModalWait *wait, StartFiles *files) {
  int slow = 0, driveSlow = 0;
  WCHAR drive = 0;
  for (size_t i = 0; i < files->count && !slow && IsGUIThread(FALSE); i++)
    slow = MayBeSlow(files->paths[i], &drive, &driveSlow);
  HANDLE worker = slow ? CreateThread(NULL, 0, ProbeAll, files, 0, NULL) : NULL;
  if (!worker)
    return ProbeAll(files) == 0;
  WaitFor(wait, worker);
  CloseHandle(worker);
  return files->failed >= files->count;
}

} // namespace

int StartAndWait(const WCHAR *program, WCHAR *line, ULONG_PTR uiParam,
                 StartFiles *files) {
  STARTUPINFOW startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWDEFAULT;
  PROCESS_INFORMATION process;
  memset(&process, 0, sizeof process);
  // The host's windows are disabled before the client can take input.
  ModalWait wait;
  Begin(&wait, uiParam);
  if (files && files->count && !ProbeWhileModal(&wait, files)) {
    End(&wait);
    return START_FILE_REFUSED;
  }
  // A 32-bit process on 64-bit Windows sees System32 redirected to
  // SysWOW64: the client is started as a 64-bit process names its path, so
  // that both DLLs start the same file. Only around the start.
#if !defined(_WIN64)
  PVOID redirection = NULL;
  BOOL off = Wow64DisableWow64FsRedirection(&redirection);
#endif
  BOOL started = CreateProcessW(program, line, NULL, NULL, FALSE,
                                NORMAL_PRIORITY_CLASS, NULL, NULL, &startup,
                                &process);
#if !defined(_WIN64)
  if (off)
    Wow64RevertWow64FsRedirection(redirection);
#endif
  if (started) {
    wait.client = process.dwProcessId;
    WaitFor(&wait, process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  End(&wait);
  return started ? START_DONE : START_FAILED;
}
