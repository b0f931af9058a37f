#include "handoff/client_path.h"

#include "handoff/ansi_text.h"

static int IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

static char Lower(char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// \\server\share\name... : a server, a share and what follows each
// start with a name.
static int IsUncPath(const char *path, int multibyte) {
  if (path[0] != '\\' || path[1] != '\\')
    return 0;
  const char *p = path + 2;
  for (int part = 0; part < 2; part++) {
    const char *start = p;
    while (*p && *p != '\\')
      p = AcpNext(p, multibyte);
    if (p == start || *p != '\\')
      return 0;
    p++;
  }
  return *p != 0 && *p != '\\';
}

ClientPathVerdict CheckClientPath(const char *path) {
  if (!path || !path[0])
    return CLIENT_PATH_EMPTY;
  int multibyte = AcpIsMultibyte();
  // Quotes, colons, blanks and dots are never the second byte of a
  // double-byte character, so plain byte tests find them.
  if (AcpFindChar(path, '"', multibyte))
    return CLIENT_PATH_QUOTED;
  int drive = IsDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\';
  if (!drive && !IsUncPath(path, multibyte))
    return CLIENT_PATH_NOT_FULL;
  if (AcpFindChar(path + (drive ? 2 : 0), ':', multibyte))
    return CLIENT_PATH_STREAM;
  // Windows ignores blanks and dots at the end of a file name.
  size_t n = 0;
  while (path[n])
    n++;
  while (n > 0 && (path[n - 1] == ' ' || path[n - 1] == '.'))
    n--;
  static const char kProgram[] = ".exe";
  const size_t kProgramLength = sizeof kProgram - 1;
  if (n < kProgramLength)
    return CLIENT_PATH_NOT_PROGRAM;
  for (size_t i = 0; i < kProgramLength; i++)
    if (Lower(path[n - kProgramLength + i]) != kProgram[i])
      return CLIENT_PATH_NOT_PROGRAM;
  return CLIENT_PATH_OK;
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
  }
  return "unknown";
}
