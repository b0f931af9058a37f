// The libFuzzer entry every target defines; the unit tests replay a
// target's saved corpus through it.
#ifndef QV_FUZZ_FUZZ_ENTRY_H
#define QV_FUZZ_FUZZ_ENTRY_H

#include <stddef.h>
#include <stdint.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

#endif
