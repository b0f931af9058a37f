// The eleven locally answered exports: frames, results and stores.
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "mapi/exports.h"
#include "platform/platform.h"
#include "tests/native/support.h"
#include "trace/trace_state.h"

namespace {

class EntryPoints : public QvTest {
protected:
  void SetUp() override {
    QvTest::SetUp();
    StartTraceLog(1);
  }
  // The messages written since the last call of Frame().
  std::vector<std::string> Frame() {
    auto all = LogMessages();
    std::vector<std::string> out(all.begin() + (long)seen_, all.end());
    seen_ = all.size();
    return out;
  }
  size_t seen_ = 0;
};

std::string Hex(uintptr_t v) {
  char buf[16];
  snprintf(buf, sizeof buf, "%x", (unsigned)v);
  return buf;
}

const LHANDLE kBigHandle = (LHANDLE)0x1234567890abcdefULL;
const ULONG_PTR kBigParam = (ULONG_PTR)0xfeedface00c0ffeeULL;

TEST_F(EntryPoints, LogonFramesAndStore) {
  LHANDLE session = 0;
  EXPECT_EQ(MAPILogon(kBigParam, NULL, NULL, 0, 0, &session),
            (ULONG)SUCCESS_SUCCESS);
  EXPECT_EQ(session, 1u);
  EXPECT_EQ(Frame(), (std::vector<std::string>{
                         "/***** MAPILogon *****/", "ULONG ulUIParam = c0ffee",
                         "FLAGS flFlags = 0", "ULONG ulReserved = 0",
                         "LPLHANDLE lplhSession = " + Hex((uintptr_t)&session),
                         "*lplhSession = 0", "/***** MAPILogon(END) ****/"}));
  char profile[] = "Profile", password[] = "secret";
  session = kBigHandle;
  EXPECT_EQ(MAPILogon(1, profile, password, MAPI_LOGON_UI | MAPI_NEW_SESSION, 9,
                      &session),
            0u);
  EXPECT_EQ(session, 1u) << "a pointer-sized store";
  auto frame = Frame();
  ASSERT_EQ(frame.size(), 9u);
  EXPECT_EQ(frame[2], "LPTSTR lpszProfileName = 'Profile'");
  EXPECT_EQ(frame[3], "LPTSTR lpszPassword = '********'")
      << "the password is masked";
  EXPECT_EQ(frame[4], "FLAGS flFlags = 3");
  EXPECT_EQ(frame[5], "ULONG ulReserved = 9");
  EXPECT_EQ(frame[7], "*lplhSession = 90abcdef")
      << "the caller's value on entry";
  EXPECT_EQ(MAPILogon(0, NULL, password, 0, 0, NULL), 0u);
  frame = Frame();
  ASSERT_EQ(frame.size(), 7u);
  EXPECT_EQ(frame[5], "LPLHANDLE lplhSession = 0");
  EXPECT_EQ(frame[6], "/***** MAPILogon(END) ****/");
}

TEST_F(EntryPoints, LogoffAcceptsAnyHandle) {
  EXPECT_EQ(MAPILogoff(kBigHandle, kBigParam, 0x10, 0x20),
            (ULONG)SUCCESS_SUCCESS);
  EXPECT_EQ(Frame(),
            (std::vector<std::string>{
                "/***** MAPILogoff *****/", "LHANDLE lhSession = 90abcdef",
                "ULONG ulUIParam = c0ffee", "FLAGS flFlags = 10",
                "ULONG ulReserved = 20", "/***** MAPILogoff(END) ****/"}));
  EXPECT_EQ(MAPILogoff(0, 0, 0, 0), (ULONG)SUCCESS_SUCCESS);
}

TEST_F(EntryPoints, UnsupportedOperations) {
  char delim[] = ";", paths[] = "C:\\a;C:\\b", names[] = "a;b";
  EXPECT_EQ(MAPISendDocuments(5, delim, paths, names, 6),
            (ULONG)MAPI_E_NOT_SUPPORTED);
  EXPECT_EQ(
      Frame(),
      (std::vector<std::string>{
          "/***** MAPISendDocuments *****/", "LPTSTR lpszDelimChar = ';'",
          "LPTSTR lpszFullPaths = 'C:\\a;C:\\b'",
          "LPTSTR lpszFileNames = 'a;b'", "ULONG ulUIParam = 5",
          "ULONG ulReserved = 6", "/***** MAPISendDocuments(END) ****/"}));
  EXPECT_EQ(MAPISendDocuments(0, NULL, NULL, NULL, 0),
            (ULONG)MAPI_E_NOT_SUPPORTED);
  EXPECT_EQ(Frame().size(), 4u);
  EXPECT_EQ(TestCtl_ProcessesStarted(), 0u) << "no mail client started";

  char type[] = "IPM", seed[] = "seed", found[64] = "previous";
  EXPECT_EQ(MAPIFindNext(7, 8, type, seed, 9, 10, found),
            (ULONG)MAPI_E_NOT_SUPPORTED);
  EXPECT_STREQ(found, "previous") << "the result buffer is never written";
  EXPECT_EQ(
      Frame(),
      (std::vector<std::string>{
          "/***** MAPIFindNext *****/", "LHANDLE lhSession = 7",
          "LPTSTR lpszMessageType = 'IPM'", "LPTSTR lpszSeedMessageID = 'seed'",
          "LPTSTR lpszMessageID = 'previous'", "ULONG ulUIParam = 8",
          "FLAGS flFlags = 9", "ULONG ulReserved = a",
          "/***** MAPIFindNext(END) ****/"}));
  // A result buffer without a terminated text is read no further than the
  // size Simple MAPI lets the caller give: 64, or 512 with MAPI_LONG_MSGID.
  // Each buffer ends where an unreadable page begins.
  long page = sysconf(_SC_PAGESIZE);
  char *pages = (char *)mmap(NULL, 2 * page, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(pages, MAP_FAILED);
  ASSERT_EQ(mprotect(pages + page, page, PROT_NONE), 0);
  struct {
    FLAGS flags;
    int size;
    size_t shown; // a trace line shows at most 456 characters of it
  } buffers[] = {{0, 64, 64}, {MAPI_LONG_MSGID, 512, 456}};
  for (const auto &b : buffers) {
    memset(pages, 'x', page); // data in front of the buffer is not its own
    char *raw = pages + page - b.size;
    memset(raw, 'r', b.size);
    EXPECT_EQ(MAPIFindNext(0, 0, NULL, NULL, b.flags, 0, raw),
              (ULONG)MAPI_E_NOT_SUPPORTED);
    EXPECT_EQ(Frame()[2], "LPTSTR lpszMessageID = '" +
                              std::string(b.shown, 'r') +
                              (b.shown == (size_t)b.size ? "'" : ""));
  }
  // Data behind a short buffer stays out of the log.
  char beside[100];
  memset(beside, 's', sizeof beside);
  beside[99] = 0;
  MAPIFindNext(0, 0, NULL, NULL, 0, 0, beside);
  EXPECT_EQ(Frame()[2],
            "LPTSTR lpszMessageID = '" + std::string(64, 's') + "'");
  munmap(pages, 2 * page);

  MapiMessage *keep = (MapiMessage *)0x5;
  char id[] = "id-1";
  EXPECT_EQ(MAPIReadMail(1, 2, id, 3, 4, &keep), (ULONG)MAPI_E_NOT_SUPPORTED);
  EXPECT_EQ(keep, (MapiMessage *)0x5) << "lppMessage left as the caller set it";
  EXPECT_EQ(Frame(), (std::vector<std::string>{
                         "/***** MAPIReadMail *****/", "LHANDLE lhSession = 1",
                         "LPTSTR lpszMessageID = 'id-1'", "ULONG ulUIParam = 2",
                         "FLAGS flFlags = 3", "ULONG ulReserved = 4",
                         "/***** MAPIReadMail(END) ****/"}));
  EXPECT_EQ(MAPISaveMail(1, 2, (lpMapiMessage)0x10, 3, 4, id),
            (ULONG)MAPI_E_NOT_SUPPORTED);
  EXPECT_STREQ(id, "id-1");
  auto frame = Frame();
  ASSERT_EQ(frame.size(), 7u);
  EXPECT_EQ(frame[0], "/***** MAPISaveMail *****/");
  EXPECT_EQ(frame[2], "LPTSTR lpszMessageID = 'id-1'");
  EXPECT_EQ(MAPIDeleteMail(1, 2, NULL, 3, 4), (ULONG)MAPI_E_NOT_SUPPORTED);
  EXPECT_EQ(Frame(),
            (std::vector<std::string>{
                "/***** MAPIDeleteMail *****/", "LHANDLE lhSession = 1",
                "ULONG ulUIParam = 2", "FLAGS flFlags = 3",
                "ULONG ulReserved = 4", "/***** MAPIDeleteMail(END) ****/"}));
  EXPECT_EQ(MAPIDetails(kBigHandle, 2, (lpMapiRecipDesc)0x10, 3, 4),
            (ULONG)MAPI_E_NOT_SUPPORTED);
  EXPECT_EQ(Frame(),
            (std::vector<std::string>{
                "/***** MAPIDetails *****/", "LHANDLE lhSession = 90abcdef",
                "ULONG ulUIParam = 2", "FLAGS flFlags = 3",
                "ULONG ulReserved = 4", "/***** MAPIDetails(END) ****/"}));
}

TEST_F(EntryPoints, AddressClearsItsResults) {
  ULONG count = 99;
  lpMapiRecipDesc recips = (lpMapiRecipDesc)0x10;
  char caption[] = "Pick";
  EXPECT_EQ(MAPIAddress(1, 2, caption, 3, (LPSTR)0x20, 4, (lpMapiRecipDesc)0x30,
                        5, 6, &count, &recips),
            (ULONG)MAPI_E_NOT_SUPPORTED);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(recips, nullptr);
  EXPECT_EQ(Frame(), (std::vector<std::string>{
                         "/***** MAPIAddress *****/", "LHANDLE lhSession = 1",
                         "LPTSTR lpszCaption = 'Pick'", "ULONG ulUIParam = 2",
                         "FLAGS flFlags = 5", "ULONG ulReserved = 6",
                         "/***** MAPIAddress(END) ****/"}));
  EXPECT_EQ(MAPIAddress(0, 0, NULL, 0, NULL, 0, NULL, 0, 0, NULL, NULL),
            (ULONG)MAPI_E_NOT_SUPPORTED)
      << "NULL result pointers are tolerated";
}

TEST_F(EntryPoints, ResolveNameBuildsOneBlockThatFreeBufferReleases) {
  char name[] = "Ann Lee <ann@x.org>";
  lpMapiRecipDesc recip = NULL;
  unsigned long allocs = TestCtl_Allocs();
  EXPECT_EQ(MAPIResolveName(kBigHandle, 1, name, 2, 3, &recip),
            (ULONG)SUCCESS_SUCCESS);
  ASSERT_NE(recip, nullptr);
  EXPECT_EQ(TestCtl_Allocs(), allocs + 1) << "one block";
  EXPECT_EQ(recip->ulReserved, 0u);
  EXPECT_EQ(recip->ulRecipClass, (ULONG)MAPI_TO);
  EXPECT_EQ(recip->lpszName, (LPSTR)(recip + 1))
      << "the copy right behind the record";
  EXPECT_EQ(recip->lpszAddress, recip->lpszName) << "one copy";
  EXPECT_STREQ(recip->lpszName, name);
  EXPECT_NE(recip->lpszName, name);
  EXPECT_EQ(recip->ulEIDSize, 0u);
  EXPECT_EQ(recip->lpEntryID, nullptr);
  EXPECT_EQ(Frame(),
            (std::vector<std::string>{
                "/***** MAPIResolveName *****/", "LHANDLE lhSession = 90abcdef",
                "LPTSTR lpszName = 'Ann Lee <ann@x.org>'",
                "ULONG ulUIParam = 1", "FLAGS flFlags = 2",
                "ULONG ulReserved = 3", "/***** MAPIResolveName(END) ****/"}));
  EXPECT_EQ(MAPIFreeBuffer(recip), (ULONG)SUCCESS_SUCCESS);
  EXPECT_EQ(Frame(),
            (std::vector<std::string>{"/***** MAPIFreeBuffer *****/",
                                      "LPVOID pv  = " + Hex((uintptr_t)recip),
                                      "/***** MAPIFreeBuffer(END) ****/"}));
  EXPECT_EQ(TestCtl_LiveBlocks(), liveBlocksAtStart_)
      << "record and name freed together";
}

TEST_F(EntryPoints, ResolveNameEdgeCases) {
  char empty[] = "";
  lpMapiRecipDesc recip = NULL;
  EXPECT_EQ(MAPIResolveName(0, 0, empty, 0, 0, &recip), (ULONG)SUCCESS_SUCCESS);
  ASSERT_NE(recip, nullptr);
  EXPECT_STREQ(recip->lpszName, "");
  EXPECT_EQ(recip->lpszAddress, recip->lpszName);
  MAPIFreeBuffer(recip);
  Frame();

  recip = (lpMapiRecipDesc)0x99;
  EXPECT_EQ(MAPIResolveName(0, 0, NULL, 0, 0, &recip),
            (ULONG)MAPI_E_INVALID_RECIPS);
  EXPECT_EQ(recip, (lpMapiRecipDesc)0x99) << "untouched";
  EXPECT_EQ(Frame().size(), 6u);

  TestCtl_FailAlloc(1);
  char name[] = "n";
  EXPECT_EQ(MAPIResolveName(0, 0, name, 0, 0, &recip), (ULONG)MAPI_E_FAILURE);
  EXPECT_EQ(recip, nullptr);
  EXPECT_EQ(MAPIResolveName(0, 0, name, 0, 0, NULL), (ULONG)SUCCESS_SUCCESS)
      << "no place for the block: nothing kept";

  EXPECT_EQ(MAPIFreeBuffer(NULL), (ULONG)SUCCESS_SUCCESS);
  auto frame = Frame();
  ASSERT_EQ(frame.size(), 17u);
  EXPECT_EQ(frame[15], "LPVOID pv  = 0");
}

TEST_F(EntryPoints, ResultsAndStoresAreTheSameWithTheLogOff) {
  g_traceState.level = 0;
  LHANDLE session = 0;
  EXPECT_EQ(MAPILogon(0, NULL, NULL, 0, 0, &session), 0u);
  EXPECT_EQ(session, 1u);
  char name[] = "x";
  lpMapiRecipDesc recip = NULL;
  EXPECT_EQ(MAPIResolveName(0, 0, name, 0, 0, &recip), 0u);
  ASSERT_NE(recip, nullptr);
  EXPECT_STREQ(recip->lpszAddress, "x");
  EXPECT_EQ(MAPIFreeBuffer(recip), 0u);
  ULONG count = 5;
  EXPECT_EQ(MAPIAddress(0, 0, NULL, 0, NULL, 0, NULL, 0, 0, &count, NULL),
            (ULONG)MAPI_E_NOT_SUPPORTED);
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(LogLines().empty());
}

} // namespace
