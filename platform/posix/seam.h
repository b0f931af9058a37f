// Internal hooks between the POSIX layer and test control. In a build
// without test control they cost nothing.
#ifndef QV_PLATFORM_POSIX_SEAM_H
#define QV_PLATFORM_POSIX_SEAM_H

#include "platform/posix/ops.h"
#include "platform/posix/win32_posix.h"

#ifdef QV_TEST_CONTROL
// Counts the call; returns 1 when test control wants it to fail, with the
// error to report in *error.
int QvOpEnter(QvOp op, DWORD *error);
int QvAllocMustFail(void);
void QvAllocNoteLive(int delta);
void QvNoteCreateProcess(LPCSTR app, LPCSTR cmdline, LPSECURITY_ATTRIBUTES pa,
                         LPSECURITY_ATTRIBUTES ta, BOOL inherit, DWORD flags,
                         LPVOID env, LPCSTR dir, const STARTUPINFOA *si);
// The wide command line of a CreateProcessW call, beside the UTF-8 one.
void QvNoteCreateProcessWide(LPCWSTR cmdline);
// The widest the text scans may read (2 AVX2, 1 SSE2, 0 a unit at a
// time), or -1 for no limit.
int QvTextScanLimit(void);
#else
static inline int QvOpEnter(QvOp, DWORD *) { return 0; }
static inline void QvNoteCreateProcessWide(LPCWSTR) {}
#endif

// Handles of every kind that are open now (files, finds, processes, keys).
void QvHandleNoteOpen(int delta);
long QvHandlesOpen(void);

#endif
