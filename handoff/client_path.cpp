#include "handoff/client_path.h"

#include <string.h>

#include "handoff/text.h"

static int IsDriveLetter(WCHAR c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

static WCHAR Lower(WCHAR c) {
  return (c >= 'A' && c <= 'Z') ? (WCHAR)(c + 32) : c;
}

static int Contains(const WCHAR *s, WCHAR c) {
  for (; *s; s++)
    if (*s == c)
      return 1;
  return 0;
}

// \\server\share\name... : a server, a share and what follows each
// start with a name.
static int IsUncPath(const WCHAR *path) {
  if (path[0] != '\\' || path[1] != '\\')
    return 0;
  const WCHAR *p = path + 2;
  for (int part = 0; part < 2; part++) {
    const WCHAR *start = p;
    while (*p && *p != '\\')
      p++;
    if (p == start || *p != '\\')
      return 0;
    p++;
  }
  return *p != 0 && *p != '\\';
}

ClientPathVerdict CheckClientPath(const WCHAR *path) {
  if (!path || !path[0])
    return CLIENT_PATH_EMPTY;
  size_t n = TextLength(path);
  if (n > CLIENT_PATH_MAX_LENGTH)
    return CLIENT_PATH_TOO_LONG;
  if (Contains(path, '"'))
    return CLIENT_PATH_QUOTED;
  // Under \\?\ and \\.\ Windows takes the name as it stands: trailing
  // blanks and dots count, and the rule below would judge another file.
  if (path[0] == '\\' && path[1] == '\\' &&
      (path[2] == '?' || path[2] == '.') && path[3] == '\\')
    return CLIENT_PATH_DEVICE;
  int drive = IsDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\';
  if (!drive && !IsUncPath(path))
    return CLIENT_PATH_NOT_FULL;
  if (Contains(path + (drive ? 2 : 0), ':'))
    return CLIENT_PATH_STREAM;
  // Windows ignores blanks and dots at the end of a file name.
  while (n > 0 && (path[n - 1] == ' ' || path[n - 1] == '.'))
    n--;
  static const char kProgram[] = ".exe";
  const size_t kProgramLength = sizeof kProgram - 1;
  if (n < kProgramLength)
    return CLIENT_PATH_NOT_PROGRAM;
  for (size_t i = 0; i < kProgramLength; i++)
    if (Lower(path[n - kProgramLength + i]) != (WCHAR)kProgram[i])
      return CLIENT_PATH_NOT_PROGRAM;
  return CLIENT_PATH_OK;
}

static WCHAR Upper(WCHAR c) {
  return (c >= 'a' && c <= 'z') ? (WCHAR)(c - 32) : c;
}

static int SameName(const WCHAR *at, const char *name) {
  for (size_t i = 0; name[i]; i++)
    if (Upper(at[i]) != Upper((WCHAR)name[i]))
      return 0;
  return 1;
}

// A 32-bit process on 64-bit Windows sees %ProgramFiles% and
// %CommonProgramFiles% as the "(x86)" folders, and would start another
// program than a 64-bit one from the same command (or none). Where the
// 64-bit values are set (%ProgramW6432%, %CommonProgramW6432%), the
// command names those, so that both DLLs start the same file. Returns 0
// when the rewritten command does not fit.
static int SameFolderForBothWidths(const WCHAR *data, WCHAR *out, size_t room) {
  static const struct {
    const char *name;      // as the command holds it, in any case
    const char *wide;      // what it becomes where variable is set:
    const WCHAR *variable; // on 64-bit Windows only
  } kFolders[] = {{"%ProgramFiles%", "%ProgramW6432%", QV_WIDE("ProgramW6432")},
                  {"%CommonProgramFiles%", "%CommonProgramW6432%",
                   QV_WIDE("CommonProgramW6432")}};
  size_t used = 0;
  for (const WCHAR *p = data; *p;) {
    const char *text = NULL;
    size_t skip = 1;
    for (const auto &folder : kFolders) {
      if (*p != '%' || !SameName(p, folder.name))
        continue;
      if (EnvironmentHas(folder.variable)) {
        text = folder.wide;
        skip = strlen(folder.name);
      }
      break;
    }
    size_t n = text ? strlen(text) : 1;
    if (used + n >= room)
      return 0;
    for (size_t i = 0; i < n; i++)
      out[used++] = text ? (WCHAR)text[i] : p[i];
    p += skip;
  }
  out[used] = 0;
  return 1;
}

ClientPathVerdict CheckClientCommand(DWORD type, const WCHAR *data,
                                     WCHAR *path) {
  path[0] = 0;
  if (type != REG_SZ && type != REG_EXPAND_SZ)
    return CLIENT_PATH_NOT_STRING;
  if (!data)
    return CLIENT_PATH_EMPTY;
  if (type == REG_SZ) {
    // Checked before the copy, so that an over-long value is never cut into
    // a shorter path that passes.
    ClientPathVerdict verdict = CheckClientPath(data);
    if (verdict == CLIENT_PATH_OK)
      memcpy(path, data, (TextLength(data) + 1) * sizeof(WCHAR));
    return verdict;
  }
  // The expansion's size includes its NUL; one that does not fit is too
  // long whatever it holds.
  WCHAR command[4 * MAX_PATH];
  if (!SameFolderForBothWidths(data, command, ARRAY_SIZE(command)))
    return CLIENT_PATH_TOO_LONG;
  DWORD needed = ExpandCommand(command, path, MAX_PATH);
  if (needed == 0 || needed > MAX_PATH) {
    path[0] = 0;
    return needed == 0 ? CLIENT_PATH_EMPTY : CLIENT_PATH_TOO_LONG;
  }
  ClientPathVerdict verdict = CheckClientPath(path);
  if (verdict != CLIENT_PATH_OK)
    path[0] = 0;
  return verdict;
}

const char *ClientPathVerdictText(ClientPathVerdict verdict) {
  switch (verdict) {
  case CLIENT_PATH_OK:
    return "a full path to a program file";
  case CLIENT_PATH_EMPTY:
    return "the client path is empty";
  case CLIENT_PATH_QUOTED:
    return "the client path holds a quote: give the program file itself, "
           "unquoted and without arguments";
  case CLIENT_PATH_NOT_FULL:
    return "the client path is not a full path (C:\\...\\client.exe or "
           "\\\\server\\share\\...\\client.exe)";
  case CLIENT_PATH_STREAM:
    return "the client path holds a colon after the drive letter (a named "
           "stream)";
  case CLIENT_PATH_NOT_PROGRAM:
    return "the client path does not name an .exe program file (a batch "
           "file would run the message as commands)";
  case CLIENT_PATH_TOO_LONG:
    return "the client path is longer than 259 characters";
  case CLIENT_PATH_DEVICE:
    return "the client path starts with \\\\?\\ or \\\\.\\ (a device or "
           "literal path): give a plain full path";
  case CLIENT_PATH_NOT_STRING:
    return "the client command is not a string (REG_SZ or REG_EXPAND_SZ)";
  }
  return "unknown";
}

const char *ClientPathVerdictWord(ClientPathVerdict verdict) {
  static const char *const kWords[] = {"ok",       "empty",  "quoted",
                                       "not-full", "stream", "not-program",
                                       "too-long", "device", "not-string"};
  return (unsigned)verdict < ARRAY_SIZE(kWords) ? kWords[verdict] : "unknown";
}
