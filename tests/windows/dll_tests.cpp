// qvmapi.dll loaded with LoadLibraryA, as a host application loads it: the
// export table, the resources, the hand-off to a real client process, and
// the trace log in the real %APPDATA%.
#include <gtest/gtest.h>

#include <malloc.h>
#include <stdio.h>
#include <string.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "tests/support/first_example.h"
#include "tests/support/line_reader.h"
#include "tests/support/logon_frame.h"
#include "tests/support/soak.h"
#include "tests/windows/wine_support.h"

namespace {

const char *const kExports[] = {
    "MAPIAddress",  "MAPIDeleteMail",    "MAPIDetails",  "MAPIFindNext",
    "MAPILogoff",   "MAPILogon",         "MAPIReadMail", "MAPIResolveName",
    "MAPISaveMail", "MAPISendDocuments", "MAPISendMail", "MAPIFreeBuffer",
    "MAPISendMailW"};
const int kExportCount = 13;

class Dll : public ::testing::Test {
protected:
  void SetUp() override {
    SetLogLevel(NULL);
    SetClientPath(NULL);
    EmptyTraceFolder();
  }
  void TearDown() override {
    Unload();
    SetLogLevel(NULL);
    SetClientPath(NULL);
    EmptyTraceFolder();
  }
  void Load() {
    dll_ = LoadLibraryA("qvmapi.dll");
    ASSERT_NE(dll_, nullptr) << "LoadLibraryA: error " << GetLastError();
  }
  void Unload() {
    if (dll_) {
      EXPECT_TRUE(FreeLibrary(dll_));
      dll_ = NULL;
    }
  }
  template <typename F> F Get(const char *name) {
    return (F)(void *)GetProcAddress(dll_, name);
  }
  std::string StandIn() const {
    return ProgramFolder() + "stand_in_client.exe";
  }
  std::string LogFile(int n = 1) const {
    char name[32];
    snprintf(name, sizeof name, "\\MAPI_%05x.LOG", n);
    return TraceFolder() + name;
  }
  // The messages of the log, each line without its 32-character prefix.
  std::vector<std::string> Messages(int n = 1) {
    bool ended;
    auto lines = SplitCrLf(ReadWholeFile(LogFile(n)), &ended);
    EXPECT_TRUE(ended);
    std::vector<std::string> out;
    for (auto &l : lines)
      out.push_back(l.size() >= 32 ? l.substr(32) : "<short>" + l);
    return out;
  }
  HMODULE dll_ = NULL;
};

TEST_F(Dll, EveryExportByNameAndByOrdinal) {
  Load();
  for (int i = 0; i < kExportCount; i++) {
    FARPROC byName = GetProcAddress(dll_, kExports[i]);
    FARPROC byOrdinal = GetProcAddress(dll_, MAKEINTRESOURCEA(i + 1));
    EXPECT_NE(byName, nullptr) << kExports[i];
    EXPECT_EQ(byName, byOrdinal) << kExports[i] << " has ordinal " << i + 1;
  }
  EXPECT_EQ(GetProcAddress(dll_, MAKEINTRESOURCEA(14)), nullptr)
      << "no ordinal 14";
  EXPECT_EQ(GetProcAddress(dll_, "DllMain"), nullptr)
      << "nothing else exported";
}

std::string VersionString(const std::vector<char> &info, const char *name) {
  char path[128];
  snprintf(path, sizeof path, "\\StringFileInfo\\100904b0\\%s", name);
  char *value = NULL;
  UINT size = 0;
  if (!VerQueryValueA(info.data(), path, (void **)&value, &size) || !value)
    return "<missing>";
  return value;
}

TEST_F(Dll, VersionBlock) {
  std::string path = ProgramFolder() + "qvmapi.dll";
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO *fixed = NULL;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", (void **)&fixed, &len));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00030001u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000006u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00070000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
  EXPECT_EQ(fixed->dwFileType, (DWORD)VFT_DLL);
  EXPECT_EQ(VersionString(info, "CompanyName"), "Quorvantile Incorporated");
  EXPECT_EQ(VersionString(info, "FileDescription"), "qvmapi");
  EXPECT_EQ(VersionString(info, "InternalName"), "qvmapi");
  EXPECT_EQ(VersionString(info, "OriginalFilename"), "qvmapi.dll");
  EXPECT_EQ(VersionString(info, "ProductName"), "Quorvantile Brindleway");
  EXPECT_EQ(VersionString(info, "FileVersion"), "3, 1, 0, 6");
  EXPECT_EQ(VersionString(info, "ProductVersion"), "7, 0, 0, 0");
  EXPECT_NE(VersionString(info, "LegalCopyright").find("Quorvantile"),
            std::string::npos);
  WORD *translation = NULL;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                             (void **)&translation, &len));
  EXPECT_EQ(translation[0], 0x1009) << "English (Canada)";
  EXPECT_EQ(translation[1], 1200) << "Unicode";
}

TEST_F(Dll, IconGroupAndManifest) {
  HMODULE image = LoadLibraryExA("qvmapi.dll", NULL, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(image, nullptr);
  HRSRC group = FindResourceA(image, "IDI_QVMAILCLIENT", (LPCSTR)RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  const BYTE *dir = (const BYTE *)LockResource(LoadResource(image, group));
  ASSERT_NE(dir, nullptr);
  EXPECT_EQ(*(const WORD *)(dir + 4), 1) << "a single image";
  EXPECT_EQ(dir[6], 16) << "16 wide";
  EXPECT_EQ(dir[7], 16) << "16 high";
  EXPECT_EQ(dir[8], 16) << "16 colours";
  EXPECT_EQ(*(const WORD *)(dir + 12), 4) << "4 bits per pixel";
  HRSRC manifest =
      FindResourceA(image, MAKEINTRESOURCEA(2), (LPCSTR)RT_MANIFEST);
  ASSERT_NE(manifest, nullptr);
  std::string text((const char *)LockResource(LoadResource(image, manifest)),
                   SizeofResource(image, manifest));
  EXPECT_NE(text.find("urn:schemas-microsoft-com:asm.v1"), std::string::npos);
  EXPECT_NE(text.find("manifestVersion=\"1.0\""), std::string::npos);
  EXPECT_EQ(FindResourceA(image, MAKEINTRESOURCEA(1), (LPCSTR)RT_MANIFEST),
            nullptr);
  EXPECT_EQ(FindResourceA(image, MAKEINTRESOURCEA(1), (LPCSTR)RT_DIALOG),
            nullptr);
  FreeLibrary(image);
}

TEST_F(Dll, AHostSessionRunsWithoutAnError) {
  SetClientPath(StandIn().c_str());
  std::string folder = NewClientFolder("session", 0);
  Load();
  LHANDLE session = 0;
  ASSERT_EQ(
      Get<LogonFn>("MAPILogon")(0, NULL, NULL, MAPI_LOGON_UI, 0, &session), 0u);
  lpMapiRecipDesc ann = NULL, bob = NULL;
  ASSERT_EQ(Get<ResolveNameFn>("MAPIResolveName")(
                session, 0, (LPSTR) "ann@x.org", 0, 0, &ann),
            0u);
  ASSERT_EQ(Get<ResolveNameFn>("MAPIResolveName")(
                session, 0, (LPSTR) "bob@x.org", 0, 0, &bob),
            0u);
  ann->ulRecipClass = MAPI_TO; // a host may adjust the class of its copy
  MapiRecipDesc recips[2] = {*ann, *bob};
  recips[1].ulRecipClass = MAPI_CC;
  MapiMessage msg = {};
  msg.lpszSubject = (LPSTR) "Hello";
  msg.nRecipCount = 2;
  msg.lpRecips = recips;
  EXPECT_EQ(Get<SendMailFn>("MAPISendMail")(session, 0, &msg, MAPI_DIALOG, 0),
            0u);
  EXPECT_EQ(Get<FreeBufferFn>("MAPIFreeBuffer")(ann), 0u);
  EXPECT_EQ(Get<FreeBufferFn>("MAPIFreeBuffer")(bob), 0u);
  EXPECT_EQ(Get<LogoffFn>("MAPILogoff")(session, 0, 0, 0), 0u);
  auto records = ClientRecords(folder);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], "-Subject Hello -To ann@x.org -Cc bob@x.org");
}

TEST_F(Dll, TheClientGetsExactlyTheLineAndTheCallWaitsForIt) {
  SetClientPath(StandIn().c_str());
  std::string folder = NewClientFolder("wait", 1000);
  Load();
  FirstExample example;
  DWORD start = GetTickCount();
  EXPECT_EQ(Get<SendMailFn>("MAPISendMail")(0, 0, &example.msg, 0, 0), 0u);
  DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed + 16, 1000u)
      << "MAPISendMail returned before the client exited";
  WIN32_FIND_DATAA found;
  HANDLE done = FindFirstFileA((folder + "\\client-*.done").c_str(), &found);
  EXPECT_NE(done, INVALID_HANDLE_VALUE)
      << "the client had not finished when the call returned";
  if (done != INVALID_HANDLE_VALUE)
    FindClose(done);
  auto records = ClientRecords(folder);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], FIRST_EXAMPLE_LINE);
  ParsedLine parsed = ReadCommandLine(records[0]);
  EXPECT_TRUE(parsed.ok) << parsed.error;
  // A 32-bit host sees SysWOW64 where it names System32 again once the
  // client is started: its own system files, of its own machine.
  char kernel32[MAX_PATH + 16];
  UINT n = GetSystemDirectoryA(kernel32, MAX_PATH);
  lstrcpynA(kernel32 + n, "\\kernel32.dll", 16);
  const char *image = (const char *)GetModuleHandleA(NULL);
  std::string file = ReadWholeFile(kernel32), self(image, 4096);
  auto machine = [](const std::string &pe) {
    DWORD nt = pe.size() > 0x40 ? *(const DWORD *)&pe[0x3C] : 0;
    return nt && nt + 6 < pe.size() ? *(const WORD *)&pe[nt + 4] : 0;
  };
  EXPECT_EQ(machine(file), machine(self))
      << kernel32 << " after the send is not this process's own";
}

TEST_F(Dll, FailuresOfTheHandOff) {
  std::string folder = NewClientFolder("fail", 0);
  Load();
  FirstExample example;
  SendMailFn send = Get<SendMailFn>("MAPISendMail");
  EXPECT_EQ(send(0, 0, &example.msg, 0, 0), (ULONG)MAPI_E_FAILURE)
      << "no registration";
  SetClientPath((ProgramFolder() + "no_such_client.exe").c_str());
  EXPECT_EQ(send(0, 0, &example.msg, 0, 0), (ULONG)MAPI_E_FAILURE)
      << "missing program";
  SetClientPath(("\"" + StandIn() + "\"").c_str());
  EXPECT_EQ(send(0, 0, &example.msg, 0, 0), (ULONG)MAPI_E_FAILURE)
      << "quoted path";
  SetClientPath((StandIn() + " -x").c_str());
  EXPECT_EQ(send(0, 0, &example.msg, 0, 0), (ULONG)MAPI_E_FAILURE)
      << "path with arguments";
  EXPECT_TRUE(ClientRecords(folder).empty()) << "nothing was started";
}

void WriteFileText(const std::string &path, const std::string &text) {
  HANDLE h =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  DWORD written = 0;
  WriteFile(h, text.data(), (DWORD)text.size(), &written, NULL);
  CloseHandle(h);
}

bool Exists(const std::string &path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs a command line to its end; its exit code.
DWORD RunToEnd(std::string line) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &si,
                      &pi))
    return 0xFFFFFFFFu;
  WaitForSingleObject(pi.hProcess, 60000);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

