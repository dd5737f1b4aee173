#pragma once
// The handled exception for a delivery that goes on after the handling: the road lets go of its
// call stacks, the thrown object is kept alive and the record's blocks are copied, so that the
// next exception neither frees nor overwrites what the delivery's handlers read.

#include <memory>

class TExceptionHandover;

// Called by the handling (the faulting thread holds HandlingLock): the stacks leave the road.
std::shared_ptr<TExceptionHandover> TakeExceptionHandover();
// The delivery, holding HandlingLock: CurrentExceptionRecord becomes the copy.
void InstallExceptionHandover(TExceptionHandover& handover);
// Frees the stacks; CurrentExceptionRecord no longer leads to them. The rest of the copy goes
// with the last reference (withdrawn from CurrentExceptionRecord first).
void ReleaseHandoverStacks(TExceptionHandover& handover);
// The road's own stacks, freed by a delivery that ran inline with the background flag.
void FreeCurrentStackList();
