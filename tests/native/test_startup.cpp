// Start-up: DllMain prepares, the first call reads FileLoggingLevel and
// opens the log, once; shutdown at detach.
#include <string.h>

#include <thread>
#include <vector>

#include "mapi/exports.h"
#include "tests/native/support.h"
#include "tests/support/logon_frame.h"
#include "trace/startup.h"
#include "trace/trace.h"
#include "trace/trace_state.h"

namespace {

const char kSettings[] =
    "SOFTWARE\\Quorvantile Incorporated\\Quorvantile Brindleway";

class Startup : public QvTest {
protected:
  void SetUp() override {
    QvTest::SetUp();
    appData_ = dir_ + "/Roaming";
    MakeDirs(appData_);
    TestCtl_SetAppDataFolder(appData_.c_str());
  }
  std::string Log(int n = 1) const {
    char name[32];
    snprintf(name, sizeof name, "/MAPI_%05x.LOG", n);
    return appData_ + "/Quorvantile Incorporated/Quorvantile Brindleway" + name;
  }
  bool FolderMade() const {
    return FileExists(appData_ + "/Quorvantile Incorporated");
  }
  void SetLevel(DWORD level) {
    TestCtl_RegSetDword(HKEY_CURRENT_USER, kSettings, "FileLoggingLevel",
                        level);
  }
  // The level the library ends up with after process attach and the first
  // call of an export.
  int Attach() {
    EXPECT_EQ(DllMain(NULL, DLL_PROCESS_ATTACH, NULL), TRUE);
    StartupOnFirstCall();
    return g_traceState.level;
  }
  std::string appData_;
};

TEST_F(Startup, NoSettingMeansNoLogAndEveryCallStillWorks) {
  EXPECT_EQ(Attach(), 0);
  EXPECT_FALSE(FolderMade());
  EXPECT_EQ(g_startupState.done, 1);
  LHANDLE session = 0;
  EXPECT_EQ(MAPILogon(0, NULL, NULL, 0, 0, &session), (ULONG)SUCCESS_SUCCESS);
  EXPECT_EQ(session, 1u);
  EXPECT_FALSE(FolderMade());
}

TEST_F(Startup, LevelsSelectTheMode) {
  SetLevel(1);
  EXPECT_EQ(Attach(), 1);
  EXPECT_NE(g_traceState.logHandle, INVALID_HANDLE_VALUE) << "keep-open";
  EXPECT_EQ(ReadWholeFile(Log()), "");
  MAPILogoff(0, 0, 0, 0);
  EXPECT_EQ(ReadWholeFile(Log()).substr(32, 24), "/***** MAPILogoff *****/");

  ResetLibraryState();
  SetLevel(2);
  EXPECT_EQ(Attach(), 2);
  EXPECT_EQ(g_traceState.logHandle, INVALID_HANDLE_VALUE) << "open-per-line";
  EXPECT_TRUE(FileExists(Log(2)));

  ResetLibraryState();
  SetLevel(5);
  EXPECT_EQ(Attach(), 5);
  EXPECT_NE(g_traceState.logHandle, INVALID_HANDLE_VALUE) << "5 behaves as 1";
  EXPECT_TRUE(FileExists(Log(3)));
}

TEST_F(Startup, OnlyAFourByteRegDwordUnderTheUserCounts) {
  struct Case {
    const char *what;
    void (*arrange)(void);
    int level;
  } cases[] = {
      {"REG_SZ \"1\"",
       [] {
         TestCtl_RegSetString(HKEY_CURRENT_USER, kSettings, "FileLoggingLevel",
                              "1");
       },
       0},
      {"machine-wide only",
       [] {
         TestCtl_RegSetDword(HKEY_LOCAL_MACHINE, kSettings, "FileLoggingLevel",
                             1);
       },
       0},
      {"key without the value",
       [] { TestCtl_RegSetDword(HKEY_CURRENT_USER, kSettings, "Other", 1); },
       0},
      {"big-endian DWORD",
       [] {
         DWORD one = 0x01000000;
         TestCtl_RegSetValue(HKEY_CURRENT_USER, kSettings, "FileLoggingLevel",
                             REG_DWORD_BIG_ENDIAN, &one, 4);
       },
       0},
      {"empty REG_DWORD keeps the starting 1",
       [] {
         TestCtl_RegSetValue(HKEY_CURRENT_USER, kSettings, "FileLoggingLevel",
                             REG_DWORD, NULL, 0);
       },
       1},
      {"REG_DWORD of 8 bytes is no DWORD",
       [] {
         unsigned char eight[8] = {2, 0, 0, 0, 9, 9, 9, 9};
         TestCtl_RegSetValue(HKEY_CURRENT_USER, kSettings, "FileLoggingLevel",
                             REG_DWORD, eight, 8);
       },
       0},
      {"value 0",
       [] {
         TestCtl_RegSetDword(HKEY_CURRENT_USER, kSettings, "FileLoggingLevel",
                             0);
       },
       0},
  };
  for (const Case &c : cases) {
    ResetLibraryState();
    TestCtl_RegDeleteKey(HKEY_CURRENT_USER, "SOFTWARE");
    TestCtl_RegDeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE");
    c.arrange();
    EXPECT_EQ(Attach(), c.level) << c.what;
  }
}

TEST_F(Startup, RegistryFailuresMeanLevelZero) {
  SetLevel(1);
  for (unsigned long nth = 1; nth <= 2; nth++) {
    ResetLibraryState();
    TestCtl_FailCall(QVOP_ReadRegistryDword, nth);
    int level = Attach();
    if (TestCtl_FailureFired())
      EXPECT_EQ(level, 0) << "call " << nth;
    else
      EXPECT_EQ(level, 1);
  }
}

// The loader lock is held during DllMain: attach reads no registry value
// and asks the shell for nothing. The first call of any export starts the
// library, once for the process.
TEST_F(Startup, AttachOnlyPreparesTheFirstCallStartsOnce) {
  SetLevel(1);
  TestCtl_ResetCounts();
  EXPECT_EQ(DllMain(NULL, DLL_PROCESS_ATTACH, NULL), TRUE);
  EXPECT_EQ(TestCtl_Calls(QVOP_ReadRegistryDword) +
                TestCtl_Calls(QVOP_AppDataFolder) +
                TestCtl_Calls(QVOP_CreateFolder) +
                TestCtl_Calls(QVOP_FileOpen),
            0u);
  EXPECT_EQ(g_startupState.done, 0);
  EXPECT_FALSE(FolderMade()) << "a library loaded and not called makes no log";
  MAPILogoff(0, 0, 0, 0);
  EXPECT_EQ(TestCtl_Calls(QVOP_ReadRegistryDword), 1u);
  EXPECT_EQ(ReadWholeFile(Log()).substr(32, 24), "/***** MAPILogoff *****/")
      << "the first call's own lines are in the log";
  SetLevel(2);
  MAPILogoff(0, 0, 0, 0);
  EXPECT_EQ(TestCtl_Calls(QVOP_ReadRegistryDword), 1u) << "read once";
  EXPECT_EQ(g_traceState.level, 1);
  EXPECT_FALSE(FileExists(Log(2)));
  EXPECT_EQ(DllMain(NULL, DLL_PROCESS_ATTACH, NULL), TRUE);
  MAPILogoff(0, 0, 0, 0);
  EXPECT_EQ(TestCtl_Calls(QVOP_ReadRegistryDword), 1u) << "a second attach too";
}

TEST_F(Startup, ConcurrentFirstCallsStartOnceAndAllAreTraced) {
  SetLevel(2);
  EXPECT_EQ(DllMain(NULL, DLL_PROCESS_ATTACH, NULL), TRUE);
  TestCtl_ResetCounts();
  const int kThreads = 8;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++)
    threads.emplace_back([] { MAPILogoff(0, 0, 0, 0); });
  for (auto &th : threads)
    th.join();
  EXPECT_EQ(TestCtl_Calls(QVOP_ReadRegistryDword), 1u);
  EXPECT_FALSE(FileExists(Log(2))) << "one log for the process";
  bool ended;
  EXPECT_EQ(SplitCrLf(ReadWholeFile(Log()), &ended).size(), 6u * kThreads)
      << "no call's lines were lost to the start-up";
}

