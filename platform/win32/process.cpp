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

// Before the client starts: ulUIParam's top-level window when it is this
// thread's, otherwise every enabled, visible top-level window of the
// thread. EnableWindow sends WM_ENABLE: to a window of another thread, one
// that may be waiting for this one, that would hang both.
void Begin(ModalWait *wait, ULONG_PTR uiParam) {
  memset(wait, 0, sizeof *wait);
  // Disabling the window that holds the focus takes the focus away.
  wait->active = GetActiveWindow();
  wait->focus = GetFocus();
  HWND given = (HWND)uiParam;
  HWND top = given && IsWindow(given) ? GetAncestor(given, GA_ROOT) : NULL;
  if (IsOwnThreads(top))
    Disable(wait, top);
  else
    EnumThreadWindows(GetCurrentThreadId(), DisableIfShown, (LPARAM)wait);
}

// Messages posted to the thread itself have no window to go to: they are
// kept for the host's own loop, as is a WM_QUIT, which would otherwise end
// a loop the host is not in yet. A thread timer's WM_TIMER carries its
// callback and is dispatched, as any message loop does.
void Take(ModalWait *wait, const MSG *message) {
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

// Enables exactly what Begin disabled, makes the window that was active
// active again with the focus where it was, posts the kept messages and
// WM_QUIT again. A window must be enabled before it can be activated; a
// call that disabled nothing (a worker thread, a send nested in another)
// leaves activation to whoever did.
void End(ModalWait *wait) {
  for (size_t i = wait->disabledCount; i-- > 0;)
    if (IsOwnThreads(wait->disabled[i]))
      EnableWindow(wait->disabled[i], TRUE);
  if (wait->disabledCount && IsOwnThreads(wait->active) &&
      IsWindowEnabled(wait->active)) {
    SetActiveWindow(wait->active);
    if (IsOwnThreads(wait->focus))
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

int StartAndWait(const WCHAR *program, WCHAR *line, ULONG_PTR uiParam) {
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
    WaitFor(&wait, process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  End(&wait);
  return started != 0;
}
