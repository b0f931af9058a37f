// Speed of the library's hot paths, each as a ratio against a baseline
// timed in the same run. Run: build/native/qv_bench (see docs/PERFORMANCE.md).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "handoff/handoff.h"
#include "include/qvmapi/mapi.h"
#include "platform/fake/control.h"
#include "trace/trace.h"
#include "trace/trace_state.h"

namespace {

std::string g_dir;

std::string Path(const char *name) { return g_dir + "/" + name; }

void StartLog(int level, const std::string &path) {
  TraceClose();
  TraceState *ts = &g_traceState;
  snprintf(ts->logFileName, sizeof ts->logFileName, "%s", path.c_str());
  unlink(path.c_str());
  LockInit(&ts->lock);
  ts->lockInitialised = 1;
  ts->level = level;
  ts->logHandle = INVALID_HANDLE_VALUE;
  if (level != 0 && level != 2)
    FileOpen(ts->logFileName, &ts->logHandle, GENERIC_WRITE,
             FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
  ts->active = 1;
}

void StopLog() {
  TraceClose();
  g_traceState.level = 0;
}

// The same line TraceWrite produces for the banner: 55 characters + CR LF.
const char kLine[] =
    "2026/12/08 14:07:09 00001A2C  I /***** MAPILogon *****/\r\n";

__attribute__((noinline)) void EmptyTrace(unsigned short severity,
                                          const char *format, ...) {
  benchmark::DoNotOptimize(severity);
  benchmark::DoNotOptimize(format);
  asm volatile("" ::: "memory");
}

// Both are called through a pointer the compiler cannot see through, so
// neither call can be specialised for its constant arguments.
void Base_EmptyFunction(benchmark::State &state) {
  void (*fn)(unsigned short, const char *, ...) = EmptyTrace;
  benchmark::DoNotOptimize(fn);
  for (auto _ : state)
    fn(0, "ULONG ulUIParam = %x", 5u);
}
void TraceWrite_LogOff(benchmark::State &state) {
  StopLog();
  void (*fn)(unsigned short, const char *, ...) = TraceWrite;
  benchmark::DoNotOptimize(fn);
  for (auto _ : state)
    fn(0, "ULONG ulUIParam = %x", 5u);
}

void Base_RawWrite(benchmark::State &state) {
  std::string path = Path("raw.log");
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  for (auto _ : state)
    benchmark::DoNotOptimize(write(fd, kLine, sizeof kLine - 1));
  close(fd);
  unlink(path.c_str());
}
void TraceWrite_KeepOpen(benchmark::State &state) {
  StartLog(1, Path("keep.log"));
  for (auto _ : state)
    TraceWrite(0, "/***** MAPILogon *****/");
  StopLog();
  unlink(Path("keep.log").c_str());
}

void Base_RawOpenSeekWriteClose(benchmark::State &state) {
  std::string path = Path("rawper.log");
  for (auto _ : state) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    lseek(fd, 0, SEEK_END);
    benchmark::DoNotOptimize(write(fd, kLine, sizeof kLine - 1));
    close(fd);
  }
  unlink(path.c_str());
}
void TraceWrite_OpenPerLine(benchmark::State &state) {
  StartLog(2, Path("per.log"));
  for (auto _ : state)
    TraceWrite(0, "/***** MAPILogon *****/");
  StopLog();
  unlink(Path("per.log").c_str());
}

std::string LongBody() {
  std::string body;
  const char words[] =
      "Quarterly figures are well-known to be final, see notes. ";
  while (body.size() < COMMAND_LINE_SIZE - 1 - 7)
    body += words;
  body.resize(COMMAND_LINE_SIZE - 1 - 7); // " -Body " + body = 40959
  return body;
}

// The longest line of each character type: 40,959 ANSI characters, 32,766
// UTF-16 units; the baseline copies as many units.
template <typename Char> struct Longest;
template <> struct Longest<char> {
  static const int kUnits = COMMAND_LINE_SIZE - 1;
  typedef MapiMessage Message;
  static int Compose(const Message *m, char *b) {
    return ComposeCommandLine(m, MAPI_DIALOG, b);
  }
};
template <> struct Longest<WCHAR> {
  static const int kUnits = WIDE_COMMAND_LINE_SIZE - 1;
  typedef MapiMessageW Message;
  static int Compose(const Message *m, WCHAR *b) {
    return ComposeCommandLineW(m, MAPI_DIALOG, b);
  }
};

template <typename Char> std::basic_string<Char> LongBodyOf() {
  std::string body = LongBody();
  body.resize(Longest<Char>::kUnits - 7); // " -Body " + body
  return std::basic_string<Char>(body.begin(), body.end());
}

template <typename Char> void Base_Copy(benchmark::State &state) {
  std::basic_string<Char> source = LongBodyOf<Char>() + Char('1') + Char('2') +
                                   Char('3') + Char('4') + Char('5') +
                                   Char('6') + Char('7');
  std::vector<Char> buffer(Longest<Char>::kUnits + 1, 0);
  for (auto _ : state) {
    memcpy(buffer.data(), source.data(), Longest<Char>::kUnits * sizeof(Char));
    benchmark::ClobberMemory();
  }
}
template <typename Char> void Compose_Line(benchmark::State &state) {
  std::basic_string<Char> body = LongBodyOf<Char>();
  typename Longest<Char>::Message msg = {};
  msg.lpszNoteText = &body[0];
  std::vector<Char> buffer(Longest<Char>::kUnits + 1, 0);
  if (Longest<Char>::Compose(&msg, buffer.data()) != Longest<Char>::kUnits)
    state.SkipWithError("the line is not the longest one");
  for (auto _ : state) {
    benchmark::DoNotOptimize(Longest<Char>::Compose(&msg, buffer.data()));
    benchmark::ClobberMemory();
  }
}

// A message of Word's kind (ulReserved CP_UTF8) whose UTF-8 texts and
// switches take 40,959 bytes: Cyrillic with some ASCII.
void Compose_Utf8(benchmark::State &state) {
  // "Квартальные итоги окончательны, see notes. "
  const char words[] =
      "\xd0\x9a\xd0\xb2\xd0\xb0\xd1\x80\xd1\x82\xd0\xb0\xd0\xbb\xd1\x8c"
      "\xd0\xbd\xd1\x8b\xd0\xb5 \xd0\xb8\xd1\x82\xd0\xbe\xd0\xb3\xd0\xb8 "
      "\xd0\xbe\xd0\xba\xd0\xbe\xd0\xbd\xd1\x87\xd0\xb0\xd1\x82\xd0\xb5"
      "\xd0\xbb\xd1\x8c\xd0\xbd\xd1\x8b, see notes. ";
  std::string body;
  while (body.size() + sizeof words - 1 <= COMMAND_LINE_SIZE - 1 - 7)
    body += words;
  while (body.size() < COMMAND_LINE_SIZE - 1 - 7)
    body += 'x';
  MapiMessage msg = {};
  msg.ulReserved = CP_UTF8;
  msg.lpszNoteText = &body[0];
  std::vector<WCHAR> buffer(WIDE_COMMAND_LINE_SIZE, 0);
  if (ComposeCommandLineUtf8(&msg, MAPI_DIALOG, buffer.data()) ==
      COMPOSE_FAILED)
    state.SkipWithError("the UTF-8 message does not compose");
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ComposeCommandLineUtf8(&msg, MAPI_DIALOG, buffer.data()));
    benchmark::ClobberMemory();
  }
}