// An attachment the client could not read stops the send before anything
// starts, with Simple MAPI's answers, from every entry: 11 for a path that
// names no file (a folder included), 12 for a file that does not open for
// reading with every sharing mode. A file the host still writes with
// FILE_SHARE_READ passes, and so does a path in double quotes that names a
// file without them (the line keeps the quotes). A machine without a
// client says so (2) whatever the attachments.
TEST_F(Dll, AttachmentsTheClientCannotReadStartNothing) {
  std::string dir = ProgramFolder() + "attachments";
  CreateDirectoryA(dir.c_str(), NULL);
  std::string held = dir + "\\held.txt", written = dir + "\\written.txt";
  WriteFileText(held, "h");
  WriteFileText(written, "w");
  HANDLE holding = CreateFileA(held.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                               NULL, OPEN_EXISTING, 0, NULL);
  HANDLE writing = CreateFileA(written.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                               NULL, OPEN_EXISTING, 0, NULL);
  ASSERT_NE(holding, INVALID_HANDLE_VALUE);
  ASSERT_NE(writing, INVALID_HANDLE_VALUE);
  Load();
  struct Case {
    const char *what;
    std::vector<std::string> paths;
    ULONG rc;
  } cases[] = {
      {"a missing file", {dir + "\\gone.txt"}, MAPI_E_ATTACHMENT_NOT_FOUND},
      {"one behind a file that exists",
       {written, dir + "\\gone.txt"},
       MAPI_E_ATTACHMENT_NOT_FOUND},
      {"a missing folder",
       {dir + "\\gone\\x.txt"},
       MAPI_E_ATTACHMENT_NOT_FOUND},
      {"a folder", {dir}, MAPI_E_ATTACHMENT_NOT_FOUND},
      {"a relative path naming nothing from here",
       {"gone.txt"},
       MAPI_E_ATTACHMENT_NOT_FOUND},
      {"a file held without sharing", {held}, MAPI_E_ATTACHMENT_OPEN_FAILURE},
      {"a file written with FILE_SHARE_READ", {written}, SUCCESS_SUCCESS},
      {"a file in double quotes", {"\"" + written + "\""}, SUCCESS_SUCCESS},
      // Paths that may be on a server go to a thread of their own.
      {"a \\\\?\\ path to a file", {"\\\\?\\" + written}, SUCCESS_SUCCESS},
      {"a missing \\\\?\\ path",
       {"\\\\?\\" + dir + "\\gone.txt"},
       MAPI_E_ATTACHMENT_NOT_FOUND},
  };
  IsGUIThread(TRUE); // a host's UI thread
  for (const Case &c : cases)
    for (int entry = 0; entry < 3; entry++) {
      SetClientPath(StandIn().c_str());
      std::string folder = NewClientFolder("attach", 0);
      MapiFileDesc files[2] = {};
      MapiFileDescW filesW[2] = {};
      std::wstring wide[2];
      for (size_t i = 0; i < c.paths.size(); i++) {
        files[i].lpszPathName = (LPSTR)c.paths[i].c_str();
        wide[i].assign(c.paths[i].begin(), c.paths[i].end());
        filesW[i].lpszPathName = (PWSTR)wide[i].c_str();
      }
      MapiMessage msg = {};
      msg.ulReserved = entry == 2 ? CP_UTF8 : 0;
      msg.nFileCount = (ULONG)c.paths.size();
      msg.lpFiles = files;
      MapiMessageW msgW = {};
      msgW.nFileCount = msg.nFileCount;
      msgW.lpFiles = filesW;
      auto send = [&] {
        return entry == 1
                   ? Get<SendMailWFn>("MAPISendMailW")(0, 0, &msgW, 0x4, 0)
                   : Get<SendMailFn>("MAPISendMail")(0, 0, &msg, 0x4, 0);
      };
      EXPECT_EQ(send(), c.rc) << c.what << ", entry " << entry;
      auto records = ClientRecords(folder);
      if (c.rc) {
        EXPECT_TRUE(records.empty()) << c.what << ": the client started";
        SetClientPath(NULL);
        EXPECT_EQ(send(), (ULONG)MAPI_E_FAILURE) << c.what << ", no client";
      } else {
        // 0x4, the modeless bit alone, asks for the compose window.
        EXPECT_EQ(records, std::vector<std::string>{" -Attach " + c.paths[0]})
            << c.what << ", entry " << entry;
      }
    }
  CloseHandle(holding);
  CloseHandle(writing);
}

// A batch file handed to CreateProcessA runs under the command interpreter
// with the message on its command line; a relative path is looked up in
// the host's folder; a named stream hides what runs. None is started.
TEST_F(Dll, UnsafeClientRegistrationsStartNothing) {
  std::string folder = NewClientFolder("unsafe", 0);
  std::string wrapper = folder + "\\wrapper.cmd";
  WriteFileText(wrapper, "@\"" + StandIn() + "\" %*\r\n");
  WriteFileText(folder + "\\wrapper.bat", "@\"" + StandIn() + "\" %*\r\n");
  // The wrappers are real: started by the interpreter, they run the client.
  EXPECT_EQ(RunToEnd("cmd /c \"" + wrapper + "\" probe"), 7u);
  ASSERT_EQ(ClientRecords(folder).size(), 1u) << "the wrapper does not work";
  NewClientFolder("unsafe", 0);
  Load();
  SendMailFn send = Get<SendMailFn>("MAPISendMail");
  std::string pwned = folder + "\\pwned.txt";
  std::string subject = "Invoice & echo x> " + pwned + " & rem | %PATH% > " +
                        folder + "\\pwned2.txt";
  MapiMessage msg = {};
  msg.lpszSubject = (LPSTR)subject.c_str();
  std::string drive = StandIn().substr(0, 2);
  ASSERT_TRUE(SetCurrentDirectoryA(ProgramFolder().c_str()));
  const std::string paths[] = {wrapper,
                               folder + "\\WRAPPER.CMD",
                               folder + "\\wrapper.bat",
                               wrapper + ". .",
                               wrapper + "  ",
                               StandIn() + ":x.exe",
                               "stand_in_client.exe",
                               ".\\stand_in_client.exe",
                               StandIn().substr(2),
                               drive + "stand_in_client.exe"};
  for (const std::string &path : paths) {
    SetClientPath(path.c_str());
    EXPECT_EQ(send(0, 0, &msg, 0, 0), (ULONG)MAPI_E_FAILURE) << path;
  }
  EXPECT_TRUE(ClientRecords(folder).empty()) << "something was started";
  EXPECT_FALSE(Exists(pwned)) << "the subject ran as a command";
  EXPECT_FALSE(Exists(folder + "\\pwned2.txt")) << "the subject ran";
  // The same message to a program file is delivered whole.
  SetClientPath(StandIn().c_str());
  EXPECT_EQ(send(0, 0, &msg, MAPI_DIALOG, 0), 0u);
  auto records = ClientRecords(folder);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], "-Subject " + subject);
  EXPECT_FALSE(Exists(pwned));
}

// A host bug (counted arrays that are missing) never crashes the host.
TEST_F(Dll, CountedArraysThatAreMissingStartNothing) {
  SetClientPath(StandIn().c_str());
  std::string folder = NewClientFolder("nullarrays", 0);
  Load();
  SendMailFn send = Get<SendMailFn>("MAPISendMail");
  MapiMessage msg = {};
  msg.lpszSubject = (LPSTR) "s";
  msg.nFileCount = 1;
  EXPECT_EQ(send(0, 0, &msg, 0, 0), (ULONG)MAPI_E_FAILURE);
  msg.nFileCount = 0;
  msg.nRecipCount = 2;
  EXPECT_EQ(send(0, 0, &msg, 0, 0), (ULONG)MAPI_E_FAILURE);
  EXPECT_TRUE(ClientRecords(folder).empty());
}

// The platform takes a command line of up to 32,766 characters.
TEST_F(Dll, ThePlatformsCommandLineLimit) {
  SetClientPath(StandIn().c_str());
  std::string folder = NewClientFolder("limit", 0);
  Load();
  SendMailFn send = Get<SendMailFn>("MAPISendMail");
  std::string body(32766 - 7, 'b'); // " -Body " and the body
  MapiMessage msg = {};
  msg.lpszNoteText = (LPSTR)body.c_str();
  EXPECT_EQ(send(0, 0, &msg, MAPI_DIALOG, 0), 0u);
  auto records = ClientRecords(folder);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].size(), 32766u);
  body += 'b';
  msg.lpszNoteText = (LPSTR)body.c_str();
  EXPECT_EQ(send(0, 0, &msg, MAPI_DIALOG, 0), (ULONG)MAPI_E_FAILURE);
  EXPECT_EQ(ClientRecords(folder).size(), 1u);
}

// A host thread with a small stack (64 KB reserves are common for worker
// threads) sends the longest line of each entry, with the log on: nothing
// of the line or its trace is built on the caller's stack.
struct SmallStackSend {
  SendMailFn send;
  SendMailWFn sendW;
  const std::string *body;
  int entry; // 0 ANSI, 1 UTF-16, 2 UTF-8
  ULONG rc;
};

__attribute__((noinline)) void SendFrom(SmallStackSend *job) {
  std::wstring wide(job->body->begin(), job->body->end());
  MapiMessage msg = {};
  msg.lpszNoteText = (LPSTR)job->body->c_str();
  msg.ulReserved = job->entry == 2 ? CP_UTF8 : 0;
  MapiMessageW msgW = {};
  msgW.lpszNoteText = (PWSTR)wide.c_str();
  job->rc = job->entry == 1 ? job->sendW(0, 0, &msgW, MAPI_DIALOG, 0)
                            : job->send(0, 0, &msg, MAPI_DIALOG, 0);
}

// Wine gives every thread at least 1 MB of stack, whatever was asked: the
// job first takes all of it but 64 KB, what a 64 KB thread has on Windows.
const size_t kSmallStack = 64 * 1024;
DWORD WINAPI SendOnSmallStack(LPVOID context) {
  ULONG_PTR low, high;
  GetCurrentThreadStackLimits(&low, &high);
  char here;
  size_t left = (size_t)((ULONG_PTR)&here - low);
  volatile char *taken =
      (volatile char *)alloca(left > kSmallStack ? left - kSmallStack : 1);
  taken[0] = 0;
  SendFrom((SmallStackSend *)context);
  return 0;
}

TEST_F(Dll, ASixtyFourKilobyteStackSendsTheLongestLines) {
  DWORD one = 1;
  SetLogLevel(&one);
  SetClientPath(StandIn().c_str());
  Load();
  const std::string body(32766 - 7, 'b'); // " -Body " and the body
  for (int entry = 0; entry < 3; entry++) {
    std::string folder = NewClientFolder("stack", 0);
    SmallStackSend job = {Get<SendMailFn>("MAPISendMail"),
                          Get<SendMailWFn>("MAPISendMailW"), &body, entry, 99};
    HANDLE thread = CreateThread(NULL, kSmallStack, SendOnSmallStack, &job,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(job.rc, 0u) << "entry " << entry;
    auto records = ClientRecords(folder);
    ASSERT_EQ(records.size(), 1u) << "entry " << entry;
    EXPECT_TRUE(records[0] == " -Body " + body) << "entry " << entry;
  }
}

TEST_F(Dll, ANullMessageStartsTheClientWithAnEmptyLine) {
  SetClientPath(StandIn().c_str());
  std::string folder = NewClientFolder("null", 0);
  Load();
  EXPECT_EQ(Get<SendMailFn>("MAPISendMail")(0, 0, NULL, 0, 0), 0u);
  auto records = ClientRecords(folder);
  ASSERT_EQ(records.size(), 1u);
  // Windows shows the child the empty text; Wine shows it its quoted path.
  EXPECT_TRUE(records[0].empty() || records[0] == "\"" + StandIn() + "\"")
      << records[0];
}

TEST_F(Dll, ConcurrentSendsEachStartTheirOwnClient) {
  SetClientPath(StandIn().c_str());
  std::string folder = NewClientFolder("threads", 500);
  Load();
  SendMailFn send = Get<SendMailFn>("MAPISendMail");
  const int kThreads = 4;
  std::vector<std::string> subjects;
  for (int t = 0; t < kThreads; t++)
    subjects.push_back("thread " + std::to_string(t));
  std::vector<ULONG> results(kThreads, 99);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++)
    threads.emplace_back([&, t] {
      MapiMessage msg = {};
      msg.lpszSubject = (LPSTR)subjects[t].c_str();
      results[t] = send(0, 0, &msg, MAPI_DIALOG, 0);
    });
  for (auto &th : threads)
    th.join();
  auto records = ClientRecords(folder);
  ASSERT_EQ(records.size(), (size_t)kThreads);
  for (int t = 0; t < kThreads; t++) {
    EXPECT_EQ(results[t], 0u);
    EXPECT_EQ(records[t], "-Subject " + subjects[t]);
  }
}

