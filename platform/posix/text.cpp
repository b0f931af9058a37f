#include "platform/posix/text.h"

#include <stdlib.h>
#include <string.h>

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

// One unit in the ANSI code page, or 0 when the page lacks it.
static char AnsiByte(unsigned u) {
  if (u < 0x80)
    return (char)u;
  if (g_qvAnsiCodePage == 1252 && u >= 0xA0 && u <= 0xFF)
    return (char)u;
  return 0;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int units,
                        LPSTR out, int room, LPCSTR defaultChar,
                        BOOL *usedDefault) {
  (void)flags;
  DWORD injected;
  if (QvOpEnter(QVOP_WideCharToMultiByte, &injected)) {
    SetLastError(injected);
    return 0;
  }
  if (!text || room < 0 || (room > 0 && !out)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = units < 0 ? UnitsLength(text) + 1 : (size_t)units;
  if (codePage == CP_UTF8) {
    char *bytes = QvUtf16ToUtf8(text, (ptrdiff_t)n);
    if (!bytes) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    // The NUL of a counted -1 input is one of the n units and was copied.
    size_t length = strlen(bytes) + (units < 0 ? 1 : 0);
    int result = (int)length;
    if (room > 0) {
      if (length > (size_t)room) {
        free(bytes);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
      }
      memcpy(out, bytes, length);
    }
    free(bytes);
    return result;
  }
  if (room > 0 && n > (size_t)room) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  char fallback = defaultChar ? defaultChar[0] : '?';
  BOOL used = FALSE;
  for (size_t i = 0; room > 0 && i < n; i++) {
    char c = AnsiByte(text[i]);
    if (!c && text[i]) {
      c = fallback;
      used = TRUE;
    }
    out[i] = c;
  }
  if (usedDefault)
    *usedDefault = used;
  return (int)n;
}
