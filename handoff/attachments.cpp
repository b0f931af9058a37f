// The attachments of a send as the mail client will open them, so that a
// path naming nothing is refused before the client starts, never reported
// as sent without its file.
#include <string.h>

#include "handoff/handoff.h"
#include "handoff/text.h"
#include "platform/platform.h"

// The path the client reads from its -Attach section: the escaping undone
// (every " --" there was a " -"). A path in double quotes, which names no
// file as it stands, is taken without them, as a client that reads such a
// path does.
template <typename Char>
static Char *ClientView(const Char *escaped, size_t length, size_t *viewed) {
  static const Char kEscaped[] = {' ', '-', '-', 0};
  static const Char kPlain[] = {' ', '-', 0};
  Char *plain;
  if (length) {
    plain = ReplaceAllKnown(escaped, length, kEscaped, kPlain, viewed);
  } else if ((plain = (Char *)QvAlloc(sizeof(Char))) != NULL) {
    plain[0] = 0; // a path of a lone lead byte, left out of the line
    *viewed = 0;
  }
  if (plain && *viewed >= 2 && plain[0] == '"' && plain[*viewed - 1] == '"') {
    *viewed -= 2;
    memmove(plain, plain + 1, *viewed * sizeof(Char));
    plain[*viewed] = 0;
  }
  return plain;
}

static int Push(AttachmentList *list, WCHAR *path, int index) {
  if (list->count == list->room) {
    size_t more = list->room ? list->room * 2 : 4;
    WCHAR **paths = (WCHAR **)QvRealloc(list->paths, more * sizeof(WCHAR *));
    if (paths)
      list->paths = paths;
    int *indexes =
        paths ? (int *)QvRealloc(list->index, more * sizeof(int)) : NULL;
    if (!indexes) {
      QvFree(path);
      return 0;
    }
    list->index = indexes;
    list->room = more;
  }
  list->paths[list->count] = path;
  list->index[list->count++] = index;
  return 1;
}

int AddAttachment(AttachmentList *list, const WCHAR *escaped, size_t length,
                  int index) {
  size_t viewed;
  WCHAR *path = ClientView(escaped, length, &viewed);
  return path && Push(list, path, index);
}

// The ANSI line reaches the client converted from the ANSI code page; its
// paths are probed so converted.
int AddAttachment(AttachmentList *list, const char *escaped, size_t length,
                  int index) {
  size_t viewed;
  char *plain = ClientView(escaped, length, &viewed);
  WCHAR *path = plain ? (WCHAR *)QvAlloc((viewed + 1) * sizeof(WCHAR)) : NULL;
  int converted = path && AnsiToWide(plain, -1, path, (int)viewed + 1) > 0;
  QvFree(plain);
  if (!converted) {
    QvFree(path);
    return 0;
  }
  return Push(list, path, index);
}

void FreeAttachments(AttachmentList *list) {
  for (size_t i = 0; i < list->count; i++)
    QvFree(list->paths[i]);
  QvFree(list->paths);
  QvFree(list->index);
  memset(list, 0, sizeof *list);
}

int NamesNothing(DWORD error) {
  switch (error) {
  case ERROR_FILE_NOT_FOUND:
  case ERROR_PATH_NOT_FOUND:
  case ERROR_INVALID_DRIVE:
  case ERROR_BAD_NETPATH:
  case ERROR_BAD_NET_NAME:
  case ERROR_INVALID_NAME:
  case ERROR_BAD_PATHNAME:
  case ERROR_FILENAME_EXCED_RANGE:
  case ERROR_DIRECTORY:
    return 1;
  }
  return 0;
}
