// ReplaceAll, the switch-text escaping.
#include <string.h>

#include "handoff/handoff.h"
#include "platform/platform.h"
#include "tests/native/support.h"

namespace {

class Escape : public QvTest {
protected:
  // The escaped text, and the size of the block it came in.
  std::string Escaped(const char *source, const char *pattern = " -",
                      const char *replacement = " --") {
    char *out = ReplaceAll(source, pattern, replacement);
    if (!out)
      return "<NULL>";
    std::string s = out;
    QvFree(out);
    return s;
  }
};

TEST_F(Escape, OccurrencesAreFoundLeftToRightWithoutOverlap) {
  EXPECT_EQ(Escaped("a -b"), "a --b");
  EXPECT_EQ(Escaped("a --b"), "a ---b")
      << "only the first hyphen belongs to it";
  EXPECT_EQ(Escaped("a - -b"), "a -- --b");
  EXPECT_EQ(Escaped("ends -"), "ends --");
  EXPECT_EQ(Escaped("a  -b"), "a  --b") << "the second blank starts it";
  EXPECT_EQ(Escaped("-a"), "-a") << "no blank before the hyphen";
  EXPECT_EQ(Escaped("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(Escaped("aaa", "aa", "aaaa"), "aaaaa");
}

TEST_F(Escape, EmptyInputsGiveNullAndAllocateNothing) {
  unsigned long allocs = TestCtl_Allocs();
  EXPECT_EQ(ReplaceAll("", " -", " --"), nullptr);
  EXPECT_EQ(ReplaceAll("a -b", "", " --"), nullptr);
  EXPECT_EQ(ReplaceAll(NULL, " -", " --"), nullptr);
  EXPECT_EQ(ReplaceAll("a", NULL, " --"), nullptr);
  EXPECT_EQ(ReplaceAll("a", " -", NULL), nullptr);
  EXPECT_EQ(TestCtl_Allocs(), allocs);
  EXPECT_EQ(Escaped("a -b", " -", ""), "ab") << "an empty replacement removes";
}

TEST_F(Escape, TheBlockIsExactlyTheResultAndItsNul) {
  // Every byte of the block but the last is written, and the last is NUL:
  // ASan would flag a block one byte short, this check one byte too long.
  struct {
    const char *source;
    size_t size;
  } cases[] = {{"a -b", 6}, {"plain", 6}, {" - - -", 10}, {"x", 2}};
  for (const auto &c : cases) {
    unsigned long before = TestCtl_Allocs();
    char *out = ReplaceAll(c.source, " -", " --");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(TestCtl_Allocs(), before + 1) << "one allocation, no growth";
    EXPECT_EQ(strlen(out) + 1, c.size) << c.source;
    EXPECT_NE(out, c.source) << "a fresh copy even without occurrences";
    QvFree(out);
  }
}

TEST_F(Escape, FailedAllocationGivesNull) {
  TestCtl_FailAlloc(1);
  EXPECT_EQ(ReplaceAll("a -b", " -", " --"), nullptr);
  EXPECT_TRUE(TestCtl_FailureFired());
}

TEST_F(Escape, DoubleByteCodePageNeverMatchesATrailByte) {
  // 0x81 0x20 is one character under code page 932: the blank inside it
  // cannot start an occurrence, the blank after it can.
  const char source[] = "\x81 -x \x81\x81 -y";
  EXPECT_EQ(Escaped(source), "\x81 --x \x81\x81 --y") << "single-byte page";
  TestCtl_SetAnsiCodePage(932);
  EXPECT_EQ(Escaped(source), "\x81 -x \x81\x81 --y");
  EXPECT_EQ(Escaped("\x82\xA0 -a"), "\x82\xA0 --a");
}

} // namespace
