// What a mail client that reads its command line in its ANSI code page
// (GetCommandLineA) sees of a UTF-16 line. The system makes that view with
// best fit: U+2212 and U+FF0D show as '-', U+3000 and U+2002 as a blank. A
// value holding such a character beside a blank or a hyphen could show a
// section start (" -Attach") to such a client that the wide line does not
// hold.
//
// The client's code page is the system's default ANSI code page (unless its
// own manifest says otherwise), not the host's: a host whose manifest makes
// its code page UTF-8 has no look-alikes, its client under 1252 does.
#ifndef QV_HANDOFF_ANSI_VIEW_H
#define QV_HANDOFF_ANSI_VIEW_H

#include <stddef.h>

#include "platform/platform.h" // ClientAnsiView: the units that show so

// Counts the units of text[0..n) that stand where the ANSI view shows a
// blank followed by a hyphen (or a hyphen first in the value) but are not
// those ASCII characters themselves. With rewrite (a copy of text), each
// such unit is written there as the ASCII character the view shows, so
// that both views carry the same characters and the usual escaping covers
// them. -1 when the view cannot be worked out (the conversion failed).
int LookAlikeUnits(const WCHAR *text, size_t n, WCHAR *rewrite);

#endif
