// ReplaceAll against a plain reference: same text, exact block size, no
// leak. Input: source NUL pattern NUL replacement.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "fuzz/fuzz_entry.h"
#include "handoff/handoff.h"
#include "platform/platform.h"
#include "platform/fake/control.h"

static std::string Reference(const std::string &s, const std::string &p,
                             const std::string &r) {
  std::string out;
  size_t pos = 0;
  for (size_t hit; (hit = s.find(p, pos)) != std::string::npos;
       pos = hit + p.size())
    out += s.substr(pos, hit - pos) + r;
  return out + s.substr(pos);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string in((const char *)data, size);
  std::string parts[3];
  size_t at = 0;
  for (int i = 0; i < 3; i++) {
    size_t nul = in.find('\0', at);
    parts[i] =
        in.substr(at, nul == std::string::npos ? std::string::npos : nul - at);
    at = nul == std::string::npos ? in.size() : nul + 1;
  }
  if (parts[1].empty())
    parts[1] = " -", parts[2] = " --";
  long live = TestCtl_LiveBlocks();
  char *out = ReplaceAll(parts[0].c_str(), parts[1].c_str(), parts[2].c_str());
  if (parts[0].empty()) {
    if (out)
      abort();
    return 0;
  }
  if (!out)
    abort();
  std::string expected = Reference(parts[0], parts[1], parts[2]);
  if (expected != out)
    abort();
  QvFree(out);
  if (TestCtl_LiveBlocks() != live)
    abort();
  return 0;
}