// The log is made at the first call, not under the loader lock: a library
// that is loaded and never called leaves no file.
TEST_F(Dll, LevelOneMakesTheFileAtTheFirstCallAndHoldsItOpen) {
  DWORD one = 1;
  SetLogLevel(&one);
  Load();
  EXPECT_TRUE(TraceFiles().empty()) << "a log without a call";
  EXPECT_EQ(GetFileAttributesA(TraceFolder().c_str()), INVALID_FILE_ATTRIBUTES)
      << "its folder without a call";
  LHANDLE session = 0x77;
  Get<LogonFn>("MAPILogon")(0x1234, (LPSTR) "Work", (LPSTR) "pw", 0, 0,
                            &session);
  ASSERT_EQ(TraceFiles(), std::vector<std::string>{"MAPI_00001.LOG"});
  HANDLE exclusive = CreateFileA(LogFile().c_str(), GENERIC_READ, 0, NULL,
                                 OPEN_EXISTING, 0, NULL);
  EXPECT_EQ(exclusive, INVALID_HANDLE_VALUE)
      << "the library holds the file open";
  if (exclusive != INVALID_HANDLE_VALUE)
    CloseHandle(exclusive);
  Unload();
  std::vector<std::string> expected =
      ExpectedLogonFrame(0x1234, "Work", 0, &session, 0x77);
  EXPECT_EQ(Messages(), expected);
  bool ended;
  auto lines = SplitCrLf(ReadWholeFile(LogFile()), &ended);
  char tid[16];
  snprintf(tid, sizeof tid, "%08lX", (unsigned long)GetCurrentThreadId());
  for (auto &l : lines)
    EXPECT_EQ(l.substr(20, 12), std::string(tid) + "  I ") << l;
  Load(); // a load that is called takes the next number
  Get<LogoffFn>("MAPILogoff")(0, 0, 0, 0);
  Unload();
  Load(); // one that is not takes none
  Unload();
  EXPECT_EQ(TraceFiles(),
            (std::vector<std::string>{"MAPI_00001.LOG", "MAPI_00002.LOG"}));
}

TEST_F(Dll, LevelTwoLeavesTheFileAndHoldsNoHandle) {
  DWORD two = 2;
  SetLogLevel(&two);
  Load();
  EXPECT_TRUE(TraceFiles().empty());
  Get<LogoffFn>("MAPILogoff")(0, 0, 0, 0);
  ASSERT_EQ(TraceFiles(), std::vector<std::string>{"MAPI_00001.LOG"});
  HANDLE exclusive = CreateFileA(LogFile().c_str(), GENERIC_READ, 0, NULL,
                                 OPEN_EXISTING, 0, NULL);
  EXPECT_NE(exclusive, INVALID_HANDLE_VALUE) << "no handle held between lines";
  CloseHandle(exclusive);
  EXPECT_EQ(Messages().size(), 6u);
  ASSERT_TRUE(DeleteFileA(LogFile().c_str()));
  Get<LogoffFn>("MAPILogoff")(5, 0, 0, 0);
  auto messages = Messages();
  ASSERT_EQ(messages.size(), 6u) << "a deleted log starts again";
  EXPECT_EQ(messages[1], "LHANDLE lhSession = 5");
}

// First calls from many threads at the same moment: one start-up, one log,
// every call's lines in it.
TEST_F(Dll, ConcurrentFirstCallsMakeOneLog) {
  for (DWORD level : {1u, 2u}) {
    EmptyTraceFolder();
    SetLogLevel(&level);
    Load();
    LogoffFn logoff = Get<LogoffFn>("MAPILogoff");
    const int kThreads = 8;
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++)
      threads.emplace_back([&] {
        ready++;
        while (ready.load() < kThreads)
          ; // spin: every thread calls at once
        logoff(0, 0, 0, 0);
      });
    for (auto &th : threads)
      th.join();
    Unload();
    EXPECT_EQ(TraceFiles(), std::vector<std::string>{"MAPI_00001.LOG"})
        << "level " << level;
    EXPECT_EQ(Messages().size(), 6u * kThreads) << "level " << level;
  }
}

TEST_F(Dll, LevelZeroMakesNoFolder) {
  DWORD zero = 0;
  SetLogLevel(&zero);
  Load();
  Get<LogoffFn>("MAPILogoff")(0, 0, 0, 0);
  EXPECT_EQ(GetFileAttributesA(TraceFolder().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Dll, TheFullTraceOfOneSend) {
  DWORD one = 1;
  SetLogLevel(&one);
  SetClientPath(StandIn().c_str());
  NewClientFolder("trace", 0);
  Load();
  FirstExample example;
  EXPECT_EQ(Get<SendMailFn>("MAPISendMail")(0x10, 0x20, &example.msg, 0, 0x30),
            0u);
  Unload();
  auto messages = Messages();
  ASSERT_EQ(messages.size(), 5u + 23u + 1u);
  EXPECT_EQ(messages[0], "/***** MAPISendMail *****/");
  EXPECT_EQ(messages[1], "LHANDLE lhSession = 10");
  EXPECT_EQ(messages[2], "ULONG ulUIParam = 20");
  EXPECT_EQ(messages[3], "FLAGS flFlags = 0");
  EXPECT_EQ(messages[4], "ULONG ulReserved = 30");
  EXPECT_EQ(messages[7], "lpMessage->nFileCount = 2");
  EXPECT_EQ(messages[8],
            "lpMessage->lpFiles[0].lpszPathName = 'D:\\Temp\\q3 -old.xls'");
  EXPECT_EQ(messages[12], "lpMessage->nRecipCount = 5");
  EXPECT_EQ(messages[27], "00004 Address: 'me'");
  EXPECT_EQ(messages[28], "/***** MAPISendMail(END) ****/");
}

TEST_F(Dll, EachProcessGetsItsOwnLogEvenWhenStartedTogether) {
  DWORD one = 1;
  SetLogLevel(&one);
  const char kEvent[] = "qvmapi-test-start";
  HANDLE go = CreateEventA(NULL, TRUE, FALSE, kEvent);
  ASSERT_NE(go, nullptr);
  std::string host = ProgramFolder() + "wintest_host.exe";
  std::vector<PROCESS_INFORMATION> hosts;
  for (int i = 0; i < 6; i++) {
    std::string line = "\"" + host + "\" " + kEvent;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessA(host.c_str(), &line[0], NULL, NULL, FALSE, 0,
                               NULL, NULL, &si, &pi));
    hosts.push_back(pi);
  }
  Sleep(500); // let all six reach the event
  SetEvent(go);
  for (auto &pi : hosts) {
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(go);
  auto files = TraceFiles();
  ASSERT_EQ(files.size(), 6u);
  for (int n = 1; n <= 6; n++) {
    auto messages = Messages(n);
    ASSERT_EQ(messages.size(), 7u + 6u) << "file " << n;
    EXPECT_EQ(messages.front(), "/***** MAPILogon *****/");
    EXPECT_EQ(messages.back(), "/***** MAPILogoff(END) ****/");
  }
}

// The soak through the real DLL, in each log mode.
TEST_F(Dll, SixteenThreadsCallAllTwelveExports) {
  SetClientPath(StandIn().c_str());
  NewClientFolder("soak", 0);
  SetEnvironmentVariableA("QV_CLIENT_DIR", NULL);
  for (DWORD level : {0u, 1u, 2u}) {
    EmptyTraceFolder();
    SetLogLevel(&level);
    Load();
    SoakApi api;
    api.Logon = Get<decltype(api.Logon)>("MAPILogon");
    api.Logoff = Get<decltype(api.Logoff)>("MAPILogoff");
    api.SendMail = Get<decltype(api.SendMail)>("MAPISendMail");
    api.SendDocuments = Get<decltype(api.SendDocuments)>("MAPISendDocuments");
    api.FindNext = Get<decltype(api.FindNext)>("MAPIFindNext");
    api.ReadMail = Get<decltype(api.ReadMail)>("MAPIReadMail");
    api.SaveMail = Get<decltype(api.SaveMail)>("MAPISaveMail");
    api.DeleteMail = Get<decltype(api.DeleteMail)>("MAPIDeleteMail");
    api.FreeBuffer = Get<decltype(api.FreeBuffer)>("MAPIFreeBuffer");
    api.Address = Get<decltype(api.Address)>("MAPIAddress");
    api.Details = Get<decltype(api.Details)>("MAPIDetails");
    api.ResolveName = Get<decltype(api.ResolveName)>("MAPIResolveName");
    SoakResult result = RunSoak(api, 16, 200, 100);
    Unload();
    EXPECT_EQ(result.badResults, 0) << "level " << level;
    EXPECT_EQ(result.sends, 32);
    if (level == 0) {
      EXPECT_TRUE(TraceFiles().empty());
      continue;
    }
    bool ended;
    auto lines = SplitCrLf(ReadWholeFile(LogFile()), &ended);
    EXPECT_TRUE(ended);
    EXPECT_EQ((long)lines.size(), result.lines) << "level " << level;
    long torn = 0;
    for (const std::string &line : lines)
      torn += !IsWholeTraceLine(line);
    EXPECT_EQ(torn, 0) << "level " << level;
  }
}

// Run in a process whose ANSI code page is 932 (LC_ALL=ja_JP.UTF-8): a
// value's dangling lead byte must not take the separator behind it.
class DllUnder932 : public Dll {};

TEST_F(DllUnder932, EverySectionAfterAHalfCharacterArrivesWhole) {
  ASSERT_EQ(GetACP(), 932u) << "run this test with LC_ALL=ja_JP.UTF-8";
  SetClientPath(StandIn().c_str());
  std::string folder = NewClientFolder("dbcs", 0);
  Load();
  MapiFileDesc files[2] = {};
  // The attachments as the client reads them: the lone lead byte left out.
  WriteFileText("C:\\r", "r");
  WriteFileText("C:\\s.txt", "s");
  files[0].lpszPathName = (LPSTR) "C:\\r\x82";
  files[0].lpszFileName = (LPSTR) "n\x82";
  files[1].lpszPathName = (LPSTR) "C:\\s.txt";
  MapiRecipDesc recips[4] = {};
  recips[0].ulRecipClass = MAPI_TO;
  recips[0].lpszAddress = (LPSTR) "a\x82";
  recips[1].ulRecipClass = MAPI_TO;
  recips[1].lpszAddress = (LPSTR) "c@d";
  recips[2].ulRecipClass = MAPI_CC;
  recips[2].lpszName = (LPSTR) "\x83\x40"; // a trail byte 0x40, no at sign
  recips[3].ulRecipClass = MAPI_BCC;
  recips[3].lpszAddress = (LPSTR) "e@f";
  MapiMessage msg = {};
  msg.lpszSubject = (LPSTR) "\x93\xfa\x96\x7b\x82"; // two characters, a half
  msg.lpszNoteText = (LPSTR) "b\x82";
  msg.nFileCount = 2;
  msg.lpFiles = files;
  msg.nRecipCount = 4;
  msg.lpRecips = recips;
  EXPECT_EQ(Get<SendMailFn>("MAPISendMail")(0, 0, &msg, 0, 0), 0u);
  auto records = ClientRecords(folder);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], "-Subject \x93\xfa\x96\x7b -Attach C:\\r -Alias n "
                        "-Attach C:\\s.txt -Body b -To a;c@d -Bcc e@f -Silent");
}

