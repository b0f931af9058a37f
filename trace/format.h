// The library's own bounded printf-style formatter: the conversions the
// trace and its file names use, the same on every target (there is no C
// runtime formatter for ARM64 here, and a va_list handed to a system DLL is
// not read alike everywhere).
//
//   %s (NULL shows as "(null)"), %.Ns and %.*s (at most N bytes), %c, %%,
//   %d and %i (signed int), %u, %x and %X (unsigned int), with the flag 0,
//   a width and a precision, and the length l (long) for d, i, u, x, X.
//
// Writes at most room - 1 bytes and a NUL (nothing when room is 0), and
// returns the length the whole text has, as vsnprintf does.
#ifndef QV_TRACE_FORMAT_H
#define QV_TRACE_FORMAT_H

#include <stdarg.h>
#include <stddef.h>

#include "platform/compiler.h"

int TraceFormatV(char *out, size_t room, const char *format, va_list args);
int TraceFormat(char *out, size_t room, const char *format, ...)
    QV_PRINTF_FORMAT(3, 4);

#endif
