// Code pages for the POSIX layer: the conversions between UTF-16 and the
// ANSI code page (1252, or 932 and 65001 when test control picks them) and
// UTF-8, with Windows' rules where the library depends on them:
//   - WideCharToMultiByte gives a look-alike for a character its page lacks
//     ("best fit": U+2212 becomes '-', U+3000 a blank, U+0141 'L') unless
//     WC_NO_BEST_FIT_CHARS asks for the default character;
//   - under UTF-8 both directions accept no flag but the invalid-characters
//     one (anything else fails with ERROR_INVALID_FLAGS), and no default
//     character;
//   - a double-byte lead byte takes the next byte as its second half,
//     whatever it is.
// 1252 is a table; 932 comes from the C library's iconv. The best-fit
// entries are those the system gives for 1252 that matter here (blanks,
// hyphens, and the letters of the tests), not the whole table.
#include "platform/posix/text.h"

#include <iconv.h>
#include <stdlib.h>
#include <string.h>
#include <string>

#include "platform/posix/seam.h"

extern UINT g_qvAnsiCodePage;

static size_t UnitsLength(LPCWSTR text) {
  size_t n = 0;
  while (text[n])
    n++;
  return n;
}

static int IsHigh(unsigned u) { return u >= 0xD800 && u <= 0xDBFF; }
static int IsLow(unsigned u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Appends one code point as UTF-8 (surrogates as their three bytes).
static char *PutCodePoint(char *out, unsigned long cp) {
  if (cp < 0x80) {
    *out++ = (char)cp;
  } else if (cp < 0x800) {
    *out++ = (char)(0xC0 | (cp >> 6));
    *out++ = (char)(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = (char)(0xE0 | (cp >> 12));
    *out++ = (char)(0x80 | ((cp >> 6) & 0x3F));
    *out++ = (char)(0x80 | (cp & 0x3F));
  } else {
    *out++ = (char)(0xF0 | (cp >> 18));
    *out++ = (char)(0x80 | ((cp >> 12) & 0x3F));
    *out++ = (char)(0x80 | ((cp >> 6) & 0x3F));
    *out++ = (char)(0x80 | (cp & 0x3F));
  }
  return out;
}

char *QvUtf16ToUtf8(LPCWSTR text, ptrdiff_t n) {
  size_t units = n < 0 ? UnitsLength(text) : (size_t)n;
  char *out = (char *)malloc(units * 3 + 1);
  if (!out)
    return NULL;
  char *p = out;
  for (size_t i = 0; i < units; i++) {
    unsigned u = text[i];
    if (IsHigh(u) && i + 1 < units && IsLow(text[i + 1])) {
      unsigned long cp =
          0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      p = PutCodePoint(p, cp);
      i++;
    } else {
      p = PutCodePoint(p, u);
    }
  }
  *p = 0;
  return out;
}

WCHAR *QvUtf8ToUtf16(const char *text, size_t n, size_t *units) {
  WCHAR *out = (WCHAR *)malloc((n + 1) * sizeof(WCHAR));
  if (!out)
    return NULL;
  const unsigned char *s = (const unsigned char *)text;
  size_t w = 0;
  for (size_t i = 0; i < n;) {
    unsigned long cp;
    size_t extra;
    if (s[i] < 0x80)
      cp = s[i], extra = 0;
    else if ((s[i] & 0xE0) == 0xC0)
      cp = s[i] & 0x1F, extra = 1;
    else if ((s[i] & 0xF0) == 0xE0)
      cp = s[i] & 0x0F, extra = 2;
    else if ((s[i] & 0xF8) == 0xF0)
      cp = s[i] & 0x07, extra = 3;
    else
      cp = 0xFFFD, extra = 0;
    if (i + extra >= n) { // cut short
      cp = 0xFFFD;
      i = n;
    } else {
      for (size_t k = 1; k <= extra; k++)
        cp = (cp << 6) | (s[i + k] & 0x3F);
      i += extra + 1;
    }
    if (cp >= 0x10000) {
      out[w++] = (WCHAR)(0xD800 + ((cp - 0x10000) >> 10));
      out[w++] = (WCHAR)(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out[w++] = (WCHAR)cp;
    }
  }
  out[w] = 0;
  if (units)
    *units = w;
  return out;
}

// Windows-1252 between 0x80 and 0x9F; 0 where the page has no character
// (those bytes map to the C1 control of the same number).
static const unsigned short k1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

static unsigned From1252(unsigned char b) {
  if (b >= 0x80 && b <= 0x9F && k1252High[b - 0x80])
    return k1252High[b - 0x80];
  return b;
}

// The 1252 byte of a unit, or -1 when the page lacks it.
static int To1252(unsigned u) {
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
    return (int)u;
  for (int i = 0; i < 32; i++)
    if (k1252High[i] == u || (!k1252High[i] && u == 0x80u + i))
      return 0x80 + i;
  return -1;
}

// What the system's best fit gives for a unit the ANSI page lacks, or -1.
static int BestFit(unsigned u) {
  static const unsigned short kBlanks[] = {0x2000, 0x2001, 0x2002, 0x2003,
                                           0x2004, 0x2005, 0x2006, 0x3000};
  static const unsigned short kHyphens[] = {
      0x2010, 0x2011, 0x2212, 0x2500, 0x252C, 0x2534, 0x2550,
      0x2564, 0x2565, 0x2566, 0x2567, 0x2568, 0x2569};
  for (unsigned short b : kBlanks)
    if (u == b)
      return ' ';
  for (unsigned short h : kHyphens)
    if (u == h)
      return '-';
  if (u >= 0xFF01 && u <= 0xFF5E) // fullwidth ASCII
    return (int)(u - 0xFEE0);
  if (u == 0x0141)
    return 'L';
  if (u == 0x0142)
    return 'l';
  return -1;
}

// 932 through iconv: one character's bytes to UTF-16 (0 when invalid), or
// one unit to its bytes (their count, 0 when the page lacks it).
static unsigned From932(const unsigned char *bytes, size_t n) {
  iconv_t cd = iconv_open("UTF-16LE", "CP932");
  if (cd == (iconv_t)-1)
    return 0;
  char *in = (char *)bytes;
  unsigned char out[8];
  char *o = (char *)out;
  size_t inLeft = n, outLeft = sizeof out;
  size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  if (rc == (size_t)-1 || inLeft || sizeof out - outLeft != 2)
    return 0;
  return (unsigned)(out[0] | out[1] << 8);
}

static int To932(unsigned u, unsigned char *bytes) {
  if (u < 0x80) {
    bytes[0] = (unsigned char)u;
    return 1;
  }
  if (IsHigh(u) || IsLow(u))
    return 0;
  iconv_t cd = iconv_open("CP932", "UTF-16LE");
  if (cd == (iconv_t)-1)
    return 0;
  unsigned char unit[2] = {(unsigned char)u, (unsigned char)(u >> 8)};
  char *in = (char *)unit, *o = (char *)bytes;
  size_t inLeft = 2, outLeft = 2;
  size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  return rc == (size_t)-1 ? 0 : (int)(2 - outLeft);
}

static UINT PageOf(UINT codePage) {
  return codePage == CP_ACP ? g_qvAnsiCodePage : codePage;
}

static int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

// Hands n bytes (or units) to the caller's buffer: Windows' contract for
// room 0 (the size only) and a room too small.
template <typename T>
static int Deliver(const T *made, size_t n, T *out, int room) {
  if (room == 0)
    return (int)n;
  if (n > (size_t)room)
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  memcpy(out, made, n * sizeof(T));
  return (int)n;
}

// The checks both conversions make first, in Windows' order: an injected
// failure, the buffers, then the flags (under UTF-8 only the
// invalid-characters flag). 0 when they pass, with the code page in *page.
static int Refused(QvOp op, const void *source, int count, const void *out,
                   int room, UINT codePage, DWORD flags, DWORD utf8Flag,
                   UINT *page) {
  DWORD injected;
  if (QvOpEnter(op, &injected))
    return !Fail(injected);
  if (!source || room < 0 || (room > 0 && !out) || count == 0)
    return !Fail(ERROR_INVALID_PARAMETER);
  *page = PageOf(codePage);
  if (*page == CP_UTF8 && (flags & ~utf8Flag))
    return !Fail(ERROR_INVALID_FLAGS);
  return 0;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int units,
                        LPSTR out, int room, LPCSTR defaultChar,
                        BOOL *usedDefault) {
  UINT page;
  if (Refused(QVOP_WideCharToMultiByte, text, units, out, room, codePage, flags,
              WC_ERR_INVALID_CHARS, &page))
    return 0;
  if (page == CP_UTF8 && (defaultChar || usedDefault))
    return Fail(ERROR_INVALID_PARAMETER);
  if (page != CP_UTF8 && (flags & WC_ERR_INVALID_CHARS))
    return Fail(ERROR_INVALID_FLAGS);
  size_t n = units < 0 ? UnitsLength(text) + 1 : (size_t)units;
  char *made = (char *)malloc(n * 4 + 1);
  if (!made)
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  char fallback = defaultChar ? defaultChar[0] : '?';
  BOOL used = FALSE;
  size_t length = 0;
  for (size_t i = 0; i < n; i++) {
    unsigned u = text[i];
    if (page == CP_UTF8) {
      unsigned long cp = u;
      if (IsHigh(u) && i + 1 < n && IsLow(text[i + 1])) {
        cp = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        i++;
      } else if (IsHigh(u) || IsLow(u)) {
        if (flags & WC_ERR_INVALID_CHARS) {
          free(made);
          return Fail(ERROR_NO_UNICODE_TRANSLATION);
        }
        cp = 0xFFFD;
      }
      length = (size_t)(PutCodePoint(made + length, cp) - made);
      continue;
    }
    unsigned char bytes[4];
    int count = 0;
    if (page == 932) {
      count = To932(u, bytes);
    } else {
      int b = To1252(u);
      if (b >= 0)
        bytes[0] = (unsigned char)b, count = 1;
    }
    if (!count && !(flags & WC_NO_BEST_FIT_CHARS)) {
      int b = BestFit(u);
      if (b >= 0)
        bytes[0] = (unsigned char)b, count = 1;
    }
    if (!count) {
      bytes[0] = (unsigned char)fallback, count = 1;
      used = TRUE;
    }
    memcpy(made + length, bytes, (size_t)count);
    length += (size_t)count;
  }
  if (usedDefault)
    *usedDefault = used;
  int result = Deliver(made, length, out, room);
  free(made);
  return result;
}

// One UTF-8 sequence at s (n bytes left): its code point and length, or
// length 0 when it is not a well-formed sequence (overlong, a surrogate,
// beyond U+10FFFF, or cut short).
static size_t Utf8Sequence(const unsigned char *s, size_t n,
                           unsigned long *cp) {
  static const unsigned long kMin[] = {0, 0x80, 0x800, 0x10000};
  size_t extra;
  if (s[0] < 0x80) {
    *cp = s[0];
    return 1;
  }
  if (s[0] >= 0xC2 && s[0] <= 0xDF)
    extra = 1, *cp = s[0] & 0x1F;
  else if (s[0] >= 0xE0 && s[0] <= 0xEF)
    extra = 2, *cp = s[0] & 0x0F;
  else if (s[0] >= 0xF0 && s[0] <= 0xF4)
    extra = 3, *cp = s[0] & 0x07;
  else
    return 0;
  if (extra >= n)
    return 0;
  for (size_t k = 1; k <= extra; k++) {
    if ((s[k] & 0xC0) != 0x80)
      return 0;
    *cp = (*cp << 6) | (s[k] & 0x3F);
  }
  if (*cp < kMin[extra] || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF))
    return 0;
  return extra + 1;
}

// One character of an ANSI code page at s (n bytes left, n > 0): its code
// point, and the bytes it takes in *used; 0 with valid false when the page
// has no such character.
static unsigned long AnsiCharacter(UINT page, const unsigned char *s, size_t n,
                                   size_t *used, bool *valid) {
  *used = 1;
  *valid = true;
  if (page != 932)
    return From1252(s[0]);
  unsigned long cp;
  if (IsDBCSLeadByte(s[0])) {
    *used = n > 1 ? 2 : 1;
    cp = *used == 2 ? From932(s, 2) : 0;
  } else {
    cp = s[0] < 0x80 ? s[0] : From932(s, 1);
  }
  *valid = cp != 0 || s[0] == 0;
  return *valid ? cp : 0x30FB; // the page's default character
}

// Decodes n bytes into out (room for n units: no page gives more units
// than bytes). Returns the units written, or -1 at the first invalid
// character when strict.
static long Decode(UINT page, const unsigned char *s, size_t n, WCHAR *out,
                   bool strict) {
  size_t w = 0;
  for (size_t i = 0; i < n;) {
    // ASCII eight bytes a step: every page here keeps it.
    uint64_t eight;
    if (n - i >= 8 &&
        (memcpy(&eight, s + i, 8), !(eight & 0x8080808080808080u))) {
      for (int k = 0; k < 8; k++)
        out[w + k] = s[i + k];
      w += 8, i += 8;
      continue;
    }
    unsigned long cp;
    size_t used = 1;
    bool valid = true;
    if (s[i] < 0x80) {
      cp = s[i];
    } else if (page == CP_UTF8 && s[i] >= 0xC2 && s[i] <= 0xDF && n - i > 1 &&
               (s[i + 1] & 0xC0) == 0x80) { // two bytes: most scripts
      cp = (unsigned long)(s[i] & 0x1F) << 6 | (s[i + 1] & 0x3F);
      used = 2;
    } else if (page == CP_UTF8) {
      used = Utf8Sequence(s + i, n - i, &cp);
      valid = used != 0;
      if (!valid)
        used = 1, cp = 0xFFFD;
    } else {
      cp = AnsiCharacter(page, s + i, n - i, &used, &valid);
    }
    if (!valid && strict)
      return -1;
    if (cp >= 0x10000) {
      out[w++] = (WCHAR)(0xD800 + ((cp - 0x10000) >> 10));
      out[w++] = (WCHAR)(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out[w++] = (WCHAR)cp;
    }
    i += used;
  }
  return (long)w;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int count,
                        LPWSTR out, int room) {
  UINT page;
  if (Refused(QVOP_MultiByteToWideChar, bytes, count, out, room, codePage,
              flags, MB_ERR_INVALID_CHARS, &page))
    return 0;
  size_t n = count < 0 ? strlen(bytes) + 1 : (size_t)count;
  // Straight into the caller's buffer when it holds the most there can be.
  bool direct = room > 0 && (size_t)room >= n;
  WCHAR *made = direct ? out : (WCHAR *)malloc((n + 1) * sizeof(WCHAR));
  if (!made)
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  long length = Decode(page, (const unsigned char *)bytes, n, made,
                       (flags & MB_ERR_INVALID_CHARS) != 0);
  int result = length < 0 ? Fail(ERROR_NO_UNICODE_TRANSLATION)
               : direct   ? (int)length
                          : Deliver(made, (size_t)length, out, room);
  if (!direct)
    free(made);
  return result;
}

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR out, DWORD room) {
  char *narrow = name ? QvUtf16ToUtf8(name, -1) : NULL;
  const char *value = narrow ? getenv(narrow) : NULL;
  free(narrow);
  if (!value)
    return (DWORD)Fail(ERROR_ENVVAR_NOT_FOUND);
  size_t units = 0;
  WCHAR *wide = QvUtf8ToUtf16(value, strlen(value), &units);
  if (!wide)
    return (DWORD)Fail(ERROR_NOT_ENOUGH_MEMORY);
  DWORD length = (DWORD)units;
  if (out && room > length)
    memcpy(out, wide, (units + 1) * sizeof(WCHAR));
  free(wide);
  return out && room > length ? length : length + 1;
}

DWORD ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR out, DWORD room) {
  DWORD injected;
  if (QvOpEnter(QVOP_ExpandEnvironmentStringsW, &injected))
    return (DWORD)Fail(injected);
  if (!source)
    return (DWORD)Fail(ERROR_INVALID_PARAMETER);
  char *narrow = QvUtf16ToUtf8(source, -1);
  if (!narrow)
    return (DWORD)Fail(ERROR_NOT_ENOUGH_MEMORY);
  // A name between two percent signs that the environment holds is
  // replaced; anything else stays as it is.
  std::string expanded;
  for (const char *p = narrow; *p;) {
    const char *close = *p == '%' ? strchr(p + 1, '%') : NULL;
    if (close && close > p + 1) {
      std::string name(p + 1, (size_t)(close - p - 1));
      const char *value = getenv(name.c_str());
      if (value) {
        expanded += value;
        p = close + 1;
        continue;
      }
    }
    expanded += *p++;
  }
  free(narrow);
  size_t units = 0;
  WCHAR *wide = QvUtf8ToUtf16(expanded.data(), expanded.size(), &units);
  if (!wide)
    return (DWORD)Fail(ERROR_NOT_ENOUGH_MEMORY);
  DWORD needed = (DWORD)units + 1;
  if (out && room >= needed)
    memcpy(out, wide, needed * sizeof(WCHAR));
  free(wide);
  return needed;
}
