// The hand-off's two character types: ANSI text (char, in the process's
// code page) and UTF-16 (WCHAR). The composition, the escaping, the path
// rule and the launch are written once over the character type; what
// differs between the two is here. Double-byte rules belong to char only.
#ifndef QV_HANDOFF_TEXT_H
#define QV_HANDOFF_TEXT_H

#include <stddef.h>
#include <string.h>

#include "handoff/ansi_view.h"
#include "include/qvmapi/mapi.h"
#include "trace/ansi_text.h"

template <typename Char> struct Text;

template <> struct Text<char> {
  typedef MapiMessage Message;
  typedef MapiRecipDesc Recip;
  typedef MapiFileDesc File;
  static int Multibyte() { return AcpIsMultibyte(); }
  static const char *Next(const char *p, int multibyte) {
    return AcpNext(p, multibyte);
  }
  static size_t WholeLength(const char *s, int multibyte) {
    return AcpWholeLength(s, multibyte);
  }
  // The ANSI line is its own ANSI view.
  static int LookAlikes(const char *, size_t, char *) { return 0; }
};

template <> struct Text<WCHAR> {
  typedef MapiMessageW Message;
  typedef MapiRecipDescW Recip;
  typedef MapiFileDescW File;
  // Code units pass through as they are, unpaired surrogates included.
  static int Multibyte() { return 0; }
  static const WCHAR *Next(const WCHAR *p, int) { return p + 1; }
  static size_t WholeLength(const WCHAR *s, int);
  // Units the client's ANSI view would show as a blank before a hyphen
  // (handoff/ansi_view.h).
  static int LookAlikes(const WCHAR *s, size_t n, WCHAR *rewrite) {
    return LookAlikeUnits(s, n, rewrite);
  }
};

// Lengths in units: the one UTF-16 length of the library (the C library
// has none for char16_t).
inline size_t TextLength(const char *s) { return strlen(s); }
inline size_t TextLength(const WCHAR *s) {
  size_t n = 0;
  while (s[n])
    n++;
  return n;
}

// The first pair of units a, b in [from, end), or NULL.
const WCHAR *TextFindPair(const WCHAR *from, const WCHAR *end, WCHAR a,
                          WCHAR b);
// The first unit at or above least in [from, end), or NULL.
const WCHAR *TextFindAtLeast(const WCHAR *from, const WCHAR *end, WCHAR least);

inline size_t Text<WCHAR>::WholeLength(const WCHAR *s, int) {
  return TextLength(s);
}

// The first c (ASCII) that is a character of its own, or NULL.
template <typename Char>
const Char *TextFindChar(const Char *s, char c, int multibyte) {
  for (const Char *p = s; *p; p = Text<Char>::Next(p, multibyte))
    if (*p == (Char)c)
      return p;
  return NULL;
}

// ASCII widened to the character type, NUL included; room counts units.
template <typename Char>
void TextFromAscii(Char *out, size_t room, const char *ascii) {
  size_t i = 0;
  for (; ascii[i] && i + 1 < room; i++)
    out[i] = (Char)(unsigned char)ascii[i];
  out[i] = 0;
}

// A text as a trace line shows it, in the ANSI code page: ANSI text as it
// is; UTF-16 converted into scratch, and only while the log is on (the
// line is not written otherwise). A character the code page lacks is
// written <U+XXXX> (4 to 6 upper-case hexadecimal digits; a lone surrogate
// as itself). Without a scratch a wide text shows as empty.
#define TRACE_VIEW_SIZE 1441 // a line's 480 bytes, one character more, NUL
const char *TraceView(const char *text, char *scratch);
const char *TraceView(const WCHAR *text, char *scratch);
// The scratch for the views of one composition, off the caller's stack: a
// heap block in *scratch (the caller frees it with QvFree) for wide text
// while the log is on, NULL otherwise. 0 when the block cannot be had.
inline int TraceViewScratch(const char *, char **scratch) {
  *scratch = NULL;
  return 1;
}
int TraceViewScratch(const WCHAR *, char **scratch);

#endif
