#include "crashreport/capture/ELogStep.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "crashreport/capture/EOptions.h"

namespace {

// Records every call; the failing calls and the handlers' answers are set per test.
class TFakeLog : public TLogStepTarget {
public:
    std::vector<std::string> calls;
    int failSaves = 0;  // the first n saves raise
    bool failOpen = false;
    bool skipLog = false;  // the before-the-log handler clears the flag
    int retries = 0;       // the log-failed handler asks for this many more attempts
    int added = 0;

    void ActionNotification(int code, bool& continueFlag) override
    {
        calls.push_back("notify " + std::to_string(code));
        if (code == 2 && skipLog) continueFlag = false;
    }
    void ErrorNotification(int code, bool& retryFlag) override
    {
        calls.push_back("error " + std::to_string(code));
        retryFlag = retries-- > 0;
    }
    void ReportFailure(const std::string& step) override { calls.push_back("failure " + step); }
    void OpenLog() override
    {
        calls.push_back("open");
        if (failOpen) {
            failOpen = false;
            throw std::runtime_error("locked");
        }
    }
    void AddReport(const std::string& text, int keep) override
    {
        calls.push_back("add " + std::to_string(keep));
        ++added;
    }
    std::string LogText() override
    {
        calls.push_back("text");
        return "whole log";
    }
    void SaveLog() override
    {
        calls.push_back("save");
        if (failSaves > 0) {
            --failSaves;
            throw std::runtime_error("disk full");
        }
    }
    void CloseLog() override { calls.push_back("close"); }
};

using TCalls = std::vector<std::string>;

struct TStep {
    TVurazaModuleOptions options{"C:\\Program\\Trader.exe"};
    TLogStepState state;
    TFakeLog log;
    TStep() { state.LastReportText = "report"; }
    bool Run() { return SaveReportToLog(options, state, log); }
};

TEST(LogStep, AddsSavesAndClosesBetweenTheNotifications)
{
    TStep step;
    EXPECT_TRUE(step.Run());
    EXPECT_EQ(step.log.calls, (TCalls{"notify 2", "open", "add 32", "save", "close", "notify 3"}));
    EXPECT_TRUE(step.state.ActionContinueFlag);
    EXPECT_EQ(step.state.LogReportText, "");
}

TEST(LogStep, ADuplicateAddsNothingAndIsNotSavedAgain)
{
    TStep step;
    step.state.DuplicateErrorFound = true;
    EXPECT_TRUE(step.Run());
    EXPECT_EQ(step.log.calls, (TCalls{"notify 2", "open", "close", "notify 3"}));
}

TEST(LogStep, ARetryAfterAFailedSaveAddsTheReportOnceAndSaves)
{
    TStep step;
    step.log.failSaves = 1;
    step.log.retries = 1;
    EXPECT_TRUE(step.Run());
    EXPECT_EQ(step.log.added, 1);
    EXPECT_EQ(step.log.calls, (TCalls{"notify 2", "open", "add 32", "save", "failure Log", "error 3", "open", "save",
                                      "close", "notify 3"}));
    EXPECT_TRUE(step.state.ActionContinueFlag);
}

TEST(LogStep, AFailedOpenIsRetriedWithTheReport)
{
    TStep step;
    step.log.failOpen = true;
    step.log.retries = 1;
    EXPECT_TRUE(step.Run());
    EXPECT_EQ(step.log.added, 1);
    EXPECT_EQ(step.log.calls,
              (TCalls{"notify 2", "open", "failure Log", "error 3", "open", "add 32", "save", "close", "notify 3"}));
}

TEST(LogStep, AFailureWithoutARetryEndsTheStepFailed)
{
    TStep step;
    step.log.failSaves = 5;
    EXPECT_FALSE(step.Run());
    EXPECT_EQ(step.log.calls,
              (TCalls{"notify 2", "open", "add 32", "save", "failure Log", "error 3", "close", "notify 3"}));
    EXPECT_FALSE(step.state.ActionContinueFlag);
}

TEST(LogStep, AHandlerSkippingTheLogIsNotToldOfAFailure)
{
    TStep step;
    step.log.skipLog = true;
    EXPECT_TRUE(step.Run());
    EXPECT_EQ(step.log.calls, (TCalls{"notify 2", "open", "add 32", "close", "notify 3"}));
}

TEST(LogStep, TheWholeLogBecomesTheLoggedTextWithSendFlag4)
{
    TStep step;
    step.options.SetSendFlags(0x04);
    step.options.SetLogReportLimit(3);
    step.Run();
    EXPECT_EQ(step.log.calls, (TCalls{"notify 2", "open", "add 3", "text", "save", "close", "notify 3"}));
    EXPECT_EQ(step.state.LogReportText, "whole log");
}

TEST(LogStep, WithoutKeepingALogNothingIsNotifiedOrSaved)
{
    TStep step;
    step.options.SetKeepLogFile(false);
    step.log.failSaves = 1;
    EXPECT_TRUE(step.Run());
    EXPECT_EQ(step.log.calls, (TCalls{"open", "add 32", "close"}));
}

}  // namespace
