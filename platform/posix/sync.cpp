// Critical sections, thread ids, local time and the ANSI code page.
#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "platform/posix/seam.h"

// Critical sections are re-entrant for their owner, like Windows'.
void InitializeCriticalSection(LPCRITICAL_SECTION cs) {
  DWORD ignored;
  QvOpEnter(QVOP_InitializeCriticalSection, &ignored);
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&cs->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) {
  DWORD ignored;
  QvOpEnter(QVOP_EnterCriticalSection, &ignored);
  pthread_mutex_lock(&cs->mutex);
}

void LeaveCriticalSection(LPCRITICAL_SECTION cs) {
  DWORD ignored;
  QvOpEnter(QVOP_LeaveCriticalSection, &ignored);
  pthread_mutex_unlock(&cs->mutex);
}

void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
  DWORD ignored;
  QvOpEnter(QVOP_DeleteCriticalSection, &ignored);
  pthread_mutex_destroy(&cs->mutex);
}

// The kernel's thread id, asked for once per thread: a system call on every
// trace line would cost more than the line's write. (The library does not
// fork; a forked child would need its own id.)
static thread_local DWORD t_threadId;

DWORD GetCurrentThreadId(void) {
  DWORD ignored;
  QvOpEnter(QVOP_GetCurrentThreadId, &ignored);
  if (!t_threadId)
    t_threadId = (DWORD)syscall(SYS_gettid);
  return t_threadId;
}

// The calendar fields of the last second converted on this thread: within
// one second they do not change, and localtime_r is the dearest part.
static thread_local time_t t_lastSecond = (time_t)-1;
static thread_local struct tm t_lastLocal;

void GetLocalTime(LPSYSTEMTIME st) {
  DWORD ignored;
  QvOpEnter(QVOP_GetLocalTime, &ignored);
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  if (now.tv_sec != t_lastSecond) {
    localtime_r(&now.tv_sec, &t_lastLocal);
    t_lastSecond = now.tv_sec;
  }
  const struct tm &local = t_lastLocal;
  st->wYear = (WORD)(local.tm_year + 1900);
  st->wMonth = (WORD)(local.tm_mon + 1);
  st->wDayOfWeek = (WORD)local.tm_wday;
  st->wDay = (WORD)local.tm_mday;
  st->wHour = (WORD)local.tm_hour;
  st->wMinute = (WORD)local.tm_min;
  st->wSecond = (WORD)local.tm_sec;
  st->wMilliseconds = (WORD)(now.tv_nsec / 1000000);
}

// The process's ANSI code page: 1252 unless test control picks the
// double-byte Japanese page 932 (lead bytes 0x81-0x9F and 0xE0-0xFC) or
// UTF-8 (65001), as a manifest's activeCodePage can.
UINT g_qvAnsiCodePage = 1252;

UINT GetACP(void) { return g_qvAnsiCodePage; }

// The system's default ANSI code page: the process's unless test control
// sets it apart (0: the same).
UINT g_qvSystemCodePage = 0;

static int AnsiCodePageNumber(LCTYPE type, LPWSTR out, int room) {
  if (type != (LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER) ||
      room < 2) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  DWORD page = g_qvSystemCodePage ? g_qvSystemCodePage : g_qvAnsiCodePage;
  memcpy(out, &page, sizeof page);
  return 2;
}

int GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR out, int room) {
  if (locale != LOCALE_SYSTEM_DEFAULT) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return AnsiCodePageNumber(type, out, room);
}

// Wine 8 answers the system default's name with 0; so does this.
int GetLocaleInfoEx(LPCWSTR name, LCTYPE type, LPWSTR out, int room) {
  (void)name, (void)type, (void)out, (void)room;
  SetLastError(ERROR_INVALID_PARAMETER);
  return 0;
}

void InitOnceInitialize(LPINIT_ONCE once) {
  pthread_mutex_init(&once->mutex, NULL);
  pthread_cond_init(&once->done, NULL);
  once->state = 0;
}

BOOL InitOnceBeginInitialize(LPINIT_ONCE once, DWORD flags, BOOL *pending,
                             LPVOID *context) {
  (void)flags, (void)context;
  pthread_mutex_lock(&once->mutex);
  while (once->state == 1)
    pthread_cond_wait(&once->done, &once->mutex);
  *pending = once->state == 0;
  if (*pending)
    once->state = 1;
  pthread_mutex_unlock(&once->mutex);
  return TRUE;
}

BOOL InitOnceComplete(LPINIT_ONCE once, DWORD flags, LPVOID context) {
  (void)context;
  pthread_mutex_lock(&once->mutex);
  once->state = (flags & INIT_ONCE_INIT_FAILED) ? 0 : 2;
  pthread_cond_broadcast(&once->done);
  pthread_mutex_unlock(&once->mutex);
  return TRUE;
}

BOOL GetCPInfo(UINT codePage, LPCPINFO info) {
  DWORD ignored;
  QvOpEnter(QVOP_GetCPInfo, &ignored);
  UINT page = codePage == CP_ACP ? g_qvAnsiCodePage : codePage;
  memset(info, 0, sizeof *info);
  info->DefaultChar[0] = '?';
  if (page == 932) {
    static const BYTE kLead[] = {0x81, 0x9F, 0xE0, 0xFC};
    info->MaxCharSize = 2;
    memcpy(info->LeadByte, kLead, sizeof kLead);
  } else if (page == CP_UTF8) {
    info->MaxCharSize = 4; // and no lead byte ranges: UTF-8 is not DBCS
  } else {
    info->MaxCharSize = 1;
  }
  return TRUE;
}

BOOL IsDBCSLeadByte(BYTE c) {
  if (g_qvAnsiCodePage != 932)
    return FALSE;
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
