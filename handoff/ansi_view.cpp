#include "handoff/ansi_view.h"

#include "handoff/text.h"

namespace {

enum View { kOther = 0, kBlank = 1, kHyphen = 2 };

bool IsMarked(const unsigned char *bits, unsigned unit) {
  return bits[unit >> 3] & (1u << (unit & 7));
}

View ViewOf(const ClientView *view, WCHAR unit) {
  if (unit < 0x80)
    return unit == ' ' ? kBlank : unit == '-' ? kHyphen : kOther;
  if (IsMarked(view->blank, unit))
    return kBlank;
  return IsMarked(view->hyphen, unit) ? kHyphen : kOther;
}

} // namespace

int LookAlikeUnits(const WCHAR *text, size_t n, WCHAR *rewrite) {
  // An ASCII blank or hyphen is the escaping's own business: only text with
  // a unit that shows as one needs a look.
  if (!TextFindAtLeast(text, text + n, 0x80))
    return 0;
  const ClientView *view = ClientAnsiView();
  if (!view)
    return -1;
  // Text below the lowest look-alike (whole scripts, for most code pages)
  // is passed over without a lookup.
  const WCHAR *first =
      view->lowest ? TextFindAtLeast(text, text + n, (WCHAR)view->lowest)
                   : NULL;
  if (!first)
    return 0;
  int count = 0;
  for (size_t i = (size_t)(first - text); i < n; i++) {
    if (text[i] < 0x80)
      continue; // a pair of two ASCII units needs no look-alike
    View seen = ViewOf(view, text[i]);
    // A hyphen first in the value (behind the switch's blank) or behind a
    // blank; a blank in front of a hyphen.
    bool pairs = (seen == kHyphen &&
                  (i == 0 || ViewOf(view, text[i - 1]) == kBlank)) ||
                 (seen == kBlank && i + 1 < n &&
                  ViewOf(view, text[i + 1]) == kHyphen);
    if (!pairs)
      continue;
    count++;
    if (rewrite) {
      if (seen == kHyphen) {
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
