#pragma once
// The crash reporter's foundations the running program sets up first and tears down last:
// where internal warnings go, the options hand-over between modules, the hook unit and the
// main thread's record. The reporter's own start-up builds on them.

void StartReporterFoundations();
void StopReporterFoundations();
