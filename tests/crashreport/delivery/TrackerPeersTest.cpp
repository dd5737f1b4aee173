// The tracker dialogues through WinInet against the fake Mantis, Bugzilla and FogBugz servers of
// upload_peers.py, which need their session cookie on every page after the login.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/delivery/EWebSend.h"
#include "crashreport/delivery/EWebText.h"
#include "framework/Dialogs.h"
#include "tests/crashreport/delivery/UploadPeers.h"

namespace {

namespace fs = std::filesystem;

struct TLogged {
    int Request = 0;
    std::string Page, Name, Value;
};

// tracker.log, read afresh.
std::vector<TLogged> TrackerLog()
{
    std::ifstream in(PeerDir() / "tracker.log", std::ios::binary);
    std::vector<TLogged> log;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        TLogged entry;
        std::string value;
        s >> entry.Request >> entry.Page >> entry.Name >> value;
        entry.Value = UrlDecode(value);
        log.push_back(entry);
    }
    return log;
}

// The fields of the last request to a page since request `after`.
std::vector<TLogged> LastRequestTo(const std::string& page, int after = 0)
{
    const std::vector<TLogged> log = TrackerLog();
    int request = 0;
    for (const TLogged& e : log)
        if (e.Page == page && e.Request > after)
            request = e.Request;
    std::vector<TLogged> fields;
    for (const TLogged& e : log)
        if (e.Request == request)
            fields.push_back(e);
    return fields;
}

std::string Field(const std::vector<TLogged>& fields, const std::string& name)
{
    for (const TLogged& e : fields)
        if (e.Name == name)
            return e.Value;
    return "(none)";
}

int LastRequestNumber()
{
    const std::vector<TLogged> log = TrackerLog();
    return log.empty() ? 0 : log.back().Request;
}

// Every request after the first of the run came with the session.
void ExpectSessionKept(int after)
{
    int first = 0;
    for (const TLogged& e : TrackerLog()) {
        if (e.Request <= after || e.Name != "cookie")
            continue;
        if (!first) {
            first = e.Request;
            continue;
        }
        EXPECT_EQ("yes", e.Value) << "request " << e.Request << " " << e.Page;
    }
}

struct TTrackerRun {
    TTrackerRun()
    {
        dir = fs::temp_directory_path() / ("tracker-" + std::to_string(GetCurrentProcessId()));
        fs::create_directories(dir);
        zip = std::string("PK\x05\x06", 4) + std::string(1500, '\x7F') + std::string("\x00\x01\r\n", 4);
        std::ofstream(dir / "BugReport.zip", std::ios::binary) << zip;
        options.SetTrackerLogin("reporter");
        options.SetTrackerLoginPassword("pw");
        options.SetTrackerProject("Vidudo");
        options.SetTrackerCategory("Crash");
        input.Options = &options;
        input.CustomFields.Add("custom_field_3=Gold");
        input.Files.Add((dir / "BugReport.zip").string());
        input.DisplayNames.Add("BugReport.zip");
        input.Facts.AppVersion = "1.2.3.4";
        input.Facts.BugId = "1A2B";
        input.Facts.ExceptionMessage = "Access violation";
        input.Facts.ExceptionClass = "EAccessViolation";
        input.Facts.OsType = "Windows 7";
        input.Facts.OsBuild = "7601";
        input.Facts.ReproduceText = "Open the quotes";
    }
    ~TTrackerRun() { fs::remove_all(dir); }
    bool Send(int method, const std::string& tracker)
    {
        options.SetUploadAddress("http://127.0.0.1:" + Env("VIDUDO_TRACKER_PORT") + "/" + tracker + "/");
        before = LastRequestNumber();
        ClearLastWarning();
        shown = false;
        return SendWebReport(method, input, hooks, shown);
    }
    fs::path dir;
    std::string zip;
    TVurazaModuleOptions options{""};
    TWebSendInput input;
    TWebSendHooks hooks;
    bool shown = false;
    int before = 0;
};

TEST(TrackerPeers, MantisFilesThenCountsAgain)
{
    TTrackerRun run;
    ASSERT_TRUE(run.Send(wsmMantis, "mantis")) << LastWarningText();
    ExpectSessionKept(run.before);
    const std::vector<TLogged> report = LastRequestTo("bug_report.php", run.before);
    EXPECT_EQ("10", Field(report, "reproducibility"));
    EXPECT_EQ("10", Field(report, "view_state"));
    EXPECT_EQ("[v1.2.3.4 - 1]: 1A2B (EAccessViolation)", Field(report, "summary"));
    EXPECT_EQ("Windows 7", Field(report, "os"));
    EXPECT_EQ("2", Field(report, "category_id"));
    EXPECT_EQ("Gold", Field(report, "custom_field_3"));
    EXPECT_EQ("(none)", Field(report, "EL_ReproduceText"));
    EXPECT_EQ(run.zip, Field(report, "file:file"));
    EXPECT_EQ("BugReport.zip", Field(report, "filename:file"));

    ASSERT_TRUE(run.Send(wsmMantis, "mantis")) << LastWarningText();
    EXPECT_EQ("[v1.2.3.4 - 2]: 1A2B (EAccessViolation)", Field(LastRequestTo("bug_update.php", run.before), "summary"));
    EXPECT_EQ("(none)", Field(LastRequestTo("bug_report.php", run.before), "summary"));
}

