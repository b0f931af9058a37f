// MAPISendMail with MapiMessage.ulReserved == CP_UTF8: the caller's texts
// are UTF-8, not ANSI (Word sends this way, its attachment paths included).
// Each text is read on its own, as UTF-8 when it is valid UTF-8 and in the
// ANSI code page otherwise (Windows' own stub converts only the subject and
// the body to UTF-8 and leaves paths in ANSI, so both kinds arrive); the
// message is then composed and handed over as MAPISendMailW's is, so that
// the client receives the exact characters.
#include <string.h>

#include "handoff/handoff.h"
#include "platform/platform.h"
#include "trace/trace.h"

namespace {

// The converted copy: W records and one block for every text.
struct WideCopy {
  MapiMessageW msg;
  MapiFileDescW *files;
  MapiRecipDescW *recips;
  WCHAR *texts;
  size_t used, room; // units of texts
  int failed;
};

// Units enough for a text in either reading: UTF-8 and every ANSI code
// page give at most one unit per byte.
size_t Room(const char *text) { return text ? strlen(text) + 1 : 0; }

WCHAR *Convert(WideCopy *copy, const char *text, int utf8) {
  if (!text || copy->failed)
    return NULL;
  WCHAR *out = copy->texts + copy->used;
  int room = (int)(copy->room - copy->used);
  int n = utf8 ? Utf8ToWide(text, out, room) : 0;
  if (n == 0)
    n = AnsiToWide(text, -1, out, room);
  if (n <= 0) {
    copy->failed = 1;
    return NULL;
  }
  copy->used += (size_t)n;
  return out;
}

int IsAscii(const char *text) {
  for (; *text; text++)
    if ((unsigned char)*text >= 0x80)
      return 0;
  return 1;
}

// Word's paths are UTF-8, but a host's ANSI path can be valid UTF-8 too
// (a 1252 folder named "Ã©" is C3 A9, "é" in UTF-8): when the UTF-8
// reading names no file and the ANSI one names one, the ANSI one is the
// file the host meant. Both or neither: the UTF-8 reading stands.
WCHAR *ConvertPath(WideCopy *copy, const char *text, int utf8) {
  WCHAR *out = Convert(copy, text, utf8);
  if (!out || !utf8 || IsAscii(text))
    return out;
  // Either reading fits the units Room(text) set aside for the text.
  size_t room = Room(text);
  WCHAR *ansi = (WCHAR *)QvAlloc(room * sizeof(WCHAR));
  int n = ansi ? AnsiToWide(text, -1, ansi, (int)room) : 0;
  if (n <= 0) {
    QvFree(ansi);
    copy->failed = 1;
    return NULL;
  }
  if (NamesNothing(ProbeFile(out)) && !NamesNothing(ProbeFile(ansi))) {
    memcpy(out, ansi, (size_t)n * sizeof(WCHAR));
    copy->used = (size_t)(out - copy->texts) + (size_t)n;
  }
  QvFree(ansi);
  return out;
}

// Sizes and fills the copy; the caller frees it with Release even when
// this fails.
int MakeWideCopy(const MapiMessage *m, WideCopy *copy, int utf8) {
  memset(copy, 0, sizeof *copy);
  int files = m->lpFiles ? (int)m->nFileCount : 0;
  int recips = m->lpRecips ? (int)m->nRecipCount : 0;
  size_t room = Room(m->lpszSubject) + Room(m->lpszNoteText);
  for (int i = 0; i < files; i++)
    room += Room(m->lpFiles[i].lpszPathName) + Room(m->lpFiles[i].lpszFileName);
  for (int i = 0; i < recips; i++)
    room += Room(m->lpRecips[i].lpszName) + Room(m->lpRecips[i].lpszAddress);
  copy->room = room;
  copy->texts = (WCHAR *)QvAlloc((room ? room : 1) * sizeof(WCHAR));
  if (files > 0)
    copy->files = (MapiFileDescW *)QvAlloc((size_t)files * sizeof *copy->files);
  if (recips > 0)
    copy->recips =
        (MapiRecipDescW *)QvAlloc((size_t)recips * sizeof *copy->recips);
  if (!copy->texts || (files > 0 && !copy->files) ||
      (recips > 0 && !copy->recips))
    return 0;
  // Counts and the absence of an array are kept as the host gave them:
  // the composition fails a count that promises an array not given.
  MapiMessageW *w = &copy->msg;
  w->ulReserved = m->ulReserved;
  w->flFlags = m->flFlags;
  w->nFileCount = m->nFileCount;
  w->nRecipCount = m->nRecipCount;
  w->lpFiles = copy->files;
  w->lpRecips = copy->recips;
  w->lpszSubject = Convert(copy, m->lpszSubject, utf8);
  w->lpszNoteText = Convert(copy, m->lpszNoteText, utf8);
  for (int i = 0; i < files; i++) {
    MapiFileDescW *f = &copy->files[i];
    memset(f, 0, sizeof *f);
    f->lpszPathName = ConvertPath(copy, m->lpFiles[i].lpszPathName, utf8);
    f->lpszFileName = Convert(copy, m->lpFiles[i].lpszFileName, utf8);
  }
  for (int i = 0; i < recips; i++) {
    MapiRecipDescW *r = &copy->recips[i];
    memset(r, 0, sizeof *r);
    r->ulRecipClass = m->lpRecips[i].ulRecipClass;
    r->lpszName = Convert(copy, m->lpRecips[i].lpszName, utf8);
    r->lpszAddress = Convert(copy, m->lpRecips[i].lpszAddress, utf8);
  }
  return !copy->failed;
}

void Release(WideCopy *copy) {
  QvFree(copy->texts);
  QvFree(copy->files);
  QvFree(copy->recips);
}

} // namespace

static int ComposeConverted(const MapiMessage *lpMessage, FLAGS flFlags,
                            WCHAR *buffer, int utf8, AttachmentList *files) {
  WideCopy copy;
  int length =
      MakeWideCopy(lpMessage, &copy, utf8)
          ? ComposeCommandLineW(&copy.msg, flFlags, buffer, lpMessage, files)
          : COMPOSE_FAILED;
  Release(&copy);
  if (length == COMPOSE_FAILED)
    buffer[0] = 0;
  return length;
}

int ComposeCommandLineUtf8(const MapiMessage *lpMessage, FLAGS flFlags,
                           WCHAR *buffer, AttachmentList *files) {
  TraceWrite(TRACE_INFO, "lpMessage->ulReserved = %x: the texts are UTF-8",
             TRACE_HEX(lpMessage->ulReserved));
  return ComposeConverted(lpMessage, flFlags, buffer, 1, files);
}

int ComposeCommandLineAcp(const MapiMessage *lpMessage, FLAGS flFlags,
                          WCHAR *buffer, AttachmentList *files) {
  return ComposeConverted(lpMessage, flFlags, buffer, 0, files);
}
