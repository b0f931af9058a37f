// Log file placement and naming, for TraceOpen and its tests.
#ifndef QV_TRACE_TRACE_FILE_H
#define QV_TRACE_TRACE_FILE_H

#include "platform/win32.h"

// The per-user trace folder, ending in a backslash, into a 261-byte buffer.
int GetTraceFolder(char *folder);
// Creates the lowest free "<prefix><number>.<extension>" in folder.
DWORD MakeUniqueFileName(const char *folder, const char *prefix, char *output,
                         const char *extension);

#endif
