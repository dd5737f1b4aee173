#pragma once
// The delivery of the report the handling road is working on: its job taken from the road's
// globals, and the road's events, lock and terminate scheduling as the delivery's hooks.

// TRoadSteps::StartSendReport, CheckCrashRate and WaitForBackgroundSenders of the program.
void StartRoadDelivery();
void CheckRoadCrashRate();
bool WaitForRoadSenders(unsigned milliseconds);
