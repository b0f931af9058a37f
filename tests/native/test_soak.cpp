// 16 threads calling all twelve exports in a mixed order, in each log mode.
#include <stdlib.h>
#include <string.h>

#include "mapi/exports.h"
#include "tests/native/support.h"
#include "tests/support/soak.h"
#include "trace/trace_state.h"

namespace {

const char kClientKey[] =
    "SOFTWARE\\Clients\\Mail\\Outlook Web Access\\shell\\open\\command";

const SoakApi kDirect = {MAPILogon,         MAPILogoff,     MAPISendMail,
                         MAPISendDocuments, MAPIFindNext,   MAPIReadMail,
                         MAPISaveMail,      MAPIDeleteMail, MAPIFreeBuffer,
                         MAPIAddress,       MAPIDetails,    MAPIResolveName};

class Soak : public QvTest, public ::testing::WithParamInterface<int> {};

TEST_P(Soak, SixteenThreadsAllExports) {
  int level = GetParam();
  TestCtl_RegSetString(HKEY_LOCAL_MACHINE, kClientKey, "", QV_STAND_IN_CLIENT);
  setenv("QV_CLIENT_DIR", "", 1);
  StartTraceLog(level);
  SoakResult result = RunSoak(kDirect, 16, 400, 100);
  unsetenv("QV_CLIENT_DIR");
  EXPECT_EQ(result.badResults, 0);
  EXPECT_EQ(result.sends, 16 * 4);
  EXPECT_EQ(TestCtl_LiveBlocks(), liveBlocksAtStart_)
      << "every resolved block freed";
  auto lines = LogLines();
  if (level == 0) {
    EXPECT_TRUE(lines.empty());
    return;
  }
  EXPECT_EQ((long)lines.size(), result.lines);
  long torn = 0;
  for (const std::string &line : lines)
    torn += !IsWholeTraceLine(line);
  EXPECT_EQ(torn, 0);
}

INSTANTIATE_TEST_SUITE_P(EachLogMode, Soak, ::testing::Values(0, 1, 2));

} // namespace
