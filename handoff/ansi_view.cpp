#include "handoff/ansi_view.h"

#include <atomic>

#include "handoff/text.h"

namespace {

enum View { kOther = 0, kBlank = 1, kHyphen = 2 };

// Which units the ANSI code page shows as a blank or a hyphen: worked out
// once per process (per code page: test builds switch it) from one pass of
// the system's conversion over every unit, then only read. Threads that
// race to work it out write the same bits.
std::atomic<UINT> g_readyFor{0}; // the code page the bits are for, plus one
std::atomic<unsigned char> g_blank[0x10000 / 8];
std::atomic<unsigned char> g_hyphen[0x10000 / 8];
// The lowest non-ASCII unit that shows as either (0 when none does): text
// below it, whole scripts (Cyrillic, Greek, Latin) for most code pages, is
// passed over at the speed of a vector compare.
std::atomic<unsigned> g_lowest{0};

void Mark(std::atomic<unsigned char> *bits, unsigned unit) {
  bits[unit >> 3].fetch_or((unsigned char)(1u << (unit & 7)),
                           std::memory_order_relaxed);
}

bool IsMarked(const std::atomic<unsigned char> *bits, unsigned unit) {
  return bits[unit >> 3].load(std::memory_order_relaxed) & (1u << (unit & 7));
}

void Classify(unsigned unit, const char *bytes, int n) {
  if (n != 1 || (bytes[0] != ' ' && bytes[0] != '-'))
    return;
  Mark(bytes[0] == ' ' ? g_blank : g_hyphen, unit);
  unsigned lowest = g_lowest.load(std::memory_order_relaxed);
  while ((lowest == 0 || unit < lowest) &&
         !g_lowest.compare_exchange_weak(lowest, unit))
    ;
}

// Converts the units from first on, kChunk at a time, each followed by a
// line feed: no code page makes a line feed part of another character, so
// the bytes between two of them are one unit's. A unit that shows as a
// line feed itself throws the count off; such a chunk is done unit by unit.
bool ClassifyChunk(unsigned first, unsigned count) {
  const unsigned kMaxChunk = 512;
  WCHAR in[2 * kMaxChunk];
  char out[kMaxChunk * 5]; // at most four bytes a unit, and the line feed
  for (unsigned i = 0; i < count; i++) {
    in[2 * i] = (WCHAR)(first + i);
    in[2 * i + 1] = '\n';
  }
  // Flags 0: best fit, as the system converts a command line.
  int got = WideCharToMultiByte(CP_ACP, 0, in, (int)(2 * count), out,
                                (int)sizeof out, NULL, NULL);
  if (got <= 0)
    return false;
  unsigned seen = 0;
  int start = 0;
  for (int i = 0; i < got; i++)
    if (out[i] == '\n') {
      seen++;
      start = i + 1;
    }
  if (seen == count) {
    seen = 0, start = 0;
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
    int n =
        WideCharToMultiByte(CP_ACP, 0, &unit, 1, one, sizeof one, NULL, NULL);
    if (n <= 0)
      return false;
    Classify(first + i, one, n);
  }
  return true;
}

bool ViewsReady(void) {
  UINT page = GetACP();
  if (g_readyFor.load(std::memory_order_acquire) == page + 1)
    return true;
  for (unsigned i = 0; i < 0x10000 / 8; i++) {
    g_blank[i].store(0, std::memory_order_relaxed);
    g_hyphen[i].store(0, std::memory_order_relaxed);
  }
  g_lowest.store(0, std::memory_order_relaxed);
  // ASCII shows as itself in every ANSI code page; surrogates alone show
  // as the default character.
  static const unsigned kRanges[][2] = {{0x80, 0xD800}, {0xE000, 0x10000}};
  const unsigned kChunk = 512;
  for (const auto &range : kRanges)
    for (unsigned first = range[0]; first < range[1]; first += kChunk) {
      unsigned count = range[1] - first < kChunk ? range[1] - first : kChunk;
      if (!ClassifyChunk(first, count))
        return false;
    }
  g_readyFor.store(page + 1, std::memory_order_release);
  return true;
}

View ViewOf(WCHAR unit) {
  if (unit < 0x80)
    return unit == ' ' ? kBlank : unit == '-' ? kHyphen : kOther;
  if (IsMarked(g_blank, unit))
    return kBlank;
  return IsMarked(g_hyphen, unit) ? kHyphen : kOther;
}

} // namespace

void AnsiViewsForget(void) { g_readyFor.store(0, std::memory_order_release); }

int LookAlikeUnits(const WCHAR *text, size_t n, WCHAR *rewrite) {
  // An ASCII blank or hyphen is the escaping's own business: only text with
  // a unit that shows as one needs a look.
  if (!TextFindAtLeast(text, text + n, 0x80))
    return 0;
  if (!ViewsReady())
    return -1;
  unsigned lowest = g_lowest.load(std::memory_order_relaxed);
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
