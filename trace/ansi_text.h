// Text in the process's ANSI code page, as the command line and the trace
// log carry it. Under a double-byte code page (932,
// 936, 949, 950) a byte may be the second half of a character: such a byte
// is never a separator, an at sign or the start of a pattern. Under UTF-8
// (a manifest's activeCodePage, or the system's "Beta: UTF-8" setting) no
// byte of a multi-byte sequence is ASCII, but a text may end inside one.
#ifndef QV_TRACE_ANSI_TEXT_H
#define QV_TRACE_ANSI_TEXT_H

#include <stddef.h>

#include "platform/platform.h"

// The kind of the ANSI code page, as the other functions take it.
#define ACP_SINGLE_BYTE ANSI_SINGLE_BYTE
#define ACP_DOUBLE_BYTE ANSI_DOUBLE_BYTE
#define ACP_UTF8 ANSI_UTF8
int AcpIsMultibyte(void);

// The start of the character after the one at p (p must not be at the NUL).
const char *AcpNext(const char *p, int multibyte);

// The first c (an ASCII character) that is a character of its own, or NULL.
const char *AcpFindChar(const char *text, char c, int multibyte);

// The length of text without a lead byte left dangling at its end, nor
// (UTF-8) a sequence cut short: it would take whatever follows the text as
// its missing part.
size_t AcpWholeLength(const char *text, int multibyte);
// The same for the first n bytes of text (a text cut after n).
size_t AcpWholePrefix(const char *text, size_t n, int multibyte);

#endif
