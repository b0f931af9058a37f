// UTF-16 and UTF-8 inside the POSIX layer: wide names and command lines
// become the bytes the POSIX calls take. An unpaired surrogate keeps its
// three-byte form, so every sequence of code units survives the round trip.
#ifndef QV_PLATFORM_POSIX_TEXT_H
#define QV_PLATFORM_POSIX_TEXT_H

#include <stddef.h>

#include "platform/posix/win32_posix.h"

// A malloc'd UTF-8 copy of n units (n < 0: up to the NUL), or NULL.
char *QvUtf16ToUtf8(LPCWSTR text, ptrdiff_t n);
// A malloc'd UTF-16 copy of n bytes of UTF-8, NUL added; *units (when
// given) receives the units written without the NUL. NULL when out of
// memory.
WCHAR *QvUtf8ToUtf16(const char *text, size_t n, size_t *units);

#endif