void Compose_Recipients(benchmark::State &state) {
  int n = (int)state.range(0);
  std::vector<std::string> addresses((size_t)n);
  std::vector<MapiRecipDesc> recips((size_t)n);
  for (int i = 0; i < n; i++) {
    addresses[i] = "user" + std::to_string(i) + "@example.com";
    recips[i] = MapiRecipDesc();
    recips[i].ulRecipClass = MAPI_TO + (ULONG)(i % 3);
    recips[i].lpszName = &addresses[i][0];
    recips[i].lpszAddress = &addresses[i][0];
  }
  MapiMessage msg = {};
  msg.nRecipCount = (ULONG)n;
  msg.lpRecips = recips.data();
  std::vector<char> buffer(COMMAND_LINE_SIZE, 0);
  for (auto _ : state)
    benchmark::DoNotOptimize(ComposeCommandLine(&msg, 0, buffer.data()));
  state.counters["per_recipient_ns"] = benchmark::Counter(
      (double)n, benchmark::Counter::kIsIterationInvariantRate |
                     benchmark::Counter::kInvert);
}

void TraceOpen_WithLogs(benchmark::State &state) {
  int existing = (int)state.range(0);
  std::string appData = g_dir + "/appdata" + std::to_string(existing);
  std::string folder =
      appData + "/Quorvantile Incorporated/Quorvantile Brindleway";
  mkdir(appData.c_str(), 0777);
  mkdir((appData + "/Quorvantile Incorporated").c_str(), 0777);
  mkdir(folder.c_str(), 0777);
  for (int i = 1; i <= existing; i++) {
    char name[32];
    snprintf(name, sizeof name, "/MAPI_%05x.LOG", i);
    close(open((folder + name).c_str(), O_WRONLY | O_CREAT, 0666));
  }
  char created[32];
  snprintf(created, sizeof created, "/MAPI_%05x.LOG", existing + 1);
  TestCtl_SetAppDataFolder(appData.c_str());
  for (auto _ : state) {
    StopLog();
    SetTraceLevel(1);
    if (TraceOpen("MAPI_") != 0)
      state.SkipWithError("TraceOpen failed");
    state.PauseTiming();
    if (unlink((folder + created).c_str()) != 0)
      state.SkipWithError("not the expected file number");
    state.ResumeTiming();
  }
  StopLog();
  TestCtl_SetAppDataFolder(NULL);
}