TEST(TrackerPeers, BugzillaFilesAndAttaches)
{
    TTrackerRun run;
    run.input.Facts.BugId = "BZ1";
    ASSERT_TRUE(run.Send(wsmBugzilla, "bugzilla")) << LastWarningText();
    ExpectSessionKept(run.before);
    const std::vector<TLogged> post = LastRequestTo("post_bug.cgi", run.before);
    EXPECT_EQ("[v1.2.3.4 - 1]: BZ1 (EAccessViolation)", Field(post, "short_desc"));
    EXPECT_EQ("Access violation\r\n\r\n---\r\n\r\nOpen the quotes", Field(post, "comment"));
    const std::vector<TLogged> attach = LastRequestTo("attachment.cgi", run.before);
    EXPECT_EQ("insert", Field(attach, "action"));
    EXPECT_EQ(run.zip, Field(attach, "file:data"));
    EXPECT_NE("(none)", Field(attach, "bugid"));

    ASSERT_TRUE(run.Send(wsmBugzilla, "bugzilla")) << LastWarningText();
    EXPECT_EQ("[v1.2.3.4 - 2]: BZ1 (EAccessViolation)", Field(LastRequestTo("process_bug.cgi", run.before), "short_desc"));
}

TEST(TrackerPeers, FogBugzPostsItsActionToken)
{
    TTrackerRun run;
    run.input.Facts.BugId = "FB1";
    ASSERT_TRUE(run.Send(wsmFogBugz, "fogbugz")) << LastWarningText();
    ExpectSessionKept(run.before);
    const std::vector<TLogged> submit = LastRequestTo("default.asp", run.before);
    EXPECT_EQ("AbC123", Field(submit, "sActionToken"));
    EXPECT_EQ("4", Field(submit, "ixProject"));
    EXPECT_EQ("9", Field(submit, "ixArea"));
    EXPECT_EQ("1", Field(submit, "nFileCount"));
    EXPECT_EQ(run.zip, Field(submit, "file:File1"));

    ASSERT_TRUE(run.Send(wsmFogBugz, "fogbugz")) << LastWarningText();
    EXPECT_EQ("[v1.2.3.4 - 2]: FB1 (EAccessViolation)", Field(LastRequestTo("default.asp", run.before), "sTitle"));
}

TEST(TrackerPeers, AClosedBugShowsItsBoxOnceWithTheProgressOpen)
{
    TTrackerRun run;
    run.input.Facts.BugId = "closed-1";
    ASSERT_TRUE(run.Send(wsmMantis, "mantis")) << LastWarningText();
    std::vector<TMessageBoxRequest> boxes;
    MessageBoxHook previous = SetMessageBoxHook([&](const TMessageBoxRequest& r) {
        boxes.push_back(r);
        return TModalAnswer::Ok;
    });
    int closed = 0;
    run.hooks.ProgressOpen = [] { return true; };
    run.hooks.CloseProgress = [&] { ++closed; };
    const bool sent = run.Send(wsmMantis, "mantis");
    SetMessageBoxHook(previous);
    EXPECT_TRUE(sent);
    EXPECT_TRUE(run.shown);
    EXPECT_EQ(1, closed);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(run.options.MessageText(146), boxes[0].text);
    EXPECT_EQ(TMsgDlgType::Information, boxes[0].type);
    EXPECT_EQ("(none)", Field(LastRequestTo("bug_update.php", run.before), "summary"));
}

TEST(TrackerPeers, ACategoryMatchingNoOptionTakesTheSelectedOne)
{
    TTrackerRun run;
    run.input.Facts.BugId = "choose-1";
    run.options.SetTrackerCategory("No such category");
    ASSERT_TRUE(run.Send(wsmMantis, "mantis")) << LastWarningText();
    EXPECT_EQ("1", Field(LastRequestTo("bug_report.php", run.before), "category_id"));
}

TEST(TrackerPeers, AWrongLoginIsTheTrackersWarning)
{
    TTrackerRun run;
    run.options.SetTrackerLoginPassword("nope");
    // Mantis answers the login with a redirect, which is followed.
    const struct {
        int method;
        const char* tracker;
        int requests;
    } cases[] = {{wsmMantis, "mantis", 2}, {wsmBugzilla, "bugzilla", 1}, {wsmFogBugz, "fogbugz", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tracker);
        EXPECT_FALSE(run.Send(c.method, c.tracker));
        EXPECT_EQ(TDuruvaDodErrorCode::eeWebTrakerError, LastWarningCode());
        EXPECT_EQ(0u, LastWarningText().find(run.options.MessageText(148) + "\r\n\r\nError Code: 0\r\nError Message: \"\""))
            << LastWarningText();
        EXPECT_EQ(run.before + c.requests, LastRequestNumber());
    }
}

}  // namespace
