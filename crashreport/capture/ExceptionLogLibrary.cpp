// The reporter's bootstrap in a library that carries its own copy: started right after the
// leak tracker when the library loads, stopped last when it unloads. A library has no main:
// its last initialisation is its last constructor, its first finalisation its first exit
// handler.

#include <cstdlib>

#include "crashreport/capture/ExceptionLog.h"

namespace {

struct TExceptionLogBootstrap {
    TExceptionLogBootstrap() { InitializeExceptionLog(); }
    ~TExceptionLogBootstrap() { FinalizeExceptionLog(); }
};

TExceptionLogBootstrap bootstrap __attribute__((init_priority(102)));

void MarkFinalizationStarted()
{
    CloseRoadAtFinalization();
}

__attribute__((constructor(65535))) void MarkStartupDone()
{
    StartupPhase = false;
    std::atexit(MarkFinalizationStarted);
}

}  // namespace
