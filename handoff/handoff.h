// What the mail hand-off offers: escaping, composing the mail client's
// command line, and starting the registered client, for ANSI callers
// (MAPISendMail) and for UTF-16 callers (MAPISendMailW).
#ifndef QV_HANDOFF_HANDOFF_H
#define QV_HANDOFF_HANDOFF_H

#include <stddef.h>

#include "include/qvmapi/mapi.h"

#define COMMAND_LINE_SIZE 40960 // 40959 characters and the NUL
// The platform's limit for a wide command line: 32766 units and the NUL.
#define WIDE_COMMAND_LINE_SIZE 32767
#define COMPOSE_FAILED (-1)

// A new heap copy of source with every pattern replaced, or NULL (NULL or
// empty source or pattern, or no memory). The caller frees it with QvFree.
char *ReplaceAll(const char *source, const char *pattern,
                 const char *replacement);
WCHAR *ReplaceAllW(const WCHAR *source, const WCHAR *pattern,
                   const WCHAR *replacement);
// The same, for callers that know the source's length (source[length] is
// its NUL) and want the result's.
char *ReplaceAllKnown(const char *source, size_t sourceLength,
                      const char *pattern, const char *replacement,
                      size_t *resultLength);
WCHAR *ReplaceAllKnown(const WCHAR *source, size_t sourceLength,
                       const WCHAR *pattern, const WCHAR *replacement,
                       size_t *resultLength);

// Builds the mail client's command line into buffer (COMMAND_LINE_SIZE
// bytes, zero-filled). Returns its length, or COMPOSE_FAILED when the line
// would not fit or memory ran out; the buffer then holds an empty line.
int ComposeCommandLine(const MapiMessage *lpMessage, FLAGS flFlags,
                       char *buffer);
// The same line in UTF-16, into WIDE_COMMAND_LINE_SIZE units. shownAs: the
// host's message, when lpMessage is a converted copy of it (the trace
// shows the host's addresses).
int ComposeCommandLineW(const MapiMessageW *lpMessage, FLAGS flFlags,
                        WCHAR *buffer, const MapiMessage *shownAs = NULL);
// A MapiMessage whose ulReserved is CP_UTF8: each text read as UTF-8 (or,
// when it is not valid UTF-8, in the ANSI code page) and composed as
// ComposeCommandLineW composes it.
int ComposeCommandLineUtf8(const MapiMessage *lpMessage, FLAGS flFlags,
                           WCHAR *buffer);
// The same, each text read in the ANSI code page (a host whose ANSI code
// page is not the client's).
int ComposeCommandLineAcp(const MapiMessage *lpMessage, FLAGS flFlags,
                          WCHAR *buffer);

// 1 when the registered client was started and has exited, 0 otherwise.
// ulUIParam: the host's window, as MAPISendMail was given it; the wait is
// modal for the calling thread's windows (StartAndWait).
int SendViaMailClient(const MapiMessage *lpMessage, FLAGS flFlags,
                      ULONG_PTR ulUIParam = 0);
int SendViaMailClientW(const MapiMessageW *lpMessage, FLAGS flFlags,
                       ULONG_PTR ulUIParam = 0);
int SendViaMailClientUtf8(const MapiMessage *lpMessage, FLAGS flFlags,
                          ULONG_PTR ulUIParam = 0);
// The ANSI line is handed over converted from the ANSI code page; both
// start the client with the wide line.
int LaunchMailClient(char *commandLine, ULONG_PTR ulUIParam = 0);
int LaunchMailClientW(WCHAR *commandLine, ULONG_PTR ulUIParam = 0);

#endif
