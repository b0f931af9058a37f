#include "handoff/client_path.h"

#include "handoff/text.h"

template <typename Char> static int IsDriveLetter(Char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

template <typename Char> static Char Lower(Char c) {
  return (c >= 'A' && c <= 'Z') ? (Char)(c + 32) : c;
}

// \\server\share\name... : a server, a share and what follows each
// start with a name.
template <typename Char> static int IsUncPath(const Char *path, int multibyte) {
  if (path[0] != '\\' || path[1] != '\\')
    return 0;
  const Char *p = path + 2;
  for (int part = 0; part < 2; part++) {
    const Char *start = p;
    while (*p && *p != '\\')
      p = Text<Char>::Next(p, multibyte);
    if (p == start || *p != '\\')
      return 0;
    p++;
  }
  return *p != 0 && *p != '\\';
}

template <typename Char> static ClientPathVerdict CheckPath(const Char *path) {
  if (!path || !path[0])
    return CLIENT_PATH_EMPTY;
  int multibyte = Text<Char>::Multibyte();
  // Quotes, colons, blanks and dots are never the second byte of a
  // double-byte character, so plain tests find them.
  if (TextFindChar(path, '"', multibyte))
    return CLIENT_PATH_QUOTED;
  int drive = IsDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\';
  if (!drive && !IsUncPath(path, multibyte))
    return CLIENT_PATH_NOT_FULL;
  if (TextFindChar(path + (drive ? 2 : 0), ':', multibyte))
    return CLIENT_PATH_STREAM;
  // Windows ignores blanks and dots at the end of a file name.
  size_t n = TextLength(path);
  while (n > 0 && (path[n - 1] == ' ' || path[n - 1] == '.'))
    n--;
  static const char kProgram[] = ".exe";
  const size_t kProgramLength = sizeof kProgram - 1;
  if (n < kProgramLength)
    return CLIENT_PATH_NOT_PROGRAM;
  for (size_t i = 0; i < kProgramLength; i++)
    if (Lower(path[n - kProgramLength + i]) != (Char)kProgram[i])
      return CLIENT_PATH_NOT_PROGRAM;
  return CLIENT_PATH_OK;
}

ClientPathVerdict CheckClientPath(const char *path) { return CheckPath(path); }

ClientPathVerdict CheckClientPath(const WCHAR *path) { return CheckPath(path); }

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
