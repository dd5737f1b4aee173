#pragma once
// The log file on disk. While a log object lives it holds a mutex named after the log's full
// path, so processes sharing one log take turns and none loses another's report; the file is
// opened only to read it and to write it, and a save replaces it in one step.

#include <memory>
#include <string>

#include "crashreport/delivery/ELogFile.h"

// How long a log object waits for another process to finish with the log.
constexpr unsigned long kLogLockTimeoutMs = 10000;

// The mutex belongs to the thread that opened the log: open and free a log object on one thread.
// Raises when the log stays locked by another process for longer than kLogLockTimeoutMs.
std::unique_ptr<TLogFileStore> OpenLogFileStore(const std::string& fileName);
std::unique_ptr<TLogFile> OpenLogFile(const std::string& fileName);

// Called by a save after the new text is in "<log>.tmp" and before it replaces the log, so a
// test can stop a process exactly there. None unless set.
void SetLogSaveHook(void (*hook)());
