// Text in the process's ANSI code page. Under a double-byte code page (932,
// 936, 949, 950) a byte may be the second half of a character: such a byte
// is never a separator, an at sign or the start of a pattern.
#ifndef QV_HANDOFF_ANSI_TEXT_H
#define QV_HANDOFF_ANSI_TEXT_H

#include <stddef.h>

// 1 when the ANSI code page has double-byte characters.
int AcpIsMultibyte(void);

// The start of the character after the one at p (p must not be at the NUL).
const char *AcpNext(const char *p, int multibyte);

// The first c (an ASCII character) that is a character of its own, or NULL.
const char *AcpFindChar(const char *text, char c, int multibyte);

// The length of text without a lead byte left dangling at its end: that
// byte would take whatever follows the text as its second half.
size_t AcpWholeLength(const char *text, int multibyte);

#endif
