// ComposeCommandLine: turns a MapiMessage into the mail client's command
// line of switches and values. One composition serves both character
// types: the ANSI line for MAPISendMail and the UTF-16 line for
// MAPISendMailW.
//
// In the finished line a blank followed by a single hyphen only ever begins
// one of our switches: every value, addresses included, has each " -"
// doubled to " --", and a value that starts with a hyphen gains one more.
// A line that would not fit, a copy that cannot be made, or a message whose
// counts promise arrays it does not have, fails the whole composition
// rather than hand the client a partial message.
//
// A wide line is also read through its ANSI view (GetCommandLineA, argv),
// where the system's best fit shows look-alikes as blanks and hyphens: a
// value whose look-alikes would show a blank before a hyphen there has them
// written as those ASCII characters, and escaped as such.
//
// Under a double-byte ANSI code page a value may end in a lone lead byte;
// the blank or ';' appended next would become its second half, and the
// client would lose the section that follows. Such a byte is left out of
// the line (the trace shows the value as given).
#include <string.h>

#include "handoff/handoff.h"
#include "handoff/text.h"
#include "include/qvmapi/mapi.h"
#include "platform/platform.h"
#include "trace/trace.h"

static const char kSwitchSubject[] = "-Subject";
static const char kSwitchAttach[] = "-Attach";
static const char kSwitchAlias[] = "-Alias";
static const char kSwitchBody[] = "-Body";
static const char kSwitchSilent[] = "-Silent";
static const char *const kRecipientSwitches[] = {"-To", "-Cc", "-Bcc"};
static const int kRecipientLists = 3;
// MAPI_DIALOG, or the bit MAPI_DIALOG_MODELESS (0xC) adds to it, which some
// hosts pass alone: either asks for the compose window, never -Silent.
static const FLAGS kAsksForDialog = MAPI_DIALOG | 0x4;

template <typename Char> struct CommandLine {
  Char *buffer;
  int capacity; // units, the NUL included
  int length;
  int failed;
  int multibyte; // the ANSI code page has double-byte characters
};

template <typename Char> struct RecipientList {
  Char *text; // switch, blank, addresses joined by ';'; NULL until needed
  size_t length;
};

template <typename Char>
static void Append(CommandLine<Char> *line, const Char *text, size_t n) {
  if (line->failed)
    return;
  size_t room = (size_t)(line->capacity - line->length);
  if (n + 1 > room) {
    line->failed = 1;
    return;
  }
  memcpy(line->buffer + line->length, text, n * sizeof(Char));
  line->length += (int)n;
}

// Switches, separators: ASCII, widened where the line is wide.
template <typename Char>
static void AppendAscii(CommandLine<Char> *line, const char *ascii) {
  Char units[16];
  TextFromAscii(units, ARRAY_SIZE(units), ascii);
  Append(line, units, TextLength(units));
}

// A heap copy of the value with its " -" doubled, without a dangling lead
// byte, and (wide lines) with look-alikes of a blank before a hyphen
// written as the ASCII characters the ANSI view shows; its length in
// *length; an empty value gives an empty copy. NULL when out of memory or
// when the ANSI view cannot be worked out.
template <typename Char>
static Char *EscapedCopy(const Char *value, int multibyte, size_t *length) {
  static const Char kPattern[] = {' ', '-', 0};
  static const Char kReplacement[] = {' ', '-', '-', 0};
  size_t whole = Text<Char>::WholeLength(value, multibyte);
  *length = 0;
  if (whole == 0) {
    Char *empty = (Char *)QvAlloc(sizeof(Char));
    if (empty)
      empty[0] = 0;
    return empty;
  }
  int lookAlikes = Text<Char>::LookAlikes(value, whole, NULL);
  if (lookAlikes < 0)
    return NULL;
  if (value[whole] == 0 && lookAlikes == 0)
    return ReplaceAllKnown(value, whole, kPattern, kReplacement, length);
  Char *plain = (Char *)QvAlloc((whole + 1) * sizeof(Char));
  if (!plain)
    return NULL;
  memcpy(plain, value, whole * sizeof(Char));
  plain[whole] = 0;
  // The view is asked again for the rewrite: a view that fails now leaves
  // no look-alike in place unescaped.
  if (lookAlikes && Text<Char>::LookAlikes(value, whole, plain) != lookAlikes) {
    QvFree(plain);
    return NULL;
  }
  Char *escaped = ReplaceAllKnown(plain, whole, kPattern, kReplacement, length);
  QvFree(plain);
  return escaped;
}

