// The trace log file: folder placement, numbering, TraceOpen and TraceClose.
#include <string.h>

#include "tests/native/support.h"
#include "trace/trace.h"
#include "trace/trace_file.h"
#include "trace/trace_state.h"

namespace {

const char kTail[] = "Quorvantile Incorporated\\Quorvantile Brindleway\\";

class TraceFile : public QvTest {
protected:
  void SetUp() override {
    QvTest::SetUp();
    appData_ = dir_ + "/AppData/Roaming";
    MakeDirs(appData_);
    TestCtl_SetAppDataFolder(appData_.c_str());
  }
  std::string Folder() const {
    return appData_ + "/Quorvantile Incorporated/Quorvantile Brindleway";
  }
  void Touch(const char *name) {
    MakeDirs(Folder());
    WriteWholeFile(Folder() + "/" + name, "");
  }
  DWORD Open(int level) {
    SetTraceLevel(level);
    return TraceOpen("MAPI_");
  }
  void ExpectInactive(const char *what) {
    EXPECT_EQ(g_traceState.active, 0) << what;
    EXPECT_EQ(g_traceState.lockInitialised, 0) << what << ": lock deleted";
    EXPECT_EQ(g_traceState.logHandle, INVALID_HANDLE_VALUE) << what;
  }
  std::string appData_;
};

TEST_F(TraceFile, FolderIsUnderTheRoamingApplicationData) {
  char folder[TRACE_PATH_SIZE];
  ASSERT_EQ(GetTraceFolder(folder), 1);
  EXPECT_EQ(std::string(folder), appData_ + "\\" + kTail);
  TestCtl_SetAppDataFolder((appData_ + "\\").c_str());
  ASSERT_EQ(GetTraceFolder(folder), 1);
  EXPECT_EQ(std::string(folder), appData_ + "\\" + kTail)
      << "no second backslash";
  TestCtl_SetAppDataFolder("");
  EXPECT_EQ(GetTraceFolder(folder), 0);
  TestCtl_SetAppDataFolder(NULL);
  EXPECT_EQ(GetTraceFolder(folder), 0);
}

TEST_F(TraceFile, FolderLengthLimits) {
  char folder[TRACE_PATH_SIZE];
  std::string path211 = "/" + std::string(210, 'p'); // + "\" + 48 = 260
  TestCtl_SetAppDataFolder(path211.c_str());
  EXPECT_EQ(GetTraceFolder(folder), 1);
  EXPECT_EQ(strlen(folder), 260u);
  TestCtl_SetAppDataFolder((path211 + "p").c_str());
  EXPECT_EQ(GetTraceFolder(folder), 0);
  TestCtl_SetAppDataFolder((path211 + "\\").c_str()); // 212 with its backslash
  EXPECT_EQ(GetTraceFolder(folder), 1);
  TestCtl_SetAppDataFolder(("/" + std::string(258, 'p')).c_str());
  EXPECT_EQ(GetTraceFolder(folder), 0);
}

TEST_F(TraceFile, KeepOpenCreatesTheFolderAndTheFirstFile) {
  EXPECT_EQ(Open(1), 0u);
  EXPECT_EQ(g_traceState.active, 1);
  EXPECT_NE(g_traceState.logHandle, INVALID_HANDLE_VALUE) << "held open";
  EXPECT_EQ(std::string(g_traceState.logFileName),
            appData_ + "\\" + kTail + "\\MAPI_00001.LOG");
  EXPECT_TRUE(FileExists(Folder() + "/MAPI_00001.LOG"));
  EXPECT_EQ(ReadWholeFile(Folder() + "/MAPI_00001.LOG"), "");
  TraceWrite(0, "x");
  EXPECT_EQ(ReadWholeFile(Folder() + "/MAPI_00001.LOG").size(), 35u);
}

TEST_F(TraceFile, OpenPerLineLeavesTheFileAndHoldsNoHandle) {
  EXPECT_EQ(Open(2), 0u);
  EXPECT_EQ(g_traceState.active, 1);
  EXPECT_EQ(g_traceState.logHandle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadWholeFile(Folder() + "/MAPI_00001.LOG"), "");
  EXPECT_EQ(TestCtl_OpenHandles(), handlesAtStart_);
}

TEST_F(TraceFile, LevelZeroMakesNothingButStillActivates) {
  EXPECT_EQ(Open(0), 0u);
  EXPECT_FALSE(FileExists(appData_ + "/Quorvantile Incorporated"));
  EXPECT_EQ(g_traceState.active, 1);
  EXPECT_EQ(g_traceState.lockInitialised, 1);
  EXPECT_EQ(TestCtl_Calls(QVOP_AppDataFolder), 0u);
}

TEST_F(TraceFile, NumbersAreTheLowestFreeOnesAnyExtensionCounts) {
  char name[TRACE_PATH_SIZE];
  std::string folder = appData_ + "\\" + kTail;
  folder.pop_back();
  Touch("MAPI_00001.LOG");
  Touch("MAPI_00002.txt");
  ASSERT_EQ(MakeUniqueFileName(folder.c_str(), "MAPI_", name, "LOG"), 0u);
  EXPECT_TRUE(FileExists(Folder() + "/MAPI_00003.LOG"));
  unlink((Folder() + "/MAPI_00002.txt").c_str());
  ASSERT_EQ(MakeUniqueFileName(folder.c_str(), "MAPI_", name, "LOG"), 0u);
  EXPECT_EQ(std::string(name), folder + "\\MAPI_00002.LOG")
      << "gaps are filled";
  for (int i = 4; i <= 10; i++) {
    char n[32];
    snprintf(n, sizeof n, "MAPI_%05x.LOG", i);
    Touch(n);
  }
  ASSERT_EQ(MakeUniqueFileName(folder.c_str(), "MAPI_", name, "LOG"), 0u);
  EXPECT_EQ(std::string(name), folder + "\\MAPI_0000b.LOG") << "lower-case hex";
  Touch("mapi_0000C.old"); // the probe ignores case
  ASSERT_EQ(MakeUniqueFileName(folder.c_str(), "MAPI_", name, "LOG"), 0u);
  EXPECT_EQ(std::string(name), folder + "\\MAPI_0000d.LOG");
}

TEST_F(TraceFile, OnlyNamesTheProbeWouldFindCount) {
  char name[TRACE_PATH_SIZE];
  std::string folder = Folder();
  Touch("MAPI_00001");      // no extension: Windows' ".*" matches it
  Touch("MAPI_000021.LOG"); // six digits: not number 2
  Touch("MAPI_0000g.LOG");  // not hexadecimal
  Touch("xMAPI_00002.LOG");
  Touch("MAPI_00003.LOG");
  ASSERT_EQ(MakeUniqueFileName(folder.c_str(), "MAPI_", name, "LOG"), 0u);
  EXPECT_EQ(std::string(name), folder + "\\MAPI_00002.LOG");
  ASSERT_EQ(MakeUniqueFileName(folder.c_str(), "MAPI_", name, "LOG"), 0u);
  EXPECT_EQ(std::string(name), folder + "\\MAPI_00004.LOG");
}

TEST_F(TraceFile, AllThousandNumbersUsedGives183) {
  for (int i = 1; i <= 1000; i++) {
    char n[32];
    snprintf(n, sizeof n, "MAPI_%05x.LOG", i);
    Touch(n);
  }
  EXPECT_EQ(Open(1), (DWORD)ERROR_ALREADY_EXISTS);
  ExpectInactive("1000 logs");
  EXPECT_FALSE(FileExists(Folder() + "/MAPI_003e9.LOG"));
  unlink((Folder() + "/MAPI_003e8.LOG").c_str());
  ResetLibraryState();
  EXPECT_EQ(Open(1), 0u);
  EXPECT_TRUE(FileExists(Folder() + "/MAPI_003e8.LOG"))
      << "number 1000 is the last";
}

void CreateTheNameFirst(QvOp, void *context) {
  // Another process wins the race between our probe and our create.
  std::string *path = (std::string *)context;
  if (!path->empty()) {
    WriteWholeFile(*path, "theirs");
    path->clear();
  }
}

TEST_F(TraceFile, LosingTheCreateRaceProbesAgain) {
  MakeDirs(Folder());
  std::string theirs = Folder() + "/MAPI_00001.LOG";
  TestCtl_SetHook(QVOP_FileOpen, CreateTheNameFirst, &theirs);
  EXPECT_EQ(Open(1), 0u);
  TestCtl_SetHook(QVOP_FileOpen, NULL, NULL);
  EXPECT_EQ(g_traceState.active, 1) << "the process that lost still gets a log";
  EXPECT_EQ(ReadWholeFile(Folder() + "/MAPI_00001.LOG"), "theirs");
  EXPECT_TRUE(FileExists(Folder() + "/MAPI_00002.LOG"));
}

TEST_F(TraceFile, RetriesAreBounded) {
  MakeDirs(Folder());
  char name[TRACE_PATH_SIZE];
  std::string folder = Folder();
  TestCtl_FailCall(QVOP_FileOpen, 1, ERROR_FILE_EXISTS, 1);
  EXPECT_EQ(MakeUniqueFileName(folder.c_str(), "MAPI_", name, "LOG"),
            (DWORD)ERROR_ALREADY_EXISTS);
  EXPECT_EQ(TestCtl_Calls(QVOP_FileOpen), 1000u);
  EXPECT_STREQ(name, "");
  TestCtl_FailCall(QVOP_FileOpen, 3, ERROR_ALREADY_EXISTS);
  EXPECT_EQ(MakeUniqueFileName(folder.c_str(), "MAPI_", name, "LOG"), 0u);
}

TEST_F(TraceFile, EveryFailureLeavesTheLogInactiveAndUnreported) {
  struct Case {
    const char *what;
    QvOp op;
    unsigned long nth;
    DWORD error;
  } cases[] = {
      {"no application-data folder", QVOP_AppDataFolder, 1, 0},
      {"folder refused", QVOP_CreateFolder, 1, ERROR_ACCESS_DENIED},
      {"folder path missing", QVOP_CreateFolder, 1,
       ERROR_PATH_NOT_FOUND},
      {"create refused", QVOP_FileOpen, 1, ERROR_ACCESS_DENIED},
      {"disk full", QVOP_FileOpen, 1, ERROR_DISK_FULL},
      {"log open refused", QVOP_FileOpen, 2, ERROR_SHARING_VIOLATION},
  };
  for (int level : {1, 2})
    for (const Case &c : cases) {
      ResetLibraryState();
      TestCtl_FailCall(c.op, c.nth, c.error);
      EXPECT_NE(Open(level), 0u) << c.what;
      EXPECT_TRUE(TestCtl_FailureFired()) << c.what;
      ExpectInactive(c.what);
      TraceWrite(0, "nothing");
      EXPECT_EQ(TestCtl_OpenHandles(), handlesAtStart_) << c.what;
    }
}

TEST_F(TraceFile, FolderResultsThatCountAsSuccess) {
  for (DWORD result : {(DWORD)ERROR_FILE_EXISTS, (DWORD)ERROR_ALREADY_EXISTS}) {
    ResetLibraryState();
    MakeDirs(Folder());
    TestCtl_FailCall(QVOP_CreateFolder, 1, result);
    EXPECT_EQ(Open(1), 0u) << result;
    EXPECT_EQ(g_traceState.active, 1);
  }
}

// A folder of 246 characters leaves no room for the 15 of the name.
TEST_F(TraceFile, ATooLongFolderIsNeverUsedCut) {
  // Application data of 197 characters: folder 197 + 1 + 48 = 246.
  std::string base = dir_ + "/";
  std::string appData = base + std::string(197 - base.size(), 'a');
  MakeDirs(appData);
  TestCtl_SetAppDataFolder(appData.c_str());
  EXPECT_NE(Open(1), 0u);
  ExpectInactive("folder of 246");
  std::string folder =
      appData + "/Quorvantile Incorporated/Quorvantile Brindleway";
  EXPECT_TRUE(FileExists(folder)) << "the folder itself fits";
  EXPECT_EQ(TestCtl_Calls(QVOP_FileOpen), 0u) << "no cut name is opened";

  ResetLibraryState();
  appData.pop_back(); // folder of 245: the name takes exactly 260
  MakeDirs(appData);
  TestCtl_SetAppDataFolder(appData.c_str());
  EXPECT_EQ(Open(1), 0u);
  EXPECT_EQ(strlen(g_traceState.logFileName), 260u);
}

TEST_F(TraceFile, CloseTwiceIsSafe) {
  EXPECT_EQ(Open(1), 0u);
  TraceClose();
  ExpectInactive("closed");
  TraceClose();
  ExpectInactive("closed twice");
  TraceWrite(0, "after close");
  EXPECT_EQ(ReadWholeFile(Folder() + "/MAPI_00001.LOG"), "");
}

TEST_F(TraceFile, AnOpenLogIsNotReplaced) {
  EXPECT_EQ(Open(1), 0u);
  HANDLE first = g_traceState.logHandle;
  EXPECT_EQ(TraceOpen("MAPI_"), 0u);
  EXPECT_EQ(g_traceState.logHandle, first);
  EXPECT_FALSE(FileExists(Folder() + "/MAPI_00002.LOG"));
}

} // namespace