// A traced value cut at the line's 480 characters is cut between
// characters: read in code page 932, every line still ends in CR LF (a lone
// lead byte would take the CR as its second half), for ANSI text and for
// wide text converted for the log.
TEST_F(DllUnder932, ACutTraceLineKeepsItsLineEnd) {
  ASSERT_EQ(GetACP(), 932u) << "run this test with LC_ALL=ja_JP.UTF-8";
  DWORD one = 1;
  SetLogLevel(&one);
  Load();
  // "lpMessage->lpszNoteText = '" takes 27 of the 480: the character at
  // 479 and 480 stands across the cut.
  std::string body = std::string(452, 'x') + "\x93\xfa\x96\x7b";
  MapiMessage msg = {};
  msg.lpszNoteText = (LPSTR)body.c_str();
  Get<SendMailFn>("MAPISendMail")(0, 0, &msg, MAPI_DIALOG, 0);
  std::wstring wideBody = std::wstring(452, L'x') + L"\x65e5\x672c";
  MapiMessageW wide = {};
  wide.lpszNoteText = (PWSTR)wideBody.c_str();
  Get<SendMailWFn>("MAPISendMailW")(0, 0, &wide, MAPI_DIALOG, 0);
  Unload();
  std::string bytes = ReadWholeFile(LogFile());
  std::wstring read(bytes.size() + 1, L'\0');
  read.resize((size_t)MultiByteToWideChar(
      932, 0, bytes.data(), (int)bytes.size(), &read[0], (int)read.size()));
  auto count = [](const auto &text, const auto &crlf) {
    size_t n = 0;
    for (size_t at = text.find(crlf); at != text.npos;
         at = text.find(crlf, at + 2))
      n++;
    return n;
  };
  EXPECT_EQ(count(bytes, std::string("\r\n")), 20u) << "two frames";
  EXPECT_EQ(count(read, std::wstring(L"\r\n")), 20u)
      << "a line lost its CR LF to a half character";
  EXPECT_NE(bytes.find(std::string(452, 'x') + "\r\n"), std::string::npos);
}

// Run under a display (xvfb-run): the host's thread owns visible windows,
// and the call lasts while the mail client runs. It is modal as a dialog
// box is: the host keeps painting, running its timers and answering
// messages (so Windows never counts it as hung), its windows on the calling
// thread are disabled (input to them is refused, not replayed after the
// call), WM_QUIT and messages posted to the thread are kept for after, and
// the enabled state, activation and focus come back. A client that sends
// the host's window a message before it exits does not deadlock.
const UINT kClientAsks = WM_APP + 7;
const UINT kHostPosted = WM_APP + 8;
const UINT kThreadMessage = WM_APP + 9;
const UINT kToTheFront = WM_APP + 10; // as the taskbar or Alt+Tab does
const char kHostClass[] = "QvHostWindow";
const DWORD kClientMs = 1500;

// What the host's windows saw; `during` counts only while a send runs.
struct HostLog {
  LONG asked;
  bool inSend;
  int timers, paints, posted, clicks, keys;
  std::function<void()> onTimer; // run at each tick of the host's timer
};
HostLog g_host;

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
  case kClientAsks:
    InterlockedIncrement(&g_host.asked);
    return 0x1234;
  case kHostPosted:
    g_host.posted += g_host.inSend;
    return 0;
  case kToTheFront:
    SetForegroundWindow(hwnd);
    return GetForegroundWindow() == hwnd;
  case WM_TIMER:
    g_host.timers += g_host.inSend;
    InvalidateRect(hwnd, NULL, FALSE);
    if (g_host.onTimer)
      g_host.onTimer();
    return 0;
  case WM_PAINT: {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    EndPaint(hwnd, &ps);
    g_host.paints += g_host.inSend;
    return 0;
  }
  case WM_LBUTTONDOWN:
    g_host.clicks++;
    return 0;
  case WM_KEYDOWN:
  case WM_CHAR:
  case WM_SYSKEYDOWN:
  case WM_SYSCHAR:
    g_host.keys += g_host.inSend;
    break;
  }
  return DefWindowProcA(hwnd, msg, w, l);
}

// Ends the process if a send has not returned within a minute: a deadlock
// fails the test instead of hanging the run.
DWORD WINAPI Watchdog(LPVOID done) {
  if (WaitForSingleObject((HANDLE)done, 60000) != WAIT_OBJECT_0) {
    fprintf(stderr, "watchdog: a send deadlocked\n");
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
  }
  return 0;
}

template <typename F> auto Guarded(F work) -> decltype(work()) {
  HANDLE done = CreateEventA(NULL, TRUE, FALSE, NULL);
  HANDLE dog = CreateThread(NULL, 0, Watchdog, done, 0, NULL);
  auto result = work();
  SetEvent(done);
  WaitForSingleObject(dog, INFINITE);
  CloseHandle(dog);
  CloseHandle(done);
  return result;
}

// Takes what is in the thread's queue, as a host's loop does: thread
// messages and WM_QUIT are recorded, the rest translated and dispatched.
struct Drained {
  std::vector<WPARAM> threadMessages;
  int quit = -1;
};
Drained Drain(DWORD ms = 200) {
  Drained out;
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG m;
    while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT)
        out.quit = (int)m.wParam;
      else if (!m.hwnd && m.message == kThreadMessage)
        out.threadMessages.push_back(m.wParam);
      else {
        TranslateMessage(&m);
        DispatchMessageA(&m);
      }
    }
    Sleep(10);
  }
  return out;
}

void ClickOn(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  POINT p = {(r.left + r.right) / 2, (r.top + r.bottom) * 3 / 4};
  ClientToScreen(window, &p);
  SetCursorPos(p.x, p.y);
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof(INPUT));
}

// Real key strokes of lower-case letters, through the system's input path.
void Type(const char *letters) {
  for (const char *c = letters; *c; c++) {
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = (WORD)(*c - 'a' + 'A');
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
  }
}

std::string TextOf(HWND window) {
  char text[256] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// The compose window of a stand-in client, once it is in front.
HWND ClientInFront(DWORD ms = 5000) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(20)) {
    HWND w = FindWindowA("QvClientWindow", NULL);
    if (w && GetForegroundWindow() == w)
      return w;
  }
  return NULL;
}

class DllWithWindow : public Dll {
protected:
  void SetUp() override {
    Dll::SetUp();
    g_host = HostLog();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = kHostClass;
    RegisterClassA(&wc);
    SetClientPath(StandIn().c_str());
  }
  void TearDown() override {
    for (HWND w : windows_)
      DestroyWindow(w);
    UnregisterClassA(kHostClass, GetModuleHandleA(NULL));
    g_host = HostLog();
    for (const char *name : {"QV_CLIENT_ENABLED_OF", "QV_CLIENT_WINDOW_MS"})
      SetEnvironmentVariableA(name, NULL);
    Dll::TearDown();
  }
  // A visible top-level window of this thread, shown and idle.
  HWND Window(int x = 10, DWORD style = WS_VISIBLE) {
    HWND w = CreateWindowExA(0, kHostClass, "qvmapi host",
                             WS_OVERLAPPEDWINDOW | style, x, 10, 300, 200, NULL,
                             NULL, GetModuleHandleA(NULL), NULL);
    if (w)
      windows_.push_back(w);
    Drain(50);
    return w;
  }
  // A fixed message through one of the three entries: 0 MAPISendMail, 1
  // MAPISendMailW, 2 MAPISendMail with UTF-8 texts.
  ULONG Send(int entry, ULONG_PTR uiParam) {
    MapiMessage msg = {};
    msg.lpszSubject = (LPSTR) "modal";
    msg.ulReserved = entry == 2 ? CP_UTF8 : 0;
    MapiMessageW msgW = {};
    msgW.lpszSubject = (PWSTR)L"modal";
    return entry == 1
               ? Get<SendMailWFn>("MAPISendMailW")(0, uiParam, &msgW, 0, 0)
               : Get<SendMailFn>("MAPISendMail")(0, uiParam, &msg, 0, 0);
  }
  std::string ClientFile(const std::string &folder, const char *kind) {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\client-*" + kind).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
      return "<none>";
    FindClose(h);
    return ReadWholeFile(folder + "\\" + found.cFileName);
  }
  // A send from the host's window while the user types keys afterMs into
  // the call.
  ULONG SendWhileTyping(HWND window, DWORD afterMs, const char *keys) {
    std::thread typist([=] {
      Sleep(afterMs);
      Type(keys);
    });
    g_host.inSend = true;
    ULONG rc = Guarded([&] { return Send(0, (ULONG_PTR)window); });
    g_host.inSend = false;
    typist.join();
    return rc;
  }
  // The host in front with the focus in an edit box, as a user leaves it.
  HWND EditInFront(HWND window) {
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 5, 5, 120,
                                20, window, NULL, GetModuleHandleA(NULL), NULL);
    SetForegroundWindow(window);
    SetFocus(edit);
    Drain(50);
    return edit;
  }
  std::vector<HWND> windows_;
};

// A click on the host during the call, by the system's own input path, is
// refused; one after the call gets through (so the input path works here).
DWORD WINAPI ClickDuringTheCall(LPVOID window) {
  Sleep(kClientMs / 3);
  ClickOn((HWND)window);
  return 0;
}

TEST_F(DllWithWindow, TheHostStaysAliveAndModalWhileTheClientRuns) {
  HWND window = Window();
  ASSERT_NE(window, nullptr) << "no display? run under xvfb-run";
  HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 5, 5, 80,
                              20, window, NULL, GetModuleHandleA(NULL), NULL);
  Load();
  SetEnvironmentVariableA("QV_CLIENT_ENABLED_OF", kHostClass);
  for (int entry = 0; entry < 3; entry++) {
    SetActiveWindow(window);
    SetFocus(edit);
    ASSERT_EQ(GetFocus(), edit);
    std::string folder = NewClientFolder("modal", kClientMs);
    g_host = HostLog();
    bool quitPosted = false;
    g_host.onTimer = [&] {
      if (g_host.inSend && !quitPosted) {
        quitPosted = true;
        PostQuitMessage(42);
        PostThreadMessageA(GetCurrentThreadId(), kThreadMessage, 4, 0);
      }
    };
    SetTimer(window, 1, 50, NULL);
    PostMessageA(window, kHostPosted, 0, 0);
    for (WPARAM n = 1; n <= 3; n++)
      PostThreadMessageA(GetCurrentThreadId(), kThreadMessage, n, 0);
    HANDLE clicker = CreateThread(NULL, 0, ClickDuringTheCall, window, 0, NULL);
    g_host.inSend = true;
    DWORD start = GetTickCount();
    ULONG rc = Guarded([&] { return Send(entry, (ULONG_PTR)window); });
    DWORD took = GetTickCount() - start;
    g_host.inSend = false;
    KillTimer(window, 1);
    WaitForSingleObject(clicker, 5000);
    CloseHandle(clicker);
    EXPECT_EQ(rc, 0u) << "entry " << entry;
    EXPECT_EQ(ClientRecords(folder),
              std::vector<std::string>{"-Subject modal -Silent"});
    EXPECT_NE(ClientFile(folder, ".done"), "<none>")
        << "returned before the client exited (" << took << " ms)";
    EXPECT_EQ(ClientFile(folder, ".enabled"), "0")
        << "the client saw the host's window enabled, entry " << entry;
    EXPECT_GT(g_host.timers, 5) << "timers stopped during the call";
    EXPECT_GT(g_host.paints, 0) << "painting stopped during the call";
    EXPECT_EQ(g_host.posted, 1) << "a posted message waited for the call";
    EXPECT_TRUE(IsWindowEnabled(window));
    EXPECT_EQ(GetActiveWindow(), window) << "entry " << entry;
    EXPECT_EQ(GetFocus(), edit) << "the focus was not given back";
    Drained after = Drain();
    EXPECT_EQ(after.threadMessages, (std::vector<WPARAM>{1, 2, 3, 4}))
        << "thread messages lost or out of order, entry " << entry;
    EXPECT_EQ(after.quit, 42) << "WM_QUIT was not kept for the host";
    EXPECT_EQ(g_host.clicks, 0) << "a click during the call reached the host";
  }
  ClickOn(window);
  Drain();
  EXPECT_EQ(g_host.clicks, 1) << "a click after the call did not arrive";
}

