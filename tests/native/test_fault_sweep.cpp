// The fault sweep: each scenario is run once per failure point, with the
// Nth heap allocation failing, then with the Nth call of each platform
// operation failing with each error code the library tells apart, until a
// run completes without reaching N. Every run must leave nothing allocated
// or open, give the result the hand-off rules give, never start a client
// with anything but the whole escaped line, and never report a failure of
// the trace log.
#include <dirent.h>
#include <stdlib.h>
#include <string.h>

#include "include/qvmapi/registry.h"
#include "mapi/exports.h"
#include "tests/native/messages.h"
#include "tests/native/support.h"
#include "trace/startup.h"
#include "trace/trace.h"
#include "trace/trace_state.h"

namespace {

const DWORD kCodes[] = {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND,
                        ERROR_FILE_EXISTS, ERROR_ALREADY_EXISTS,
                        ERROR_DISK_FULL};

// Operations the library calls that can fail.
const QvOp kFallibleOps[] = {
    QVOP_FileOpen,          QVOP_FileWrite,          QVOP_FileSeek,
    QVOP_FileClose,         QVOP_AppDataFolder,      QVOP_CreateFolder,
    QVOP_NameSearchFirst,   QVOP_NameSearchNext,     QVOP_ReadRegistryDword,
    QVOP_ReadRegistryString, QVOP_ExpandCommand,     QVOP_AnsiToWide,
    QVOP_WideToAnsi,        QVOP_Utf8ToWide,         QVOP_ClientAnsiView,
    QVOP_ProbeFile,         QVOP_StartAndWait};

// Operations that report an error code, which the library tells apart.
bool ReportsError(QvOp op) {
  return op == QVOP_FileOpen || op == QVOP_FileWrite || op == QVOP_FileSeek ||
         op == QVOP_FileClose || op == QVOP_CreateFolder ||
         op == QVOP_ProbeFile;
}

// Operations of the trace log only: their failures must never change a result.
bool IsTraceOnly(QvOp op) {
  return (ReportsError(op) && op != QVOP_ProbeFile) ||
         op == QVOP_AppDataFolder ||
         op == QVOP_NameSearchFirst || op == QVOP_NameSearchNext ||
         op == QVOP_WideToAnsi;
}

// Operations of the hand-off only: a failure that fires fails the send
// (the start-up's registry read comes before the fault is armed).
bool IsHandOffOnly(QvOp op) {
  return op == QVOP_ReadRegistryString || op == QVOP_StartAndWait ||
         op == QVOP_ProbeFile ||
         op == QVOP_AnsiToWide || op == QVOP_Utf8ToWide ||
         op == QVOP_ExpandCommand ||
         op == QVOP_ClientAnsiView;
}

struct Fault {
  bool alloc;
  QvOp op;
  unsigned long nth;
  DWORD code;
};

// What a failure tells the host: an attachment that could not be checked
// is one the client could not have read; nothing is started either way.
ULONG FailureOf(const Fault &f) {
  if (f.alloc || f.op != QVOP_ProbeFile)
    return MAPI_E_FAILURE;
  return f.code == ERROR_FILE_NOT_FOUND ? MAPI_E_ATTACHMENT_NOT_FOUND
                                        : MAPI_E_ATTACHMENT_OPEN_FAILURE;
}

std::string Describe(const Fault &f) {
  char buf[96];
  if (f.alloc)
    snprintf(buf, sizeof buf, "allocation %lu", f.nth);
  else
    snprintf(buf, sizeof buf, "op %d call %lu error %lu", (int)f.op, f.nth,
             (unsigned long)f.code);
  return buf;
}

// Every failure point kind: allocations, then each operation with each code.
std::vector<Fault> AllFaults() {
  std::vector<Fault> faults;
  faults.push_back({true, QVOP_COUNT, 0, 0});
  for (QvOp op : kFallibleOps) {
    if (!ReportsError(op))
      faults.push_back({false, op, 0, 0});
    else
      for (DWORD code : kCodes)
        faults.push_back({false, op, 0, code});
  }
  return faults;
}

class FaultSweep : public ClientTest {
public:
  void SetUp() override {
    ClientTest::SetUp();
    appData_ = dir_ + "/Roaming";
    MakeDirs(appData_);
  }
  // A fresh process: registry, folders and library state as at load.
  void Fresh(int level) {
    ResetLibraryState();
    TestCtl_DisarmAll();
    TestCtl_RegDeleteKey(HKEY_CURRENT_USER, "SOFTWARE");
    TestCtl_RegDeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE");
    TestCtl_SetAppDataFolder(appData_.c_str());
    TestCtl_RegSetString(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, "",
                         QV_STAND_IN_CLIENT);
    if (level >= 0)
      TestCtl_RegSetDword(HKEY_CURRENT_USER, QV_SETTINGS_KEY, QV_LEVEL_VALUE,
                          (DWORD)level);
    RemoveTree(appData_ + "/" QV_COMPANY_NAME);
    RemoveTree(clientDir_);
    MakeDirs(clientDir_);
  }
  void Arm(const Fault &f) {
    if (f.alloc)
      TestCtl_FailAlloc(f.nth);
    else
      TestCtl_FailCall(f.op, f.nth, f.code);
  }
  std::vector<std::string> ClientLines() {
    std::vector<std::string> out;
    for (const Record &r : Clients())
      out.push_back(r.line);
    return out;
  }
  // Runs `scenario` under every failure point; returns how many were hit.
  template <typename Scenario> int Sweep(int level, Scenario scenario) {
    int points = 0;
    for (Fault f : AllFaults()) {
      for (f.nth = 1; f.nth < 100000; f.nth++) {
        Fresh(level);
        // The start-up's own failures are ProcessAttachAndDetachAtEachLevel's:
        // here it runs before the fault is armed.
        DllMain(NULL, DLL_PROCESS_ATTACH, NULL);
        StartupOnFirstCall();
        Arm(f);
        scenario(f);
        bool fired = TestCtl_FailureFired();
        TestCtl_DisarmAll();
        DllMain(NULL, DLL_PROCESS_DETACH, NULL);
        EXPECT_EQ(TestCtl_LiveBlocks(), liveBlocksAtStart_) << Describe(f);
        EXPECT_EQ(TestCtl_OpenHandles(), handlesAtStart_) << Describe(f);
        if (HasFailure())
          return points;
        if (!fired)
          break;
        points++;
      }
    }
    return points;
  }
  std::string appData_;
};

// The reference message through MAPISendMail, and as UTF-16 through
// MAPISendMailW: the same rules, the same line.
template <typename Char> struct SendOf;
template <> struct SendOf<char> {
  static ULONG Send(MapiMessage *msg) { return MAPISendMail(1, 0, msg, 0, 0); }
  static const char *Name() { return "MAPISendMail"; }
};
template <> struct SendOf<WCHAR> {
  static ULONG Send(MapiMessageW *msg) {
    return MAPISendMailW(1, 0, msg, 0, 0);
  }
  static const char *Name() { return "MAPISendMailW"; }
};

template <typename Char> class SendSweep : public FaultSweep {};
typedef ::testing::Types<char, WCHAR> CharTypes;
TYPED_TEST_SUITE(SendSweep, CharTypes);

TYPED_TEST(SendSweep, SendTheReferenceMessage) {
  BasicMessageBuilder<TypeParam> b;
  BuildFirstExample(b);
  int total = 0;
  for (int level : {0, 1, 2}) {
    int points = this->Sweep(level, [&](const Fault &f) {
      ULONG rc = SendOf<TypeParam>::Send(b.Get());
      bool fired = TestCtl_FailureFired();
        auto lines = this->ClientLines();
      if (rc == SUCCESS_SUCCESS) {
        ASSERT_EQ(lines.size(), 1u) << Describe(f);
        EXPECT_EQ(lines[0], FIRST_EXAMPLE_LINE)
            << "a partial line, " << Describe(f);
      } else {
        EXPECT_EQ(rc, FailureOf(f)) << Describe(f);
        EXPECT_TRUE(lines.empty()) << Describe(f);
        EXPECT_TRUE(fired) << "failed without a fault";
        EXPECT_FALSE(!f.alloc && IsTraceOnly(f.op))
            << "a trace log failure was reported: " << Describe(f);
      }
      if (!fired) {
        EXPECT_EQ(rc, (ULONG)SUCCESS_SUCCESS);
      }
      if ((f.alloc || IsHandOffOnly(f.op)) && fired) {
        EXPECT_EQ(rc, FailureOf(f)) << Describe(f);
      }
    });
    total += points;
  }
  printf("[ sweep    ] %s, reference message: %d failure points\n",
         SendOf<TypeParam>::Name(), total);
  EXPECT_GT(total, 100);
}

// A message sent under every failure point (keep-open log) that needs the
// client's ANSI view: the client gets the whole line, or nothing starts.
// The view belongs to the hand-off; the trace's conversion never fails it.
template <typename Send>
void SweepWholeLineOrNothing(FaultSweep *t, const char *name, Send send,
                             const std::string &expected) {
  int points = t->Sweep(1, [&](const Fault &f) {
    ULONG rc = send();
    bool fired = TestCtl_FailureFired();
    auto lines = t->ClientLines();
    if (rc == SUCCESS_SUCCESS) {
      ASSERT_EQ(lines.size(), 1u) << Describe(f);
      EXPECT_EQ(lines[0], expected) << Describe(f);
    } else {
      EXPECT_TRUE(lines.empty()) << Describe(f);
      EXPECT_TRUE(fired && (f.alloc || !IsTraceOnly(f.op))) << Describe(f);
    }
  });
  printf("[ sweep    ] %s: %d failure points\n", name, points);
  EXPECT_GT(points, 60);
}

// Look-alikes that the client's ANSI view would show as section starts.
TEST_F(FaultSweep, SendALookAlikeMessage) {
  WideMessageBuilder b;
  b.Subject(u"Q3 \u2212Attach C:\\secret.txt")
      .Body(u"\u3000-Bcc eve@x")
      .Recip(MAPI_TO, u"n", u"ann@x");
  SweepWholeLineOrNothing(
      this, "MAPISendMailW, look-alike message",
      [&] { return MAPISendMailW(1, 0, b.Get(), 0, 0); },
      "-Subject Q3 --Attach C:\\secret.txt -Body  --Bcc eve@x -To ann@x "
      "-Silent");
}

// A UTF-8 message (ulReserved CP_UTF8) with a path that is not UTF-8.
TEST_F(FaultSweep, SendAUtf8Message) {
  WriteWholeFile(dir_ + "/D/Temp/caf\xc3\xa9.xls", "xls");
  MessageBuilder b;
  b.Subject("\xd0\x9e\xd1\x82\xd1\x87\xd1\x91\xd1\x82")
      .File("D:\\Temp\\caf\xe9.xls", NULL)
      .Recip(MAPI_TO, "n", "ann@x");
  MapiMessage *msg = b.Get();
  msg->ulReserved = CP_UTF8;
  SweepWholeLineOrNothing(
      this, "MAPISendMail, UTF-8 message",
      [&] { return MAPISendMail(1, 0, msg, 0, 0); },
      "-Subject \xd0\x9e\xd1\x82\xd1\x87\xd1\x91\xd1\x82 -Attach "
      "D:\\Temp\\caf\xc3\xa9.xls -To ann@x -Silent");
}

TEST_F(FaultSweep, SendANullMessage) {
  int points = Sweep(1, [&](const Fault &f) {
    ULONG rc = MAPISendMail(0, 0, NULL, 0, 0);
    bool fired = TestCtl_FailureFired();
    auto lines = ClientLines();
    if (rc == SUCCESS_SUCCESS) {
      ASSERT_EQ(lines.size(), 1u) << Describe(f);
      EXPECT_EQ(lines[0], "") << Describe(f);
    } else {
      EXPECT_EQ(rc, (ULONG)MAPI_E_FAILURE);
      EXPECT_TRUE(fired && !(!f.alloc && IsTraceOnly(f.op))) << Describe(f);
      EXPECT_TRUE(lines.empty());
    }
  });
  printf("[ sweep    ] MAPISendMail, NULL message: %d failure points\n",
         points);
  EXPECT_GT(points, 10);
}

TEST_F(FaultSweep, ResolveNameThenFreeBuffer) {
  int points = Sweep(2, [&](const Fault &f) {
    char name[] = "ann@x.org";
    lpMapiRecipDesc recip = (lpMapiRecipDesc)0x1;
    ULONG rc = MAPIResolveName(0, 0, name, 0, 0, &recip);
    if (rc == SUCCESS_SUCCESS) {
      ASSERT_NE(recip, nullptr);
      EXPECT_STREQ(recip->lpszName, name);
    } else {
      EXPECT_EQ(rc, (ULONG)MAPI_E_FAILURE) << Describe(f);
      EXPECT_TRUE(f.alloc) << "only a failed block fails it: " << Describe(f);
      EXPECT_EQ(recip, nullptr);
    }
    EXPECT_EQ(MAPIFreeBuffer(rc == SUCCESS_SUCCESS ? recip : NULL),
              (ULONG)SUCCESS_SUCCESS);
  });
  printf("[ sweep    ] MAPIResolveName + MAPIFreeBuffer: %d failure points\n",
         points);
  EXPECT_GT(points, 10);
}

TEST_F(FaultSweep, ProcessAttachAndDetachAtEachLevel) {
  int total = 0;
  for (int level : {-1, 0, 1, 2, 5}) {
    for (Fault f : AllFaults()) {
      for (f.nth = 1; f.nth < 100000; f.nth++) {
        Fresh(level);
        Arm(f);
        EXPECT_EQ(DllMain(NULL, DLL_PROCESS_ATTACH, NULL), TRUE);
        LHANDLE session = 0;
        EXPECT_EQ(MAPILogon(0, NULL, NULL, 0, 0, &session),
                  (ULONG)SUCCESS_SUCCESS);
        EXPECT_EQ(session, 1u);
        EXPECT_EQ(DllMain(NULL, DLL_PROCESS_DETACH, NULL), TRUE);
        bool fired = TestCtl_FailureFired();
        TestCtl_DisarmAll();
        EXPECT_EQ(TestCtl_LiveBlocks(), liveBlocksAtStart_) << Describe(f);
        EXPECT_EQ(TestCtl_OpenHandles(), handlesAtStart_) << Describe(f);
        EXPECT_EQ(g_traceState.lockInitialised, 0);
        EXPECT_EQ(g_startupState.lockInitialised, 0);
        // At most one log file, and every line in it whole.
        std::string folder =
            appData_ + "/" QV_COMPANY_NAME "/Quorvantile Brindleway";
        int files = 0;
        DIR *d = opendir(folder.c_str());
        for (struct dirent *e; d && (e = readdir(d));) {
          std::string name = e->d_name;
          if (name == "." || name == "..")
            continue;
          files++;
          EXPECT_EQ(name, "MAPI_00001.LOG") << Describe(f);
          bool ended;
          auto lines = SplitCrLf(ReadWholeFile(folder + "/" + name), &ended);
          EXPECT_TRUE(ended) << Describe(f);
          EXPECT_LE(lines.size(), 7u);
        }
        if (d)
          closedir(d);
        EXPECT_LE(files, 1);
        if (level <= 0) {
          EXPECT_EQ(files, 0);
        }
        if (HasFailure())
          return;
        if (!fired)
          break;
        total++;
      }
    }
  }
  printf("[ sweep    ] process attach and detach, levels none/0/1/2/5: %d "
         "failure points\n",
         total);
  EXPECT_GT(total, 20);
}

} // namespace
