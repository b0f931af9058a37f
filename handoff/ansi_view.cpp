#include "handoff/ansi_view.h"

#include <string.h>

#include "handoff/text.h"

namespace {

enum View { kOther = 0, kBlank = 1, kHyphen = 2 };

// The code pages of the client's ANSI view, worked out once per process.
INIT_ONCE g_pagesOnce = INIT_ONCE_STATIC_INIT;
AnsiViewPages g_pages;

// Which units those code pages show as a blank or a hyphen: worked out once
// per process from one pass of the system's conversion over every unit,
// then only read. A thread that comes while another is still working it
// out waits for it (a half-filled table would leave a look-alike
// unescaped); a failure is tried again at the next use.
INIT_ONCE g_viewsOnce = INIT_ONCE_STATIC_INIT;
unsigned char g_blank[0x10000 / 8];
unsigned char g_hyphen[0x10000 / 8];
// The lowest non-ASCII unit that shows as either (0 when none does): text
// below it, whole scripts (Cyrillic, Greek, Latin) for most code pages, is
// passed over at the speed of a vector compare.
unsigned g_lowest;

UINT SystemAnsiCodePage(void) {
  DWORD page = 0;
  // Wine 8 answers the system default's name with 0; the LCID form works
  // on Windows and Wine alike.
  if (GetLocaleInfoEx(LOCALE_NAME_SYSTEM_DEFAULT,
                      LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                      (LPWSTR)&page, sizeof page / sizeof(WCHAR)) <= 0 &&
      GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT,
                     LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                     (LPWSTR)&page, sizeof page / sizeof(WCHAR)) <= 0)
    page = 0;
  return page ? (UINT)page : GetACP();
}

void Mark(unsigned char *bits, unsigned unit) {
  bits[unit >> 3] = (unsigned char)(bits[unit >> 3] | (1u << (unit & 7)));
}

bool IsMarked(const unsigned char *bits, unsigned unit) {
  return bits[unit >> 3] & (1u << (unit & 7));
}

void Classify(unsigned unit, const char *bytes, int n) {
  if (n != 1 || (bytes[0] != ' ' && bytes[0] != '-'))
    return;
  Mark(bytes[0] == ' ' ? g_blank : g_hyphen, unit);
  if (g_lowest == 0 || unit < g_lowest)
    g_lowest = unit;
}

// Converts the units from first on, kChunk at a time, each followed by a
// line feed: no code page makes a line feed part of another character, so
// the bytes between two of them are one unit's. A unit that shows as a
// line feed itself throws the count off; such a chunk is done unit by unit.
bool ClassifyChunk(UINT page, unsigned first, unsigned count) {
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
    int start = 0;
    for (int i = 0; i < got; i++)
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

bool ClassifyPage(UINT page) {
  // ASCII shows as itself in every ANSI code page; surrogates alone show
  // as the default character.
  static const unsigned kRanges[][2] = {{0x80, 0xD800}, {0xE000, 0x10000}};
  const unsigned kChunk = 512;
  for (const auto &range : kRanges)
    for (unsigned first = range[0]; first < range[1]; first += kChunk) {
      unsigned count = range[1] - first < kChunk ? range[1] - first : kChunk;
      if (!ClassifyChunk(page, first, count))
        return false;
    }
  return true;
}

bool ViewsReady(void) {
  BOOL pending = FALSE;
  if (!InitOnceBeginInitialize(&g_viewsOnce, 0, &pending, NULL))
    return false;
  if (!pending)
    return true;
  memset(g_blank, 0, sizeof g_blank);
  memset(g_hyphen, 0, sizeof g_hyphen);
  g_lowest = 0;
  AnsiViewPages pages = AnsiViewCodePages();
  bool ok = ClassifyPage(pages.system) &&
            (pages.host == pages.system || ClassifyPage(pages.host));
  InitOnceComplete(&g_viewsOnce, ok ? 0 : INIT_ONCE_INIT_FAILED, NULL);
  return ok;
}

View ViewOf(WCHAR unit) {
  if (unit < 0x80)
    return unit == ' ' ? kBlank : unit == '-' ? kHyphen : kOther;
  if (IsMarked(g_blank, unit))
    return kBlank;
  return IsMarked(g_hyphen, unit) ? kHyphen : kOther;
}

} // namespace

AnsiViewPages AnsiViewCodePages(void) {
  BOOL pending = FALSE;
  if (InitOnceBeginInitialize(&g_pagesOnce, 0, &pending, NULL) && pending) {
    g_pages.system = SystemAnsiCodePage();
    // A host whose own code page is UTF-8 has no look-alikes of its own.
    UINT host = GetACP();
    g_pages.host = host == CP_UTF8 ? g_pages.system : host;
    g_pages.differ = host != g_pages.system;
    InitOnceComplete(&g_pagesOnce, 0, NULL);
  }
  return g_pages;
}

void AnsiViewsForget(void) {
  InitOnceInitialize(&g_pagesOnce);
  InitOnceInitialize(&g_viewsOnce);
}

int LookAlikeUnits(const WCHAR *text, size_t n, WCHAR *rewrite) {
  // An ASCII blank or hyphen is the escaping's own business: only text with
  // a unit that shows as one needs a look.
  if (!TextFindAtLeast(text, text + n, 0x80))
    return 0;
  if (!ViewsReady())
    return -1;
  unsigned lowest = g_lowest;
  const WCHAR *first =
      lowest ? TextFindAtLeast(text, text + n, (WCHAR)lowest) : NULL;
  if (!first)
    return 0;
  int count = 0;
  for (size_t i = (size_t)(first - text); i < n; i++) {
    if (text[i] < 0x80)
      continue; // a pair of two ASCII units needs no look-alike
    View view = ViewOf(text[i]);
    // A hyphen first in the value (behind the switch's blank) or behind a
    // blank; a blank in front of a hyphen.
    bool pairs =
        (view == kHyphen && (i == 0 || ViewOf(text[i - 1]) == kBlank)) ||
        (view == kBlank && i + 1 < n && ViewOf(text[i + 1]) == kHyphen);
    if (!pairs)
      continue;
    count++;
    if (rewrite) {
      if (view == kHyphen) {
        rewrite[i] = '-';
        if (i > 0)
          rewrite[i - 1] = ' ';
      } else {
        rewrite[i] = ' ';
        rewrite[i + 1] = '-';
      }
    }
  }
  return count;
}
