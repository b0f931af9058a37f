// The library's one seam to the operating system: the operations it needs,
// sized to it rather than to Win32. platform/win32/ implements them over
// Win32, and is the only code of the library that calls Win32;
// platform/fake/ implements them over POSIX for the native tests, and
// decides in one place which call fails (platform/fake/control.h).
// tests/contract/ checks that both keep the same promises.
#ifndef QV_PLATFORM_PLATFORM_H
#define QV_PLATFORM_PLATFORM_H

#include <stddef.h>

#include "platform/types.h"

// The heap: every block the library asks for. A NULL result only ever
// means "out of memory"; QvRealloc leaves the block as it was then.
void *QvAlloc(size_t size);
void *QvRealloc(void *block, size_t size);
void QvFree(void *block);

// The trace log's file, by its ANSI name. Each returns 0 or the Win32 error
// code of the failure (2, 3, 5, 80, 183, ...). Closing
// INVALID_HANDLE_VALUE succeeds; FileSeek's method is FILE_BEGIN or
// FILE_END.
DWORD FileOpen(const char *name, HANDLE *file, DWORD access, DWORD share,
               DWORD disposition);
DWORD FileWrite(HANDLE file, const void *bytes, DWORD count, DWORD *written);
DWORD FileSeek(HANDLE file, LONG distance, DWORD method);
DWORD FileClose(HANDLE file);

// The user's roaming application-data folder, without a trailing
// backslash, into room bytes; 0 when there is none or it does not fit.
int AppDataFolder(char *folder, size_t room);
// Creates a folder and its parents: ERROR_SUCCESS, ERROR_ALREADY_EXISTS,
// ERROR_FILE_EXISTS, or the error of the failure.
int CreateFolder(const char *path);
// The names (not paths) of the files a wildcard pattern ("folder\MAPI_*")
// finds, in any case, one at a time. First returns 0 when it finds
// nothing or cannot look; the search is closed then.
struct NameSearch {
  void *search;
  char name[MAX_PATH];
};
int NameSearchFirst(NameSearch *s, const char *pattern);
int NameSearchNext(NameSearch *s);
void NameSearchClose(NameSearch *s);

// A REG_DWORD of exactly 4 bytes (or none: an empty one is read and leaves
// *value as it was) under root\subkey: 1 read, 0 not (missing, another
// type or size, or a failure).
int ReadRegistryDword(HKEY root, const char *subkey, const char *valueName,
                      DWORD *value);
// A value of any type, as UTF-16: 1 read, with *buffer a heap block of the
// caller's holding the data and a terminating NUL beyond it, *size the
// data's size in bytes, *type its type; 0 missing or unreadable; -1 no
// memory for the block.
int ReadRegistryString(HKEY root, const WCHAR *subkey, const WCHAR *valueName,
                       WCHAR **buffer, DWORD *size, DWORD *type);

// %NAME% replaced by the process environment's value, as
// ExpandEnvironmentStrings does: the size the result needs in units, its
// NUL included (written only when it fits in room), 0 on failure.
DWORD ExpandCommand(const WCHAR *command, WCHAR *out, DWORD room);
// Whether the environment sets a variable.
int EnvironmentHas(const WCHAR *name);

// The host's ANSI code page, as data: its kind, which bytes lead a
// double-byte character, and whether it differs from the system's default
// ANSI code page (the one a mail client without a manifest of its own
// reads its command line in).
#define ANSI_SINGLE_BYTE 0
#define ANSI_DOUBLE_BYTE 1
#define ANSI_UTF8 2
struct CodePage {
  UINT number;
  int kind;
  int clientDiffers;
  unsigned char lead[256];
};
const CodePage *HostCodePage(void);
// Conversions in the host's ANSI code page: count -1 for a NUL-terminated
// text (the NUL is converted too). The units or bytes written (room 0:
// needed), 0 on failure. To ANSI, a character the code page lacks becomes
// its default character, never a look-alike; with exact set, it fails the
// conversion instead (a lone surrogate too).
int AnsiToWide(const char *text, int count, WCHAR *out, int room);
int WideToAnsi(const WCHAR *text, int count, char *out, int room,
               int exact = 0);
// A NUL-terminated text read as strict UTF-8 (no overlong form, no
// surrogate, nothing above U+10FFFF, nothing cut short): the units written,
// the NUL included; 0 when it is not UTF-8; -1 when the conversion failed.
int Utf8ToWide(const char *text, WCHAR *out, int room);

// What a mail client that reads GetCommandLineA sees: the units its ANSI
// code page shows as a blank or as a hyphen (bits of 0x10000), for the
// system's default ANSI code page and the host's where it differs and is
// not UTF-8. lowest: the lowest such unit above ASCII, 0 for none. Worked
// out once per process; NULL when that failed (the next use tries again).
struct ClientView {
  unsigned char blank[0x10000 / 8];
  unsigned char hyphen[0x10000 / 8];
  unsigned lowest;
};
const ClientView *ClientAnsiView(void);

// An attachment as the mail client will open it (a relative path from the
// current folder, which the client inherits): 0 when it names a file that
// opens for reading with read, write and delete sharing; ERROR_DIRECTORY
// for a folder; otherwise the error of the failure. Reads no contents.
DWORD ProbeFile(const WCHAR *path);

// Files to probe before a start: paths[i] in order; the first that is not
// 0 stops the start, with its index and error.
struct StartFiles {
  const WCHAR *const *paths;
  size_t count;
  size_t failed;
  DWORD error;
};

// Starts program (a checked full path) with line as its whole command line
// and waits until it exits. On Windows the wait is modal for the calling
// thread's windows (ulUIParam's top-level window, or all of them): they
// are disabled, every message is pumped, WM_QUIT and thread messages kept
// for afterwards; the files are probed during it, so that a slow path
// does not freeze the host. START_DONE when it was started (and has
// exited), START_FILE_REFUSED when a file stopped it, START_FAILED when it
// could not be started.
#define START_FAILED 0
#define START_DONE 1
#define START_FILE_REFUSED 2
int StartAndWait(const WCHAR *program, WCHAR *line, ULONG_PTR uiParam,
                 StartFiles *files = NULL);

DWORD CurrentThreadId(void);
void LocalTime(SYSTEMTIME *now);

// A lock, re-entrant for its owner; LockInit before the first use.
struct QvLock {
  void *impl[8];
};
void LockInit(QvLock *lock);
void LockEnter(QvLock *lock);
void LockLeave(QvLock *lock);
void LockDelete(QvLock *lock);

#endif
