// A mail client without a C runtime, for the ARM64 tests (and built for x64
// the same way, so that both runs are compared byte for byte). It writes
// GetCommandLineW, unit for unit, to QV_CLIENT_DIR\<QV_CLIENT_NAME>.w16 and
// GetCommandLineA to <QV_CLIENT_NAME>.txt, and exits with 7.
#include <windows.h>

static void WriteRecord(const wchar_t *dir, const wchar_t *name,
                        const wchar_t *kind, const void *data, DWORD size) {
  wchar_t path[MAX_PATH];
  if (lstrlenW(dir) + lstrlenW(name) + lstrlenW(kind) + 2 >= MAX_PATH)
    return;
  lstrcpyW(path, dir);
  lstrcatW(path, L"\\");
  lstrcatW(path, name);
  lstrcatW(path, kind);
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  if (f == INVALID_HANDLE_VALUE)
    return;
  DWORD written = 0;
  WriteFile(f, data, size, &written, NULL);
  CloseHandle(f);
}

extern "C" void WINAPI ClientStart(void) {
  wchar_t dir[MAX_PATH], name[64];
  if (GetEnvironmentVariableW(L"QV_CLIENT_DIR", dir, MAX_PATH) &&
      GetEnvironmentVariableW(L"QV_CLIENT_NAME", name, 64)) {
    const wchar_t *wide = GetCommandLineW();
    const char *ansi = GetCommandLineA();
    WriteRecord(dir, name, L".w16", wide,
                (DWORD)lstrlenW(wide) * sizeof(wchar_t));
    WriteRecord(dir, name, L".txt", ansi, (DWORD)lstrlenA(ansi));
  }
  ExitProcess(7);
}