// Which windows a call disables: ulUIParam's top-level window when it is
// this thread's (a child control counts for it), otherwise every enabled,
// visible top-level window of the thread. A window the host disabled
// itself stays so; hidden windows and other threads' are not touched.
DWORD WINAPI OwnWindowThread(LPVOID out) {
  HWND w = CreateWindowExA(0, "STATIC", "other thread", WS_VISIBLE, 330, 220,
                           300, 240, NULL, NULL, NULL, NULL);
  *(HWND *)out = w;
  MSG m;
  while (GetMessageA(&m, NULL, 0, 0) > 0)
    DispatchMessageA(&m);
  DestroyWindow(w);
  return 0;
}

// A visible window of a thread of its own, which pumps until it goes.
struct OtherThreadsWindow {
  HWND window = NULL;
  DWORD id = 0;
  HANDLE thread;
  OtherThreadsWindow() {
    thread = CreateThread(NULL, 0, OwnWindowThread, &window, 0, &id);
    while (!window)
      Sleep(10);
  }
  ~OtherThreadsWindow() {
    PostThreadMessageA(id, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
  }
};

TEST_F(DllWithWindow, OnlyTheCallersWindowsOnItsThreadAreDisabled) {
  HWND main = Window(10), second = Window(320), selfDisabled = Window(640);
  HWND hidden = Window(10, 0);
  ASSERT_TRUE(main && second && selfDisabled && hidden) << "no display?";
  HWND child = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 5, 5, 80,
                               20, main, NULL, GetModuleHandleA(NULL), NULL);
  EnableWindow(selfDisabled, FALSE);
  OtherThreadsWindow otherThreads;
  HWND other = otherThreads.window;
  Load();
  HWND all[] = {main, second, selfDisabled, hidden, other};
  struct Case {
    const char *what;
    ULONG_PTR uiParam;
    bool during[5];
  } cases[] = {
      {"its own top-level window",
       (ULONG_PTR)main,
       {false, true, false, true, true}},
      {"a child control", (ULONG_PTR)child, {false, true, false, true, true}},
      {"none", 0, {false, false, false, true, true}},
      {"another thread's window",
       (ULONG_PTR)other,
       {false, false, false, true, true}},
      {"no window at all", 0x12345678, {false, false, false, true, true}},
  };
  for (const Case &c : cases) {
    NewClientFolder("which", 300);
    bool seen[5] = {};
    bool probed = false;
    g_host.onTimer = [&] {
      if (g_host.inSend && !probed) {
        probed = true;
        for (int i = 0; i < 5; i++)
          seen[i] = IsWindowEnabled(all[i]) != 0;
      }
    };
    SetTimer(main, 1, 50, NULL);
    g_host.inSend = true;
    EXPECT_EQ(Guarded([&] { return Send(0, c.uiParam); }), 0u) << c.what;
    g_host.inSend = false;
    KillTimer(main, 1);
    ASSERT_TRUE(probed) << c.what;
    for (int i = 0; i < 5; i++)
      EXPECT_EQ(seen[i], c.during[i]) << c.what << ", window " << i;
    bool after[5] = {true, true, false, true, true};
    for (int i = 0; i < 5; i++)
      EXPECT_EQ(IsWindowEnabled(all[i]) != 0, after[i])
          << c.what << ", window " << i << " after the call";
  }
}

// A send from a worker thread whose UI thread waits for it without pumping:
// touching the UI thread's window (EnableWindow sends it WM_ENABLE) would
// hang both. The UI thread's window stays enabled.
struct WorkerSend {
  SendMailFn send;
  ULONG_PTR uiParam;
  ULONG rc;
};

DWORD WINAPI SendFromWorker(LPVOID context) {
  WorkerSend *job = (WorkerSend *)context;
  MapiMessage msg = {};
  msg.lpszSubject = (LPSTR) "from a worker";
  job->rc = job->send(0, job->uiParam, &msg, MAPI_DIALOG, 0);
  return 0;
}

TEST_F(DllWithWindow, AWorkerThreadLeavesTheUiThreadsWindowsAlone) {
  HWND window = Window();
  ASSERT_NE(window, nullptr) << "no display?";
  Load();
  SetEnvironmentVariableA("QV_CLIENT_ENABLED_OF", kHostClass);
  for (ULONG_PTR uiParam : {(ULONG_PTR)window, (ULONG_PTR)0}) {
    std::string folder = NewClientFolder("worker", 300);
    WorkerSend job = {Get<SendMailFn>("MAPISendMail"), uiParam, 99};
    DWORD waited = Guarded([&] {
      HANDLE worker = CreateThread(NULL, 0, SendFromWorker, &job, 0, NULL);
      // Blocked, as a UI thread that joins its worker is: no messages.
      DWORD r = WaitForSingleObject(worker, 30000);
      CloseHandle(worker);
      return r;
    });
    EXPECT_EQ(waited, WAIT_OBJECT_0) << "the worker's send hung";
    EXPECT_EQ(job.rc, 0u);
    EXPECT_EQ(ClientFile(folder, ".enabled"), "1")
        << "a worker disabled the UI thread's window";
    EXPECT_TRUE(IsWindowEnabled(window));
  }
}

// A host timer that sends during another send: both work, the inner one
// leaves the outer's windows disabled, and everything is enabled at the end.
TEST_F(DllWithWindow, ASendNestedInASendWorks) {
  HWND window = Window();
  ASSERT_NE(window, nullptr) << "no display?";
  Load();
  std::string folder = NewClientFolder("nested", kClientMs);
  bool nested = false, enabledAfterInner = true;
  ULONG inner[2] = {99, 99};
  g_host.onTimer = [&] {
    if (g_host.inSend && !nested) {
      nested = true;
      SetEnvironmentVariableA("QV_CLIENT_WAIT_MS", "200");
      inner[0] = Send(1, 0);
      inner[1] = Send(0, (ULONG_PTR)window);
      enabledAfterInner = IsWindowEnabled(window) != 0;
    }
  };
  SetTimer(window, 1, 50, NULL);
  g_host.inSend = true;
  ULONG outer = Guarded([&] { return Send(2, (ULONG_PTR)window); });
  g_host.inSend = false;
  KillTimer(window, 1);
  EXPECT_EQ(outer, 0u);
  EXPECT_EQ(inner[0], 0u) << "a nested send failed";
  EXPECT_EQ(inner[1], 0u) << "a nested send failed";
  EXPECT_FALSE(enabledAfterInner)
      << "the inner send enabled the outer's window";
  EXPECT_TRUE(IsWindowEnabled(window));
  EXPECT_EQ(ClientRecords(folder).size(), 3u);
}

TEST_F(DllWithWindow, AClientThatSendsToTheHostsWindowDoesNotDeadlock) {
  HWND window = Window();
  ASSERT_NE(window, nullptr) << "no display? run under xvfb-run";
  std::string folder = NewClientFolder("window", 200);
  SetEnvironmentVariableA("QV_CLIENT_SEND_TO", kHostClass);
  Load();
  FirstExample example;
  g_host.inSend = true;
  ULONG rc = Guarded([&] {
    return Get<SendMailFn>("MAPISendMail")(0, 0, &example.msg, 0, 0);
  });
  g_host.inSend = false;
  SetEnvironmentVariableA("QV_CLIENT_SEND_TO", NULL);
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(g_host.asked, 1) << "the client's message was handled once";
  EXPECT_EQ(ClientRecords(folder),
            std::vector<std::string>{FIRST_EXAMPLE_LINE});
  EXPECT_EQ(ClientFile(folder, ".sent"), "4660")
      << "the client got the window's answer";
}

const char kSenderDone[] = "qv-window-sender-done";

// Sends the host's window a message from another thread, then tells the
// client, which waits for it.
DWORD WINAPI SendToHost(LPVOID window) {
  SendMessageA((HWND)window, kClientAsks, 0, 0);
  HANDLE done = OpenEventA(EVENT_MODIFY_STATE, FALSE, kSenderDone);
  SetEvent(done);
  CloseHandle(done);
  return 0;
}

// A message sent to the host's thread before the call, which the host had
// already looked at: the wait services it too, or the sender (which the
// client waits for) and the host would both hang until the client gave up.
TEST_F(DllWithWindow, AMessageAlreadyWaitingIsServiced) {
  HWND window = Window();
  ASSERT_NE(window, nullptr) << "no display? run under xvfb-run";
  HANDLE senderDone = CreateEventA(NULL, TRUE, FALSE, kSenderDone);
  std::string folder = NewClientFolder("pending", 0);
  SetEnvironmentVariableA("QV_CLIENT_WAIT_EVENT", kSenderDone);
  Load();
  HANDLE sender = CreateThread(NULL, 0, SendToHost, window, 0, NULL);
  // The host looks at its queue, as GetQueueStatus or a peek that removes
  // nothing does, while the message waits.
  for (int i = 0;
       i < 500 && !(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE);
       i++)
    Sleep(10);
  ASSERT_TRUE(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)
      << "the sender's message is not waiting";
  FirstExample example;
  DWORD start = GetTickCount();
  ULONG rc = Guarded([&] {
    return Get<SendMailFn>("MAPISendMail")(0, 0, &example.msg, 0, 0);
  });
  DWORD took = GetTickCount() - start;
  SetEnvironmentVariableA("QV_CLIENT_WAIT_EVENT", NULL);
  EXPECT_EQ(WaitForSingleObject(sender, 5000), WAIT_OBJECT_0);
  CloseHandle(sender);
  CloseHandle(senderDone);
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(g_host.asked, 1) << "the waiting message was serviced";
  EXPECT_EQ(ClientFile(folder, ".event"), "set")
      << "the sender stayed blocked until the client gave up (" << took
      << " ms)";
}

// Keys typed during the call reach no window the call holds: not the edit
// box that had the focus when it began, nor the host after the user brought
// it to the front while the client's window was open. The host's message
// filter sees the wait's messages, as in a dialog box's loop, and what it
// claims is not dispatched. After the call the focus is back in the edit
// box and the next key lands there.
HHOOK g_filter;
int g_filtered;
LRESULT CALLBACK ClaimHostPosted(int code, WPARAM w, LPARAM l) {
  MSG *m = (MSG *)l;
  if (code == MSGF_DIALOGBOX && m->message == kHostPosted) {
    g_filtered++;
    return TRUE;
  }
  return CallNextHookEx(g_filter, code, w, l);
}