// Each measure is repeated and its median taken: file system calls on a
// shared machine vary by several per cent from one run to the next.
#define QV_BENCH(fn) BENCHMARK(fn)->Repetitions(7)->ReportAggregatesOnly(true)
QV_BENCH(Base_EmptyFunction);
QV_BENCH(TraceWrite_LogOff);
QV_BENCH(Base_RawWrite);
QV_BENCH(TraceWrite_KeepOpen);
QV_BENCH(Base_RawOpenSeekWriteClose);
QV_BENCH(TraceWrite_OpenPerLine);
QV_BENCH(Base_Copy<char>);
QV_BENCH(Compose_Line<char>);
QV_BENCH(Base_Copy<WCHAR>);
QV_BENCH(Compose_Line<WCHAR>);
QV_BENCH(Compose_Utf8);
QV_BENCH(Compose_Recipients)->Arg(10)->Arg(1000)->Arg(100000);
QV_BENCH(TraceOpen_WithLogs)->Arg(99)->Arg(999)->Unit(benchmark::kMicrosecond);

// Collects every run's time, then prints the ratios against the baselines.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs) {
      if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median")
        continue;
      std::string key =
          run.run_name.function_name +
          (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
      times[key] = run.GetAdjustedRealTime() *
                   (run.time_unit == benchmark::kMicrosecond ? 1000.0 : 1.0);
      auto it = run.counters.find("per_recipient_ns");
      if (it != run.counters.end())
        perRecipient[key] = it->second.value * 1e9;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times, perRecipient;
};

void Row(const char *measure, const char *baseline, double ratio,
         double target) {
  printf("| %-44s | %-42s | %6.2fx | at most %4.1fx | %s |\n", measure,
         baseline, ratio, target, ratio <= target ? "met" : "MISSED");
}

} // namespace

int main(int argc, char **argv) {
  char dir[] = "/tmp/qvbench.XXXXXX";
  const char *where = getenv("QV_BENCH_DIR");
  g_dir = where && *where ? where : mkdtemp(dir);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto &t = reporter.times;
  auto &p = reporter.perRecipient;
  printf("\n| measure | baseline in the same run | ratio | target | "
         "|\n|---|---|---|---|---|\n");
  if (t.count("TraceWrite_LogOff") && t.count("Base_EmptyFunction"))
    Row("TraceWrite with the log off", "empty out-of-line function",
        t["TraceWrite_LogOff"] / t["Base_EmptyFunction"], 1.5);
  if (t.count("TraceWrite_KeepOpen") && t.count("Base_RawWrite"))
    Row("one line, keep-open mode", "raw write(2) of the same bytes",
        t["TraceWrite_KeepOpen"] / t["Base_RawWrite"], 1.3);
  if (t.count("TraceWrite_OpenPerLine") &&
      t.count("Base_RawOpenSeekWriteClose"))
    Row("one line, open-per-line mode", "raw open, lseek, write, close",
        t["TraceWrite_OpenPerLine"] / t["Base_RawOpenSeekWriteClose"], 1.1);
  if (t.count("Compose_Line<char>") && t.count("Base_Copy<char>"))
    Row("compose a 40,959-character line", "memcpy of 40,959 bytes",
        t["Compose_Line<char>"] / t["Base_Copy<char>"], 6.0);
  if (t.count("Compose_Line<WCHAR>") && t.count("Base_Copy<WCHAR>"))
    Row("compose a wide line of 32,766 units", "memcpy of 32,766 UTF-16 units",
        t["Compose_Line<WCHAR>"] / t["Base_Copy<WCHAR>"], 6.0);
  if (t.count("Compose_Utf8") && t.count("Base_Copy<char>"))
    Row("compose a 40,959-byte UTF-8 message", "memcpy of 40,959 bytes",
        t["Compose_Utf8"] / t["Base_Copy<char>"], 6.0);
  const char *sizes[] = {"Compose_Recipients/1000",
                         "Compose_Recipients/100000"};
  for (const char *size : sizes)
    if (p.count(size) && p.count("Compose_Recipients/10")) {
      std::string label = std::string("per recipient, ") +
                          (strchr(size, '/') + 1) + " recipients";
      Row(label.c_str(), "per recipient, 10 recipients",
          p[size] / p["Compose_Recipients/10"], 2.0);
    }
  if (t.count("TraceOpen_WithLogs/999") && t.count("TraceOpen_WithLogs/99"))
    Row("TraceOpen, 999 logs in the folder", "TraceOpen, 99 logs in the folder",
        t["TraceOpen_WithLogs/999"] / t["TraceOpen_WithLogs/99"], 12.0);
  if (!where) {
    std::string cmd = "rm -rf '" + g_dir + "'";
    if (system(cmd.c_str()) != 0)
      fprintf(stderr, "could not remove %s\n", g_dir.c_str());
  }
  return 0;
}
