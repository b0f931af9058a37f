// What the fake's files share.
#ifndef QV_PLATFORM_FAKE_FAKE_H
#define QV_PLATFORM_FAKE_FAKE_H

#include "platform/types.h"

// The one place that decides failures: counts a call of op (QVOP_COUNT for
// the heap), runs its hook, and says whether the control armed it to fail,
// with *error the error to report.
int FakeFails(int op, DWORD *error = 0);

#endif