TEST_F(DllWithWindow, KeysTypedDuringTheCallNeverReachTheHost) {
  HWND window = Window();
  ASSERT_NE(window, nullptr) << "no display? run under xvfb-run";
  HWND edit = EditInFront(window);
  Load();
  g_filter = SetWindowsHookExA(WH_MSGFILTER, ClaimHostPosted, NULL,
                               GetCurrentThreadId());
  // A silent send: the keys come while the client runs without a window.
  NewClientFolder("keys", kClientMs);
  PostMessageA(window, kHostPosted, 0, 0);
  EXPECT_EQ(SendWhileTyping(window, kClientMs / 3, "q"), 0u);
  UnhookWindowsHookEx(g_filter);
  EXPECT_EQ(g_filtered, 1) << "the message filter was not asked";
  EXPECT_EQ(g_host.posted, 0) << "a message the filter claimed was handled";
  EXPECT_EQ(TextOf(edit), "") << "a key typed during the call reached it";
  EXPECT_EQ(g_host.keys, 0);
  EXPECT_EQ(GetFocus(), edit) << "the focus did not come back";
  Drain(); // a posted message the filter claimed is gone for good
  Type("z");
  Drain();
  EXPECT_EQ(TextOf(edit), "z") << "a key after the call did not arrive";

  // The user brings the held host to the front over the compose window.
  std::string folder = NewClientFolder("alt-tab", 0);
  SetEnvironmentVariableA("QV_CLIENT_WINDOW_MS", "2500");
  bool clientInFront = false, hostInFront = false;
  std::thread user([&] {
    clientInFront = ClientInFront() != NULL;
    // Wine may give the foreground back to the client's window while the
    // window settles; the keys come right after the host is in front.
    for (int i = 0; i < 20 && !hostInFront; i++, Sleep(100))
      hostInFront = SendMessageA(window, kToTheFront, 0, 0) != 0;
    Type("abc");
  });
  g_host.inSend = true;
  EXPECT_EQ(Guarded([&] { return Send(1, (ULONG_PTR)window); }), 0u);
  g_host.inSend = false;
  user.join();
  EXPECT_TRUE(clientInFront && hostInFront) << clientInFront << hostInFront;
  EXPECT_EQ(TextOf(edit), "z");
  EXPECT_EQ(g_host.keys, 0) << "keys reached the host brought to the front";
  EXPECT_EQ(ClientRecords(folder).size(), 1u);
}

// The host had the foreground, the client's compose window took it and
// closed: the host is in front again with the focus where it was, and the
// next key reaches it, also when the system gave the foreground to another
// application as the client's window went (as Windows does, the host being
// still disabled then). A user who went to another application while the
// compose window was open stays there.
struct OtherApplication {
  PROCESS_INFORMATION process = {};
  HWND window = NULL;
  // Another stand-in, showing a window with this title; it takes the
  // foreground frontAfterMs after the client's compose window shows, never
  // when that is 0.
  OtherApplication(const std::string &program, const char *title,
                   DWORD frontAfterMs) {
    SetEnvironmentVariableA("QV_CLIENT_DIR", NULL);
    SetEnvironmentVariableA("QV_CLIENT_TITLE", title);
    SetEnvironmentVariableA("QV_CLIENT_FRONT_CUE", "compose");
    SetEnvironmentVariableA("QV_CLIENT_WINDOW_MS", "8000");
    SetEnvironmentVariableA(
        "QV_CLIENT_FRONT_AFTER_MS",
        std::to_string(frontAfterMs ? frontAfterMs : 9000).c_str());
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::string command = "\"" + program + "\"";
    if (CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &si,
                       &process))
      for (int i = 0; i < 500 && !window; i++, Sleep(10))
        window = FindWindowA("QvClientWindow", title);
    for (const char *name :
         {"QV_CLIENT_TITLE", "QV_CLIENT_FRONT_AFTER_MS", "QV_CLIENT_FRONT_CUE"})
      SetEnvironmentVariableA(name, NULL);
  }
  ~OtherApplication() {
    if (process.hProcess) {
      TerminateProcess(process.hProcess, 0);
      WaitForSingleObject(process.hProcess, 5000);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
  }
};

TEST_F(DllWithWindow, TheHostComesBackToTheFrontUnlessTheUserLeftIt) {
  HWND window = Window();
  ASSERT_NE(window, nullptr) << "no display? run under xvfb-run";
  HWND edit = EditInFront(window);
  Load();
  struct Case {
    const char *what, *other;
    DWORD otherFrontAfterMs;
    const char *clientGoesTo;
    bool hostInFront;
  } cases[] = {
      {"nothing else", NULL, 0, NULL, true},
      {"the system picks another application", "bystander", 0, "bystander",
       true},
      {"the user went to another application", "elsewhere", 1000, NULL, false},
  };
  for (const Case &c : cases) {
    std::unique_ptr<OtherApplication> other;
    if (c.other) {
      other.reset(
          new OtherApplication(StandIn(), c.other, c.otherFrontAfterMs));
      ASSERT_NE(other->window, nullptr) << c.what;
      // The new window's own activation may land late (a slow display, or
      // a 32-bit host under emulation): the host is brought back until it
      // stays in front.
      for (int held = 0, tries = 0; held < 5 && tries < 200; tries++) {
        held = GetForegroundWindow() == window ? held + 1 : 0;
        if (!held)
          SetForegroundWindow(window);
        Drain();
        Sleep(20);
      }
      SetFocus(edit);
    }
    std::string folder = NewClientFolder("front", 0);
    SetEnvironmentVariableA("QV_CLIENT_WINDOW_MS", "2500");
    SetEnvironmentVariableA("QV_CLIENT_GONE_TO", c.clientGoesTo);
    EXPECT_EQ(Guarded([&] { return Send(2, (ULONG_PTR)window); }), 0u);
    SetEnvironmentVariableA("QV_CLIENT_GONE_TO", NULL);
    EXPECT_EQ(ClientFile(folder, ".front"), c.hostInFront ? "1" : "0")
        << c.what << ": the client's window was not in front at the end";
    HWND front = GetForegroundWindow();
    if (!c.hostInFront) {
      EXPECT_EQ(front, other->window)
          << c.what << ": the host took the foreground from the user";
      continue;
    }
    EXPECT_EQ(front, window) << c.what << ": the host is not in front";
    EXPECT_EQ(GetActiveWindow(), window) << c.what;
    EXPECT_EQ(GetFocus(), edit) << c.what;
    SetWindowTextA(edit, "");
    Type("k");
    Drain();
    EXPECT_EQ(TextOf(edit), "k") << c.what << ": the next key went nowhere";
  }
}

// A window the host opened during the call, which the user went to and
// typed in, keeps the activation and the focus when the client exits.
TEST_F(DllWithWindow, AWindowTheUserWentToKeepsTheFocus) {
  HWND window = Window();
  ASSERT_NE(window, nullptr) << "no display? run under xvfb-run";
  EditInFront(window);
  Load();
  NewClientFolder("own", kClientMs);
  HWND reminder = NULL, note = NULL;
  bool opened = false;
  g_host.onTimer = [&] {
    if (g_host.inSend && !opened) {
      opened = true;
      reminder = Window(340);
      note = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 5, 5, 120,
                             20, reminder, NULL, GetModuleHandleA(NULL), NULL);
      SetForegroundWindow(reminder);
      SetFocus(note);
    }
  };
  SetTimer(window, 1, 50, NULL);
  EXPECT_EQ(SendWhileTyping(window, kClientMs / 2, "r"), 0u);
  KillTimer(window, 1);
  ASSERT_NE(reminder, nullptr);
  EXPECT_EQ(TextOf(note), "r") << "a window opened during the call was held";
  EXPECT_EQ(GetActiveWindow(), reminder) << "the user's window lost it";
  EXPECT_EQ(GetFocus(), note);
  EXPECT_TRUE(IsWindowEnabled(window));
}

// An add-in's pane: a window of the calling thread inside another thread's
// frame. The pane is held during the call; the frame, another thread's, is
// never touched.
TEST_F(DllWithWindow, AnAddInPaneInAnotherThreadsFrameIsHeld) {
  OtherThreadsWindow frameThread;
  HWND frame = frameThread.window;
  HWND pane =
      CreateWindowExA(0, kHostClass, "pane", WS_CHILD | WS_VISIBLE, 0, 0, 200,
                      150, frame, NULL, GetModuleHandleA(NULL), NULL);
  ASSERT_NE(pane, nullptr) << "no display? run under xvfb-run";
  Load();
  NewClientFolder("pane", kClientMs);
  bool paneEnabled = true, frameEnabled = false;
  g_host.onTimer = [&] {
    if (g_host.inSend) {
      paneEnabled = IsWindowEnabled(pane) != 0;
      frameEnabled = IsWindowEnabled(frame) != 0;
    }
  };
  SetTimer(pane, 1, 50, NULL);
  HANDLE clicker = CreateThread(NULL, 0, ClickDuringTheCall, pane, 0, NULL);
  g_host.inSend = true;
  EXPECT_EQ(Guarded([&] { return Send(0, (ULONG_PTR)pane); }), 0u);
  g_host.inSend = false;
  KillTimer(pane, 1);
  WaitForSingleObject(clicker, 5000);
  CloseHandle(clicker);
  EXPECT_FALSE(paneEnabled) << "the pane was not held";
  EXPECT_TRUE(frameEnabled) << "another thread's frame was disabled";
  EXPECT_EQ(g_host.clicks, 0) << "a click during the call reached the pane";
  EXPECT_TRUE(IsWindowEnabled(pane));
  ClickOn(pane);
  Drain();
  EXPECT_EQ(g_host.clicks, 1) << "a click after the call did not arrive";
  DestroyWindow(pane);
}

// MAPISendMailW: UTF-16 from the host to the mail client's command line,
// called directly and through the system's Simple MAPI stub (mapi32.dll),
// which loads the DLL that the default mail client's DLLPath names.