// A value escaped, and a hyphen more in front when it starts with one, so
// that no value can be read as a switch. An attachment's path (files
// given) is also kept as the client will read it back.
template <typename Char>
static void AppendEscaped(CommandLine<Char> *line, const Char *value,
                          AttachmentList *files = NULL, int index = 0) {
  if (line->failed)
    return;
  size_t length;
  Char *escaped = EscapedCopy(value, line->multibyte, &length);
  if (!escaped || (files && !AddAttachment(files, escaped, length, index))) {
    QvFree(escaped);
    line->failed = 1;
    return;
  }
  if (escaped[0] == '-')
    AppendAscii(line, "-");
  Append(line, escaped, length);
  QvFree(escaped);
}

template <typename Char>
static void AppendSection(CommandLine<Char> *line, const char *name,
                          const Char *value, AttachmentList *files = NULL,
                          int index = 0) {
  AppendAscii(line, " ");
  AppendAscii(line, name);
  AppendAscii(line, " ");
  AppendEscaped(line, value, files, index);
}

template <typename Char> static int IsPresent(const Char *text) {
  return text && text[0];
}

// Adds one (escaped) address to its list. Returns 0 when the list would
// outgrow the line or cannot be grown; the list keeps what it had.
template <typename Char>
static int AddToList(RecipientList<Char> *list, const char *recipientSwitch,
                     const Char *address, size_t addressLength, int capacity) {
  size_t lead = address[0] == '-' ? 1 : 0;
  size_t switchLength = strlen(recipientSwitch);
  size_t start = list->text ? list->length + 1 : switchLength + 1;
  size_t newLength = start + lead + addressLength;
  // The list goes into the line behind a blank, with the NUL after it.
  if (newLength + 2 > (size_t)capacity)
    return 0;
  Char *grown = (Char *)QvRealloc(list->text, (newLength + 1) * sizeof(Char));
  if (!grown)
    return 0;
  if (!list->text) {
    TextFromAscii(grown, switchLength + 1, recipientSwitch);
    grown[start - 1] = ' ';
  } else {
    grown[list->length] = ';';
  }
  if (lead)
    grown[start] = '-';
  memcpy(grown + start + lead, address, (addressLength + 1) * sizeof(Char));
  list->text = grown;
  list->length = newLength;
  return 1;
}

template <typename Char>
static void ComposeRecipients(CommandLine<Char> *line,
                              const typename Text<Char>::Message *msg,
                              char *scratch) {
  RecipientList<Char> lists[kRecipientLists] = {};
  TraceWrite(TRACE_INFO, "lpMessage->nRecipCount = %x",
             TRACE_HEX(msg->nRecipCount));
  if (!msg->lpRecips) {
    // A host bug: recipients counted but not given. Nothing to read.
    if ((int)msg->nRecipCount > 0)
      line->failed = 1;
    return;
  }
  for (int i = 0; i < (int)msg->nRecipCount; i++) {
    const typename Text<Char>::Recip *recip = &msg->lpRecips[i];
    TraceWrite(TRACE_INFO, "%05i Name: '%s'", i,
               recip->lpszName ? TraceView(recip->lpszName, scratch) : "NULL");
    TraceWrite(TRACE_INFO, "%05i Recipient Class: '%x'", i,
               TRACE_HEX(recip->ulRecipClass));
    TraceWrite(TRACE_INFO, "%05i Address: '%s'", i,
               recip->lpszAddress ? TraceView(recip->lpszAddress, scratch)
                                  : "NULL");
    if (line->failed)
      continue; // the lists stop growing; the trace goes on
    const Char *address = recip->lpszAddress;
    if (!address && recip->lpszName &&
        TextFindChar(recip->lpszName, '@', line->multibyte))
      address = recip->lpszName;
    if (!address)
      continue;
    size_t length;
    Char *copy = EscapedCopy(address, line->multibyte, &length);
    if (!copy) {
      line->failed = 1;
      continue;
    }
    ULONG recipClass = recip->ulRecipClass;
    if (recipClass >= MAPI_TO && recipClass <= MAPI_BCC) {
      int which = (int)recipClass - MAPI_TO;
      if (!AddToList(&lists[which], kRecipientSwitches[which], copy, length,
                     line->capacity))
        line->failed = 1;
    }
    QvFree(copy);
  }
  for (int which = 0; which < kRecipientLists; which++) {
    if (lists[which].text) {
      AppendAscii(line, " ");
      Append(line, lists[which].text, lists[which].length);
    }
    QvFree(lists[which].text);
  }
}

