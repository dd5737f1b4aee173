// Drives the log file from a process of its own, for the tests that share one log between
// processes: "append FILE N TAG" adds N reports one open-add-save at a time; "churn FILE" saves
// a large log over and over until it is killed; "stop FILE EVENT" counts every report once more
// and, with the new text written beside the log, signals EVENT and waits there to be killed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "crashreport/delivery/ELogFileWin.h"
#include "framework/CodePage.h"
#include "tests/crashreport/delivery/LogSamples.h"

namespace {

HANDLE stopEvent = nullptr;

void SignalAndWait()
{
    SetEvent(stopEvent);
    Sleep(INFINITE);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 2 ? argv[1] : "";
    const std::string file = argc > 2 ? argv[2] : "";
    if (command == "append" && argc > 4) {
        const int count = std::atoi(argv[3]);
        for (int i = 0; i < count; ++i) {
            std::unique_ptr<TLogFile> log = OpenLogFile(file);
            log->AddLogReport(SampleReport("6.1.01 RC 1"), -1);
            log->SetReportItem("2.7", std::string(argv[4]) + "-" + std::to_string(i), log->ReportCount() - 1, "ID");
            log->SaveLogFile();
        }
        return 0;
    }
    if (command == "churn") {
        for (int round = 0;; ++round) {
            std::unique_ptr<TLogFile> log = OpenLogFile(file);
            for (int i = 0; i < log->ReportCount(); ++i) log->SetReportItem("2.8", std::to_string(round), i, "Count");
            log->SaveLogFile();
            if (round == 0) std::printf("saving\n"), std::fflush(stdout);
        }
    }
    if (command == "stop" && argc > 3) {
        stopEvent = OpenEventW(EVENT_MODIFY_STATE, FALSE, GbkToWide(argv[3]).c_str());
        if (!stopEvent) return 3;
        SetLogSaveHook(SignalAndWait);
        std::unique_ptr<TLogFile> log = OpenLogFile(file);
        for (int i = 0; i < log->ReportCount(); ++i) log->SetReportItem("2.8", "2", i, "Count");
        log->SaveLogFile();
        return 4;  // the hook never returns
    }
    std::fprintf(stderr, "usage: log_tool append FILE N TAG | churn FILE | stop FILE EVENT\n");
    return 2;
}
