// The fake's code pages, 1252, 932 and UTF-8, through the C library's
// iconv, with Windows' rules for what a page lacks: no best fit, the
// default character instead; and a client view made of the look-alikes in
// platform/fake/look_alikes.h.
#include <errno.h>
#include <iconv.h>
#include <pthread.h>
#include <string.h>

#include "platform/fake/control.h"
#include "platform/fake/fake.h"
#include "platform/fake/look_alikes.h"

namespace {

pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
// iconv_open and iconv_close load and unload glibc's gconv modules under
// the dynamic loader's own lock, which ThreadSanitizer cannot see: without
// an order it can see, two sends converting at once read as a race inside
// ld.so. Opening and closing one descriptor at a time gives it that order.
pthread_mutex_t g_gconv = PTHREAD_MUTEX_INITIALIZER;
CodePage g_host = {1252, ANSI_SINGLE_BYTE, 0, {0}};
UINT g_system = 1252;
ClientView g_view;

const char *IconvName(UINT page) {
  return page == CP_UTF8 ? "UTF-8" : page == 932 ? "CP932" : "CP1252";
}

// Converts a step at a time; where the target lacks a character (or the
// source is not well formed) kept(from, size) says what stands for it and
// how many source bytes it takes.
template <typename Kept>
std::string Convert(const char *from, const char *to, const char *in,
                    size_t size, size_t unit, Kept kept) {
  pthread_mutex_lock(&g_gconv);
  iconv_t cd = iconv_open(to, from);
  pthread_mutex_unlock(&g_gconv);
  std::string out;
  char buffer[256];
  while (size > 0) {
    char *o = buffer;
    size_t room = sizeof buffer;
    size_t rc = iconv(cd, (char **)&in, &size, &o, &room);
    out.append(buffer, sizeof buffer - room);
    if (rc == (size_t)-1 && errno != E2BIG) {
      size_t taken = unit;
      out += kept(in, size, &taken);
      in += taken;
      size -= taken < size ? taken : size;
    }
  }
  pthread_mutex_lock(&g_gconv);
  iconv_close(cd);
  pthread_mutex_unlock(&g_gconv);
  return out;
}

int Deliver(const std::string &bytes, size_t unit, void *out, int room) {
  int n = (int)(bytes.size() / unit);
  if (room == 0)
    return n;
  if (n > room)
    return 0;
  memcpy(out, bytes.data(), bytes.size());
  return n;
}

} // namespace

const CodePage *HostCodePage(void) { return &g_host; }

// A byte the page lacks is its own unit in a single-byte page, as Windows
// maps 1252's five holes; in 932 a lead byte takes the next byte with it.
static std::string ToUtf16(UINT page, const char *text, size_t n) {
  return Convert(IconvName(page), "UTF-16LE", text, n, 1,
                 [&](const char *at, size_t left, size_t *taken) {
                   unsigned char b = (unsigned char)*at;
                   if (page == CP_UTF8)
                     return std::string("\xfd\xff", 2);
                   if (page != 932)
                     return std::string({(char)b, 0});
                   *taken = g_host.lead[b] && left > 1 ? 2 : 1;
                   return std::string("\xfb\x30", 2);
                 });
}

int AnsiToWide(const char *text, int count, WCHAR *out, int room) {
  if (FakeFails(QVOP_AnsiToWide))
    return 0;
  size_t n = count < 0 ? strlen(text) + 1 : (size_t)count;
  return Deliver(ToUtf16(g_host.number, text, n), 2, out, room);
}

int Utf8ToWide(const char *text, WCHAR *out, int room) {
  if (FakeFails(QVOP_Utf8ToWide))
    return -1;
  bool valid = true;
  std::string units =
      Convert("UTF-8", "UTF-16LE", text, strlen(text) + 1, 1,
              [&](const char *, size_t, size_t *) { return valid = false, ""; });
  return valid ? Deliver(units, 2, out, room) : 0;
}

