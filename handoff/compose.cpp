// ComposeCommandLine: turns a MapiMessage into the mail client's command
// line of switches and values.
//
// In the finished line a blank followed by a single hyphen only ever begins
// one of our switches: every value, addresses included, has each " -"
// doubled to " --", and a value that starts with a hyphen gains one more.
// A line that would not fit, a copy that cannot be made, or a message whose
// counts promise arrays it does not have, fails the whole composition
// rather than hand the client a partial message.
//
// Under a double-byte ANSI code page a value may end in a lone lead byte;
// the blank or ';' appended next would become its second half, and the
// client would lose the section that follows. Such a byte is left out of
// the line (the trace shows the value as given).
#include <string.h>

#include "handoff/ansi_text.h"
#include "handoff/handoff.h"
#include "mapi/mapi_types.h"
#include "platform/alloc.h"
#include "trace/trace.h"

static const char kEscapePattern[] = " -";
static const char kEscapeReplacement[] = " --";
static const char kSwitchSubject[] = "-Subject";
static const char kSwitchAttach[] = "-Attach";
static const char kSwitchAlias[] = "-Alias";
static const char kSwitchBody[] = "-Body";
static const char kSwitchSilent[] = "-Silent";
static const char *const kRecipientSwitches[] = {"-To", "-Cc", "-Bcc"};
static const int kRecipientLists = 3;

struct CommandLine {
  char *buffer;
  int length;
  int failed;
  int multibyte; // the ANSI code page has double-byte characters
};

struct RecipientList {
  char *text; // switch, blank, addresses joined by ';'; NULL until needed
  size_t length;
};

static void Append(CommandLine *line, const char *text, size_t n) {
  if (line->failed)
    return;
  size_t room = (size_t)(COMMAND_LINE_SIZE - line->length);
  if (n + 1 > room) {
    line->failed = 1;
    return;
  }
  memcpy(line->buffer + line->length, text, n);
  line->length += (int)n;
}

static void AppendText(CommandLine *line, const char *text) {
  Append(line, text, strlen(text));
}

// A heap copy of the value with its " -" doubled and without a dangling
// lead byte; an empty value gives an empty copy. NULL when out of memory.
static char *EscapedCopy(const char *value, int multibyte) {
  size_t whole = AcpWholeLength(value, multibyte);
  if (whole == 0) {
    char *empty = (char *)QvAlloc(1);
    if (empty)
      empty[0] = 0;
    return empty;
  }
  if (value[whole] == 0)
    return ReplaceAll(value, kEscapePattern, kEscapeReplacement);
  char *trimmed = (char *)QvAlloc(whole + 1);
  if (!trimmed)
    return NULL;
  memcpy(trimmed, value, whole);
  trimmed[whole] = 0;
  char *escaped = ReplaceAll(trimmed, kEscapePattern, kEscapeReplacement);
  QvFree(trimmed);
  return escaped;
}

// A value escaped, and a hyphen more in front when it starts with one, so
// that no value can be read as a switch.
static void AppendEscaped(CommandLine *line, const char *value) {
  if (line->failed)
    return;
  if (value[0] == '-')
    AppendText(line, "-");
  char *escaped = EscapedCopy(value, line->multibyte);
  if (!escaped) {
    line->failed = 1;
    return;
  }
  AppendText(line, escaped);
  QvFree(escaped);
}

static void AppendSection(CommandLine *line, const char *name,
                          const char *value) {
  AppendText(line, " ");
  AppendText(line, name);
  AppendText(line, " ");
  AppendEscaped(line, value);
}

static int IsPresent(const char *text) { return text && text[0]; }

// Adds one address to its list. Returns 0 when the list would outgrow the
// line or cannot be grown; the list keeps what it had.
static int AddToList(RecipientList *list, const char *recipientSwitch,
                     const char *address) {
  size_t addressLength = strlen(address);
  size_t lead = address[0] == '-' ? 1 : 0;
  size_t start = list->text ? list->length + 1 : strlen(recipientSwitch) + 1;
  size_t newLength = start + lead + addressLength;
  // The list goes into the line behind a blank, with the NUL after it.
  if (newLength + 2 > COMMAND_LINE_SIZE)
    return 0;
  char *grown = (char *)QvRealloc(list->text, newLength + 1);
  if (!grown)
    return 0;
  if (!list->text) {
    memcpy(grown, recipientSwitch, start - 1);
    grown[start - 1] = ' ';
  } else {
    grown[list->length] = ';';
  }
  if (lead)
    grown[start] = '-';
  memcpy(grown + start + lead, address, addressLength + 1);
  list->text = grown;
  list->length = newLength;
  return 1;
}

