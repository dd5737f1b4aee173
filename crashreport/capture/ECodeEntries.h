#pragma once
// Code entries the build stamps into the program's "ELDATA" resource ("Entry.N=procedure" in
// its options file), read back with ResourceAddressById. There is no unit table to patch in
// C++: the entries name the procedures the reporter's start-up, shut-down and leak tracker
// reach by address instead.

#include <cstdint>

// Vidudo.exe stamps 11-19 (app/Vidudo.options).
enum TCodeEntryId : uint8_t {
    ceProgramMain = 11,        // RunTradingClient: the program's own code, entered when start-up is over
    ceFirstFinalization = 12,  // StopReporterFoundations: the first step of shut-down
    ceResetLeaks = 13,         // Internal_ResetLeaks and the other procedures the reporter
    ceAddLeak = 14,            // hands the leak tracker, in that order
    ceShowLeaks = 15,
    ceRaiseMemoryOverrun = 16,
    ceRaiseMultiFree = 17,
    ceDeleteOptionsFile = 18,  // DeleteLeakOptionsFile
    ceExceptionObject = 19,    // NewExternalObject: a system exception record's language exception object
};