// shownAs: the host's own message when msg is a converted copy of it; the
// trace shows the host's addresses.
template <typename Char>
static int Compose(const typename Text<Char>::Message *lpMessage, FLAGS flFlags,
                   Char *buffer, int capacity, const MapiMessage *shownAs,
                   AttachmentList *files) {
  CommandLine<Char> line = {buffer, capacity, 0, 0, 0};
  if (lpMessage) {
    const typename Text<Char>::Message *msg = lpMessage;
    char *scratch;
    // Memory short of a scratch fails the send, as any other block does.
    if (!TraceViewScratch((const Char *)NULL, &scratch))
      line.failed = 1;
    line.multibyte = Text<Char>::Multibyte();
    TraceWrite(TRACE_INFO, "lpMapiMessage lpMessage = %x",
               shownAs ? TRACE_HEX(shownAs) : TRACE_HEX(msg));
    if (IsPresent(msg->lpszSubject)) {
      TraceWrite(TRACE_INFO, "lpMessage->lpszSubject = %x",
                 shownAs ? TRACE_HEX(shownAs->lpszSubject)
                         : TRACE_HEX(msg->lpszSubject));
      AppendAscii(&line, kSwitchSubject);
      AppendAscii(&line, " ");
      AppendEscaped(&line, msg->lpszSubject);
    }
    TraceWrite(TRACE_INFO, "lpMessage->nFileCount = %x",
               TRACE_HEX(msg->nFileCount));
    // A host bug: attachments counted but not given. The rest is traced.
    if (!msg->lpFiles && (int)msg->nFileCount > 0)
      line.failed = 1;
    for (int i = 0; msg->lpFiles && i < (int)msg->nFileCount; i++) {
      const typename Text<Char>::File *file = &msg->lpFiles[i];
      if (IsPresent(file->lpszPathName)) {
        TraceWrite(TRACE_INFO, "lpMessage->lpFiles[%d].lpszPathName = '%s'", i,
                   TraceView(file->lpszPathName, scratch));
        AppendSection(&line, kSwitchAttach, file->lpszPathName, files, i);
      }
      if (IsPresent(file->lpszFileName)) {
        TraceWrite(TRACE_INFO, "lpMessage->lpFiles[%d].lpszFileName = '%s'", i,
                   TraceView(file->lpszFileName, scratch));
        AppendSection(&line, kSwitchAlias, file->lpszFileName);
      }
    }
    if (IsPresent(msg->lpszNoteText)) {
      TraceWrite(TRACE_INFO, "lpMessage->lpszNoteText = '%s'",
                 TraceView(msg->lpszNoteText, scratch));
      AppendSection(&line, kSwitchBody, msg->lpszNoteText);
    }
    ComposeRecipients(&line, msg, scratch);
    if (!(flFlags & kAsksForDialog)) {
      AppendAscii(&line, " ");
      AppendAscii(&line, kSwitchSilent);
    }
    QvFree(scratch);
  }
  if (line.failed) {
    buffer[0] = 0;
    return COMPOSE_FAILED;
  }
  buffer[line.length] = 0;
  return line.length;
}

int ComposeCommandLine(const MapiMessage *lpMessage, FLAGS flFlags,
                       char *buffer, AttachmentList *files) {
  return Compose(lpMessage, flFlags, buffer, COMMAND_LINE_SIZE, NULL, files);
}

int ComposeCommandLineW(const MapiMessageW *lpMessage, FLAGS flFlags,
                        WCHAR *buffer, const MapiMessage *shownAs,
                        AttachmentList *files) {
  return Compose(lpMessage, flFlags, buffer, WIDE_COMMAND_LINE_SIZE, shownAs,
                 files);
}
