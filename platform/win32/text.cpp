// The host's ANSI code page and the client's view of a UTF-16 line, from
// the system's own conversions.
#include <string.h>

#include "platform/platform.h"

static bool OnceBegin(INIT_ONCE *once) {
  BOOL pending = FALSE;
  return InitOnceBeginInitialize(once, 0, &pending, NULL) && pending;
}
static void OnceEnd(INIT_ONCE *once, bool ok) {
  InitOnceComplete(once, ok ? 0 : INIT_ONCE_INIT_FAILED, NULL);
}

// Worked out once per process, then only read. A thread that comes while
// another works them out waits for it (a half-filled table would leave a
// look-alike unescaped); a failed view is tried again at the next use.
static INIT_ONCE g_codePageOnce = INIT_ONCE_STATIC_INIT;
static CodePage g_codePage;

static UINT SystemCodePage(void);

const CodePage *HostCodePage(void) {
  if (OnceBegin(&g_codePageOnce)) {
    g_codePage.number = GetACP();
    CPINFO info;
    g_codePage.kind = g_codePage.number == CP_UTF8 ? ANSI_UTF8
                      : GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1
                          ? ANSI_DOUBLE_BYTE
                          : ANSI_SINGLE_BYTE;
    g_codePage.clientDiffers = g_codePage.number != SystemCodePage();
    for (int b = 0; b < 256; b++)
      g_codePage.lead[b] = g_codePage.kind == ANSI_DOUBLE_BYTE &&
                           IsDBCSLeadByte((BYTE)b);
    OnceEnd(&g_codePageOnce, 1);
  }
  return &g_codePage;
}

int AnsiToWide(const char *text, int count, WCHAR *out, int room) {
  return MultiByteToWideChar(CP_ACP, 0, text, count, out, room);
}

int Utf8ToWide(const char *text, WCHAR *out, int room) {
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, out,
                              room);
  return n > 0 ? n : GetLastError() == ERROR_NO_UNICODE_TRANSLATION ? 0 : -1;
}

// No best fit: a character the code page lacks shows as the default
// character, never as a look-alike that reads as something it is not.
// UTF-8 lacks none but a lone surrogate, and Windows takes only 0 or
// WC_ERR_INVALID_CHARS for it (no default character either).
int WideToAnsi(const WCHAR *text, int count, char *out, int room, int exact) {
  if (HostCodePage()->kind == ANSI_UTF8)
    return WideCharToMultiByte(CP_UTF8, exact ? WC_ERR_INVALID_CHARS : 0, text,
                               count, out, room, NULL, NULL);
  BOOL lacked = FALSE;
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, count, out,
                              room, NULL, exact ? &lacked : NULL);
  return lacked ? 0 : n;
}

static INIT_ONCE g_viewOnce = INIT_ONCE_STATIC_INIT;

static ClientView g_view;

static void Classify(unsigned unit, const char *bytes, int n) {
  if (n != 1 || (bytes[0] != ' ' && bytes[0] != '-'))
    return;
  unsigned char *bits = bytes[0] == ' ' ? g_view.blank : g_view.hyphen;
  bits[unit >> 3] = (unsigned char)(bits[unit >> 3] | (1u << (unit & 7)));
  if (g_view.lowest == 0 || unit < g_view.lowest)
    g_view.lowest = unit;
}

// Converts the units from first on, each followed by a line feed: no code
// page makes a line feed part of another character, so the bytes between
// two of them are one unit's. A unit that shows as a line feed itself
// throws the count off; such a chunk is done unit by unit.
static bool ClassifyChunk(UINT page, unsigned first, unsigned count) {
  const unsigned kMaxChunk = 512;
  WCHAR in[2 * kMaxChunk];
  char out[kMaxChunk * 5]; // at most four bytes a unit, and the line feed
  for (unsigned i = 0; i < count; i++) {
    in[2 * i] = (WCHAR)(first + i);
    in[2 * i + 1] = '\n';
  }
  // Flags 0: best fit, as the system converts a command line.
  int got = WideCharToMultiByte(page, 0, in, (int)(2 * count), out,
                                (int)sizeof out, NULL, NULL);
  if (got <= 0)
    return false;
  unsigned seen = 0;
  for (int i = 0; i < got; i++)
    seen += out[i] == '\n';
  if (seen == count) {
    seen = 0;
    for (int i = 0, start = 0; i < got; i++)
      if (out[i] == '\n') {
        Classify(first + seen++, out + start, i - start);
        start = i + 1;
      }
    return true;
  }
  for (unsigned i = 0; i < count; i++) {
    char one[8];
    WCHAR unit = (WCHAR)(first + i);
    int n = WideCharToMultiByte(page, 0, &unit, 1, one, sizeof one, NULL, NULL);
    if (n <= 0)
      return false;
    Classify(first + i, one, n);
  }
  return true;
}

static bool ClassifyPage(UINT page) {
  // ASCII shows as itself in every ANSI code page; surrogates alone show
  // as the default character.
  static const unsigned kRanges[][2] = {{0x80, 0xD800}, {0xE000, 0x10000}};
  for (const auto &range : kRanges)
    for (unsigned first = range[0]; first < range[1]; first += 512)
      if (!ClassifyChunk(page,
                         first, range[1] - first < 512 ? range[1] - first : 512))
        return false;
  return true;
}

// The system's default ANSI code page. Wine 8 answers the system default's
// name with 0; the LCID form works on Windows and Wine alike.
static UINT SystemCodePage(void) {
  DWORD page = 0;
  if (GetLocaleInfoEx(LOCALE_NAME_SYSTEM_DEFAULT,
                      LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                      (LPWSTR)&page, sizeof page / sizeof(WCHAR)) <= 0 &&
      GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT,
                     LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                     (LPWSTR)&page, sizeof page / sizeof(WCHAR)) <= 0)
    page = 0;
  return page ? (UINT)page : GetACP();
}

const ClientView *ClientAnsiView(void) {
  if (OnceBegin(&g_viewOnce)) {
    memset(&g_view, 0, sizeof g_view);
    UINT system = SystemCodePage(), host = GetACP();
    bool ok = ClassifyPage(system) &&
              (host == system || host == CP_UTF8 || ClassifyPage(host));
    OnceEnd(&g_viewOnce, ok);
    if (!ok)
      return NULL;
  }
  return &g_view;
}
