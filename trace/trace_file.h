// Log file placement and naming, for TraceOpen and its tests.
#ifndef QV_TRACE_TRACE_FILE_H
#define QV_TRACE_TRACE_FILE_H

#include "platform/platform.h"

#define TRACE_LOG_PREFIX "MAPI_"
#define TRACE_MAX_LOG_NUMBERS 1000

// The per-user trace folder, ending in a backslash, into a 261-byte buffer.
int GetTraceFolder(char *folder);
// Marks in used[1..TRACE_MAX_LOG_NUMBERS] the numbers that names in folder
// carry, as the search for a free number counts them. 0 when the search
// pattern would not fit.
int ListUsedNumbers(const char *folder, const char *prefix,
                    unsigned char *used);
// Creates the lowest free "<prefix><number>.<extension>" in folder.
DWORD MakeUniqueFileName(const char *folder, const char *prefix, char *output,
                         const char *extension);

#endif
