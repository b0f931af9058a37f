#include "handoff/ansi_text.h"

#include <string.h>

#include "platform/win32.h"

int AcpIsMultibyte(void) {
  CPINFO info;
  return GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
}

const char *AcpNext(const char *p, int multibyte) {
  if (multibyte && IsDBCSLeadByte((BYTE)*p) && p[1])
    return p + 2;
  return p + 1;
}

const char *AcpFindChar(const char *text, char c, int multibyte) {
  if (!multibyte)
    return strchr(text, c);
  for (const char *p = text; *p; p = AcpNext(p, multibyte))
    if (*p == c)
      return p;
  return NULL;
}

size_t AcpWholeLength(const char *text, int multibyte) {
  size_t n = strlen(text);
  if (!multibyte || n == 0)
    return n;
  const char *p = text;
  const char *last = text;
  while (*p) {
    last = p;
    p = AcpNext(p, multibyte);
  }
  // The last character is a single lead byte with nothing behind it.
  if (p - last == 1 && IsDBCSLeadByte((BYTE)*last))
    return n - 1;
  return n;
}
