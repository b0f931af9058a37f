#include "handoff/text.h"

#include <stdint.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/alloc.h"
#include "platform/compiler.h"
#include "trace/trace.h"
#if defined(QV_TEST_CONTROL)
#include "platform/posix/seam.h"
#endif

#if defined(__SSE2__)
static int LowestBit(unsigned mask) { return __builtin_ctz(mask); }

static __m128i Load(const void *p) {
  return _mm_loadu_si128((const __m128i *)p);
}

// Where a is followed by b among the eight units at p.
static __m128i PairsAt(const WCHAR *p, __m128i a, __m128i b) {
  return _mm_and_si128(_mm_cmpeq_epi16(Load(p), a),
                       _mm_cmpeq_epi16(Load(p + 1), b));
}

// Aligned 16-byte blocks from the one holding s: such a read never crosses
// a page, so it is safe past the terminator. s must be 2-byte aligned.
QV_READS_ALIGNED_BLOCKS static size_t LengthByBlocks(const WCHAR *s) {
  const char *p = (const char *)s;
  uintptr_t skip = (uintptr_t)p & 15;
  const __m128i *block = (const __m128i *)(p - skip);
  const __m128i zero = _mm_setzero_si128();
  unsigned mask =
      (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_load_si128(block), zero));
  mask = (mask >> skip) << skip; // units before s do not count
  if (mask)
    return (size_t)((const char *)block + LowestBit(mask) - p) / 2;
  // Single blocks up to a 64-byte boundary, then four blocks a step (a
  // 64-byte aligned group never crosses a page either), then the block
  // that holds the NUL.
  for (block++; (uintptr_t)block & 63; block++) {
    mask = (unsigned)_mm_movemask_epi8(
        _mm_cmpeq_epi16(_mm_load_si128(block), zero));
    if (mask)
      return (size_t)((const char *)block + LowestBit(mask) - p) / 2;
  }
  for (;; block += 4) {
    __m128i z0 = _mm_cmpeq_epi16(_mm_load_si128(block), zero);
    __m128i z1 = _mm_cmpeq_epi16(_mm_load_si128(block + 1), zero);
    __m128i z2 = _mm_cmpeq_epi16(_mm_load_si128(block + 2), zero);
    __m128i z3 = _mm_cmpeq_epi16(_mm_load_si128(block + 3), zero);
    if (_mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(z0, z1), _mm_or_si128(z2, z3))))
      break;
  }
  for (;; block++) {
    mask = (unsigned)_mm_movemask_epi8(
        _mm_cmpeq_epi16(_mm_load_si128(block), zero));
    if (mask)
      return (size_t)((const char *)block + LowestBit(mask) - p) / 2;
  }
}
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define QV_AVX2 __attribute__((target("avx2")))

// The same two scans 32 bytes at a time, on processors that have AVX2.

QV_AVX2 QV_READS_ALIGNED_BLOCKS static size_t
LengthByWideBlocks(const WCHAR *s) {
  const char *p = (const char *)s;
  uintptr_t skip = (uintptr_t)p & 31;
  const __m256i *block = (const __m256i *)(p - skip);
  const __m256i zero = _mm256_setzero_si256();
  unsigned mask = (unsigned)_mm256_movemask_epi8(
      _mm256_cmpeq_epi16(_mm256_load_si256(block), zero));
  mask = skip ? (mask >> skip) << skip : mask;
  for (;;) {
    if (mask)
      return (size_t)((const char *)block + __builtin_ctz(mask) - p) / 2;
    // Two blocks a step once 64-byte aligned: never across a page.
    if (((uintptr_t)(block + 1) & 63) == 0) {
      __m256i z0 = _mm256_cmpeq_epi16(_mm256_load_si256(block + 1), zero);
      __m256i z1 = _mm256_cmpeq_epi16(_mm256_load_si256(block + 2), zero);
      if (!_mm256_movemask_epi8(_mm256_or_si256(z0, z1))) {
        block += 2;
        continue;
      }
    }
    block++;
    mask = (unsigned)_mm256_movemask_epi8(
        _mm256_cmpeq_epi16(_mm256_load_si256(block), zero));
  }
}

QV_AVX2 static __m256i PairsAtWide(const WCHAR *p, __m256i a, __m256i b) {
  return _mm256_and_si256(
      _mm256_cmpeq_epi16(_mm256_loadu_si256((const __m256i *)p), a),
      _mm256_cmpeq_epi16(_mm256_loadu_si256((const __m256i *)(p + 1)), b));
}

QV_AVX2 static const WCHAR *FindPairWide(const WCHAR *from, const WCHAR *end,
                                         WCHAR a, WCHAR b) {
  const WCHAR *p = from;
  const __m256i wantA = _mm256_set1_epi16((short)a);
  const __m256i wantB = _mm256_set1_epi16((short)b);
  // Two vectors a step while neither holds a pair, then one at a time.
  for (; end - p >= 33; p += 32)
    if (_mm256_movemask_epi8(_mm256_or_si256(
            PairsAtWide(p, wantA, wantB), PairsAtWide(p + 16, wantA, wantB))))
      break;
  for (; end - p >= 17; p += 16) {
    unsigned mask =
        (unsigned)_mm256_movemask_epi8(PairsAtWide(p, wantA, wantB));
    if (mask)
      return p + __builtin_ctz(mask) / 2;
  }
  for (; end - p >= 2; p++)
    if (p[0] == a && p[1] == b)
      return p;
  return NULL;
}
#endif

