// The fake's code pages: 1252 from its table, 932 through the C library's
// iconv, UTF-8; conversions without best fit, and a client view made of
// the look-alikes in platform/fake/look_alikes.h.
#include <iconv.h>
#include <pthread.h>
#include <string.h>

#include "platform/fake/control.h"
#include "platform/fake/fake.h"
#include "platform/fake/look_alikes.h"

namespace {

pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
CodePage g_host = {1252, ANSI_SINGLE_BYTE, 0, {0}};
UINT g_system = 1252;
ClientView g_view;
int g_viewPages = -1; // g_host.number * 65536 + g_system, when built

bool IsSurrogate(unsigned u) { return u >= 0xD800 && u < 0xE000; }

// Windows-1252 from 0x80 to 0x9F; 0 where the byte is the C1 control.
const unsigned short k1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// One 932 character (one or two bytes) through iconv; 0 when invalid.
unsigned From932(const char *bytes, size_t n) {
  iconv_t cd = iconv_open("UTF-16LE", "CP932");
  char *in = (char *)bytes;
  unsigned char out[4];
  char *o = (char *)out;
  size_t inLeft = n, outLeft = sizeof out;
  size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  return rc == (size_t)-1 || outLeft != 2 ? 0 : out[0] | out[1] << 8;
}

// The bytes of a unit in the host's page (not UTF-8), or "" when it
// lacks it.
std::string Encode(unsigned u) {
  if (u < 0x80)
    return std::string(1, (char)u);
  if (g_host.number == 1252) {
    if (u >= 0xA0 && u <= 0xFF)
      return std::string(1, (char)u);
    for (int i = 0; i < 32; i++)
      if (k1252High[i] == u || (!k1252High[i] && u == 0x80u + i))
        return std::string(1, (char)(0x80 + i));
    return "";
  }
  if (IsSurrogate(u))
    return "";
  iconv_t cd = iconv_open("CP932", "UTF-16LE");
  unsigned char unit[2] = {(unsigned char)u, (unsigned char)(u >> 8)};
  char bytes[4], *in = (char *)unit, *o = bytes;
  size_t inLeft = 2, outLeft = sizeof bytes;
  size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  return rc == (size_t)-1 ? "" : std::string(bytes, sizeof bytes - outLeft);
}

int Deliver(const std::u16string &units, WCHAR *out, int room) {
  if (room == 0)
    return (int)units.size();
  if (units.size() > (size_t)room)
    return 0;
  memcpy(out, units.data(), units.size() * sizeof(WCHAR));
  return (int)units.size();
}

} // namespace

const CodePage *HostCodePage(void) { return &g_host; }

int AnsiToWide(const char *text, int count, WCHAR *out, int room) {
  if (FakeFails(QVOP_AnsiToWide))
    return 0;
  size_t n = count < 0 ? strlen(text) + 1 : (size_t)count;
  if (g_host.kind == ANSI_UTF8)
    return Deliver(FakeUtf16(text, n), out, room);
  std::u16string units;
  for (size_t i = 0; i < n; i++) {
    unsigned char b = (unsigned char)text[i];
    if (g_host.number == 1252) {
      units += b >= 0x80 && b <= 0x9F && k1252High[b - 0x80]
                   ? k1252High[b - 0x80]
                   : b;
    } else if (b < 0x80) {
      units += b;
    } else {
      // A lead byte takes the next byte as its second half, whatever it
      // is; what the page lacks becomes its default character.
      size_t len = g_host.lead[b] && i + 1 < n ? 2 : 1;
      unsigned u = From932(text + i, len);
      units += u ? (char16_t)u : u'\u30FB';
      i += len - 1;
    }
  }
  return Deliver(units, out, room);
}

int WideToAnsi(const WCHAR *text, int count, char *out, int room) {
  if (FakeFails(QVOP_WideToAnsi))
    return 0;
  size_t n = 0;
  if (count >= 0)
    n = (size_t)count;
  else
    while (text[n++])
      ;
  std::string bytes;
  for (size_t i = 0; i < n; i++) {
    bool pair = i + 1 < n && text[i] >= 0xD800 && text[i] < 0xDC00 &&
                text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
    if (g_host.kind == ANSI_UTF8) // a lone surrogate becomes U+FFFD
      bytes += IsSurrogate(text[i]) && !pair ? "\xef\xbf\xbd"
                                             : FakeUtf8(text + i, pair ? 2 : 1);
    else
      bytes += pair ? "?" : Encode(text[i]).empty() ? "?" : Encode(text[i]);
    i += pair;
  }
  if (room == 0)
    return (int)bytes.size();
  if (bytes.size() > (size_t)room)
    return 0;
  memcpy(out, bytes.data(), bytes.size());
  return (int)bytes.size();
}

