// The demo's sample mail client: reads the command line qvmapi.dll started
// it with (GetCommandLineW: the wide line carries every character the host
// gave), field by field, and writes what it received in UTF-8 to the report
// file named by QV_DEMO_REPORT (or to standard output); it hands the
// foreground back to the host as every client should.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "tests/support/line_reader.h"

static std::string Shown(const std::string &text) {
  std::string out;
  for (char c : text) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return "\"" + out + "\"";
}

static void List(FILE *out, const char *label, bool has,
                 const std::vector<std::string> &items) {
  if (!has)
    return;
  fprintf(out, "  %-12s", label);
  for (size_t i = 0; i < items.size(); i++)
    fprintf(out, "%s%s", i ? ", " : "", items[i].c_str());
  fprintf(out, "\n");
}

// The wide line in UTF-8: the reader's switches and separators are ASCII,
// so it reads the UTF-8 form as it reads an ANSI line.
static std::string Utf8(const wchar_t *wide) {
  int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, NULL, 0, NULL, NULL);
  std::string out(n > 0 ? (size_t)n : 1, '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &out[0], n, NULL, NULL);
  out.resize(strlen(out.c_str()));
  return out;
}

// The host that started the client waits with its windows disabled, so
// when the client's last window closes Windows activates some other
// application, and its foreground lock refuses the host's request to come
// back. A client in front grants it just before its last window goes;
// one the user has left grants nothing. This sample shows no window, so
// the host never lost the foreground, but a real client does this as it
// closes its compose window.
static void HandTheForegroundBack() {
  DWORD owner = 0;
  GetWindowThreadProcessId(GetForegroundWindow(), &owner);
  if (owner == GetCurrentProcessId())
    AllowSetForegroundWindow(ASFW_ANY);
}

int main() {
  std::string utf8 = Utf8(GetCommandLineW());
  const char *line = utf8.c_str();
  const char *reportPath = getenv("QV_DEMO_REPORT");
  FILE *out = reportPath ? fopen(reportPath, "wb") : stdout;
  if (!out)
    return 1;
  fprintf(out, "mail client: started with the command line\n  %s\n\n",
          Shown(line).c_str());
  ParsedLine m = ReadCommandLine(line);
  if (!m.ok) {
    fprintf(out, "mail client: the line is not well-formed: %s\n",
            m.error.c_str());
    return 1;
  }
  fprintf(out, "mail client: received, field by field\n");
  if (m.hasSubject)
    fprintf(out, "  %-12s%s\n", "Subject:", Shown(m.subject).c_str());
  for (size_t i = 0; i < m.attachments.size(); i++) {
    const ParsedAttachment &a = m.attachments[i];
    fprintf(out, "  Attachment %zu: %s%s%s\n", i + 1,
            a.hasPath ? Shown(a.path).c_str() : "(no path)",
            a.hasName ? " named " : "", a.hasName ? Shown(a.name).c_str() : "");
  }
  if (m.hasBody)
    fprintf(out, "  %-12s%s\n", "Body:", Shown(m.body).c_str());
  List(out, "To:", m.hasTo, m.to);
  List(out, "Cc:", m.hasCc, m.cc);
  List(out, "Bcc:", m.hasBcc, m.bcc);
  fprintf(out, "  %-12s%s\n", "Silent:",
          m.silent ? "yes (send without a dialog)"
                   : "no (show the compose window)");
  if (out != stdout)
    fclose(out);
  HandTheForegroundBack();
  return 0;
}
