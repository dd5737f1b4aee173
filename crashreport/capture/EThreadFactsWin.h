#pragma once
// What the report's and the dialog's thread rows say of a thread: the exception and main
// marks, its priority read live, the class of its framework thread object and its name.
//
// Runs on the handling thread after the other threads were resumed (the system calls
// allocate); threads kept suspended may hold the thread list's lock, so the list is only
// tried, never waited for.

#include <cstdint>

#include "crashreport/capture/EThreadHeader.h"

TThreadHeaderFacts SystemThreadFacts(uint32_t threadId, uint32_t exceptionThreadId);
