// ReplaceAll: the switch-text escaping behind every value on the command
// line. The search honours the ANSI code page: under a double-byte page an
// occurrence never starts on the trail byte of a character.
#include <stdint.h>
#include <string.h>

#include "handoff/ansi_text.h"
#include "handoff/handoff.h"
#include "platform/alloc.h"

static const char *FindPattern(const char *from, const char *pattern,
                               size_t patternLength, int multibyte) {
  if (!multibyte)
    return strstr(from, pattern);
  for (const char *p = from; *p; p = AcpNext(p, multibyte))
    if (strncmp(p, pattern, patternLength) == 0)
      return p;
  return NULL;
}

// Copies n bytes at *pos, never past the last byte before the block's NUL.
static void AppendBounded(char *block, size_t size, size_t *pos,
                          const char *text, size_t n) {
  size_t room = size - 1 - *pos;
  if (n > room)
    n = room;
  memcpy(block + *pos, text, n);
  *pos += n;
}

char *ReplaceAll(const char *source, const char *pattern,
                 const char *replacement) {
  if (!source || !pattern || !replacement || !*source || !*pattern)
    return NULL;
  int multibyte = AcpIsMultibyte();
  size_t sourceLength = strlen(source);
  size_t patternLength = strlen(pattern);
  size_t replacementLength = strlen(replacement);

  size_t count = 0;
  for (const char *hit = FindPattern(source, pattern, patternLength, multibyte);
       hit; hit = FindPattern(hit + patternLength, pattern, patternLength,
                              multibyte))
    count++;

  size_t size;
  if (replacementLength >= patternLength) {
    size_t growth = replacementLength - patternLength;
    if (growth && count > (SIZE_MAX - sourceLength - 1) / growth)
      return NULL;
    size = sourceLength + count * growth + 1;
  } else {
    size = sourceLength - count * (patternLength - replacementLength) + 1;
  }
  char *block = (char *)QvAlloc(size);
  if (!block)
    return NULL;
  // Every byte of the exactly sized block is written below, the NUL last.
  if (count == 0) {
    memcpy(block, source, size);
    return block;
  }

  size_t pos = 0;
  const char *current = source;
  for (const char *hit =
           FindPattern(current, pattern, patternLength, multibyte);
       hit; hit = FindPattern(current, pattern, patternLength, multibyte)) {
    AppendBounded(block, size, &pos, current, (size_t)(hit - current));
    AppendBounded(block, size, &pos, replacement, replacementLength);
    current = hit + patternLength;
  }
  AppendBounded(block, size, &pos, current, strlen(current));
  block[pos] = 0;
  return block;
}
