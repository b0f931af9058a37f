// Formats and writes trace lines, in keep-open or open-per-line mode.
#include <stdio.h>
#include <string.h>

#include "platform/alloc.h"
#include "trace/file_io.h"
#include "trace/trace.h"
#include "trace/trace_state.h"

TraceState g_traceState = {
    TRACE_LEVEL_OFF, 0, INVALID_HANDLE_VALUE, {0}, {0}, {}, 0, {0}};

static const char *const kSeverityLabels[] = {" I", " W", " E", "AF", "AS"};
static const unsigned short kMaxSeverity = 4;
static const char kLinePrefixFormat[] = "%04u/%02u/%02u %02u:%02u:%02u %08X %s ";

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

DWORD TraceFormatLine(DWORD threadId, unsigned short severity,
                      const char *format, va_list args) {
  char line[TRACE_LINE_SIZE];
  memset(line, 0, sizeof line);
  SYSTEMTIME now;
  GetLocalTime(&now);
  const char *label = kSeverityLabels[severity <= kMaxSeverity ? severity : 0];
  int prefix = snprintf(line, sizeof line, kLinePrefixFormat,
                        (unsigned)now.wYear, (unsigned)now.wMonth,
                        (unsigned)now.wDay, (unsigned)now.wHour,
                        (unsigned)now.wMinute, (unsigned)now.wSecond,
                        (unsigned)threadId, label);
  if (prefix < 0)
    prefix = 0;
  if (prefix > TRACE_LINE_CHARS)
    prefix = TRACE_LINE_CHARS;
  int room = TRACE_LINE_CHARS - prefix;
  // A longer message is cut after `room` characters, silently.
  vsnprintf(line + prefix, (size_t)room + 1, format, args);
  line[prefix + room] = 0;
  return WriteLineCrLf(g_traceState.logHandle, line, sizeof line);
}

void TraceWrite(unsigned short severity, const char *format, ...) {
  if (g_traceState.level == TRACE_LEVEL_OFF || !g_traceState.active)
    return;
  DWORD self = GetCurrentThreadId();
  va_list args;
  if (g_traceState.level != TRACE_LEVEL_OPEN_PER_LINE) {
    va_start(args, format);
    TraceFormatLine(self, severity, format, args);
    va_end(args);
    return;
  }
  // A nested call from the thread inside a write would replace and close
  // the outer call's handle under it: drop it.
  if (g_traceState.writingThread.load(std::memory_order_relaxed) == self)
    return;
  EnterCriticalSection(&g_traceState.lock);
  g_traceState.writingThread.store(self, std::memory_order_relaxed);
  if (FileOpen(g_traceState.logFileName, &g_traceState.logHandle,
               GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
               OPEN_ALWAYS) == 0 &&
      FileSeek(g_traceState.logHandle, 0, FILE_END) == 0) {
    va_start(args, format);
    TraceFormatLine(self, severity, format, args);
    va_end(args);
  }
  FileClose(g_traceState.logHandle);
  g_traceState.logHandle = INVALID_HANDLE_VALUE;
  g_traceState.writingThread.store(0, std::memory_order_relaxed);
  LeaveCriticalSection(&g_traceState.lock);
}