const ClientView *ClientAnsiView(void) {
  if (FakeFails(QVOP_ClientAnsiView))
    return NULL;
  pthread_mutex_lock(&g_mutex);
  int pages = (int)(g_host.number * 65536 + g_system);
  if (g_viewPages != pages) {
    memset(&g_view, 0, sizeof g_view);
    // The system's page, and the host's where it differs and is not UTF-8.
    if (g_system == 1252 || g_host.number == 1252)
      for (const auto &look : kLookAlikes1252) {
        unsigned char *bits = look.shows == ' ' ? g_view.blank : g_view.hyphen;
        bits[look.unit >> 3] |= (unsigned char)(1u << (look.unit & 7));
        if (!g_view.lowest || look.unit < g_view.lowest)
          g_view.lowest = look.unit;
      }
    g_viewPages = pages;
  }
  pthread_mutex_unlock(&g_mutex);
  return &g_view;
}

void TestCtl_SetAnsiCodePage(UINT codePage) {
  pthread_mutex_lock(&g_mutex);
  g_host.number = codePage;
  g_host.kind = codePage == CP_UTF8 ? ANSI_UTF8
                : codePage == 932   ? ANSI_DOUBLE_BYTE
                                    : ANSI_SINGLE_BYTE;
  for (int b = 0; b < 256; b++)
    g_host.lead[b] = codePage == 932 && ((b >= 0x81 && b <= 0x9F) ||
                                         (b >= 0xE0 && b <= 0xFC));
  g_host.clientDiffers = g_system && g_system != codePage;
  pthread_mutex_unlock(&g_mutex);
}

void TestCtl_SetSystemCodePage(UINT codePage) {
  pthread_mutex_lock(&g_mutex);
  g_system = codePage ? codePage : g_host.number;
  g_host.clientDiffers = g_system != g_host.number;
  pthread_mutex_unlock(&g_mutex);
}

// Code points as UTF-8; a lone surrogate as its three bytes.
std::string FakeUtf8(const WCHAR *text, size_t units) {
  std::string out;
  for (size_t i = 0; i < units; i++) {
    unsigned long cp = text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    int extra = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
    static const unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    out += (char)(kLead[extra] | (cp >> (6 * extra)));
    for (int k = extra - 1; k >= 0; k--)
      out += (char)(0x80 | ((cp >> (6 * k)) & 0x3F));
  }
  return out;
}

std::string FakeUtf8(const WCHAR *text) {
  size_t n = 0;
  while (text[n])
    n++;
  return FakeUtf8(text, n);
}

// Lenient: what is not UTF-8 becomes U+FFFD a byte at a time.
std::u16string FakeUtf16(const char *utf8, size_t bytes) {
  const unsigned char *s = (const unsigned char *)utf8;
  std::u16string out;
  for (size_t i = 0; i < bytes;) {
    unsigned long cp = s[i];
    size_t extra = cp < 0x80 ? 0 : cp >= 0xC0 && cp < 0xE0 ? 1
                   : cp >= 0xE0 && cp < 0xF0               ? 2
                   : cp >= 0xF0 && cp < 0xF8               ? 3
                                                           : 9;
    bool ok = extra < 9 && i + extra < bytes;
    for (size_t k = 1; ok && k <= extra; k++)
      ok = (s[i + k] & 0xC0) == 0x80;
    if (!ok) {
      out += u'\uFFFD';
      i++;
      continue;
    }
    cp &= 0x7Fu >> extra;
    for (size_t k = 1; k <= extra; k++)
      cp = cp << 6 | (s[i + k] & 0x3F);
    i += extra + 1;
    if (cp >= 0x10000) {
      out += (char16_t)(0xD800 + ((cp - 0x10000) >> 10));
      cp = 0xDC00 + ((cp - 0x10000) & 0x3FF);
    }
    out += (char16_t)cp;
  }
  return out;
}

std::u16string FakeUtf16(const char *utf8) {
  return FakeUtf16(utf8, strlen(utf8));
}

std::string FakeClientSees(const WCHAR *units, size_t n) {
  const ClientView *view = ClientAnsiView();
  std::string out;
  for (size_t i = 0; i < n; i++) {
    unsigned u = units[i];
    auto marked = [&](const unsigned char *bits) {
      return u >= 0x80 && ((bits[u >> 3] >> (u & 7)) & 1);
    };
    if (view && marked(view->blank))
      out += ' ';
    else if (view && marked(view->hyphen))
      out += '-';
    else {
      std::string shown =
          g_host.kind == ANSI_UTF8 ? FakeUtf8(units + i, 1) : Encode(u);
      out += shown.empty() ? "?" : shown;
    }
  }
  return out;
}
