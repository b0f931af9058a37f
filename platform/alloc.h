// The library's one allocation seam: every heap block the library asks for
// comes from here, so that tests can make any single allocation fail.
//
// The blocks come from the C runtime heap, the same heap the host returns
// resolved-recipient blocks to through MAPIFreeBuffer.
#ifndef QV_PLATFORM_ALLOC_H
#define QV_PLATFORM_ALLOC_H

#include <stddef.h>

void *QvAlloc(size_t size);
// Like realloc: on failure the old block is left as it was.
void *QvRealloc(void *block, size_t size);
void QvFree(void *block);

#endif
