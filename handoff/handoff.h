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

// The attachments of one composition as the client will open them: heap
// copies in UTF-16 of the paths on the line (a path the host put in double
// quotes, without them), each with its index in lpFiles.
struct AttachmentList {
  WCHAR **paths;
  int *index;
  size_t count, room;
};
// Adds the client's view of an escaped path (the text of its -Attach
// section); 0 when memory ran out.
int AddAttachment(AttachmentList *list, const char *escaped, size_t length,
                  int index);
int AddAttachment(AttachmentList *list, const WCHAR *escaped, size_t length,
                  int index);
void FreeAttachments(AttachmentList *list);
// Whether a probe's error (ProbeFile) means that the path names no file: a
// missing file or folder, a folder, a name no file can have.
int NamesNothing(DWORD error);

// What a send came to.
#define SEND_FAILED 0
#define SEND_DONE 1
#define SEND_ATTACHMENT_NOT_FOUND 2    // nothing started
#define SEND_ATTACHMENT_OPEN_FAILURE 3 // nothing started

// Builds the mail client's command line into buffer (COMMAND_LINE_SIZE
// bytes, zero-filled). Returns its length, or COMPOSE_FAILED when the line
// would not fit or memory ran out; the buffer then holds an empty line.
// files, when given, receives the attachments' paths.
int ComposeCommandLine(const MapiMessage *lpMessage, FLAGS flFlags,
                       char *buffer, AttachmentList *files = NULL);
// The same line in UTF-16, into WIDE_COMMAND_LINE_SIZE units. shownAs: the
// host's message, when lpMessage is a converted copy of it (the trace
// shows the host's addresses).
int ComposeCommandLineW(const MapiMessageW *lpMessage, FLAGS flFlags,
                        WCHAR *buffer, const MapiMessage *shownAs = NULL,
                        AttachmentList *files = NULL);
// A MapiMessage whose ulReserved is CP_UTF8: each text read as UTF-8 (or,
// when it is not valid UTF-8, in the ANSI code page) and composed as
// ComposeCommandLineW composes it. An attachment path whose UTF-8 reading
// names no file while its ANSI reading names one is read in ANSI.
int ComposeCommandLineUtf8(const MapiMessage *lpMessage, FLAGS flFlags,
                           WCHAR *buffer, AttachmentList *files = NULL);
// The same, each text read in the ANSI code page (a host whose ANSI code
// page is not the client's).
int ComposeCommandLineAcp(const MapiMessage *lpMessage, FLAGS flFlags,
                          WCHAR *buffer, AttachmentList *files = NULL);

// SEND_DONE when the registered client was started and has exited; an
// attachment that names no file or does not open stops the start
// (SEND_ATTACHMENT_*); SEND_FAILED otherwise. ulUIParam: the host's
// window, as MAPISendMail was given it; the wait is modal for the calling
// thread's windows (StartAndWait).
int SendViaMailClient(const MapiMessage *lpMessage, FLAGS flFlags,
                      ULONG_PTR ulUIParam = 0);
int SendViaMailClientW(const MapiMessageW *lpMessage, FLAGS flFlags,
                       ULONG_PTR ulUIParam = 0);
int SendViaMailClientUtf8(const MapiMessage *lpMessage, FLAGS flFlags,
                          ULONG_PTR ulUIParam = 0);
// The ANSI line is handed over converted from the ANSI code page; both
// start the client with the wide line.
int LaunchMailClient(char *commandLine, ULONG_PTR ulUIParam = 0,
                     AttachmentList *files = NULL);
int LaunchMailClientW(WCHAR *commandLine, ULONG_PTR ulUIParam = 0,
                      AttachmentList *files = NULL);

#endif
