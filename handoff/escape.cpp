// ReplaceAll: the switch-text escaping behind every value on the command
// line, for both character types. The ANSI search honours the code page:
// under a double-byte page an occurrence never starts on the trail byte of
// a character.
#include <stdint.h>
#include <string.h>

#include "handoff/handoff.h"
#include "handoff/text.h"
#include "platform/platform.h"

// The next occurrence in [from, end), end being the source's NUL.
static const char *FindPattern(const char *from, const char *end,
                               const char *pattern, size_t patternLength,
                               int multibyte) {
  (void)end;
  if (multibyte != ACP_DOUBLE_BYTE) // UTF-8 has no ASCII byte inside a sequence
    return strstr(from, pattern);
  for (const char *p = from; *p; p = AcpNext(p, multibyte))
    if (strncmp(p, pattern, patternLength) == 0)
      return p;
  return NULL;
}

static const WCHAR *FindPattern(const WCHAR *from, const WCHAR *end,
                                const WCHAR *pattern, size_t patternLength,
                                int) {
  if (patternLength == 2) // the escaping's " -"
    return TextFindPair(from, end, pattern[0], pattern[1]);
  for (const WCHAR *p = from; (size_t)(end - p) >= patternLength; p++)
    if (memcmp(p, pattern, patternLength * sizeof(WCHAR)) == 0)
      return p;
  return NULL;
}

// Copies n units at *pos, never past the last unit before the block's NUL.
template <typename Char>
static void AppendBounded(Char *block, size_t size, size_t *pos,
                          const Char *text, size_t n) {
  size_t room = size - 1 - *pos;
  if (n > room)
    n = room;
  memcpy(block + *pos, text, n * sizeof(Char));
  *pos += n;
}

template <typename Char>
static Char *ReplaceAllText(const Char *source, size_t sourceLength,
                            const Char *pattern, const Char *replacement,
                            size_t *resultLength) {
  if (!source || !pattern || !replacement || !*source || !*pattern)
    return NULL;
  int multibyte = Text<Char>::Multibyte();
  const Char *end = source + sourceLength;
  size_t patternLength = TextLength(pattern);
  size_t replacementLength = TextLength(replacement);

  size_t count = 0;
  for (const Char *hit =
           FindPattern(source, end, pattern, patternLength, multibyte);
       hit; hit = FindPattern(hit + patternLength, end, pattern, patternLength,
                              multibyte))
    count++;

  size_t size; // in units, the NUL included
  if (replacementLength >= patternLength) {
    size_t growth = replacementLength - patternLength;
    if (growth && count > (SIZE_MAX / sizeof(Char) - sourceLength - 1) / growth)
      return NULL;
    size = sourceLength + count * growth + 1;
  } else {
    size = sourceLength - count * (patternLength - replacementLength) + 1;
  }
  Char *block = (Char *)QvAlloc(size * sizeof(Char));
  if (!block)
    return NULL;
  if (resultLength)
    *resultLength = size - 1;
  // Every unit of the exactly sized block is written below, the NUL last.
  if (count == 0) {
    memcpy(block, source, size * sizeof(Char));
    return block;
  }

  size_t pos = 0;
  const Char *current = source;
  for (const Char *hit =
           FindPattern(current, end, pattern, patternLength, multibyte);
       hit;
       hit = FindPattern(current, end, pattern, patternLength, multibyte)) {
    AppendBounded(block, size, &pos, current, (size_t)(hit - current));
    AppendBounded(block, size, &pos, replacement, replacementLength);
    current = hit + patternLength;
  }
  AppendBounded(block, size, &pos, current, (size_t)(end - current));
  block[pos] = 0;
  return block;
}

char *ReplaceAllKnown(const char *source, size_t sourceLength,
                      const char *pattern, const char *replacement,
                      size_t *resultLength) {
  return ReplaceAllText(source, sourceLength, pattern, replacement,
                        resultLength);
}

WCHAR *ReplaceAllKnown(const WCHAR *source, size_t sourceLength,
                       const WCHAR *pattern, const WCHAR *replacement,
                       size_t *resultLength) {
  return ReplaceAllText(source, sourceLength, pattern, replacement,
                        resultLength);
}

char *ReplaceAll(const char *source, const char *pattern,
                 const char *replacement) {
  if (!source)
    return NULL;
  return ReplaceAllText(source, strlen(source), pattern, replacement, NULL);
}

WCHAR *ReplaceAllW(const WCHAR *source, const WCHAR *pattern,
                   const WCHAR *replacement) {
  if (!source)
    return NULL;
  return ReplaceAllText(source, TextLength(source), pattern, replacement, NULL);
}