class DllWide : public Dll {
protected:
  void SetUp() override {
    Dll::SetUp();
    previousDefault_ = MailValue("");
  }
  void TearDown() override {
    if (stub_)
      FreeLibrary(stub_);
    SetMailValue("", previousDefault_.c_str());
    SetMailValue(QV_CLIENT_NAME "\\DLLPath", NULL);
    Dll::TearDown();
  }
  static std::string MailValue(const char *name) {
    char value[MAX_PATH] = {0};
    DWORD size = sizeof value - 1;
    RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail", name,
                 RRF_RT_REG_SZ, NULL, value, &size);
    return value;
  }
  // name: "" for the default client, "Outlook Web Access\DLLPath". In the
  // 64-bit view and in this process's own: one key on Windows, two where a
  // system redirects SOFTWARE\Clients for 32-bit processes, as Wine does
  // (its 32-bit mapi32.dll reads the redirected one).
  static void SetMailValue(const char *name, const char *value) {
    std::string key = "SOFTWARE\\Clients\\Mail", valueName = name;
    size_t slash = valueName.rfind('\\');
    if (slash != std::string::npos) {
      key += "\\" + valueName.substr(0, slash);
      valueName = valueName.substr(slash + 1);
    }
    for (REGSAM view : {(REGSAM)KEY_WOW64_64KEY, (REGSAM)0}) {
      HKEY k;
      if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, NULL, 0,
                          KEY_ALL_ACCESS | view, NULL, &k,
                          NULL) != ERROR_SUCCESS)
        continue;
      if (value)
        RegSetValueExA(k, valueName.c_str(), 0, REG_SZ, (const BYTE *)value,
                       (DWORD)strlen(value) + 1);
      else
        RegDeleteValueA(k, valueName.c_str());
      RegCloseKey(k);
    }
  }
  // Registers qvmapi.dll as the default mail client's Simple MAPI DLL, as
  // an installation does, then loads the system's stub.
  void LoadStub() {
    SetMailValue("", QV_CLIENT_NAME);
    SetMailValue(QV_CLIENT_NAME "\\DLLPath",
                 (ProgramFolder() + "qvmapi.dll").c_str());
    stub_ = LoadLibraryA("mapi32.dll");
    ASSERT_NE(stub_, nullptr);
  }
  // Every record of one kind ("*.w16", "*.exe16"): UTF-16 texts.
  static std::vector<std::wstring> Records(const std::string &folder,
                                           const char *kind) {
    std::vector<std::wstring> out;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\client-*" + kind).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
      return out;
    do {
      std::string bytes = ReadWholeFile(folder + "\\" + found.cFileName);
      out.push_back(std::wstring((const wchar_t *)bytes.data(),
                                 bytes.size() / sizeof(wchar_t)));
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return out;
  }
  static std::wstring Widen(const std::string &ascii) {
    return std::wstring(ascii.begin(), ascii.end());
  }
  static std::string Narrow(const std::wstring &text, UINT page) {
    std::string out(text.size() * 4 + 1, '\0');
    int n = WideCharToMultiByte(page, 0, text.c_str(), -1, &out[0],
                                (int)out.size(), NULL, NULL);
    out.resize(n > 0 ? (size_t)n - 1 : 0);
    return out;
  }
  static std::wstring TempFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return temp;
  }
  // The client command's default value: data of the given type.
  static void SetClientData(DWORD type, const std::wstring &data) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, 0, NULL, 0,
                        KEY_ALL_ACCESS | KEY_WOW64_64KEY, NULL, &key,
                        NULL) != ERROR_SUCCESS)
      return;
    RegSetValueExW(key, L"", 0, type, (const BYTE *)data.c_str(),
                   (DWORD)((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  std::string previousDefault_;
  HMODULE stub_ = NULL;
};

// Greek, Cyrillic, CJK, an emoji and an unpaired surrogate in every field.
struct WorldMessage {
  std::wstring lone = std::wstring(L"x") + (wchar_t)0xD800 + L"y";
  MapiFileDescW file = {};
  MapiRecipDescW recips[3] = {};
  MapiMessageW msg = {};
  std::wstring line;
  WorldMessage() {
    file.lpszPathName = (PWSTR)L"C:\\Берлин\\日本 -報告.pdf";
    file.lpszFileName = (PWSTR)L"Отчёт.pdf";
    recips[0].ulRecipClass = MAPI_TO;
    recips[0].lpszAddress = (PWSTR)L"άννα@παράδειγμα.gr";
    recips[1].ulRecipClass = MAPI_CC;
    recips[1].lpszName = (PWSTR)L"名前@例え.jp";
    recips[2].ulRecipClass = MAPI_BCC;
    recips[2].lpszAddress = (PWSTR)lone.c_str();
    msg.lpszSubject = (PWSTR)L"Αναφορά Q3 – Отчёт 報告 \U0001F4E7";
    msg.lpszNoteText = (PWSTR)L"Γεια σας -δείτε 添付 \U0001F642";
    msg.nFileCount = 1;
    msg.lpFiles = &file;
    msg.nRecipCount = 3;
    msg.lpRecips = recips;
    line = std::wstring(L"-Subject Αναφορά Q3 – Отчёт 報告 \U0001F4E7 -Attach "
                        L"C:\\Берлин\\日本 --報告.pdf -Alias Отчёт.pdf -Body "
                        L"Γεια σας --δείτε 添付 \U0001F642 -To "
                        L"άννα@παράδειγμα.gr -Cc 名前@例え.jp -Bcc ") +
           lone + L" -Silent";
  }
};

TEST_F(DllWide, EveryCharacterArrivesUnitForUnit) {
  SetClientPath(StandIn().c_str());
  std::string folder = NewClientFolder("wide", 0);
  Load();
  WorldMessage world;
  EXPECT_EQ(Get<SendMailWFn>("MAPISendMailW")(0, 0, &world.msg,
                                              MAPI_FORCE_UNICODE, 0),
            0u);
  auto records = Records(folder, ".w16");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(records[0] == world.line) << "the line was altered";
  // Through the system's stub, as a modern application sends.
  NewClientFolder("wide", 0);
  Unload();
  LoadStub();
  SendMailWFn stubSend =
      (SendMailWFn)(void *)GetProcAddress(stub_, "MAPISendMailW");
  ASSERT_NE(stubSend, nullptr);
  EXPECT_EQ(stubSend(0, 0, &world.msg, 0, 0), 0u);
  records = Records(folder, ".w16");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(records[0] == world.line) << "altered through mapi32.dll";
  // The stub's ANSI entry still gives today's line.
  NewClientFolder("wide", 0);
  FirstExample example;
  SendMailFn stubSendA =
      (SendMailFn)(void *)GetProcAddress(stub_, "MAPISendMail");
  EXPECT_EQ(stubSendA(0, 0, &example.msg, 0, 0), 0u);
  auto ansi = ClientRecords(folder);
  ASSERT_EQ(ansi.size(), 1u);
  EXPECT_EQ(ansi[0], FIRST_EXAMPLE_LINE);
  // The unsafe registrations and the host bugs are refused here too.
  NewClientFolder("wide", 0);
  MapiMessageW bug = {};
  bug.nRecipCount = 1;
  EXPECT_EQ(stubSend(0, 0, &bug, 0, 0), (ULONG)MAPI_E_FAILURE);
  SetClientPath((folder + "\\wrapper.cmd").c_str());
  EXPECT_EQ(stubSend(0, 0, &world.msg, 0, 0), (ULONG)MAPI_E_FAILURE);
  EXPECT_TRUE(Records(folder, ".w16").empty());
}

// Word's messages: MAPISendMail with ulReserved CP_UTF8, directly and
// through the system's mapi32.dll. Every text read as UTF-8 reaches the
// client as the exact UTF-16; a path in the ANSI code page (not valid
// UTF-8) is read in that code page.
TEST_F(DllWide, Utf8MessagesArriveExactly) {
  std::wstring report = TempFolder() + L"Отчёт Ω 報告.txt";
  std::wstring cafe = TempFolder() + L"café.txt";
  WriteFileText(Narrow(cafe, CP_ACP), "x");
  HANDLE h = CreateFileW(report.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                         0, NULL);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  std::string subject = Narrow(L"Αναφορά Q3 – Отчёт 報告", CP_UTF8);
  std::string body = Narrow(L"Γεια σας -δείτε 添付", CP_UTF8);
  std::string path = Narrow(report, CP_UTF8), ansiPath = Narrow(cafe, CP_ACP);
  MapiFileDesc files[2] = {};
  files[0].lpszPathName = (LPSTR)path.c_str();
  files[1].lpszPathName = (LPSTR)ansiPath.c_str();
  MapiMessage msg = {};
  msg.ulReserved = CP_UTF8;
  msg.lpszSubject = (LPSTR)subject.c_str();
  msg.lpszNoteText = (LPSTR)body.c_str();
  msg.nFileCount = 2;
  msg.lpFiles = files;
  const std::wstring line = L"-Subject Αναφορά Q3 – Отчёт 報告 -Attach " +
                            report + L" -Attach " + cafe +
                            L" -Body Γεια σας --δείτε 添付";
  SetClientPath(StandIn().c_str());
  std::string folder = NewClientFolder("utf8", 0);
  Load();
  EXPECT_EQ(Get<SendMailFn>("MAPISendMail")(0, 0, &msg, MAPI_DIALOG, 0), 0u);
  auto records = Records(folder, ".w16");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(records[0] == line) << "altered directly";
  NewClientFolder("utf8", 0);
  Unload();
  LoadStub();
  SendMailFn stubSend =
      (SendMailFn)(void *)GetProcAddress(stub_, "MAPISendMail");
  ASSERT_NE(stubSend, nullptr);
  EXPECT_EQ(stubSend(0, 0, &msg, MAPI_DIALOG, 0), 0u);
  records = Records(folder, ".w16");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(records[0] == line) << "altered through mapi32.dll";
  DeleteFileW(report.c_str());
  DeleteFileW(cafe.c_str());
}

// The client is started exactly as registered, from both entries: under a
// folder named outside the ANSI code page, and never from the folder that
// the code page's look-alike would name ("Lukasz" for "Łukasz").
TEST_F(DllWide, TheStartedProgramIsExactlyTheRegisteredFile) {
  std::wstring temp = TempFolder();
  std::wstring standIn = Widen(StandIn());
  const wchar_t *const kFolders[] = {L"Łukasz Mail", L"Ωμέγα 客户端"};
  std::wstring decoy = temp + L"Lukasz Mail";
  CreateDirectoryW(decoy.c_str(), NULL);
  ASSERT_TRUE(
      CopyFileW(standIn.c_str(), (decoy + L"\\client.exe").c_str(), FALSE));
  Load();
  for (const wchar_t *name : kFolders) {
    std::wstring dir = temp + name;
    CreateDirectoryW(dir.c_str(), NULL);
    std::wstring client = dir + L"\\client.exe";
    ASSERT_TRUE(CopyFileW(standIn.c_str(), client.c_str(), FALSE));
    SetClientData(REG_SZ, client);
    std::string folder = NewClientFolder("nonansi", 0);
    FirstExampleW wide;
    EXPECT_EQ(Get<SendMailWFn>("MAPISendMailW")(0, 0, &wide.msg, 0, 0), 0u);
    FirstExample narrow;
    EXPECT_EQ(Get<SendMailFn>("MAPISendMail")(0, 0, &narrow.msg, 0, 0), 0u);
    EXPECT_EQ(
        ClientRecords(folder),
        (std::vector<std::string>{FIRST_EXAMPLE_LINE, FIRST_EXAMPLE_LINE}));
    auto started = Records(folder, ".exe16");
    ASSERT_EQ(started.size(), 2u);
    for (const std::wstring &program : started)
      EXPECT_TRUE(_wcsicmp(program.c_str(), client.c_str()) == 0)
          << "another program was started";
    DeleteFileW(client.c_str());
    RemoveDirectoryW(dir.c_str());
  }
  // Fullwidth letters are not ".exe": neither the file so named nor the
  // program beside it starts.
  std::wstring dir = temp + L"qv-fullwidth";
  CreateDirectoryW(dir.c_str(), NULL);
  std::wstring fullwidth = dir + L"\\client.\xFF45\xFF58\xFF45";
  ASSERT_TRUE(CopyFileW(standIn.c_str(), fullwidth.c_str(), FALSE));
  ASSERT_TRUE(
      CopyFileW(standIn.c_str(), (dir + L"\\client.exe").c_str(), FALSE));
  SetClientData(REG_SZ, fullwidth);
  std::string folder = NewClientFolder("fullwidth", 0);
  FirstExampleW wide;
  EXPECT_EQ(Get<SendMailWFn>("MAPISendMailW")(0, 0, &wide.msg, 0, 0),
            (ULONG)MAPI_E_FAILURE);
  FirstExample narrow;
  EXPECT_EQ(Get<SendMailFn>("MAPISendMail")(0, 0, &narrow.msg, 0, 0),
            (ULONG)MAPI_E_FAILURE);
  EXPECT_TRUE(ClientRecords(folder).empty());
  DeleteFileW(fullwidth.c_str());
  DeleteFileW((dir + L"\\client.exe").c_str());
  RemoveDirectoryW(dir.c_str());
  DeleteFileW((decoy + L"\\client.exe").c_str());
  RemoveDirectoryW(decoy.c_str());
}

// The command as Windows stores it: REG_EXPAND_SZ is expanded; data of any
// other type, and a path longer than 259 characters, starts nothing.
TEST_F(DllWide, TheClientCommandAsWindowsStoresIt) {
  std::string folder = NewClientFolder("types", 0);
  std::wstring standIn = Widen(StandIn());
  size_t slash = standIn.rfind(L'\\');
  SetEnvironmentVariableW(L"QV_TEST_CLIENT_HOME",
                          standIn.substr(0, slash).c_str());
  Load();
  SendMailFn send = Get<SendMailFn>("MAPISendMail");
  SendMailWFn sendW = Get<SendMailWFn>("MAPISendMailW");
  FirstExample narrow;
  FirstExampleW wide;
  SetClientData(REG_EXPAND_SZ,
                L"%QV_TEST_CLIENT_HOME%" + standIn.substr(slash));
  EXPECT_EQ(send(0, 0, &narrow.msg, 0, 0), 0u);
  EXPECT_EQ(sendW(0, 0, &wide.msg, 0, 0), 0u);
  EXPECT_EQ(ClientRecords(folder).size(), 2u) << "REG_EXPAND_SZ starts it";
  NewClientFolder("types", 0);
  for (DWORD type : {(DWORD)REG_BINARY, (DWORD)REG_MULTI_SZ}) {
    SetClientData(type, standIn + std::wstring(1, L'\0'));
    EXPECT_EQ(send(0, 0, &narrow.msg, 0, 0), (ULONG)MAPI_E_FAILURE) << type;
    EXPECT_EQ(sendW(0, 0, &wide.msg, 0, 0), (ULONG)MAPI_E_FAILURE) << type;
  }
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, QV_COMMAND_KEY, 0, NULL, 0,
                            KEY_ALL_ACCESS | KEY_WOW64_64KEY, NULL, &key, NULL),
            ERROR_SUCCESS);
  DWORD number = 1;
  RegSetValueExW(key, L"", 0, REG_DWORD, (const BYTE *)&number, sizeof number);
  RegCloseKey(key);
  EXPECT_EQ(send(0, 0, &narrow.msg, 0, 0), (ULONG)MAPI_E_FAILURE) << "DWORD";
  EXPECT_EQ(sendW(0, 0, &wide.msg, 0, 0), (ULONG)MAPI_E_FAILURE) << "DWORD";
  // Over-long paths never reach the system's path handling (at 1,100
  // characters it crashed the host; at 32,000 it reported success).
  for (size_t length : {260u, 1100u, 32000u}) {
    std::wstring path = standIn.substr(0, slash + 1);
    path += std::wstring(length - path.size() - 4, L'x') + L".exe";
    SetClientData(REG_SZ, path);
    EXPECT_EQ(send(0, 0, &narrow.msg, 0, 0), (ULONG)MAPI_E_FAILURE) << length;
    EXPECT_EQ(sendW(0, 0, &wide.msg, 0, 0), (ULONG)MAPI_E_FAILURE) << length;
  }
  EXPECT_TRUE(ClientRecords(folder).empty()) << "something was started";
  SetEnvironmentVariableW(L"QV_TEST_CLIENT_HOME", NULL);
}

