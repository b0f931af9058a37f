// The one rule for a mail client path that may be started. The DLL applies
// it before it starts anything, and so does qvmapi-check; the registration
// script and the installer mirror it, and their tests share one table with
// this function's (tests/support/client_paths.txt).
//
// The rule is applied to the path exactly as the registry holds it, in
// UTF-16: no conversion may turn one file name into another.
#ifndef QV_HANDOFF_CLIENT_PATH_H
#define QV_HANDOFF_CLIENT_PATH_H

#include "platform/platform.h"

// The longest client path, in characters: MAX_PATH with its NUL. Longer
// ones are refused before the system's own path handling sees them.
#define CLIENT_PATH_MAX_LENGTH 259

enum ClientPathVerdict {
  CLIENT_PATH_OK = 0,
  CLIENT_PATH_EMPTY,
  CLIENT_PATH_QUOTED,      // a double quote anywhere: quoted, or arguments
  CLIENT_PATH_NOT_FULL,    // neither X:\... nor \\server\share\...
  CLIENT_PATH_STREAM,      // a colon beyond the drive letter's: a named stream
  CLIENT_PATH_NOT_PROGRAM, // the file name does not end in .exe
  CLIENT_PATH_TOO_LONG,    // more than CLIENT_PATH_MAX_LENGTH characters
  CLIENT_PATH_DEVICE,      // \\?\ or \\.\: the name is taken literally
  CLIENT_PATH_NOT_STRING,  // registry data that is no REG_SZ/REG_EXPAND_SZ
};

// Checks the path as CreateProcess would take it as an application name.
// A batch file (.cmd, .bat) would be handed to the command interpreter with
// the message on its command line, a relative path is looked up in the
// host's current folder, and a named stream hides what runs: all refused.
ClientPathVerdict CheckClientPath(const WCHAR *path);

// The registered client command as the DLL takes it: data of type REG_SZ,
// or REG_EXPAND_SZ expanded with the process's environment, then the rule
// above. On CLIENT_PATH_OK, path (MAX_PATH units) holds the program path.
ClientPathVerdict CheckClientCommand(DWORD type, const WCHAR *data,
                                     WCHAR *path);

// One line of English for an administrator: what is wrong with the path.
// register.cmd prints the same words for the same verdicts.
const char *ClientPathVerdictText(ClientPathVerdict verdict);
// The verdict's word in the shared table: ok, not-full, stream, ...
const char *ClientPathVerdictWord(ClientPathVerdict verdict);

#endif
