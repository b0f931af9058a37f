#include "trace/ansi_text.h"

#include <string.h>

#include "platform/platform.h"

int AcpIsMultibyte(void) { return HostCodePage()->kind; }

static int IsLead(unsigned char c) { return HostCodePage()->lead[c]; }

const char *AcpNext(const char *p, int multibyte) {
  if (multibyte == ACP_DOUBLE_BYTE && IsLead((unsigned char)*p) && p[1])
    return p + 2;
  return p + 1;
}

const char *AcpFindChar(const char *text, char c, int multibyte) {
  if (multibyte != ACP_DOUBLE_BYTE)
    return strchr(text, c);
  for (const char *p = text; *p; p = AcpNext(p, multibyte))
    if (*p == c)
      return p;
  return NULL;
}

// UTF-8: the length without a lead byte whose sequence is cut short.
static size_t Utf8WholeLength(const unsigned char *text, size_t n) {
  size_t i = n, continuation = 0;
  while (i > 0 && continuation < 3 && (text[i - 1] & 0xC0) == 0x80)
    i--, continuation++;
  if (i == 0 || text[i - 1] < 0xC0)
    return n;
  unsigned char lead = text[i - 1];
  size_t wanted = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
  return continuation < wanted ? i - 1 : n;
}

size_t AcpWholePrefix(const char *text, size_t n, int multibyte) {
  if (multibyte == ACP_UTF8)
    return Utf8WholeLength((const unsigned char *)text, n);
  if (multibyte != ACP_DOUBLE_BYTE)
    return n;
  // Character by character: a lead byte standing last has lost its second
  // half.
  size_t i = 0;
  while (i < n && !(IsLead((unsigned char)text[i]) && i + 1 == n))
    i += IsLead((unsigned char)text[i]) ? 2 : 1;
  return i < n ? i : n;
}

size_t AcpWholeLength(const char *text, int multibyte) {
  return AcpWholePrefix(text, strlen(text), multibyte);
}
