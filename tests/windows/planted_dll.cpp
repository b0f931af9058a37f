// A DLL planted beside a program (as mapi32.dll, version.dll): when the
// program loads it, it writes its own name to the file QV_PLANTED_MARKER
// names, so the test can tell.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  const char *marker = getenv("QV_PLANTED_MARKER");
  if (reason == DLL_PROCESS_ATTACH && marker && *marker) {
    char name[MAX_PATH] = "";
    GetModuleFileNameA(module, name, sizeof name);
    FILE *f = fopen(marker, "ab");
    if (f) {
      fprintf(f, "%s\n", name);
      fclose(f);
    }
  }
  return TRUE;
}
