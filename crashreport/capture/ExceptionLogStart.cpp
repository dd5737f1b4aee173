// The reporter's bootstrap: linked whole into every program that carries the reporter, so that
// it starts right after the leak tracker and stops after everything else, and told by a wrap
// of main when the program's last initialisation has run and its first finalisation starts.

#include <cstdlib>

#include "crashreport/capture/ExceptionLog.h"

namespace {

struct TExceptionLogBootstrap {
    TExceptionLogBootstrap() { InitializeExceptionLog(); }
    ~TExceptionLogBootstrap() { FinalizeExceptionLog(); }
};

static_assert(ExceptionLogInitPriority == 102 && LeakTrackerInitPriority < ExceptionLogInitPriority);
TExceptionLogBootstrap bootstrap __attribute__((init_priority(102)));

void MarkFinalizationStarted()
{
    CloseRoadAtFinalization();
}

}  // namespace

extern "C" int __real_main(int argc, char** argv, char** envp);

// Every static initialisation has run when the runtime calls main. An exit handler added now
// runs before every destructor of a static object, however the program ends.
extern "C" int __wrap_main(int argc, char** argv, char** envp)
{
    StartupPhase = false;
    std::atexit(MarkFinalizationStarted);
    const int result = __real_main(argc, argv, envp);
    CloseRoadAtFinalization();
    return result;
}
