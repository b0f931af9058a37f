// The modal wait on Windows: a message loop of the kind a dialog box runs,
// for as long as the mail client runs.
//
// Windows counts a thread as hung when it has not read its queue for five
// seconds, and then ghosts its windows ("Not Responding") and offers to
// close the program. A wait that only serviced sent messages left that to
// the host while the user composed. Disabling the caller's windows instead
// makes the system refuse input to them, so nothing the user does on the
// host re-enters it, and nothing queues up to replay after the call.
#include "platform/modal_wait.h"

#include <string.h>

#include "platform/alloc.h"

// A growing array of the call's own; 0 when it cannot grow.
template <typename T>
static int Append(T **items, size_t *count, size_t *room, const T &item) {
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

static int IsOwnThreads(HWND window) {
  return window && IsWindow(window) &&
         GetWindowThreadProcessId(window, NULL) == GetCurrentThreadId();
}

// Only a window that is enabled now is this call's to enable again: one the
// host had disabled itself stays so. A window that cannot be recorded is
// left enabled rather than left disabled for good.
static void Disable(ModalWait *wait, HWND window) {
  if (!IsWindowEnabled(window) || !Append(&wait->disabled, &wait->disabledCount,
                                          &wait->disabledRoom, window))
    return;
  EnableWindow(window, FALSE);
}

static BOOL CALLBACK DisableIfShown(HWND window, LPARAM wait) {
  if (IsWindowVisible(window))
    Disable((ModalWait *)wait, window);
  return TRUE;
}

void ModalWaitBegin(ModalWait *wait, ULONG_PTR uiParam) {
  memset(wait, 0, sizeof *wait);
  // Disabling the window that holds the focus takes the focus away.
  wait->active = GetActiveWindow();
  wait->focus = GetFocus();
  // EnableWindow sends WM_ENABLE: to a window of another thread, one that
  // may be waiting for this one, that would hang both. Only the calling
  // thread's windows are touched.
  HWND given = (HWND)uiParam;
  HWND top = given && IsWindow(given) ? GetAncestor(given, GA_ROOT) : NULL;
  if (IsOwnThreads(top))
    Disable(wait, top);
  else
    EnumThreadWindows(GetCurrentThreadId(), DisableIfShown, (LPARAM)wait);
}

// One message taken from the queue. Messages posted to the thread itself
// have no window to go to: they are kept for the host's own loop, as is a
// WM_QUIT, which would otherwise end a loop the host is not in yet. A
// thread timer's WM_TIMER carries its callback and is dispatched, as any
// message loop does.
static void Take(ModalWait *wait, const MSG *message) {
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

void ModalWaitForProcess(ModalWait *wait, HANDLE process) {
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

void ModalWaitEnd(ModalWait *wait) {
  for (size_t i = wait->disabledCount; i-- > 0;)
    if (IsOwnThreads(wait->disabled[i]))
      EnableWindow(wait->disabled[i], TRUE);
  // A window must be enabled before it can be activated. A call that
  // disabled nothing (a worker thread, a send nested in another) leaves
  // activation to whoever did.
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
  memset(wait, 0, sizeof *wait);
}
