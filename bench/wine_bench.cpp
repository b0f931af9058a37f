// What a host pays, measured on qvmapi.dll itself under Wine: each measure
// is a ratio against a baseline timed in the same run, in the same process,
// interleaved with it; the figure is the median of 7 repetitions.
// Run: sh bench/run-wine-bench.sh (see docs/PERFORMANCE.md). Not a test.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/first_example.h"
#include "tests/windows/wine_support.h"

namespace {

const int kRepetitions = 7;

double Now() {
  static LARGE_INTEGER frequency = {};
  if (!frequency.QuadPart)
    QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return (double)t.QuadPart / (double)frequency.QuadPart;
}

template <typename F> double Time(int n, F f) {
  double start = Now();
  for (int i = 0; i < n; i++)
    f();
  return (Now() - start) / n;
}

struct Ratio {
  double measured, baseline;
};

// The median of the repetitions' ratios, with that repetition's times.
Ratio Median(std::vector<Ratio> runs) {
  std::sort(runs.begin(), runs.end(), [](const Ratio &a, const Ratio &b) {
    return a.measured / a.baseline < b.measured / b.baseline;
  });
  return runs[runs.size() / 2];
}

void Report(const char *what, const char *baseline, Ratio r) {
  printf("| %s | %s | %.1f us | %.1f us | %.2fx |\n", what, baseline,
         r.measured * 1e6, r.baseline * 1e6, r.measured / r.baseline);
  fflush(stdout);
}

typedef ULONG(WINAPI *FreeBufferFn)(LPVOID);

// The three lines MAPIFreeBuffer(NULL) writes, as the log holds them.
std::vector<std::string> FreeBufferLines() {
  const char *messages[] = {"/***** MAPIFreeBuffer *****/", "LPVOID pv  = 0",
                            "/***** MAPIFreeBuffer(END) ****/"};
  std::vector<std::string> lines;
  for (const char *m : messages)
    lines.push_back(std::string("2026/12/08 14:07:09 00001A2C  I ") + m +
                    "\r\n");
  return lines;
}

HMODULE LoadAtLevel(DWORD level) {
  SetLogLevel(&level);
  EmptyTraceFolder();
  return LoadLibraryA("qvmapi.dll");
}

// One traced call writes three lines; the baseline writes the same three
// lines with the same calls the mode makes, to a file in the same folder.
Ratio TraceLines(DWORD level, int n) {
  HMODULE dll = LoadAtLevel(level);
  FreeBufferFn freeBuffer =
      (FreeBufferFn)(void *)GetProcAddress(dll, "MAPIFreeBuffer");
  std::string raw = TraceFolder() + "\\raw-baseline.log";
  std::vector<std::string> lines = FreeBufferLines();
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE kept = CreateFileA(raw.c_str(), GENERIC_WRITE, share, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  std::vector<Ratio> runs;
  for (int rep = 0; rep < kRepetitions; rep++) {
    Ratio r;
    r.measured = Time(n, [&] { freeBuffer(NULL); });
    if (level == 2)
      r.baseline = Time(n, [&] {
        for (const std::string &line : lines) {
          HANDLE h = CreateFileA(raw.c_str(), GENERIC_WRITE, share, NULL,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
          SetFilePointer(h, 0, NULL, FILE_END);
          DWORD written;
          WriteFile(h, line.data(), (DWORD)line.size(), &written, NULL);
          CloseHandle(h);
        }
      });
    else
      r.baseline = Time(n, [&] {
        for (const std::string &line : lines) {
          DWORD written;
          WriteFile(kept, line.data(), (DWORD)line.size(), &written, NULL);
        }
      });
    r.measured /= (double)lines.size();
    r.baseline /= (double)lines.size();
    runs.push_back(r);
  }
  CloseHandle(kept);
  FreeLibrary(dll);
  DeleteFileA(raw.c_str());
  return Median(runs);
}

// The baseline of a send: a bare start of the client with the line, as the
// DLL starts it, and a wait for its exit.
void StartAndWaitRaw(const std::wstring &client, std::wstring line) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWDEFAULT;
  PROCESS_INFORMATION pi;
  if (CreateProcessW(client.c_str(), &line[0], NULL, NULL, FALSE,
                     NORMAL_PRIORITY_CLASS, NULL, NULL, &si, &pi)) {
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

// MAPISendMail of the reference message against a bare start and wait of
// the same client with the same line; with a window, from a UI thread in
// front whose window is given as ulUIParam: the modal wait's whole cost.
Ratio Send(int n, HWND window = NULL, bool files = true) {
  HMODULE dll = LoadAtLevel(0);
  SendMailFn send = (SendMailFn)(void *)GetProcAddress(dll, "MAPISendMail");
  std::string client = ProgramFolder() + "stand_in_client.exe";
  std::wstring wideClient(client.begin(), client.end());
  SetClientPath(client.c_str());
  SetEnvironmentVariableA("QV_CLIENT_DIR", NULL);
  SetEnvironmentVariableA("QV_CLIENT_WAIT_MS", NULL);
  FirstExample example;
  std::string line = FIRST_EXAMPLE_LINE;
  if (!files) {
    example.msg.nFileCount = 0;
    line = "-Subject Q3 report -- final -Body Hi all --see attached. -To "
           "ann.lee;cy.fox -Cc bob.ray -Bcc dee.orr -Silent";
  }
  std::vector<Ratio> runs;
  for (int rep = 0; rep < kRepetitions; rep++) {
    Ratio r;
    if (window)
      SetForegroundWindow(window);
    r.measured =
        Time(n, [&] { send(0, (ULONG_PTR)window, &example.msg, 0, 0); });
    r.baseline = Time(n, [&] {
      std::wstring wide(line.begin(), line.end());
      StartAndWaitRaw(wideClient, wide);
    });
    runs.push_back(r);
  }
  FreeLibrary(dll);
  SetClientPath(NULL);
  return Median(runs);
}

// MAPISendMailW of the longest wide line (a body of 32,759 units of
// Cyrillic and ideographs, every unit scanned for look-alikes) against a
// bare CreateProcessW and wait with the same line: what the composition
// and its scans cost beside the start of a process.
Ratio SendWide(int n) {
  HMODULE dll = LoadAtLevel(0);
  SendMailWFn send =
      (SendMailWFn)(void *)GetProcAddress(dll, "MAPISendMailW");
  std::string client = ProgramFolder() + "stand_in_client.exe";
  std::wstring wideClient(client.begin(), client.end());
  SetClientPath(client.c_str());
  std::wstring body;
  for (int i = 0; body.size() < 32759; i++)
    body += i % 8 == 7 ? L' ' : i % 2 ? L'\u0416' : L'\u65e5';
  MapiMessageW msg = {};
  msg.lpszNoteText = &body[0];
  std::vector<Ratio> runs;
  for (int rep = 0; rep < kRepetitions; rep++) {
    Ratio r;
    r.measured = Time(n, [&] { send(0, 0, &msg, MAPI_DIALOG, 0); });
    r.baseline = Time(n, [&] { StartAndWaitRaw(wideClient, L" -Body " + body); });
    runs.push_back(r);
  }
  FreeLibrary(dll);
  SetClientPath(NULL);
  return Median(runs);
}

} // namespace

int main() {
  printf("| measure (qvmapi.dll under Wine) | baseline in the same run | "
         "measured | baseline | ratio |\n|---|---|---|---|---|\n");
  Report("keep-open: one trace line (MAPIFreeBuffer's three, per line)",
         "one raw WriteFile of a line of the same length",
         TraceLines(1, 20000));
  Report("open-per-line: one trace line",
         "raw CreateFileA, SetFilePointer, WriteFile, CloseHandle",
         TraceLines(2, 2000));
  Report("MAPISendMail of the reference message",
         "bare CreateProcessW and wait of the same client", Send(20));
  // Needs a display (run-wine-bench.sh runs it under xvfb-run).
  HWND window =
      CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                      10, 300, 200, NULL, NULL, NULL, NULL);
  if (window) {
    Report("MAPISendMail from a UI thread in front (modal wait), no "
           "attachment",
           "bare CreateProcessW and wait of the same client",
           Send(20, window, false));
    Report("MAPISendMail from a UI thread in front, the reference message "
           "(two attachments checked)",
           "bare CreateProcessW and wait of the same client", Send(20, window));
  }
  Report("MAPISendMailW of a 32,766-unit line",
         "bare CreateProcessW and wait with the same line", SendWide(20));
  SetLogLevel(NULL);
  EmptyTraceFolder();
  return 0;
}
