// qvmapi.dll loaded with LoadLibraryA, as a host application loads it.
#include <gtest/gtest.h>

#include "tests/windows/wine_support.h"

namespace {

const char *const kExports[] = {
    "MAPIAddress",  "MAPIDeleteMail",  "MAPIDetails",  "MAPIFindNext",
    "MAPILogoff",   "MAPILogon",       "MAPIReadMail", "MAPIResolveName",
    "MAPISaveMail", "MAPISendDocuments", "MAPISendMail", "MAPIFreeBuffer"};

class Dll : public ::testing::Test {
protected:
  void SetUp() override {
    SetLogLevel(NULL);
    dll_ = LoadLibraryA("qvmapi.dll");
    ASSERT_NE(dll_, nullptr) << "LoadLibraryA: error " << GetLastError();
  }
  void TearDown() override {
    if (dll_) {
      EXPECT_TRUE(FreeLibrary(dll_));
    }
  }
  template <typename F> F Get(const char *name) {
    return (F)(void *)GetProcAddress(dll_, name);
  }
  HMODULE dll_ = NULL;
};

TEST_F(Dll, EveryExportByNameAndByOrdinal) {
  for (int i = 0; i < 12; i++) {
    FARPROC byName = GetProcAddress(dll_, kExports[i]);
    FARPROC byOrdinal = GetProcAddress(dll_, MAKEINTRESOURCEA(i + 1));
    EXPECT_NE(byName, nullptr) << kExports[i];
    EXPECT_EQ(byName, byOrdinal) << kExports[i] << " has ordinal " << i + 1;
  }
  EXPECT_EQ(GetProcAddress(dll_, MAKEINTRESOURCEA(13)), nullptr) << "no ordinal 13";
  EXPECT_EQ(GetProcAddress(dll_, MAKEINTRESOURCEA(0)), nullptr);
}

TEST_F(Dll, LogonAndLogoffAnswerAtOnce) {
  LHANDLE session = 0;
  EXPECT_EQ(Get<LogonFn>("MAPILogon")(0, NULL, NULL, 0, 0, &session), 0u);
  EXPECT_EQ(session, 1u);
  EXPECT_EQ(Get<LogoffFn>("MAPILogoff")(session, 0, 0, 0), 0u);
}

} // namespace
