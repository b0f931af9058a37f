// The one rule for a mail client path that may be started. The DLL applies
// it before it starts anything; the registration script and the installer
// mirror it, and their tests share one table with this function's.
#ifndef QV_HANDOFF_CLIENT_PATH_H
#define QV_HANDOFF_CLIENT_PATH_H

#include "platform/win32.h"

enum ClientPathVerdict {
  CLIENT_PATH_OK = 0,
  CLIENT_PATH_EMPTY,
  CLIENT_PATH_QUOTED,      // a double quote anywhere: quoted, or arguments
  CLIENT_PATH_NOT_FULL,    // neither X:\... nor \\server\share\...
  CLIENT_PATH_STREAM,      // a colon beyond the drive letter's: a named stream
  CLIENT_PATH_NOT_PROGRAM, // the file name does not end in .exe
};

// Checks the path as CreateProcess would take it as an application name.
// A batch file (.cmd, .bat) would be handed to the command interpreter with
// the message on its command line, a relative path is looked up in the
// host's current folder, and a named stream hides what runs: all refused.
ClientPathVerdict CheckClientPath(const char *path);
ClientPathVerdict CheckClientPath(const WCHAR *path);

// One line of English for an administrator: what is wrong with the path.
const char *ClientPathVerdictText(ClientPathVerdict verdict);

#endif
