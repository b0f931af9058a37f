// The process-wide trace state, shared by the writer, the log file code and
// start-up. Tests fill it directly.
#ifndef QV_TRACE_TRACE_STATE_H
#define QV_TRACE_TRACE_STATE_H

#include <stdarg.h>

#include "platform/compiler.h"
#include "platform/platform.h"

#define TRACE_LINE_SIZE 515 // 512 characters, CR, LF, NUL
#define TRACE_LINE_CHARS 512
#define TRACE_PATH_SIZE 261 // 260 characters and NUL
#define TRACE_LEVEL_OFF 0
#define TRACE_LEVEL_OPEN_PER_LINE 2

struct TraceState {
  int level;
  int active;
  HANDLE logHandle;
  char logFileName[TRACE_PATH_SIZE];
  char traceFolder[TRACE_PATH_SIZE];
  QvLock lock;
  int lockInitialised;
  // Read without the lock (QV_LOAD_RELAXED): only the thread that stored
  // its own id can find it there, so a relaxed atomic is all the test needs.
  DWORD writingThread;
};

extern TraceState g_traceState;

DWORD TraceFormatLine(DWORD threadId, unsigned short severity,
                      const char *format, va_list args);
int FormatLinePrefix(char *out, const SYSTEMTIME *time, DWORD threadId,
                     const char *label);
DWORD WriteLineCrLf(HANDLE handle, char *text, DWORD capacity);

#endif
