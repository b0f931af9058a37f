// Shared fixture and helpers of the native unit tests.
#ifndef QV_TESTS_NATIVE_SUPPORT_H
#define QV_TESTS_NATIVE_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/control.h"
#include "platform/platform.h"
#include "tests/support/files.h"

// Every test starts from a clean process: empty registry, no trace log,
// nothing armed, a fresh temporary folder. Every test ends by checking that
// nothing the library allocated or opened is left behind.
class QvTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Fills the trace state directly: log file `name` in the temporary
  // folder, opened for keep-open levels, active.
  void StartTraceLog(int level, const char *name = "trace.log");
  std::string LogPath() const { return logPath_; }
  // The log's lines without CR LF; EXPECTs that every line ends in CR LF.
  std::vector<std::string> LogLines() const;
  // Messages only: each line without its 32-character prefix.
  std::vector<std::string> LogMessages() const;

  std::string dir_;
  std::string logPath_;
  long liveBlocksAtStart_ = 0;
  long handlesAtStart_ = 0;
};

// A test that starts the stand-in mail client: its records go to a folder
// of the test's own.
class ClientTest : public QvTest {
protected:
  void SetUp() override;
  void TearDown() override;
  struct Record {
    std::string line; // the whole command line the client was given
    bool exited;      // it had finished when this was read
  };
  std::vector<Record> Clients() const;
  std::string clientDir_;
};

bool FileExists(const std::string &path);
void WriteWholeFile(const std::string &path, const std::string &bytes);
void RemoveTree(const std::string &path);
void MakeDirs(const std::string &path);

// Puts the library's trace and start-up state back to a never-loaded process.
void ResetLibraryState();

#endif