static void ComposeRecipients(CommandLine *line, const MapiMessage *msg) {
  RecipientList lists[kRecipientLists] = {};
  TraceWrite(TRACE_INFO, "lpMessage->nRecipCount = %x",
             TRACE_HEX(msg->nRecipCount));
  if (!msg->lpRecips) {
    // A host bug: recipients counted but not given. Nothing to read.
    if ((int)msg->nRecipCount > 0)
      line->failed = 1;
    return;
  }
  for (int i = 0; i < (int)msg->nRecipCount; i++) {
    const MapiRecipDesc *recip = &msg->lpRecips[i];
    TraceWrite(TRACE_INFO, "%05i Name: '%s'", i,
               recip->lpszName ? recip->lpszName : "NULL");
    TraceWrite(TRACE_INFO, "%05i Recipient Class: '%x'", i,
               TRACE_HEX(recip->ulRecipClass));
    TraceWrite(TRACE_INFO, "%05i Address: '%s'", i,
               recip->lpszAddress ? recip->lpszAddress : "NULL");
    if (line->failed)
      continue; // the lists stop growing; the trace goes on
    const char *address = recip->lpszAddress;
    if (!address && recip->lpszName &&
        AcpFindChar(recip->lpszName, '@', line->multibyte))
      address = recip->lpszName;
    if (!address)
      continue;
    char *copy = EscapedCopy(address, line->multibyte);
    if (!copy) {
      line->failed = 1;
      continue;
    }
    ULONG recipClass = recip->ulRecipClass;
    if (recipClass >= MAPI_TO && recipClass <= MAPI_BCC) {
      int which = (int)recipClass - MAPI_TO;
      if (!AddToList(&lists[which], kRecipientSwitches[which], copy))
        line->failed = 1;
    }
    QvFree(copy);
  }
  for (int which = 0; which < kRecipientLists; which++) {
    if (lists[which].text) {
      AppendText(line, " ");
      Append(line, lists[which].text, lists[which].length);
    }
    QvFree(lists[which].text);
  }
}

int ComposeCommandLine(const MapiMessage *lpMessage, FLAGS flFlags,
                       char *buffer) {
  CommandLine line = {buffer, 0, 0, 0};
  if (lpMessage) {
    line.multibyte = AcpIsMultibyte();
    const MapiMessage *msg = lpMessage;
    TraceWrite(TRACE_INFO, "lpMapiMessage lpMessage = %x", TRACE_HEX(msg));
    if (IsPresent(msg->lpszSubject)) {
      TraceWrite(TRACE_INFO, "lpMessage->lpszSubject = %x",
                 TRACE_HEX(msg->lpszSubject));
      AppendText(&line, kSwitchSubject);
      AppendText(&line, " ");
      AppendEscaped(&line, msg->lpszSubject);
    }
    TraceWrite(TRACE_INFO, "lpMessage->nFileCount = %x",
               TRACE_HEX(msg->nFileCount));
    // A host bug: attachments counted but not given. The rest is traced.
    if (!msg->lpFiles && (int)msg->nFileCount > 0)
      line.failed = 1;
    for (int i = 0; msg->lpFiles && i < (int)msg->nFileCount; i++) {
      const MapiFileDesc *file = &msg->lpFiles[i];
      if (IsPresent(file->lpszPathName)) {
        TraceWrite(TRACE_INFO, "lpMessage->lpFiles[%d].lpszPathName = '%s'", i,
                   file->lpszPathName);
        AppendSection(&line, kSwitchAttach, file->lpszPathName);
      }
      if (IsPresent(file->lpszFileName)) {
        TraceWrite(TRACE_INFO, "lpMessage->lpFiles[%d].lpszFileName = '%s'", i,
                   file->lpszFileName);
        AppendSection(&line, kSwitchAlias, file->lpszFileName);
      }
    }
    if (IsPresent(msg->lpszNoteText)) {
      TraceWrite(TRACE_INFO, "lpMessage->lpszNoteText = '%s'",
                 msg->lpszNoteText);
      AppendSection(&line, kSwitchBody, msg->lpszNoteText);
    }
    ComposeRecipients(&line, msg);
    if (!(flFlags & MAPI_DIALOG)) {
      AppendText(&line, " ");
      AppendText(&line, kSwitchSilent);
    }
  }
  if (line.failed) {
    buffer[0] = 0;
    return COMPOSE_FAILED;
  }
  buffer[line.length] = 0;
  return line.length;
}
