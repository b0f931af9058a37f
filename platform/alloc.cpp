#include "platform/alloc.h"

#include <stdlib.h>

#ifdef QV_TEST_CONTROL
#include "platform/posix/seam.h"
#endif

void *QvAlloc(size_t size) {
#ifdef QV_TEST_CONTROL
  if (QvAllocMustFail())
    return NULL;
#endif
  // malloc(0) may return NULL; the library never asks for 0 bytes, but a
  // NULL here must only ever mean "out of memory".
  void *block = malloc(size ? size : 1);
#ifdef QV_TEST_CONTROL
  if (block)
    QvAllocNoteLive(1);
#endif
  return block;
}

void *QvRealloc(void *block, size_t size) {
  if (!block)
    return QvAlloc(size);
#ifdef QV_TEST_CONTROL
  if (QvAllocMustFail())
    return NULL;
#endif
  return realloc(block, size ? size : 1);
}

void QvFree(void *block) {
  if (!block)
    return;
#ifdef QV_TEST_CONTROL
  QvAllocNoteLive(-1);
#endif
  free(block);
}
