// Placement and naming of the trace log file: one new, numbered file per
// process under the user's roaming application-data folder.
#include <string.h>

#include "include/qvmapi/registry.h"
#include "platform/platform.h"
#include "trace/format.h"
#include "trace/trace.h"
#include "trace/trace_file.h"
#include "trace/trace_state.h"

static const char kTraceFolderTail[] = QV_PRODUCT_FOLDER "\\";
static const size_t kTraceFolderTailLength = sizeof kTraceFolderTail - 1; // 48
static const char kProbeFormat[] = "%s\\%s%5.5lx.*";
static const char kNameFormat[] = "%s\\%s%5.5lx.%s";
static const char kLogExtension[] = "LOG";
static const unsigned short kMaxFileNumbers = TRACE_MAX_LOG_NUMBERS;
static const size_t kMaxPathChars = TRACE_PATH_SIZE - 1; // 260

int GetTraceFolder(char *folder) {
  folder[0] = 0;
  if (!AppDataFolder(folder, TRACE_PATH_SIZE)) {
    folder[0] = 0;
    return 0;
  }
  size_t length = strnlen(folder, TRACE_PATH_SIZE);
  if (length == 0 || length + 1 > kMaxPathChars) {
    folder[0] = 0;
    return 0;
  }
  folder[length++] = '\\';
  folder[length] = 0;
  if (length + kTraceFolderTailLength > kMaxPathChars) {
    folder[0] = 0;
    return 0;
  }
  memcpy(folder + length, kTraceFolderTail, kTraceFolderTailLength + 1);
  return 1;
}

// Formats into a 261-byte path; 0 when the result would have been cut.
static int FormatPath(char *out, const char *format, const char *folder,
                      const char *prefix, unsigned long number,
                      const char *extension) {
  int n = extension ? TraceFormat(out, TRACE_PATH_SIZE, format, folder, prefix,
                                  number, extension)
                    : TraceFormat(out, TRACE_PATH_SIZE, format, folder, prefix,
                                  number);
  if (n < 0 || (size_t)n > kMaxPathChars) {
    out[0] = 0;
    return 0;
  }
  return 1;
}

