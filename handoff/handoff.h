// What the mail hand-off offers: escaping, composing the mail client's
// command line, and starting the registered client.
#ifndef QV_HANDOFF_HANDOFF_H
#define QV_HANDOFF_HANDOFF_H

#include "mapi/mapi_records.h"

#define COMMAND_LINE_SIZE 40960 // 40959 characters and the NUL
#define COMPOSE_FAILED (-1)

// A new heap copy of source with every pattern replaced, or NULL (NULL or
// empty source or pattern, or no memory). The caller frees it with QvFree.
char *ReplaceAll(const char *source, const char *pattern,
                 const char *replacement);

// Builds the mail client's command line into buffer (COMMAND_LINE_SIZE
// bytes, zero-filled). Returns its length, or COMPOSE_FAILED when the line
// would not fit or memory ran out; the buffer then holds an empty line.
int ComposeCommandLine(const MapiMessage *lpMessage, FLAGS flFlags,
                       char *buffer);

// 1 when the registered client was started and has exited, 0 otherwise.
int SendViaMailClient(const MapiMessage *lpMessage, FLAGS flFlags);
int LaunchMailClient(char *commandLine);
// 1 read, 0 failed, -1 no memory for the value. *buffer is the caller's.
int ReadRegistryString(HKEY root, const char *subkey, const char *valueName,
                       char **buffer, DWORD *size, DWORD *type);
BOOL StartProcess(const char *applicationName, char *commandLine,
                  PROCESS_INFORMATION *processInfo);

#endif
