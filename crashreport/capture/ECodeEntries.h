#pragma once
// Code entries the build stamps into the program's "ELDATA" resource ("Entry.N=procedure" in
// its options file), read back with ResourceAddressById. There is no unit table to patch in
// C++: the entries name the procedures the reporter's start-up, shut-down and leak tracker
// reach by address instead.

#include <cstdint>

enum TCodeEntryId : uint8_t {
    ceProgramMain = 11,        // the program's own code, entered when start-up is over
    ceFirstFinalization = 12,  // the shut-down step that marks finalisation as started
    ceResetLeaks = 13,         // the leak tracker's exit steps and raisers, in the order
    ceAddLeak = 14,            // the reporter hands them over
    ceShowLeaks = 15,
    ceRaiseMemoryOverrun = 16,
    ceRaiseMultiFree = 17,
    ceDeleteOptionsFile = 18,
    ceExceptionObject = 19,  // maps a system exception record to a language exception object
};