// U+2212, U+2010 and U+FF0D show as '-' to a client that reads its
// command line with GetCommandLineA, U+3000 and U+2002 as a blank: no
// value shows a section in either view.
TEST_F(DllWide, BothViewsOfTheLineShowOnlyTheHostsSections) {
  SetClientPath(StandIn().c_str());
  Load();
  SendMailWFn send = Get<SendMailWFn>("MAPISendMailW");
  const wchar_t kLookAlikes[] = {0x2212, 0x2010, 0xFF0D, 0x3000, 0x2002};
  for (wchar_t c : kLookAlikes) {
    bool blank = c == 0x3000 || c == 0x2002;
    auto forged = [&](const wchar_t *lead, const wchar_t *name,
                      const wchar_t *tail = L" C:\\secret.txt") {
      return std::wstring(lead) +
             (blank ? std::wstring(1, c) + L"-" : L" " + std::wstring(1, c)) +
             name + tail;
    };
    // The attachment the client reads, look-alikes as its views show them.
    WriteFileText("C:\\a -Cc secret.txt", "a");
    std::wstring subject = forged(L"Q3", L"Attach"),
                 body = forged(L"see", L"Bcc"),
                 path = forged(L"C:\\a", L"Cc", L" secret.txt"),
                 to = forged(L"ann@x", L"Attach");
    MapiFileDescW file = {};
    file.lpszPathName = (PWSTR)path.c_str();
    MapiRecipDescW recip = {};
    recip.ulRecipClass = MAPI_TO;
    recip.lpszAddress = (PWSTR)to.c_str();
    MapiMessageW msg = {};
    msg.lpszSubject = (PWSTR)subject.c_str();
    msg.lpszNoteText = (PWSTR)body.c_str();
    msg.nFileCount = 1;
    msg.lpFiles = &file;
    msg.nRecipCount = 1;
    msg.lpRecips = &recip;
    std::string folder = NewClientFolder("views", 0);
    ASSERT_EQ(send(0, 0, &msg, 0, 0), 0u);
    auto ansi = ClientRecords(folder);
    auto wideLines = Records(folder, ".w16");
    ASSERT_EQ(ansi.size(), 1u);
    ASSERT_EQ(wideLines.size(), 1u);
    ParsedLine views[] = {ReadCommandLine(ansi[0]),
                          ReadCommandLine(UnitBytes(wideLines[0]))};
    for (const ParsedLine &view : views) {
      EXPECT_TRUE(view.ok) << view.error << " in " << ansi[0];
      EXPECT_TRUE(view.hasSubject && view.hasBody) << ansi[0];
      EXPECT_EQ(view.attachments.size(), 1u) << ansi[0];
      EXPECT_EQ(view.to.size(), 1u) << ansi[0];
      EXPECT_FALSE(view.hasCc || view.hasBcc) << ansi[0];
      EXPECT_TRUE(view.silent) << ansi[0];
    }
    EXPECT_EQ(views[0].subject, views[1].subject) << "the views differ";
    EXPECT_EQ(views[0].subject, "Q3 -Attach C:\\secret.txt");
  }
}

// The client's GetCommandLineA is made in the system's code page (1252
// here), not the host's. A host whose manifest makes its ANSI code page
// UTF-8 has no look-alikes of its own: through none of the three entries
// does its client see a section the host did not send. A 1252 host
// behaves as before.
TEST_F(DllWide, AUtf8HostsClientSeesNoForgedSection) {
  SetClientPath(StandIn().c_str());
  for (const char *host : {"wintest_utf8host.exe", "wintest_host.exe"}) {
    std::string folder = NewClientFolder("utf8host", 0);
    EXPECT_EQ(RunToEnd("\"" + ProgramFolder() + host + "\" lookalike"), 0u)
        << host;
    auto views = ClientRecords(folder); // each client's GetCommandLineA
    ASSERT_EQ(views.size(), 3u) << host;
    for (const std::string &line : views) {
      ParsedLine view = ReadCommandLine(line);
      EXPECT_TRUE(view.ok && view.attachments.empty() && view.silent)
          << host << ": " << line;
      EXPECT_EQ(view.subject, "Q3 -Attach C:\\secret.txt") << host;
    }
  }
}

// Four threads make the first sends of a fresh process at once, in many
// processes: the look-alike table is whole for each (before, a thread that
// came while another built it could find it half empty).
TEST_F(DllWide, ConcurrentFirstSendsOfFreshProcessesEscapeEveryLookAlike) {
  SetClientPath(StandIn().c_str());
  const int kProcesses = 100, kThreads = 4;
  int sends = 0, forged = 0;
  for (int p = 0; p < kProcesses; p++) {
    // A folder a process: process ids come round again.
    std::string folder = NewClientFolder("race", 0);
    EXPECT_EQ(RunToEnd("\"" + ProgramFolder() + "wintest_host.exe\" race " +
                       std::to_string(kThreads)),
              0u);
    for (const std::string &line : ClientRecords(folder)) {
      sends++;
      forged += !ReadCommandLine(line).attachments.empty();
    }
  }
  EXPECT_EQ(sends, kProcesses * kThreads);
  EXPECT_EQ(forged, 0) << "sends whose client saw an -Attach section, of "
                       << sends;
}

// A 32-bit host's environment names the "(x86)" Program Files: a
// %ProgramFiles% command starts the client in the 64-bit folder all the
// same, as the 64-bit DLL does (the 32-bit DLL itself is checked from the
// file only).
TEST_F(DllWide, A32BitHostsEnvironmentStartsTheSameClient) {
  wchar_t real[MAX_PATH] = L"", x86[MAX_PATH] = L"";
  ASSERT_TRUE(GetEnvironmentVariableW(L"ProgramW6432", real, MAX_PATH));
  ASSERT_TRUE(GetEnvironmentVariableW(L"ProgramFiles(x86)", x86, MAX_PATH));
  std::wstring standIn = Widen(StandIn()), clients[2];
  for (int i = 0; i < 2; i++) {
    std::wstring dir = std::wstring(i ? x86 : real) + L"\\QvMail";
    CreateDirectoryW(dir.c_str(), NULL);
    clients[i] = dir + L"\\client.exe";
    ASSERT_TRUE(CopyFileW(standIn.c_str(), clients[i].c_str(), FALSE));
  }
  wchar_t saved[MAX_PATH] = L"";
  GetEnvironmentVariableW(L"ProgramFiles", saved, MAX_PATH);
  SetEnvironmentVariableW(L"ProgramFiles", x86); // as a 32-bit process has it
  SetClientData(REG_EXPAND_SZ, L"%ProgramFiles%\\QvMail\\client.exe");
  std::string folder = NewClientFolder("x86env", 0);
  Load();
  FirstExampleW wide;
  EXPECT_EQ(Get<SendMailWFn>("MAPISendMailW")(0, 0, &wide.msg, 0, 0), 0u);
  FirstExample narrow;
  EXPECT_EQ(Get<SendMailFn>("MAPISendMail")(0, 0, &narrow.msg, 0, 0), 0u);
  SetEnvironmentVariableW(L"ProgramFiles", saved);
  auto started = Records(folder, ".exe16");
  ASSERT_EQ(started.size(), 2u);
  for (const std::wstring &program : started)
    EXPECT_TRUE(_wcsicmp(program.c_str(), clients[0].c_str()) == 0)
        << "the (x86) folder's program was started";
  for (const std::wstring &client : clients) {
    DeleteFileW(client.c_str());
    RemoveDirectoryW(client.substr(0, client.rfind(L'\\')).c_str());
  }
}

// Word's paths (ulReserved 65001): an ANSI path whose bytes are valid UTF-8
// (a folder named U+00C3 U+00A9, bytes C3 A9 in 1252, which UTF-8 reads as
// U+00E9) reaches the client as the file that exists.
TEST_F(DllWide, AUtf8MessagesAnsiPathThatNamesTheFileIsKept) {
  ASSERT_EQ(GetACP(), 1252u) << "a 1252 host";
  std::wstring folder = Widen(ProgramFolder()) + L"\u00c3\u00a9";
  CreateDirectoryW(folder.c_str(), NULL);
  HANDLE made = CreateFileW((folder + L"\\r.txt").c_str(), GENERIC_WRITE, 0,
                            NULL, CREATE_ALWAYS, 0, NULL);
  CloseHandle(made);
  SetClientPath(StandIn().c_str());
  std::string records = NewClientFolder("word", 0);
  Load();
  std::string path = ProgramFolder() + "\xc3\xa9\\r.txt";
  MapiFileDesc file = {};
  file.lpszPathName = (LPSTR)path.c_str();
  MapiMessage msg = {};
  msg.ulReserved = CP_UTF8;
  msg.nFileCount = 1;
  msg.lpFiles = &file;
  EXPECT_EQ(Get<SendMailFn>("MAPISendMail")(0, 0, &msg, MAPI_DIALOG, 0), 0u);
  std::vector<std::wstring> wide = Records(records, ".w16");
  ASSERT_EQ(wide.size(), 1u);
  EXPECT_EQ(wide[0], L" -Attach " + folder + L"\\r.txt");
}

TEST_F(DllWide, TheTraceOfOneCallIsInTheAnsiCodePage) {
  DWORD one = 1;
  SetLogLevel(&one);
  SetClientPath(StandIn().c_str());
  NewClientFolder("widetrace", 0);
  Load();
  WorldMessage world;
  EXPECT_EQ(Get<SendMailWFn>("MAPISendMailW")(0x10, 0x20, &world.msg,
                                              MAPI_FORCE_UNICODE, 0x30),
            0u);
  Unload();
  auto messages = Messages();
  ASSERT_EQ(messages.size(), 5u + 7u + 9u + 1u);
  EXPECT_EQ(messages[0], "/***** MAPISendMailW *****/");
  EXPECT_EQ(messages[3], "FLAGS flFlags = 40000");
  EXPECT_EQ(messages[7], "lpMessage->nFileCount = 1");
  EXPECT_EQ(messages[8],
            "lpMessage->lpFiles[0].lpszPathName = 'C:\\<U+0411><U+0435>"
            "<U+0440><U+043B><U+0438><U+043D>\\<U+65E5><U+672C> -<U+5831>"
            "<U+544A>.pdf'");
  EXPECT_EQ(messages[15], "00001 Name: '<U+540D><U+524D>@<U+4F8B><U+3048>.jp'");
  EXPECT_EQ(messages.back(), "/***** MAPISendMailW(END) ****/");
}

} // namespace
