#pragma once
// A standby thread that makes, on request, the system calls a report makes: heap blocks of
// every heap, a library load and a version resource read. Threads kept still during a report
// stay suspended only when it gets through them, that is when none of them stopped holding a
// lock of the system's (the loader's own, a heap's) that the report would wait for forever.

#include <windows.h>

// Made at start-up with the handling thread: starting a thread at the fault needs the process heap.
bool PrepareStillProbe();
void ReleaseStillProbe();
DWORD StillProbeThreadId();

// True when a probe got through within the time (or there is no probe thread). On false the probe is still waiting: let the
// threads run and wait for it (WaitStillProbe) before the next try.
bool RunStillProbe(DWORD milliseconds);
bool WaitStillProbe(DWORD milliseconds);