// What the page lacks becomes '?' (a lone surrogate U+FFFD in UTF-8).
static std::string FromUtf16(UINT page, const WCHAR *text, size_t n,
                             bool *lacked = NULL) {
  return Convert("UTF-16LE", IconvName(page), (const char *)text, n * 2, 2,
                 [&](const char *at, size_t left, size_t *taken) {
                   if (lacked)
                     *lacked = true;
                   auto unit = [&](int i) {
                     return (unsigned char)at[i] | (unsigned char)at[i + 1] << 8;
                   };
                   bool pair = left >= 4 && unit(0) >= 0xD800 &&
                               unit(0) < 0xDC00 && unit(2) >= 0xDC00 &&
                               unit(2) < 0xE000;
                   *taken = pair ? 4 : 2;
                   return std::string(page == CP_UTF8 ? "\xef\xbf\xbd" : "?");
                 });
}

int WideToAnsi(const WCHAR *text, int count, char *out, int room, int exact) {
  if (FakeFails(QVOP_WideToAnsi))
    return 0;
  size_t n = 0;
  if (count >= 0)
    n = (size_t)count;
  else
    while (text[n++])
      ;
  bool lacked = false;
  std::string bytes = FromUtf16(g_host.number, text, n, &lacked);
  return exact && lacked ? 0 : Deliver(bytes, 1, out, room);
}

// The system's page's look-alikes, and the host's where it differs and is
// not UTF-8; the fake knows those of 1252.
const ClientView *ClientAnsiView(void) {
  if (FakeFails(QVOP_ClientAnsiView))
    return NULL;
  static UINT builtFor[2];
  pthread_mutex_lock(&g_mutex);
  if (builtFor[0] == g_host.number && builtFor[1] == g_system) {
    pthread_mutex_unlock(&g_mutex);
    return &g_view;
  }
  builtFor[0] = g_host.number;
  builtFor[1] = g_system;
  memset(&g_view, 0, sizeof g_view);
  if (g_system == 1252 || g_host.number == 1252)
    for (const auto &look : kLookAlikes1252) {
      unsigned char *bits = look.shows == ' ' ? g_view.blank : g_view.hyphen;
      bits[look.unit >> 3] |= (unsigned char)(1u << (look.unit & 7));
      if (!g_view.lowest || look.unit < g_view.lowest)
        g_view.lowest = look.unit;
    }
  pthread_mutex_unlock(&g_mutex);
  return &g_view;
}

void TestCtl_SetAnsiCodePage(UINT codePage) {
  g_host.number = codePage;
  g_host.kind = codePage == CP_UTF8 ? ANSI_UTF8
                : codePage == 932   ? ANSI_DOUBLE_BYTE
                                    : ANSI_SINGLE_BYTE;
  for (int b = 0; b < 256; b++)
    g_host.lead[b] = codePage == 932 && ((b >= 0x81 && b <= 0x9F) ||
                                         (b >= 0xE0 && b <= 0xFC));
  g_host.clientDiffers = g_system != codePage;
}

void TestCtl_SetSystemCodePage(UINT codePage) {
  g_system = codePage ? codePage : g_host.number;
  g_host.clientDiffers = g_system != g_host.number;
}

std::string FakeUtf8(const WCHAR *text, size_t units) {
  return FromUtf16(CP_UTF8, text, units);
}
std::string FakeUtf8(const WCHAR *text) {
  return FakeUtf8(text, std::char_traits<char16_t>::length(text));
}
std::u16string FakeUtf16(const char *utf8, size_t bytes) {
  std::string units = ToUtf16(CP_UTF8, utf8, bytes);
  return std::u16string((const char16_t *)units.data(), units.size() / 2);
}
std::u16string FakeUtf16(const char *utf8) {
  return FakeUtf16(utf8, strlen(utf8));
}

std::string FakeClientSees(const WCHAR *units, size_t n) {
  const ClientView *view = ClientAnsiView();
  std::string out;
  for (size_t i = 0; i < n; i++) {
    unsigned u = units[i];
    bool blank = u >= 0x80 && ((view->blank[u >> 3] >> (u & 7)) & 1);
    bool hyphen = u >= 0x80 && ((view->hyphen[u >> 3] >> (u & 7)) & 1);
    out += blank ? " " : hyphen ? "-" : FromUtf16(g_system, units + i, 1);
  }
  return out;
}
