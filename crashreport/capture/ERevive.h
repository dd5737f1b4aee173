#pragma once
// The reporter's statics with destructors, started again empty for the leak report: it runs
// at exit, after every static destructor, and travels the ordinary road. One per unit that
// owns such statics.

void ReviveRoutingStatics();      // ERoad.cpp
void ReviveHandlerStatics();      // ERoadHandler.cpp
void ReviveEnvironmentStatics();  // ERoadEnvironment.cpp
void ReviveEventStatics();        // EEvents.cpp
void ReviveUtilityStatics();      // EUtilsWin.cpp
void ReviveProcessStatics();      // EProcesses.cpp
void ReviveInternalErrorStatics();  // EInternalError.cpp
void ReviveCoreStatics();         // ECore.cpp
