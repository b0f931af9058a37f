// What the trace subsystem offers the rest of the library: the trace entry
// point, the level, opening and closing the log, and the module lifecycle.
#ifndef QV_TRACE_TRACE_H
#define QV_TRACE_TRACE_H

#include "platform/compiler.h"
#include "platform/platform.h"

// A number, flag, handle or pointer for a "%x" conversion: its low 32 bits
// as the unsigned int that %x takes.
#define TRACE_HEX(value) ((unsigned int)(ULONG_PTR)(value))

// Severities index the label table; every caller in the library uses 0.
#define TRACE_INFO 0

// Appends one timestamped line to the trace log; does nothing while the log
// is off or inactive. Never reports a failure.
void TraceWrite(unsigned short severity, const char *format, ...)
    QV_PRINTF_FORMAT(2, 3);

// 1 while lines are being written: callers skip work done only for a line.
int TraceIsOn(void);

// 0 off, 2 open-per-line mode, any other value keep-open mode.
void SetTraceLevel(int level);

// Makes a new numbered log file and activates the trace log; 0 on success.
DWORD TraceOpen(const char *prefix);
void TraceClose(void);

#endif
