#pragma once
// The rules of delivery that need no system: the progress shown for each state of a
// connection, the crash rate, and which kept report archives make room for new ones.

#include <cstdint>
#include <string>
#include <vector>

// The bar of the send-progress window: it moves only forward, except where a state resets it.
class TSendProgress {
public:
    int Position() const { return position_; }
    void Reset() { position_ = 0; }
    // False, and the bar stays, for a position below the current one.
    bool SetPosition(int position);
    void Advance(int step) { SetPosition(position_ + step); }

private:
    int position_ = 0;
};

// The message text shown for a state of an HTTP connection (0 connecting ... 9 disconnected) and
// the bar it leaves; percent is the share of the request body sent, for state 6. -1: no text.
int ConnectionStatus(int state, int percent, TSendProgress& bar);
// The plain HTTP and FTP uploads: kind 0 starts, 1 is connected, 2 has sent done of total.
int UploadStatus(int kind, uint64_t total, uint64_t done, TSendProgress& bar);
// part * 100 / total, rounded; 0 for a total of 0.
int PercentOf(uint64_t part, uint64_t total);

// True when the list holds exactly `count` crash times (date-times in days) and they span at
// most `minutes`.
bool CrashRateExceeded(const std::vector<double>& crashTimes, int count, int minutes);

// Of the files in a folder, the reporter's own archives ("BugReport*.zip", any case) to delete
// so that the `keep` last in name order remain; other files are never touched.
std::vector<std::string> KeptArchivesToDelete(std::vector<std::string> names, size_t keep = 10);
