// No thread here owns windows: the wait of a send is a plain wait.
#include "platform/modal_wait.h"

#include <string.h>

void ModalWaitBegin(ModalWait *wait, ULONG_PTR uiParam) {
  (void)uiParam;
  memset(wait, 0, sizeof *wait);
}

void ModalWaitForProcess(ModalWait *wait, HANDLE process) {
  (void)wait;
  WaitForSingleObject(process, INFINITE);
}

void ModalWaitEnd(ModalWait *wait) { memset(wait, 0, sizeof *wait); }
