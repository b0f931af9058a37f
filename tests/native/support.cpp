#include "tests/native/support.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>


#include "tests/native/messages.h"
#include "trace/startup.h"
#include "trace/trace.h"
#include "trace/trace_state.h"

void ResetLibraryState() {
  TraceClose();
  g_traceState.level = 0;
  g_traceState.active = 0;
  g_traceState.logHandle = INVALID_HANDLE_VALUE;
  g_traceState.logFileName[0] = 0;
  g_traceState.traceFolder[0] = 0;
  g_traceState.writingThread = 0;
  DeleteStartupLock();
  g_startupState.done = 0;
}

void QvTest::SetUp() {
  ResetLibraryState();
  TestCtl_Reset();
  char pattern[] = "/tmp/qvtest.XXXXXX";
  const char *tmp = getenv("TMPDIR");
  std::string base =
      tmp && *tmp ? std::string(tmp) + "/qvtest.XXXXXX" : pattern;
  std::vector<char> buf(base.begin(), base.end());
  buf.push_back(0);
  ASSERT_NE(mkdtemp(buf.data()), nullptr);
  dir_ = buf.data();
  // The reference message's attachments exist: a send checks them.
  MakeDirs(dir_ + "/D/Temp");
  WriteWholeFile(dir_ + "/D/Temp/q3 -old.xls", "xls");
  WriteWholeFile(dir_ + "/D/Temp/notes.txt", "notes");
  TestCtl_SetDriveFolder('D', (dir_ + "/D").c_str());
  liveBlocksAtStart_ = TestCtl_LiveBlocks();
  handlesAtStart_ = TestCtl_OpenHandles();
}

void QvTest::TearDown() {
  TestCtl_DisarmAll();
  ResetLibraryState();
  EXPECT_EQ(TestCtl_LiveBlocks(), liveBlocksAtStart_)
      << "heap blocks of the library left allocated";
  EXPECT_EQ(TestCtl_OpenHandles(), handlesAtStart_)
      << "handles or registry keys left open";
  TestCtl_Reset();
  RemoveTree(dir_);
}

void ClientTest::SetUp() {
  QvTest::SetUp();
  clientDir_ = dir_ + "/client";
  MakeDirs(clientDir_);
  setenv("QV_CLIENT_DIR", clientDir_.c_str(), 1);
  setenv("QV_CLIENT_WAIT_MS", "0", 1);
}

void ClientTest::TearDown() {
  unsetenv("QV_CLIENT_DIR");
  unsetenv("QV_CLIENT_WAIT_MS");
  QvTest::TearDown();
}

std::vector<ClientTest::Record> ClientTest::Clients() const {
  std::vector<Record> out;
  DIR *d = opendir(clientDir_.c_str());
  for (struct dirent *e; d && (e = readdir(d));) {
    std::string name = e->d_name;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0) {
      std::string stem = name.substr(0, name.size() - 4);
      out.push_back({ReadWholeFile(clientDir_ + "/" + name),
                     FileExists(clientDir_ + "/" + stem + ".done")});
    }
  }
  if (d)
    closedir(d);
  return out;
}

void QvTest::StartTraceLog(int level, const char *name) {
  logPath_ = dir_ + "/" + name;
  TraceState *ts = &g_traceState;
  snprintf(ts->logFileName, sizeof ts->logFileName, "%s", logPath_.c_str());
  WriteWholeFile(logPath_, "");
  LockInit(&ts->lock);
  ts->lockInitialised = 1;
  ts->level = level;
  if (level != 0 && level != 2) {
    ASSERT_EQ(FileOpen(ts->logFileName, &ts->logHandle, GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS),
              0u);
  }
  ts->active = 1;
  TestCtl_ResetCounts();
}

std::vector<std::string> QvTest::LogLines() const {
  bool ended;
  auto lines = SplitCrLf(ReadWholeFile(logPath_), &ended);
  EXPECT_TRUE(ended) << "the log ends in a line without CR LF";
  return lines;
}

std::vector<std::string> QvTest::LogMessages() const {
  std::vector<std::string> messages;
  for (const std::string &line : LogLines())
    messages.push_back(line.size() >= 32 ? line.substr(32)
                                         : "<short:" + line + ">");
  return messages;
}

bool FileExists(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

void WriteWholeFile(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

void MakeDirs(const std::string &path) {
  for (size_t i = 1; i <= path.size(); i++)
    if (i == path.size() || path[i] == '/')
      mkdir(path.substr(0, i).c_str(), 0777);
}

void RemoveTree(const std::string &path) {
  if (path.empty())
    return;
  DIR *dir = opendir(path.c_str());
  if (dir) {
    for (struct dirent *e; (e = readdir(dir)) != NULL;) {
      std::string name = e->d_name;
      if (name == "." || name == "..")
        continue;
      std::string child = path + "/" + name;
      struct stat st;
      if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        chmod(child.c_str(), 0777);
        RemoveTree(child);
      } else {
        unlink(child.c_str());
      }
    }
    closedir(dir);
  }
  rmdir(path.c_str());
}

std::u16string Utf16(const std::string &utf8) {
  return FakeUtf16(utf8.data(), utf8.size());
}
