// The native shared library has no loader calling DllMain: run the same
// attach and detach sequences from its load and unload hooks.
#include "trace/startup.h"

__attribute__((constructor)) static void QvLibraryLoaded(void) {
  DllMain(NULL, DLL_PROCESS_ATTACH, NULL);
}

__attribute__((destructor)) static void QvLibraryUnloaded(void) {
  DllMain(NULL, DLL_PROCESS_DETACH, NULL);
}
