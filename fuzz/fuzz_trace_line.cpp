// The trace line formatting: whatever the message, one line of the fixed
// prefix, the message cut after 480 characters (before an escape it would
// split), then CR LF.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <regex>
#include <string>

#include "fuzz/fuzz_entry.h"
#include "platform/fake/control.h"
#include "trace/trace.h"
#include "trace/trace_state.h"

static const char kPath[] = "/tmp/qv-fuzz-trace-line.log";
static const std::regex kUnclosedEscape("<(U(\\+[0-9A-F]*)?)?");

static std::string ReadBack(void) {
  std::string out;
  FILE *f = fopen(kPath, "rb");
  char buf[4096];
  size_t n;
  while (f && (n = fread(buf, 1, sizeof buf, f)) > 0)
    out.append(buf, n);
  if (f)
    fclose(f);
  return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1)
    return 0;
  unsigned short severity = data[0];
  std::string message((const char *)data + 1, size - 1);
  TraceState *ts = &g_traceState;
  snprintf(ts->logFileName, sizeof ts->logFileName, "%s", kPath);
  unlink(kPath);
  if (FileOpen(kPath, &ts->logHandle, GENERIC_WRITE, 0, CREATE_NEW) != 0)
    abort();
  ts->level = 1;
  ts->active = 1;
  TraceWrite(severity, "%s", message.c_str());
  FileClose(ts->logHandle);
  ts->logHandle = INVALID_HANDLE_VALUE;
  ts->active = 0;
  ts->level = 0;
  std::string line = ReadBack();
  std::string text = message.substr(0, strlen(message.c_str()));
  size_t kept = text.size() < 480 ? text.size() : 480;
  // A cut never splits a <U+XXXX> escape: an unclosed one goes whole.
  size_t open = text.rfind('<', kept ? kept - 1 : 0);
  if (text.size() > 480 && open != std::string::npos && kept - open <= 9 &&
      std::regex_match(text.substr(open, kept - open),
                       kUnclosedEscape))
    kept = open;
  if (line.size() != 32 + kept + 2)
    abort();
  if (line.compare(32, kept, text, 0, kept) != 0 ||
      line.substr(32 + kept) != "\r\n")
    abort();
  static const char *const labels[] = {" I", " W", " E", "AF", "AS"};
  if (line.compare(
          29, 3, std::string(labels[severity <= 4 ? severity : 0]) + " ") != 0)
    abort();
  for (int i : {4, 7})
    if (line[i] != '/')
      abort();
  if (line[10] != ' ' || line[13] != ':' || line[16] != ':' ||
      line[19] != ' ' || line[28] != ' ')
    abort();
  return 0;
}