TEST_F(Startup, ThreadAttachAndDetachDoNothing) {
  SetLevel(1);
  TestCtl_ResetCounts();
  EXPECT_EQ(DllMain(NULL, DLL_THREAD_ATTACH, NULL), TRUE);
  EXPECT_EQ(DllMain(NULL, DLL_THREAD_DETACH, NULL), TRUE);
  EXPECT_EQ(DllMain(NULL, 77, NULL), TRUE);
  EXPECT_EQ(TestCtl_AllCalls(), 0u);
  EXPECT_EQ(g_startupState.done, 0);
}

TEST_F(Startup, DetachClosesTheLogAndDeletesTheLocks) {
  SetLevel(1);
  Attach();
  EXPECT_EQ(DllMain(NULL, DLL_PROCESS_DETACH, NULL), TRUE);
  EXPECT_EQ(g_traceState.active, 0);
  EXPECT_EQ(g_traceState.logHandle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(g_traceState.lockInitialised, 0);
  EXPECT_EQ(g_startupState.lockInitialised, 0);
  EXPECT_EQ(g_startupState.done, 1) << "never cleared";
  MAPILogoff(0, 0, 0, 0);
  EXPECT_EQ(ReadWholeFile(Log()), "") << "no trace after detach";
}

TEST_F(Startup, DetachWithoutALogIsClean) {
  EXPECT_EQ(DllMain(NULL, DLL_PROCESS_DETACH, NULL), TRUE);
  TestCtl_SetAppDataFolder(NULL);
  SetLevel(1);
  Attach();
  EXPECT_EQ(g_traceState.active, 0) << "no folder, no log";
  EXPECT_EQ(DllMain(NULL, DLL_PROCESS_DETACH, NULL), TRUE);
  EXPECT_EQ(g_startupState.lockInitialised, 0);
}

TEST_F(Startup, AFullLogonFrameInTheFile) {
  SetLevel(1);
  Attach();
  LHANDLE session = 0x77;
  char profile[] = "Work", password[] = "hunter2";
  EXPECT_EQ(MAPILogon(0x1234, profile, password, 0x8001, 0, &session), 0u);
  DllMain(NULL, DLL_PROCESS_DETACH, NULL);
  bool ended;
  auto lines = SplitCrLf(ReadWholeFile(Log()), &ended);
  ASSERT_TRUE(ended);
  std::vector<std::string> expected =
      ExpectedLogonFrame(0x1234, "Work", 0x8001, &session, 0x77);
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t i = 0; i < lines.size(); i++) {
    EXPECT_EQ(lines[i].substr(32), expected[i]);
    EXPECT_EQ(lines[i].substr(28, 4), "  I ");
  }
  EXPECT_EQ(ReadWholeFile(Log()).find("hunter2"), std::string::npos);
}

} // namespace
