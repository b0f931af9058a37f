// Many threads' lines in the trace log, for the native and the Windows
// tests alike.
#ifndef QV_TESTS_SUPPORT_TRACE_LINES_H
#define QV_TESTS_SUPPORT_TRACE_LINES_H

#include <gtest/gtest.h>

#include <stdio.h>

#include <thread>

#include "tests/support/files.h"
#include "trace/trace.h"

// Eight threads write 10,000 lines each into the open log at path: every
// line arrives whole, once, and each thread's in its order.
inline void CheckConcurrentLines(const std::string &path) {
  const int kThreads = 8, kLines = 10000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++)
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; i++)
        TraceWrite(0, "thread %d line %05d %s", t, i,
                   "payload-payload-payload");
    });
  for (auto &th : threads)
    th.join();
  TraceClose();
  bool ended;
  auto lines = SplitCrLf(ReadWholeFile(path), &ended);
  EXPECT_TRUE(ended);
  ASSERT_EQ(lines.size(), (size_t)kThreads * kLines);
  std::vector<int> next(kThreads, 0);
  for (const std::string &line : lines) {
    int t = -1, i = -1;
    char tail[64] = {0};
    ASSERT_EQ(line.size(), 32u + 43u) << line;
    ASSERT_EQ(
        sscanf(line.c_str() + 32, "thread %d line %05d %63s", &t, &i, tail), 3)
        << line;
    ASSERT_STREQ(tail, "payload-payload-payload");
    ASSERT_TRUE(t >= 0 && t < kThreads);
    EXPECT_EQ(i, next[t]) << "lines of one thread stay in order";
    next[t] = i + 1;
  }
}

#endif