// How wide the scans may read: 2 AVX2, 1 SSE2, 0 a unit at a time.
static int ScanWidth(void) {
  int width = 0;
#if defined(__SSE2__)
  width = 1;
#endif
#if defined(QV_AVX2)
  static int avx2 = -1;
  if (avx2 < 0)
    avx2 = __builtin_cpu_supports("avx2") ? 1 : 0;
  if (avx2)
    width = 2;
#endif
#if defined(QV_TEST_CONTROL)
  int limit = QvTextScanLimit(); // so that the tests reach every kind
  if (limit >= 0 && limit < width)
    width = limit;
#endif
  return width;
}

size_t TextLength(const WCHAR *s) {
  int width = ((uintptr_t)s & 1) ? 0 : ScanWidth();
  (void)width; // no vector scan in a build without SSE2
#if defined(QV_AVX2)
  if (width == 2)
    return LengthByWideBlocks(s);
#endif
#if defined(__SSE2__)
  if (width >= 1)
    return LengthByBlocks(s);
#endif
  size_t n = 0;
  while (s[n])
    n++;
  return n;
}

const WCHAR *TextFindPair(const WCHAR *from, const WCHAR *end, WCHAR a,
                          WCHAR b) {
  const WCHAR *p = from;
  int width = ScanWidth();
  (void)width;
#if defined(QV_AVX2)
  if (width == 2)
    return FindPairWide(from, end, a, b);
#endif
#if defined(__SSE2__)
  // Four vectors of candidates a step, then one: p[i] against a, p[i + 1]
  // against b, never reading at or past end.
  const size_t kLanes = 8;
  const __m128i wantA = _mm_set1_epi16((short)a);
  const __m128i wantB = _mm_set1_epi16((short)b);
  for (; width >= 1 && (size_t)(end - p) >= 4 * kLanes + 1; p += 4 * kLanes) {
    __m128i any =
        _mm_or_si128(_mm_or_si128(PairsAt(p, wantA, wantB),
                                  PairsAt(p + kLanes, wantA, wantB)),
                     _mm_or_si128(PairsAt(p + 2 * kLanes, wantA, wantB),
                                  PairsAt(p + 3 * kLanes, wantA, wantB)));
    if (_mm_movemask_epi8(any))
      break;
  }
  for (; width >= 1 && (size_t)(end - p) >= kLanes + 1; p += kLanes) {
    unsigned mask = (unsigned)_mm_movemask_epi8(PairsAt(p, wantA, wantB));
    if (mask)
      return p + LowestBit(mask) / 2;
  }
#endif
  for (; end - p >= 2; p++)
    if (p[0] == a && p[1] == b)
      return p;
  return NULL;
}

const WCHAR *TextFindAtLeast(const WCHAR *from, const WCHAR *end, WCHAR least) {
  const WCHAR *p = from;
#if defined(__SSE2__)
  // least <= u exactly where least - u saturates to 0.
  const __m128i floor = _mm_set1_epi16((short)least);
  const __m128i zero = _mm_setzero_si128();
  int vector = ScanWidth() >= 1;
  for (; vector && end - p >= 32; p += 32) {
    __m128i any = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi16(_mm_subs_epu16(floor, Load(p)), zero),
                     _mm_cmpeq_epi16(_mm_subs_epu16(floor, Load(p + 8)), zero)),
        _mm_or_si128(
            _mm_cmpeq_epi16(_mm_subs_epu16(floor, Load(p + 16)), zero),
            _mm_cmpeq_epi16(_mm_subs_epu16(floor, Load(p + 24)), zero)));
    if (_mm_movemask_epi8(any))
      break;
  }
  for (; vector && end - p >= 8; p += 8) {
    unsigned atLeast = (unsigned)_mm_movemask_epi8(
        _mm_cmpeq_epi16(_mm_subs_epu16(floor, Load(p)), zero));
    if (atLeast)
      return p + LowestBit(atLeast) / 2;
  }
#endif
  for (; p < end; p++)
    if (*p >= least)
      return p;
  return NULL;
}

// A trace line shows at most 480 characters of a message.
static const int kTraceViewUnits = 480;

const char *TraceView(const char *text, char *scratch) {
  (void)scratch;
  return text;
}

int TraceViewScratch(const WCHAR *, char **scratch) {
  *scratch = TraceIsOn() ? (char *)QvAlloc(TRACE_VIEW_SIZE) : NULL;
  return *scratch || !TraceIsOn();
}

const char *TraceView(const WCHAR *text, char *scratch) {
  if (!scratch)
    return "";
  scratch[0] = 0;
  if (!TraceIsOn())
    return scratch;
  int units = 0;
  while (units < kTraceViewUnits && text[units])
    units++;
  // No best fit: a character the code page lacks shows as the default
  // character, never as a look-alike that reads as something it is not.
  // UTF-8 lacks none, and Windows refuses that flag for it.
  DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  int n = units ? WideCharToMultiByte(CP_ACP, flags, text, units, scratch,
                                      TRACE_VIEW_SIZE - 1, NULL, NULL)
                : 0;
  scratch[n > 0 ? n : 0] = 0;
  return scratch;
}
