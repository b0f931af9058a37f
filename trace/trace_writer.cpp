// Formats and writes trace lines, in keep-open or open-per-line mode.
#include <string.h>

#include "platform/platform.h"
#include "trace/ansi_text.h"
#include "trace/format.h"
#include "trace/trace.h"
#include "trace/trace_state.h"

TraceState g_traceState = {
    TRACE_LEVEL_OFF, 0, INVALID_HANDLE_VALUE, {0}, {0}, {}, 0, 0};

static const char *const kSeverityLabels[] = {" I", " W", " E", "AF", "AS"};
static const unsigned short kMaxSeverity = 4;

// Writes `value` in decimal, at least `width` digits, zero-padded (%0Nu).
static char *PutDecimal(char *out, unsigned value, int width) {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = (char)('0' + value % 10);
    value /= 10;
  } while (value);
  while (width-- > n)
    *out++ = '0';
  while (n)
    *out++ = digits[--n];
  return out;
}

// The line prefix, exactly as "%04u/%02u/%02u %02u:%02u:%02u %08X %s "
// formats it, without the cost of a printf on every line. out must hold
// TRACE_LINE_SIZE bytes; returns the length (32 for every real date).
int FormatLinePrefix(char *out, const SYSTEMTIME *t, DWORD threadId,
                     const char *label) {
  static const char kHex[] = "0123456789ABCDEF";
  char *p = out;
  p = PutDecimal(p, t->wYear, 4);
  *p++ = '/';
  p = PutDecimal(p, t->wMonth, 2);
  *p++ = '/';
  p = PutDecimal(p, t->wDay, 2);
  *p++ = ' ';
  p = PutDecimal(p, t->wHour, 2);
  *p++ = ':';
  p = PutDecimal(p, t->wMinute, 2);
  *p++ = ':';
  p = PutDecimal(p, t->wSecond, 2);
  *p++ = ' ';
  for (int shift = 28; shift >= 0; shift -= 4)
    *p++ = kHex[(threadId >> shift) & 0xF];
  *p++ = ' ';
  for (const char *l = label; *l && p < out + TRACE_LINE_CHARS; l++)
    *p++ = *l;
  *p++ = ' ';
  *p = 0;
  return (int)(p - out);
}

void SetTraceLevel(int level) { g_traceState.level = level; }

DWORD WriteLineCrLf(HANDLE handle, char *text, DWORD capacity) {
  size_t length = strlen(text);
  size_t needed = length + 2;
  char *work = text;
  if (needed > capacity) {
    work = (char *)QvAlloc(needed);
    if (!work)
      return ERROR_NOT_ENOUGH_MEMORY;
    memcpy(work, text, length + 1);
  }
  work[length] = '\r';
  work[length + 1] = '\n';
  DWORD written;
  DWORD code = FileWrite(handle, work, (DWORD)needed, &written);
  work[length] = 0;
  if (work != text)
    QvFree(work);
  return code;
}

// A wide text's character the code page lacks is written <U+XXXX>: a cut
// inside one would leave a half that reads as something else. The cut goes
// before it. '<', 'U', '+' and the digits are never a double-byte
// character's second byte after a '<'.
static size_t BeforeOpenEscape(const char *text, size_t cut) {
  static const char kOpen[] = "<U+";
  size_t from = cut > 9 ? cut - 9 : 0;
  for (size_t at = cut; at-- > from;) {
    if (text[at] != '<')
      continue;
    size_t i = at;
    for (; i < cut && i - at < 3; i++)
      if (text[i] != kOpen[i - at])
        return cut;
    for (; i < cut; i++)
      if (!((text[i] >= '0' && text[i] <= '9') ||
            (text[i] >= 'A' && text[i] <= 'F')))
        return cut;
    return at;
  }
  return cut;
}

DWORD TraceFormatLine(DWORD threadId, unsigned short severity,
                      const char *format, va_list args) {
  // Every byte up to the message's NUL is written below, so the buffer
  // needs no zero fill first.
  char line[TRACE_LINE_SIZE];
  SYSTEMTIME now;
  LocalTime(&now);
  const char *label = kSeverityLabels[severity <= kMaxSeverity ? severity : 0];
  int prefix = FormatLinePrefix(line, &now, threadId, label);
  if (prefix > TRACE_LINE_CHARS)
    prefix = TRACE_LINE_CHARS;
  int room = TRACE_LINE_CHARS - prefix;
  // A longer message is cut after `room` characters (at the last whole
  // character), silently.
  line[prefix] = 0;
  int length = TraceFormatV(line + prefix, (size_t)room + 1, format, args);
  line[prefix + room] = 0;
  // A message cut inside a character would end its line in a lone lead byte
  // (or a UTF-8 sequence cut short), and a reader in that code page would
  // take the line's CR as the missing part and run two lines together.
  if (length > room) {
    size_t kept = AcpWholePrefix(line + prefix, (size_t)room, AcpIsMultibyte());
    line[prefix + BeforeOpenEscape(line + prefix, kept)] = 0;
  }
  return WriteLineCrLf(g_traceState.logHandle, line, sizeof line);
}

// The work of an active log, out of line so that TraceWrite itself stays a
// few instructions while the log is off.
static QV_NOINLINE void TraceWriteActive(unsigned short severity,
                                         const char *format, va_list args) {
  DWORD self = CurrentThreadId();
  if (g_traceState.level != TRACE_LEVEL_OPEN_PER_LINE) {
    TraceFormatLine(self, severity, format, args);
    return;
  }
  // A nested call from the thread inside a write would replace and close
  // the outer call's handle under it: drop it.
  if (QV_LOAD_RELAXED(&g_traceState.writingThread) == self)
    return;
  LockEnter(&g_traceState.lock);
  QV_STORE_RELAXED(&g_traceState.writingThread, self);
  if (FileOpen(g_traceState.logFileName, &g_traceState.logHandle, GENERIC_WRITE,
               FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS) == 0 &&
      FileSeek(g_traceState.logHandle, 0, FILE_END) == 0)
    TraceFormatLine(self, severity, format, args);
  FileClose(g_traceState.logHandle);
  g_traceState.logHandle = INVALID_HANDLE_VALUE;
  QV_STORE_RELAXED(&g_traceState.writingThread, 0);
  LockLeave(&g_traceState.lock);
}

int TraceIsOn(void) {
  return g_traceState.level != TRACE_LEVEL_OFF && g_traceState.active;
}

void TraceWrite(unsigned short severity, const char *format, ...) {
  if (g_traceState.level == TRACE_LEVEL_OFF || !g_traceState.active)
    return;
  va_list args;
  va_start(args, format);
  TraceWriteActive(severity, format, args);
  va_end(args);
}
