// The compose target's saved inputs, replayed through its entry in every
// unit test run (and under the sanitizers): the invariants it checks hold
// for each, or the run stops there.
#include <dirent.h>

#include "fuzz/fuzz_entry.h"
#include "tests/native/support.h"

namespace {

class FuzzCorpus : public QvTest {};

TEST_F(FuzzCorpus, ComposeInputsKeepTheirInvariants) {
  DIR *d = opendir(QV_FUZZ_CORPUS "/compose");
  ASSERT_NE(d, nullptr);
  int inputs = 0;
  for (struct dirent *e; (e = readdir(d)) != NULL;) {
    if (e->d_name[0] == '.')
      continue;
    std::string bytes =
        ReadWholeFile(std::string(QV_FUZZ_CORPUS "/compose/") + e->d_name);
    LLVMFuzzerTestOneInput((const uint8_t *)bytes.data(), bytes.size());
    inputs++;
  }
  closedir(d);
  EXPECT_GT(inputs, 100);
}

} // namespace
