// The wait of a send. Hosts call from their UI thread, and the call lasts as
// long as the user keeps the mail client open: minutes. On Windows the call
// is modal the way a dialog box is: the caller's windows on its own thread
// are disabled, every message of the thread is taken and dispatched (so the
// host paints, runs its timers and answers sent messages, and Windows never
// counts it as hung), WM_QUIT and messages posted to the thread itself are
// kept for afterwards, and the enabled state and activation are restored.
// The native build has no windows: it simply waits.
#ifndef QV_PLATFORM_MODAL_WAIT_H
#define QV_PLATFORM_MODAL_WAIT_H

#include <stddef.h>

#include "platform/win32.h"

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

// Before the client starts: disables ulUIParam's top-level window when it
// belongs to the calling thread, otherwise every enabled, visible top-level
// window of the calling thread. Never a window of another thread.
void ModalWaitBegin(ModalWait *wait, ULONG_PTR uiParam);
// Until the process has exited, pumping the thread's messages.
void ModalWaitForProcess(ModalWait *wait, HANDLE process);
// Enables exactly what Begin disabled, makes the window that was active
// active again with the focus where it was, posts the kept messages and
// WM_QUIT again. Called after every Begin, whether or not a client started.
void ModalWaitEnd(ModalWait *wait);

#endif
