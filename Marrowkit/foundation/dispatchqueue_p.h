// Internals of the serial queues that the tests reach.
#pragma once

#include "Marrowkit/marrowkit_export.h"

// The most threads the shared pool behind every serial queue may run at once.
// Tests lower it to show that callers blocked in sync() never need a pool
// thread of their own.
MARROWKIT_TESTABLE int serialQueueThreadLimit();
MARROWKIT_TESTABLE void setSerialQueueThreadLimit(int threads);