// The number a log file name carries, when the name is one that the probe
// "<prefix><number>.*" finds: the prefix (any case), five hexadecimal
// digits (any case), then a dot or nothing (Windows' ".*" also matches a
// name without an extension). 0 for any other name.
static unsigned long NumberOfName(const char *name, const char *prefix) {
  size_t i = 0;
  for (; prefix[i]; i++) {
    char a = name[i], b = prefix[i];
    if (a >= 'A' && a <= 'Z')
      a = (char)(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z')
      b = (char)(b - 'A' + 'a');
    if (a != b)
      return 0;
  }
  unsigned long number = 0;
  for (int d = 0; d < 5; d++) {
    char c = name[i + d];
    int v = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : -1;
    if (v < 0)
      return 0;
    number = number * 16 + (unsigned long)v;
  }
  char after = name[i + 5];
  return after == '.' || after == 0 ? number : 0;
}

// Marks the numbers in use from one listing of the folder. Probing each
// number with a search of its own reads the folder once per number, which
// makes a full folder quadratic. Returns 0 when the pattern would not fit.
int ListUsedNumbers(const char *folder, const char *prefix,
                    unsigned char *used) {
  char pattern[TRACE_PATH_SIZE];
  int n = TraceFormat(pattern, sizeof pattern, "%s\\%s*", folder, prefix);
  if (n < 0 || (size_t)n > kMaxPathChars)
    return 0;
  NameSearch search;
  if (!NameSearchFirst(&search, pattern))
    return 1; // an empty or unreadable folder: every number is free
  do {
    unsigned long number = NumberOfName(search.name, prefix);
    if (number >= 1 && number <= kMaxFileNumbers)
      used[number] = 1;
  } while (NameSearchNext(&search));
  NameSearchClose(&search);
  return 1;
}

// The probe for one number: 1 when something in the folder matches
// "<prefix><number>.*", 0 when nothing does, -1 when the pattern is too long.
static int ProbeNumber(const char *folder, const char *prefix,
                       unsigned long number) {
  char probe[TRACE_PATH_SIZE];
  if (!FormatPath(probe, kProbeFormat, folder, prefix, number, NULL))
    return -1;
  NameSearch search;
  if (!NameSearchFirst(&search, probe))
    return 0; // any failure counts as finding no entry
  NameSearchClose(&search);
  return 1;
}

DWORD MakeUniqueFileName(const char *folder, const char *prefix, char *output,
                         const char *extension) {
  output[0] = 0;
  unsigned char inUse[kMaxFileNumbers + 1];
  memset(inUse, 0, sizeof inUse);
  if (!ListUsedNumbers(folder, prefix, inUse))
    return ERROR_FILENAME_EXCED_RANGE;
  unsigned short used = 0;
  unsigned long number = 1;
  int probeAgain = 0;
  while (used < kMaxFileNumbers) {
    int taken = inUse[number];
    if (probeAgain) {
      taken = ProbeNumber(folder, prefix, number);
      if (taken < 0)
        return ERROR_FILENAME_EXCED_RANGE;
      probeAgain = 0;
    }
    if (taken) {
      used++;
      number++;
      continue;
    }
    if (!FormatPath(output, kNameFormat, folder, prefix, number, extension))
      return ERROR_FILENAME_EXCED_RANGE;
    HANDLE file;
    DWORD code = FileOpen(output, &file, GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_NEW);
    if (code == 0) {
      FileClose(file);
      return 0;
    }
    output[0] = 0;
    // Another process took this name between our listing and our create:
    // probe it again. Each retry counts toward the limit, so this ends.
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) {
      used++;
      probeAgain = 1;
      continue;
    }
    return code;
  }
  return ERROR_ALREADY_EXISTS;
}

static int IsSuccessfulFolderResult(int result) {
  return result == ERROR_SUCCESS || result == ERROR_FILE_EXISTS ||
         result == ERROR_ALREADY_EXISTS;
}

DWORD TraceOpen(const char *prefix) {
  TraceState *ts = &g_traceState;
  if (!ts->lockInitialised) {
    LockInit(&ts->lock);
    ts->lockInitialised = 1;
  }
  DWORD code = 0;
  if (ts->level != TRACE_LEVEL_OFF && ts->logHandle == INVALID_HANDLE_VALUE) {
    if (!GetTraceFolder(ts->traceFolder)) {
      code = ERROR_PATH_NOT_FOUND;
    } else {
      int created = CreateFolder(ts->traceFolder);
      if (!IsSuccessfulFolderResult(created)) {
        code = (DWORD)created;
      } else {
        code = MakeUniqueFileName(ts->traceFolder, prefix, ts->logFileName,
                                  kLogExtension);
        if (code == 0)
          code = FileOpen(ts->logFileName, &ts->logHandle, GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
      }
    }
  }
  // Open-per-line mode holds no handle between lines.
  if (ts->logHandle != INVALID_HANDLE_VALUE &&
      ts->level == TRACE_LEVEL_OPEN_PER_LINE) {
    FileClose(ts->logHandle);
    ts->logHandle = INVALID_HANDLE_VALUE;
  }
  if (code != 0)
    TraceClose();
  else
    ts->active = 1;
  return code;
}

void TraceClose(void) {
  TraceState *ts = &g_traceState;
  ts->active = 0;
  if (ts->logHandle != INVALID_HANDLE_VALUE) {
    FileClose(ts->logHandle);
    ts->logHandle = INVALID_HANDLE_VALUE;
  }
  if (ts->lockInitialised) {
    LockDelete(&ts->lock);
    ts->lockInitialised = 0;
  }
}
