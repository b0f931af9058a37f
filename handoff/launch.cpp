// Looks up the registered mail client, starts it with the composed line
// and waits for it to exit. Both entries read the client path as UTF-16 and
// start it with the wide line: the path is checked and started exactly as
// the registry holds it, so no conversion can turn one file name into
// another (an ANSI read would give "C:\Apps\Lukasz Mail\..." for
// "Łukasz Mail", and start whatever that folder holds). The ANSI line goes
// to the client converted from the ANSI code page as the system would
// convert it, so the client receives what it always did.
#include <string.h>

#include "handoff/client_path.h"
#include "handoff/handoff.h"
#include "include/qvmapi/registry.h"
#include "platform/platform.h"
#include "trace/trace.h"

// Which attachment stopped the send and why, in the trace; what the host
// is told.
static int Refused(const AttachmentList *files, const StartFiles *start) {
  int index = files->index[start->failed];
  unsigned error = (unsigned)start->error;
  if (NamesNothing(start->error)) {
    TraceWrite(TRACE_INFO,
               "lpMessage->lpFiles[%d].lpszPathName names no file (error "
               "%u): no message was sent",
               index, error);
    return SEND_ATTACHMENT_NOT_FOUND;
  }
  TraceWrite(TRACE_INFO,
             "lpMessage->lpFiles[%d].lpszPathName cannot be opened for "
             "reading (error %u): no message was sent",
             index, error);
  return SEND_ATTACHMENT_OPEN_FAILURE;
}

int LaunchMailClientW(WCHAR *commandLine, ULONG_PTR ulUIParam,
                      AttachmentList *files) {
  static const WCHAR kCommandKey[] = QV_WIDE(QV_COMMAND_KEY);
  WCHAR *value = NULL;
  DWORD size = 0, type = 0;
  if (ReadRegistryString(HKEY_LOCAL_MACHINE, kCommandKey, QV_WIDE(""), &value,
                         &size, &type) != 1)
    return SEND_FAILED;
  // Only a program file named by its full path is started: a batch file
  // would run the message's text as commands.
  WCHAR clientPath[MAX_PATH];
  ClientPathVerdict verdict = CheckClientCommand(type, value, clientPath);
  QvFree(value);
  // A client that cannot be started is a machine's problem, reported as
  // such whatever the attachments.
  if (verdict != CLIENT_PATH_OK)
    return SEND_FAILED;
  StartFiles start = {files ? files->paths : NULL, files ? files->count : 0, 0,
                      0};
  int started = StartAndWait(clientPath, commandLine, ulUIParam, &start);
  if (started == START_FILE_REFUSED)
    return Refused(files, &start);
  // A client that could not be started has sent nothing: report it.
  return started == START_DONE ? SEND_DONE : SEND_FAILED;
}

int LaunchMailClient(char *commandLine, ULONG_PTR ulUIParam,
                     AttachmentList *files) {
  // A line the platform cannot take (more than 32,766 units) fails here,
  // before anything is looked up, as an ANSI process start would fail on it.
  WCHAR *wide = (WCHAR *)QvAlloc(WIDE_COMMAND_LINE_SIZE * sizeof(WCHAR));
  if (!wide)
    return SEND_FAILED;
  int sent = AnsiToWide(commandLine, -1, wide, WIDE_COMMAND_LINE_SIZE) > 0
                 ? LaunchMailClientW(wide, ulUIParam, files)
                 : SEND_FAILED;
  QvFree(wide);
  return sent;
}

static int LaunchLine(char *line, ULONG_PTR ulUIParam, AttachmentList *files) {
  return LaunchMailClient(line, ulUIParam, files);
}
static int LaunchLine(WCHAR *line, ULONG_PTR ulUIParam, AttachmentList *files) {
  return LaunchMailClientW(line, ulUIParam, files);
}

// The line is taken from the heap: a host thread with a small stack (64 KB
// reserves are common) would overflow on it.
template <typename Char, typename Message, typename Compose>
static int ComposeAndLaunch(const Message *lpMessage, FLAGS flFlags,
                            ULONG_PTR ulUIParam, Compose compose) {
  const size_t bytes = sizeof(Char) == 1
                           ? COMMAND_LINE_SIZE
                           : WIDE_COMMAND_LINE_SIZE * sizeof(Char);
  Char *line = (Char *)QvAlloc(bytes);
  if (!line)
    return SEND_FAILED;
  memset(line, 0, bytes);
  AttachmentList files;
  memset(&files, 0, sizeof files);
  int sent = compose(lpMessage, flFlags, line, &files) != COMPOSE_FAILED
                 ? LaunchLine(line, ulUIParam, &files)
                 : SEND_FAILED;
  FreeAttachments(&files);
  QvFree(line);
  return sent;
}

int SendViaMailClient(const MapiMessage *lpMessage, FLAGS flFlags,
                      ULONG_PTR ulUIParam) {
  // The ANSI line is the client's ANSI view only when both use one code
  // page; a host's other code page (a manifest's UTF-8) is not the client's.
  if (lpMessage && HostCodePage()->clientDiffers)
    return ComposeAndLaunch<WCHAR>(lpMessage, flFlags, ulUIParam,
                                   ComposeCommandLineAcp);
  return ComposeAndLaunch<char>(lpMessage, flFlags, ulUIParam,
                                ComposeCommandLine);
}

int SendViaMailClientW(const MapiMessageW *lpMessage, FLAGS flFlags,
                       ULONG_PTR ulUIParam) {
  return ComposeAndLaunch<WCHAR>(
      lpMessage, flFlags, ulUIParam,
      [](const MapiMessageW *m, FLAGS f, WCHAR *line, AttachmentList *files) {
        return ComposeCommandLineW(m, f, line, NULL, files);
      });
}

int SendViaMailClientUtf8(const MapiMessage *lpMessage, FLAGS flFlags,
                          ULONG_PTR ulUIParam) {
  return ComposeAndLaunch<WCHAR>(lpMessage, flFlags, ulUIParam,
                                 ComposeCommandLineUtf8);
}
