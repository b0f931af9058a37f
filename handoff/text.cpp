#include "handoff/text.h"

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

const char *TraceView(const char *text, char *scratch) {
  (void)scratch;
  return text;
}

int TraceViewScratch(const WCHAR *, char **scratch) {
  *scratch = TraceIsOn() ? (char *)QvAlloc(TRACE_VIEW_SIZE) : NULL;
  return *scratch || !TraceIsOn();
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
  // Characters the code page lacks show as its default character, never as
  // look-alikes.
  int n = units ? WideToAnsi(text, units, scratch, TRACE_VIEW_SIZE - 1) : 0;
  scratch[n > 0 ? n : 0] = 0;
  return scratch;
}
