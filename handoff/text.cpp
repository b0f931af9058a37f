#include "handoff/text.h"

#include <string.h>

#include "platform/platform.h"
#include "trace/trace.h"

// Plain loops: the scans run just before a process start that costs a
// thousand times more (docs/PERFORMANCE.md).
const WCHAR *TextFindPair(const WCHAR *from, const WCHAR *end, WCHAR a,
                          WCHAR b) {
  for (const WCHAR *p = from; end - p >= 2; p++)
    if (p[0] == a && p[1] == b)
      return p;
  return NULL;
}

const WCHAR *TextFindAtLeast(const WCHAR *from, const WCHAR *end, WCHAR least) {
  for (const WCHAR *p = from; p < end; p++)
    if (*p >= least)
      return p;
  return NULL;
}

// A trace line shows at most 480 characters of a message.
static const int kTraceViewUnits = 480;
// The view is cut once it holds more than a line can show.
static const int kTraceViewBytes = 480;

const char *TraceView(const char *text, char *scratch) {
  (void)scratch;
  return text;
}

int TraceViewScratch(const WCHAR *, char **scratch) {
  *scratch = TraceIsOn() ? (char *)QvAlloc(TRACE_VIEW_SIZE) : NULL;
  return *scratch || !TraceIsOn();
}

// One character (a unit, or a surrogate pair) as the code page has it, or
// as <U+XXXX> when it lacks it (a default character would hide what the
// user sent): the bytes written at out, which has room for 16.
static int ViewOf(const WCHAR *unit, int units, char *out) {
  int n = WideToAnsi(unit, units, out, 16, 1);
  if (n > 0)
    return n;
  unsigned code = units == 2
                      ? 0x10000u + (((unsigned)unit[0] - 0xD800u) << 10) +
                            ((unsigned)unit[1] - 0xDC00u)
                      : unit[0];
  static const char kHex[] = "0123456789ABCDEF";
  char digits[6];
  int count = 0;
  do {
    digits[count++] = kHex[code & 0xF];
    code >>= 4;
  } while (code || count < 4);
  char *p = out;
  memcpy(p, "<U+", 3);
  p += 3;
  while (count)
    *p++ = digits[--count];
  *p++ = '>';
  return (int)(p - out);
}

static int IsPair(const WCHAR *p, const WCHAR *end) {
  return end - p >= 2 && p[0] >= 0xD800 && p[0] <= 0xDBFF && p[1] >= 0xDC00 &&
         p[1] <= 0xDFFF;
}

const char *TraceView(const WCHAR *text, char *scratch) {
  if (!scratch)
    return "";
  scratch[0] = 0;
  if (!TraceIsOn())
    return scratch;
  int units = 0;
  while (units < kTraceViewUnits && text[units])
    units++;
  // Most texts convert whole; one that does not goes character by
  // character, until it holds more than a line shows.
  int n = units ? WideToAnsi(text, units, scratch, TRACE_VIEW_SIZE - 1, 1) : 0;
  if (n <= 0) {
    n = 0;
    for (const WCHAR *p = text, *end = text + units;
         p < end && n <= kTraceViewBytes;) {
      int step = IsPair(p, end) ? 2 : 1;
      n += ViewOf(p, step, scratch + n);
      p += step;
    }
  }
  scratch[n] = 0;
  return scratch;
}
