// The exception dialogs shown for real under Xvfb, driven from a second thread.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EDialogDispatch.h"
#include "crashreport/capture/EDialogHooks.h"
#include "crashreport/capture/EDialogRoad.h"
#include "crashreport/capture/EDialogServices.h"
#include "crashreport/capture/EDialogSettings.h"
#include "crashreport/capture/EOptions.h"
#include "framework/CodePage.h"
#include "framework/DialogMark.h"
#include "tests/crashreport/capture/DialogDriver.h"
#include "tests/crashreport/capture/GdiCounter.h"
#include "tests/support/UiDriver.h"

namespace {

TVurazaModuleOptions* testOptions = nullptr;
std::atomic<int> beeps{0};
std::atomic<int> shellOpens{0};
std::wstring shellVerb;
int shellShow = 0;

using MessageBeepFn = BOOL(WINAPI*)(UINT);
MessageBeepFn realBeep = nullptr;
BOOL WINAPI CountBeep(UINT type)
{
    ++beeps;
    return TRUE;
}
HINSTANCE WINAPI RecordShellExecute(HWND, LPCWSTR verb, LPCWSTR, LPCWSTR, LPCWSTR, INT show)
{
    ++shellOpens;
    shellVerb = verb ? verb : L"";
    shellShow = show;
    return reinterpret_cast<HINSTANCE>(33);
}

std::string IniPath() { return IncludeTrailingSlash(GetDefaultSettingsFolder()) + DialogIniFileName; }
std::string Ini(const char* section, const char* key) { return ReadIniText(DialogIniFileName, section, key, "<none>"); }
void SetIni(const char* section, const char* key, const std::string& value)
{
    WriteIniText(DialogIniFileName, section, key, value);
}

struct ExceptionDialogs : testing::Test {
    std::unique_ptr<ui::MessageBoxRecorder> boxes;
    std::string lastReport = "General:\r\n  3.3 Email : \r\n  3.4 Other : x\r\n";
    std::string logReport = lastReport;
    int reportCounter = 1;

    static void SetUpTestSuite()
    {
        static TVurazaModuleOptions options("Vidudo.exe");
        testOptions = &options;
        ModuleOptionsHooks().currentOptions = [] { return testOptions; };
        PatchImport("user32.dll", "MessageBeep", reinterpret_cast<void*>(&CountBeep));
        PatchImport("shell32.dll", "ShellExecuteW", reinterpret_cast<void*>(&RecordShellExecute));
    }
    void SetUp() override
    {
        boxes.reset();
        testOptions->SetDefaults();
        testOptions->SetMailMethod(1);
        ResetDialogResults();
        SendChecked = true;  // as the road sets it when a method is set
        reportCounter = 1;
        beeps = 0;
        shellOpens = 0;
        DeleteFileW(GbkToWide(IniPath()).c_str());
        auto& h = ExceptionDialogHooks();
        h = TExceptionDialogHooks{};
        h.exceptionMessage = [] { return std::string("Access violation at address 00401000. Read of address 00000000."); };
        h.reportCounter = [this] { return reportCounter; };
        h.replaceReportEmail = [this](const std::string& a) {
            ReplaceReportItemValue(lastReport, "3.3", a);
            ReplaceReportItemValue(logReport, "3.3", a);
        };
        boxes = std::make_unique<ui::MessageBoxRecorder>();
    }
    void TearDown() override { boxes.reset(); }

    void ShowDetailed(std::vector<dlg::TStep> steps)
    {
        DialogState = TDialogState::Detailed;
        dlg::Drive([] { ShowExceptionDialog(true); }, std::move(steps));
    }
    void ShowClassic(std::vector<dlg::TStep> steps)
    {
        DialogState = TDialogState::Classic;
        dlg::Drive([] { ShowExceptionDialog(true); }, std::move(steps));
    }
};

enum { idOk = 102, idTerminate = 103, idDetails = 104, idHelp = 105, idTab = 1000, idSend = 3000,
       idShot = 4000, idCopy = 5000 };

}  // namespace

TEST_F(ExceptionDialogs, DetailedVisibility)
{
    struct {
        const char* name;
        std::function<void(ExceptionDialogs&)> setup;
        bool send, terminate, help;
        const char* terminateText;
    } cases[] = {
        {"defaults", [](ExceptionDialogs&) {}, true, false, false, nullptr},
        {"no method", [](ExceptionDialogs&) { testOptions->SetMailMethod(0); }, false, false, false, nullptr},
        {"duplicate", [](ExceptionDialogs&) { ExceptionDialogHooks().duplicateError = [] { return true; }; }, false,
         false, false, nullptr},
        {"fourth report", [](ExceptionDialogs& t) { t.reportCounter = 4; }, true, true, false, "&Restart"},
        {"third report", [](ExceptionDialogs& t) { t.reportCounter = 3; }, true, false, false, nullptr},
        {"terminate", [](ExceptionDialogs& t) { t.reportCounter = 4; testOptions->SetTerminateButtonAction(1); },
         true, true, false, "&Terminate"},
        {"help", [](ExceptionDialogs&) { testOptions->SetDialogFlags(0x18F | 0x200); }, true, false, true, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        AttachScreenshotChecked = true;
        c.setup(*this);
        ShowDetailed({[&](HWND d) {
            EXPECT_TRUE(IsProgramDialog(d));
            EXPECT_EQ("Error occurred", dlg::WindowTitle(d));
            EXPECT_EQ(c.send, dlg::Visible(d, idSend));
            EXPECT_EQ(c.send, dlg::Visible(d, idShot));
            if (c.send) {
                EXPECT_TRUE(dlg::Checked(d, idSend));
                EXPECT_TRUE(dlg::Checked(d, idShot));
            }
            EXPECT_TRUE(dlg::Visible(d, idCopy));
            EXPECT_FALSE(dlg::Checked(d, idCopy));
            EXPECT_EQ("&Details >>", dlg::Text(d, idDetails));
            EXPECT_EQ(c.terminate, dlg::Visible(d, idTerminate));
            if (c.terminateText)
                EXPECT_EQ(c.terminateText, dlg::Text(d, idTerminate));
            EXPECT_EQ(c.help, dlg::Visible(d, idHelp));
            if (c.help)
                EXPECT_EQ("&Help", dlg::Text(d, idHelp));
            dlg::Command(d, idOk);
        }});
        EXPECT_EQ(TDialogState::None, DialogState.load());
        EXPECT_EQ(1, beeps.load());
    }
}

TEST_F(ExceptionDialogs, DetailedFlags)
{
    struct {
        const char* name;
        std::function<void(HWND)> act;
        bool send, copy, cancelled, terminate;
        uint16_t flagBits;  // 0x1 and 0x2 written back
    } cases[] = {
        {"OK checked", [](HWND d) { dlg::Command(d, idOk); }, true, false, false, false, 0x3},
        {"OK unchecked",
         [](HWND d) {
             dlg::SetChecked(d, idSend, false);
             EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, idShot)));
             dlg::SetChecked(d, idSend, true);
             EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, idShot)));
             dlg::SetChecked(d, idSend, false);
             dlg::SetChecked(d, idShot, false);
             dlg::Command(d, idOk);
         },
         false, false, false, false, 0x0},
        {"copy", [](HWND d) { dlg::SetChecked(d, idCopy, true); dlg::Command(d, idOk); }, true, true, false, false, 0x3},
        {"Escape", [](HWND d) { dlg::SetChecked(d, idCopy, true); dlg::Command(d, IDCANCEL); }, false, false, true,
         false, 0x2},
        {"terminate", [](HWND d) { dlg::Command(d, idTerminate); }, true, false, false, true, 0x3},
        {"close", [](HWND d) { PostMessageW(d, WM_CLOSE, 0, 0); }, true, false, false, false, 0x3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        AttachScreenshotChecked = true;
        ShowDetailed({[&](HWND d) { c.act(d); }});
        EXPECT_EQ(c.send, SendChecked.load());
        EXPECT_EQ(c.copy, CopyToClipboardChecked.load());
        EXPECT_EQ(c.cancelled, DialogCancelled.load());
        EXPECT_EQ(c.terminate, TerminatePressed.load());
        EXPECT_EQ(c.flagBits, testOptions->DialogFlags() & 0x3);
        EXPECT_EQ(TDialogState::None, DialogState.load());
    }
}

TEST_F(ExceptionDialogs, DetailedTabs)
{
    struct {
        uint8_t logFlags;
        int firstTab;
        std::vector<std::string> tabs;
        int selected;
        const char* header;
    } cases[] = {
        {0x30, 0, {"General", "Call Stack", "Modules", "Processes", "Assembler", "CPU"}, 0, "General Information"},
        {0x20, 4, {"General", "Call Stack", "Assembler", "CPU"}, 2, "Assembler Information"},
        {0x00, 3, {"General", "Call Stack"}, 0, "General Information"},
        {0x30, 1, {"General", "Call Stack", "Modules", "Processes", "Assembler", "CPU"}, 1, "Call Stack Information"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header);
        SetUp();
        testOptions->SetLogFlags(c.logFlags);
        testOptions->SetFirstDialogTab(static_cast<uint8_t>(c.firstTab));
        testOptions->SetDialogFlags(0x18F | 0x10);
        ShowDetailed({[&](HWND d) {
            HWND tab = GetDlgItem(d, idTab);
            std::vector<std::string> texts;
            for (int i = 0; i < static_cast<int>(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0)); ++i) {
                wchar_t text[64] = {};
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = text;
                item.cchTextMax = 64;
                SendMessageW(tab, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
                texts.push_back(WideToGbk(text));
            }
            EXPECT_EQ(c.tabs, texts);
            EXPECT_EQ(c.selected, SendMessageW(tab, TCM_GETCURSEL, 0, 0));
            HWND page = FindWindowExW(tab, nullptr, L"#32770", nullptr);
            ASSERT_NE(nullptr, page);
            EXPECT_TRUE(IsProgramDialog(page));
            EXPECT_EQ(c.header, dlg::Text(page, 102));
            dlg::Command(d, idOk);
        }});
    }
}

TEST_F(ExceptionDialogs, DetailedGeometry)
{
    testOptions->SetDialogFlags(0x18F | 0x10);
    const RECT area = MonitorWorkArea(GetDesktopWindow());
    // Stored: a size and a left far outside the work area.
    SetIni("Coordinates", "Width", "700");
    SetIni("Coordinates", "Height", "400");
    SetIni("Coordinates", "Left", "-5000");
    SetIni("Coordinates", "Top", "10");
    ShowDetailed({[&](HWND d) {
        RECT w;
        GetWindowRect(d, &w);
        EXPECT_EQ(700, w.right - w.left);
        EXPECT_NEAR((area.left + area.right) / 2, (w.left + w.right) / 2, 1) << "centred";
        EXPECT_TRUE(GetWindowLongW(d, GWL_STYLE) & WS_THICKFRAME);
        EXPECT_FALSE(dlg::Visible(d, idOk) && dlg::Text(d, idDetails) == "&Details >>");
        SetWindowPos(d, nullptr, 100, 50, 720, 500, SWP_NOZORDER);
        Sleep(100);
        dlg::Command(d, idOk);
    }});
    EXPECT_EQ("720", Ini("Coordinates", "Width"));
    EXPECT_EQ("466", Ini("Coordinates", "Height")) << "without the 34-pixel bottom area";
    EXPECT_EQ("100", Ini("Coordinates", "Left"));
    EXPECT_EQ("50", Ini("Coordinates", "Top"));
    EXPECT_EQ("1", Ini("Coordinates", "WindowsState"));

    SetUp();
    testOptions->SetDialogFlags(0x18F | 0x10);
    SetIni("Coordinates", "WindowsState", "6");
    ShowDetailed({[&](HWND d) {
        Sleep(300);
        EXPECT_TRUE(IsWindow(d)) << "a stored minimised state must not close it unseen";
        EXPECT_FALSE(IsIconic(d));
        dlg::Command(d, idOk);
    }});
    EXPECT_FALSE(DialogCancelled.load());
}

namespace {
// Holds the dialog's thread after its initialisation, so the 1 ms shown-check tick is due
// before the modal loop has shown the dialog, as on a busy machine.
LRESULT CALLBACK SlowAfterInit(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && reinterpret_cast<const CWPRETSTRUCT*>(lParam)->message == WM_INITDIALOG)
        Sleep(50);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace

TEST_F(ExceptionDialogs, ATickBeforeTheFirstShowDoesNotCloseTheDialogUnseen)
{
    for (TDialogState state : {TDialogState::Detailed, TDialogState::Classic}) {
        SCOPED_TRACE(static_cast<int>(state));
        SetUp();
        HHOOK slow = SetWindowsHookExW(WH_CALLWNDPROCRET, SlowAfterInit, nullptr, GetCurrentThreadId());
        ASSERT_NE(nullptr, slow);
        bool seen = false;
        DialogState = state;
        dlg::Drive([] { ShowExceptionDialog(false); }, {[&](HWND d) {
                       seen = true;
                       dlg::Command(d, IDCANCEL);
                   }});
        UnhookWindowsHookEx(slow);
        EXPECT_TRUE(seen);
        EXPECT_FALSE(DialogFailed.load());
        EXPECT_TRUE(boxes->Seen.empty()) << "no fallback box";
    }
}

TEST_F(ExceptionDialogs, DetailedSmallFormAndSupportLink)
{
    ExceptionDialogHooks().exceptionMessage = [] { return std::string(2000, 'x'); };
    testOptions->SetSupportPageAddress(" http://127.0.0.1/support ");
    ShowDetailed({[&](HWND d) {
        RECT w;
        GetWindowRect(d, &w);
        EXPECT_GE(w.right - w.left, 340);
        EXPECT_LE(w.right - w.left, 640);
        EXPECT_FALSE(dlg::Visible(d, idTab));
        // The link sits right-aligned under the buttons: find it by its hand cursor spot.
        RECT client;
        GetClientRect(d, &client);
        const RECT ok = dlg::Bounds(d, idOk);
        const int y = ok.top + 34 + 16 + 6;
        const LPARAM at = MAKELPARAM(client.right - 10, y);
        SendMessageW(d, WM_MOUSEMOVE, 0, at);
        SendMessageW(d, WM_LBUTTONUP, 0, at);
        EXPECT_EQ(1, shellOpens.load());
        EXPECT_EQ(L"open", shellVerb);
        EXPECT_EQ(SW_SHOWMAXIMIZED, shellShow);
        dlg::Command(d, idOk);
    }});
}

// The program's own options (a mail method, Restart from the fourth report) and a two-line
// message: no two shown controls of the small form meet, and none covers the picture, with
// the plain message font and a larger one.
TEST_F(ExceptionDialogs, DetailedSmallFormControlsNeverMeet)
{
    ExceptionDialogHooks().exceptionMessage = [] {
        return std::string("Access violation at address 00401000.\r\nRead of address 00000000.");
    };
    testOptions->SetTerminateButtonAction(2);
    testOptions->SetSendFlags(testOptions->SendFlags() | 0x10);
    reportCounter = 4;
    NONCLIENTMETRICSW plain{};
    plain.cbSize = sizeof plain;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof plain, &plain, 0));
    for (int grow : {0, 8}) {
        SCOPED_TRACE(testing::Message() << "message font " << grow << " pixels taller");
        NONCLIENTMETRICSW metrics = plain;
        const LONG h = metrics.lfMessageFont.lfHeight;
        metrics.lfMessageFont.lfHeight = h < 0 ? h - grow : h + grow;
        SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        ShowDetailed({[&](HWND d) {
            std::vector<std::pair<int, RECT>> shown = {{0, RECT{8, 8, 40, 40}}};  // the picture
            for (int id : std::initializer_list<int>{101, idOk, idTerminate, idDetails, idHelp, idSend, idShot, idCopy})
                if (dlg::Visible(d, id))
                    shown.push_back({id, dlg::Bounds(d, id)});
            EXPECT_TRUE(dlg::Visible(d, idTerminate) && dlg::Visible(d, idSend) && dlg::Visible(d, idCopy));
            RECT client;
            GetClientRect(d, &client);
            for (size_t i = 0; i < shown.size(); ++i) {
                RECT inside;
                EXPECT_TRUE(IntersectRect(&inside, &shown[i].second, &client) && EqualRect(&inside, &shown[i].second))
                    << shown[i].first << " reaches out of the client area";
                for (size_t j = i + 1; j < shown.size(); ++j) {
                    RECT both;
                    EXPECT_FALSE(IntersectRect(&both, &shown[i].second, &shown[j].second))
                        << shown[i].first << " meets " << shown[j].first;
                }
            }
            dlg::Command(d, idOk);
        }});
    }
    SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof plain, &plain, 0);
}

TEST_F(ExceptionDialogs, ClassicLayout)
{
    testOptions->SetMailMethod(2);
    testOptions->SetLogFlags(0x32);
    ShowClassic({[&](HWND d) {
        EXPECT_TRUE(IsProgramDialog(d));
        RECT w;
        GetWindowRect(d, &w);
        EXPECT_EQ(419, w.right - w.left);
        const RECT area = MonitorWorkArea(d);
        EXPECT_NEAR((area.left + area.right) / 2, (w.left + w.right) / 2, 1);
        const int rows[] = {103, 105, 106, 107, 108, 109, 111, 1000};
        RECT previous{};
        for (int id : rows) {
            SCOPED_TRACE(id);
            ASSERT_TRUE(dlg::Visible(d, id));
            const RECT r = dlg::Bounds(d, id);
            EXPECT_GE(r.top, previous.bottom - 4) << "rows run top to bottom";
            previous = r;
        }
        const RECT send = dlg::Bounds(d, 1000), second = dlg::Bounds(d, 1001);
        EXPECT_LE(send.right, second.left);
        EXPECT_EQ(send.top, second.top);
        EXPECT_EQ("&Send Error Report", dlg::Text(d, 1000));
        EXPECT_EQ("&Don't Send", dlg::Text(d, 1001));
        EXPECT_FALSE(dlg::Visible(d, 1002));
        dlg::Command(d, 1001);
    }});
    EXPECT_FALSE(SendChecked.load());

    struct {
        const char* name;
        uint16_t dialogFlags;
        uint8_t logFlags, mailMethod;
        bool link, reproduce, send, help;
    } cases[] = {
        {"no link", 0x187, 0x32, 2, false, true, true, false},
        {"no reproduce", 0x18F, 0x30, 2, true, false, true, false},
        {"no sending", 0x18F, 0x30, 0, true, false, false, false},
        {"no sending, help", 0x38F, 0x30, 0, true, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        testOptions->SetDialogFlags(c.dialogFlags);
        testOptions->SetLogFlags(c.logFlags);
        testOptions->SetMailMethod(c.mailMethod);
        SendChecked = c.mailMethod != 0;
        ShowClassic({[&](HWND d) {
            EXPECT_EQ(c.link, dlg::Visible(d, 107));
            EXPECT_EQ(c.reproduce, dlg::Visible(d, 108));
            EXPECT_EQ(c.reproduce, dlg::Visible(d, 109));
            EXPECT_EQ(c.send, dlg::Visible(d, 1000));
            EXPECT_EQ(c.help, dlg::Visible(d, 1002));
            if (!c.send) {
                EXPECT_EQ("&OK", dlg::Text(d, 1001));
                EXPECT_EQ(1001, LOWORD(SendMessageW(d, DM_GETDEFID, 0, 0)));
            }
            dlg::Command(d, 1001);
        }});
    }
}

TEST_F(ExceptionDialogs, ClassicEmailAddresses)
{
    struct {
        const char* address;
        bool refused;
        const char* stored;
    } cases[] = {
        {"a@b", true, nullptr},
        {"", false, nullptr},
        {"  x@y.z ", false, "x@y.z"},
        {"x@y.z\r\nRCPT TO:<v@w.x>", true, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        SetUp();
        testOptions->SetMailMethod(2);
        SendChecked = true;
        ShowClassic({[&](HWND d) {
            dlg::SetText(d, 111, c.address);
            dlg::Command(d, 1000);
            Sleep(200);
            EXPECT_EQ(c.refused, IsWindow(d) != FALSE) << "an invalid address keeps it open";
            if (c.refused) {
                dlg::SetText(d, 111, "");
                dlg::Command(d, 1000);
            }
        }});
        if (c.refused) {
            ASSERT_EQ(1u, boxes->Seen.size());
            EXPECT_EQ("Invalid email.", boxes->Seen[0].text);
            EXPECT_EQ("Error.", boxes->Seen[0].caption);
            EXPECT_EQ(0x242010u, boxes->Seen[0].flags);
        } else {
            EXPECT_TRUE(boxes->Seen.empty());
        }
        EXPECT_TRUE(SendChecked.load());
        if (c.stored) {
            EXPECT_EQ(c.stored, Ini("User", "Email"));
            EXPECT_EQ(c.stored, testOptions->SmtpSender());
            EXPECT_NE(std::string::npos, lastReport.find("  3.3 Email : x@y.z\r\n"));
            EXPECT_NE(std::string::npos, logReport.find("  3.3 Email : x@y.z\r\n"));
        } else {
            EXPECT_EQ("<none>", Ini("User", "Email"));
            EXPECT_EQ(DefaultSmtpSender, testOptions->SmtpSender());
        }
    }
}

TEST_F(ExceptionDialogs, ClassicEscapeAndAutoCloseDropAnInvalidAddress)
{
    struct {
        const char* name;
        int autoClose;
        bool escape, cancelled;
    } cases[] = {{"Escape", 0, true, true}, {"auto-close", 1, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        testOptions->SetMailMethod(2);
        testOptions->SetDialogAutoCloseSeconds(c.autoClose);
        reportCounter = 5;
        SendChecked = true;
        ShowClassic({[&](HWND d) {
            ASSERT_TRUE(dlg::Visible(d, 104));
            dlg::SetChecked(d, 104, true);
            dlg::SetText(d, 111, "a@b");
            dlg::SetText(d, 109, "  clicked buy  ");
            if (c.escape)
                dlg::Command(d, IDCANCEL);
            EXPECT_TRUE(dlg::WaitClosed(d, 3000));
        }});
        EXPECT_TRUE(boxes->Seen.empty());
        EXPECT_EQ(c.cancelled, DialogCancelled.load());
        EXPECT_EQ(!c.cancelled, TerminatePressed.load()) << "box 104 counts unless cancelled";
        EXPECT_EQ("<none>", Ini("User", "Email"));
        EXPECT_EQ("clicked buy", testOptions->ReproduceStepsText());
        EXPECT_EQ(TDialogState::None, DialogState.load());
    }
}

TEST_F(ExceptionDialogs, ClassicLinkOpensTheLargeDetailedDialog)
{
    DialogState = TDialogState::Classic;
    dlg::Drive([] { ShowExceptionDialogs(); },
               {[&](HWND d) {
                    const RECT lead = dlg::Bounds(d, 107);
                    const LPARAM at = MAKELPARAM(lead.right + 3, lead.top + 3);
                    SendMessageW(d, WM_MOUSEMOVE, 0, at);
                    SendMessageW(d, WM_LBUTTONUP, 0, at);
                },
                [&](HWND d) {
                    EXPECT_TRUE(GetWindowLongW(d, GWL_STYLE) & WS_THICKFRAME) << "large";
                    EXPECT_TRUE(dlg::Visible(d, idTab));
                    EXPECT_FALSE(dlg::Visible(d, idDetails));
                    dlg::Command(d, idOk);
                }});
    EXPECT_EQ(TDialogState::None, DialogState.load());
    EXPECT_EQ(1, beeps.load());
}

TEST_F(ExceptionDialogs, DispatchMessageBoxAndTerminateLoop)
{
    DialogState = TDialogState::MessageBox;
    ShowExceptionDialog(true);
    ASSERT_EQ(1u, boxes->Seen.size());
    EXPECT_EQ("Error occurred", boxes->Seen[0].caption);
    EXPECT_EQ(0x242010u, boxes->Seen[0].flags);
    EXPECT_EQ(0, beeps.load());
    EXPECT_EQ(TDialogState::None, DialogState.load());

    int notifications = 0;
    ExceptionDialogHooks().beforeTerminate = [&](bool& terminate) {
        if (++notifications == 1)
            terminate = false;
    };
    reportCounter = 9;
    ShowDetailed({[&](HWND d) { dlg::Command(d, idTerminate); }, [&](HWND d) { dlg::Command(d, idTerminate); }});
    EXPECT_EQ(2, notifications);
    EXPECT_TRUE(TerminatePressed.load());
    EXPECT_EQ(1, beeps.load()) << "no second beep";
}

TEST_F(ExceptionDialogs, ReproduceRequest)
{
    struct {
        const char* name;
        uint8_t logFlags;
        bool windowed, duplicate, send, keepLog, failed, shown;
    } cases[] = {
        {"all hold", 0x32, true, false, true, false, false, true},
        {"log file only", 0x32, true, false, false, true, false, true},
        {"no 0x2", 0x30, true, false, true, true, false, false},
        {"not windowed", 0x32, false, false, true, true, false, false},
        {"duplicate", 0x32, true, true, true, true, false, false},
        {"nothing kept", 0x32, true, false, false, false, false, false},
        {"dialog failed", 0x32, true, false, true, true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        testOptions->SetLogFlags(c.logFlags);
        testOptions->SetKeepLogFile(c.keepLog);
        ExceptionDialogHooks().windowedApplication = [&] { return c.windowed; };
        ExceptionDialogHooks().duplicateError = [&] { return c.duplicate; };
        SendChecked = c.send;
        DialogFailed = c.failed;
        bool seen = false;
        if (c.shown) {
            dlg::Drive([] { ShowReproduceDialog(); }, {[&](HWND d) {
                           seen = true;
                           EXPECT_TRUE(IsProgramDialog(d));
                           EXPECT_EQ("Request", dlg::WindowTitle(d));
                           EXPECT_EQ("&OK", dlg::Text(d, 2));
                           const RECT edit = dlg::Bounds(d, 101), text = dlg::Bounds(d, 100);
                           EXPECT_GT(edit.top, text.bottom);
                           EXPECT_GE(edit.bottom - edit.top, 30) << "the edit keeps a height";
                           dlg::SetText(d, 101, " open, buy, crash ");
                           dlg::Command(d, IDCANCEL);
                       }});
            EXPECT_TRUE(seen);
            EXPECT_EQ("open, buy, crash", testOptions->ReproduceStepsText()) << "Escape stores like OK";
        } else {
            ShowReproduceDialog();
        }
        EXPECT_FALSE(DialogShown.load());
    }
}

TEST_F(ExceptionDialogs, SendProgressWindow)
{
    dlg::Drive(
        [] { DialogBoxParamW(ReporterModule(), L"EL_Server", nullptr, SendProgressDialogProc, 0); },
        {[&](HWND d) {
            EXPECT_TRUE(IsProgramDialog(d));
            EXPECT_EQ(d, SendProgressWindow.load());
            EXPECT_EQ("Send.", dlg::WindowTitle(d));
            RECT w;
            GetWindowRect(d, &w);
            const RECT area = MonitorWorkArea(d);
            EXPECT_EQ(area.right, w.right);
            EXPECT_EQ(area.bottom, w.bottom);
            EXPECT_FALSE(GetWindowLongW(d, GWL_EXSTYLE) & WS_EX_TOPMOST);
            PostMessageW(d, 2258, 0, 0);
            EXPECT_TRUE(dlg::WaitClosed(d, 2000));
        }});
    EXPECT_EQ(nullptr, SendProgressWindow.load());
}

TEST_F(ExceptionDialogs, AutoCloseTimer)
{
    struct {
        int seconds;
        bool input;
        int minMs, maxMs;
    // The driver sees the dialog some time after its timer started (more under load), so the
    // lower bound of the plain case only rules out an early close.
    } cases[] = {{0, false, 2500, 100000}, {2, false, 1000, 2900}, {2, true, 2800, 4500}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.seconds << (c.input ? " with input" : ""));
        SetUp();
        testOptions->SetDialogAutoCloseSeconds(c.seconds);
        DWORD opened = 0, closed = 0;
        ShowDetailed({[&](HWND d) {
            opened = GetTickCount();
            if (c.input) {
                Sleep(1000);
                PostMessageW(d, WM_KEYDOWN, VK_SHIFT, 0);
            }
            if (!dlg::WaitClosed(d, 2500 + (c.input ? 2000 : 0)))
                dlg::Command(d, idOk);
            closed = GetTickCount();
        }});
        const DWORD ms = closed - opened;
        EXPECT_GE(static_cast<int>(ms), c.minMs);
        EXPECT_LE(static_cast<int>(ms), c.maxMs);
        EXPECT_FALSE(DialogCancelled.load()) << "auto-close is continue";
        EXPECT_TRUE(SendChecked.load());
    }
}

TEST_F(ExceptionDialogs, KeepInFront)
{
    HWND older = CreateWindowExW(0, L"Static", L"older", WS_POPUP | WS_VISIBLE | WS_CAPTION, 10, 10, 200, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    ShowDetailed({[&](HWND d) {
        EXPECT_TRUE(ui::WaitFor([&] { return GetForegroundWindow() == d; }, 1000));
        SetForegroundWindow(older);
        const DWORD start = GetTickCount();
        while (GetForegroundWindow() != d && GetTickCount() - start < 1000)
            Sleep(5);
        EXPECT_EQ(d, GetForegroundWindow());
        EXPECT_LE(GetTickCount() - start, 150u) << "within 100 ms, and a little for the test's own thread";
        // A window that opened after the dialog (a handler's box) keeps the foreground.
        HWND newer = CreateWindowExW(0, L"Static", L"newer", WS_POPUP | WS_VISIBLE | WS_CAPTION, 30, 30, 200, 100,
                                     nullptr, nullptr, nullptr, nullptr);
        SetForegroundWindow(newer);
        ui::Pump(200);
        EXPECT_EQ(newer, GetForegroundWindow());
        DestroyWindow(newer);
        dlg::Command(d, idOk);
    }});
    DestroyWindow(older);
}

TEST(DialogFonts, FacesFollowTheCodePage)
{
    const TDialogFontFaces chinese = DialogFontFacesForCodePage(936);
    EXPECT_STREQ("MS Sans Serif", chinese.interfaceFace);
    EXPECT_STREQ("Courier New", chinese.monospaceFace);
    EXPECT_EQ(10, chinese.pointSize);
    const TDialogFontFaces western = DialogFontFacesForCodePage(1252);
    EXPECT_STREQ("Verdana", western.interfaceFace);
    EXPECT_STREQ("Lucida Console", western.monospaceFace);
    EXPECT_STREQ("Tahoma", western.listFace);
    EXPECT_EQ(8, western.pointSize);
}

namespace {

HWND PageOf(HWND dialog) { return FindWindowExW(GetDlgItem(dialog, idTab), nullptr, L"#32770", nullptr); }

void SelectTab(HWND dialog, int index)
{
    HWND tab = GetDlgItem(dialog, idTab);
    SendMessageW(tab, TCM_SETCURSEL, index, 0);
    NMHDR n{tab, static_cast<UINT_PTR>(idTab), static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageW(dialog, WM_NOTIFY, idTab, reinterpret_cast<LPARAM>(&n));
}

void Activate(HWND page, int row)
{
    NMITEMACTIVATE a{};
    a.hdr = NMHDR{GetDlgItem(page, 103), 103, static_cast<UINT>(NM_DBLCLK)};
    a.iItem = row;
    SendMessageW(page, WM_NOTIFY, 103, reinterpret_cast<LPARAM>(&a));
}

}  // namespace

TEST_F(ExceptionDialogs, GeneralPageKeepsChineseText)
{
    const std::string text = "DuruvaDod 7.0\r\n异常信息:\r\n  1.1 名称 : 值 \\ {括号} 表\r\n";
    ExceptionDialogHooks().generalText = [&] { return text; };
    testOptions->SetDialogFlags(0x18F | 0x10);
    ShowDetailed({[&](HWND d) {
        HWND edit = GetDlgItem(PageOf(d), 103);
        wchar_t cls[32] = {};
        GetClassNameW(edit, cls, 32);
        EXPECT_EQ(0, lstrcmpiW(cls, L"RichEdit20A"));
        wchar_t buffer[512] = {};
        GETTEXTEX get{};
        get.cb = sizeof buffer;
        get.flags = GT_USECRLF;
        get.codepage = 1200;
        SendMessageW(edit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(buffer));
        std::wstring got = buffer;
        const std::wstring want = GbkToWide(text);
        EXPECT_EQ(want.substr(0, want.size() - 2), got.substr(0, want.size() - 2)) << WideToGbk(got);
        dlg::Command(d, idOk);
    }});
}

TEST_F(ExceptionDialogs, CallStackPageAndGoToSource)
{
    auto frame = [](uint32_t tid, int group, bool first, int line, std::string unit) {
        TDialogStackItem i;
        i.threadId = tid;
        i.group = group;
        i.first = first;
        i.line = line;
        i.lineOffset = 4;
        i.address = 0x00401000 + tid;
        i.moduleKind = TStackModuleKind::Program;
        i.modulePath = "C:\\App\\Vidudo.exe";
        i.unit = std::move(unit);
        i.className = "TMainForm";
        i.procedure = "BuyClick";
        i.header = "Thread " + std::to_string(tid);
        return i;
    };
    ExceptionDialogHooks().stack = [&] {
        std::vector<TDialogStackItem> items = {frame(1, 1, true, 120, "Main"), frame(1, 1, true, 0, "NoLine"),
                                               frame(2, 1, true, 7, std::string(200, 'u'))};
        TDialogStackItem hidden = frame(3, 1, true, 9, "Hidden");
        hidden.listed = false;
        items.push_back(hidden);
        return items;
    };
    ExceptionDialogHooks().moduleValues = [](uint32_t, uint32_t& a, uint32_t& b) {
        a = 0x1111;
        b = 0x2222;
        return true;
    };
    HANDLE slot = CreateMailslotW(L"\\\\.\\mailslot\\DuruvaDod0", 0, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, slot) << GetLastError();
    auto next = [&] {
        DWORD size = 0, count = 0;
        GetMailslotInfo(slot, nullptr, &size, &count, nullptr);
        std::vector<uint8_t> message;
        if (size != MAILSLOT_NO_MESSAGE) {
            message.resize(size);
            DWORD read = 0;
            ReadFile(slot, message.data(), size, &read, nullptr);
        }
        return message;
    };
    testOptions->SetDialogFlags(0x18F | 0x10);
    testOptions->SetFirstDialogTab(1);
    ShowDetailed({[&](HWND d) {
        HWND page = PageOf(d);
        const auto rows = ui::ListViewRows(GetDlgItem(page, 103));
        ASSERT_EQ(8u, rows.size()) << "three groups with separators, the hidden thread has none";
        EXPECT_EQ("00401001", rows[1][0]);
        EXPECT_EQ("Vidudo.exe", rows[1][1]);
        EXPECT_EQ("120 [4]", rows[1][5]);
        EXPECT_EQ("", rows[2][0]) << "separator";
        EXPECT_EQ("", rows[4][5]);
        Activate(page, 1);
        const std::vector<uint8_t> m = next();
        ASSERT_EQ(376u, m.size());
        EXPECT_EQ("Main", std::string(reinterpret_cast<const char*>(&m[90])));
        EXPECT_EQ("TMainForm", std::string(reinterpret_cast<const char*>(&m[180])));
        int32_t line, offset, first;
        memcpy(&line, &m[360], 4);
        memcpy(&offset, &m[364], 4);
        memcpy(&first, &m[368], 4);
        EXPECT_EQ(120, line);
        EXPECT_EQ(4, offset);
        EXPECT_EQ(0x1111, first);
        Activate(page, 4);  // line 0: nothing sent
        EXPECT_TRUE(next().empty());
        Activate(page, 7);
        const std::vector<uint8_t> cut = next();
        ASSERT_EQ(376u, cut.size());
        EXPECT_EQ(std::string(89, 'u'), std::string(reinterpret_cast<const char*>(&cut[90])));
        dlg::Command(d, idOk);
    }});
    CloseHandle(slot);
}

// Enter pressed on the keyboard while the call-stack list has the focus acts on the row (the
// source request, the group folded) and leaves the dialog open.
TEST_F(ExceptionDialogs, EnterOnACallStackRowActsOnTheRow)
{
    ExceptionDialogHooks().stack = [] {
        std::vector<TDialogStackItem> items;
        for (uint32_t tid : {1u, 2u}) {
            TDialogStackItem i;
            i.threadId = tid;
            i.group = 1;
            i.first = true;
            i.line = 120;
            i.lineOffset = 4;
            i.address = 0x00401000 + tid;
            i.moduleKind = TStackModuleKind::Program;
            i.modulePath = "C:\\App\\Vidudo.exe";
            i.unit = "Main";
            i.className = "TMainForm";
            i.procedure = "BuyClick";
            i.header = "Thread " + std::to_string(tid);
            items.push_back(i);
        }
        return items;
    };
    HANDLE slot = CreateMailslotW(L"\\\\.\\mailslot\\DuruvaDod0", 0, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, slot) << GetLastError();
    auto waiting = [&] {
        DWORD size = 0, count = 0;
        GetMailslotInfo(slot, nullptr, &size, &count, nullptr);
        std::vector<uint8_t> m(size == MAILSLOT_NO_MESSAGE ? 0 : size);
        DWORD read = 0;
        if (!m.empty())
            ReadFile(slot, m.data(), size, &read, nullptr);
        return m.size();
    };
    struct {
        int row;
        bool request;  // a frame sends the request; a thread's header folds its group
    } cases[] = {{1, true}, {0, false}};
    testOptions->SetDialogFlags(0x18F | 0x10);
    testOptions->SetFirstDialogTab(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        ShowDetailed({[&](HWND d) {
            HWND list = GetDlgItem(PageOf(d), 103);
            const size_t before = ui::ListViewRows(list).size();
            LVITEMW state{};
            state.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
            state.state = state.stateMask;
            SendMessageW(list, LVM_SETITEMSTATE, c.row, reinterpret_cast<LPARAM>(&state));
            SetForegroundWindow(d);
            SendMessageW(d, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
            Sleep(100);
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            GetGUIThreadInfo(GetWindowThreadProcessId(d, nullptr), &info);
            ASSERT_EQ(list, info.hwndFocus);
            ui::QueueKeys({VK_RETURN});
            Sleep(500);
            EXPECT_TRUE(IsWindowVisible(d)) << "Enter must not close the dialog";
            if (c.request)
                EXPECT_EQ(376u, waiting());
            else
                EXPECT_NE(before, ui::ListViewRows(list).size()) << "the group folds";
            if (IsWindow(d))
                dlg::Command(d, idOk);
        }});
        EXPECT_EQ(0u, waiting());
    }
    CloseHandle(slot);
}

// A user reading a page presses keys in its text, which the dialog itself never receives:
// the dialog stays open well past its two seconds.
TEST_F(ExceptionDialogs, KeysInAPageKeepTheDialogOpen)
{
    testOptions->SetDialogAutoCloseSeconds(2);
    testOptions->SetDialogFlags(0x18F | 0x10);
    bool openAfterKeys = false;
    ShowDetailed({[&](HWND d) {
        HWND text = GetDlgItem(PageOf(d), 103);
        SetForegroundWindow(d);
        SendMessageW(d, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(text), TRUE);
        for (int i = 0; i < 7; ++i) {
            ui::QueueKeys({VK_DOWN});
            Sleep(500);
        }
        openAfterKeys = IsWindow(d) && IsWindowVisible(d);
        if (openAfterKeys)
            EXPECT_TRUE(dlg::WaitClosed(d, 4000)) << "closes once the keys stop";
    }});
    EXPECT_TRUE(openAfterKeys);
}

TEST_F(ExceptionDialogs, ModifiedColumnWidthUnderColMod6)
{
    ExceptionDialogHooks().modules = [] {
        return std::vector<TDialogModuleRow>{{0x400000, "C:\\App\\Vidudo.exe", "Vidudo", "1.0", "1 MB", "2026-12-10"},
                                             {0x10000000, "C:\\App\\x.bpl", "", "", "", ""}};
    };
    testOptions->SetDialogFlags(0x18F | 0x10);
    testOptions->SetFirstDialogTab(2);
    ShowDetailed({[&](HWND d) {
        HWND list = GetDlgItem(PageOf(d), 103);
        const auto columns = ui::ListViewColumns(list);
        ASSERT_EQ(7u, columns.size());
        EXPECT_EQ("Modified", columns[5]);
        const auto rows = ui::ListViewRows(list);
        ASSERT_EQ(2u, rows.size());
        EXPECT_EQ("00400000", rows[0][0]);
        EXPECT_EQ("Vidudo.exe", rows[0][1]);
        EXPECT_EQ("C:\\App\\", rows[0][6]);
        SendMessageW(list, LVM_SETCOLUMNWIDTH, 5, 123);
        dlg::Command(d, idOk);
    }});
    EXPECT_EQ("123", Ini("Coordinates", "ColMod6"));
    EXPECT_EQ("712", Ini("Coordinates", "ColMod5"));
}

TEST_F(ExceptionDialogs, GdiObjectsBalanceOverPageCycles)
{
    InstallGdiCounter();
    ExceptionDialogHooks().modules = [] { return std::vector<TDialogModuleRow>{{0x400000, "C:\\a.exe"}}; };
    ExceptionDialogHooks().generalText = [] { return std::string("DuruvaDod\r\nGeneral:\r\n  1.1 a : b\r\n"); };
    testOptions->SetDialogFlags(0x18F | 0x10);
    ShowDetailed({[&](HWND d) {
        for (int i = 0; i < 6; ++i)
            SelectTab(d, i);  // whatever lives for the run is loaded now
        SelectTab(d, 0);
        const long before = GdiCounts().Live();
        const long createdBefore = GdiCounts().created;
        for (int i = 0; i < 100; ++i) {
            SelectTab(d, 1 + i % 5);
            RedrawWindow(d, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        }
        SelectTab(d, 0);
        EXPECT_GT(GdiCounts().created - createdBefore, 100);
        EXPECT_EQ(before, GdiCounts().Live());
        dlg::Command(d, idOk);
    }});
}

TEST_F(ExceptionDialogs, OwnLookCaptionAndColours)
{
    testOptions->SetDialogFlags(0x18F | 0x40);
    ShowDetailed({[&](HWND d) {
        RedrawWindow(d, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Sleep(100);
        RECT w, c;
        GetWindowRect(d, &w);
        GetClientRect(d, &c);
        POINT origin{0, 0};
        ClientToScreen(d, &origin);
        const int captionTop = GetSystemMetrics(SM_CYFIXEDFRAME) - 1 + 1;
        HDC dc = GetWindowDC(d);
        // Active or not depends on the display's focus: the outline tells which colours apply.
        const COLORREF outline = GetPixel(dc, 0, 10);
        ASSERT_TRUE(outline == RGB(64, 64, 64) || outline == RGB(48, 48, 48)) << std::hex << outline;
        const std::vector<uint32_t> bands =
            CaptionBandColors(GetSystemMetrics(SM_CYSMCAPTION), outline == RGB(64, 64, 64));
        ASSERT_FALSE(bands.empty());
        EXPECT_EQ(bands[0], GetPixel(dc, (w.right - w.left) - 30, captionTop + 1)) << "first band, under the outline";
        const int cx = origin.x - w.left, cy = origin.y - w.top;
        EXPECT_EQ(RGB(212, 208, 200), GetPixel(dc, cx + c.right - 3, cy + 3)) << "own-look background";
        ReleaseDC(d, dc);
        dlg::Command(d, idOk);
    }});
}

TEST_F(ExceptionDialogs, CustomButtonClosesWhenAHandlerAsks)
{
    struct {
        TDialogState state;
        int button;
    } cases[] = {{TDialogState::Detailed, idHelp}, {TDialogState::Classic, 1002}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        SetUp();
        testOptions->SetDialogFlags(0x18F | 0x200);
        int calls = 0;
        ExceptionDialogHooks().customButton = [&] { return ++calls == 2; };
        DialogState = c.state;
        dlg::Drive([] { ShowExceptionDialog(false); }, {[&](HWND d) {
                       ASSERT_TRUE(dlg::Visible(d, c.button));
                       dlg::Command(d, c.button);
                       Sleep(200);
                       EXPECT_TRUE(IsWindow(d)) << "the first handler call leaves it open";
                       dlg::Command(d, c.button);
                       EXPECT_TRUE(dlg::WaitClosed(d, 2000));
                   }});
        EXPECT_EQ(2, calls);
        EXPECT_EQ(TDialogState::None, DialogState.load());
        EXPECT_FALSE(DialogCancelled.load());
    }
}

// The program's own hooks: a frame's go-to-source record carries its module's handle and image
// size, as the module records have them.
TEST(DialogRoadHooks, GoToSourceValuesAreTheModuleOfTheFrame)
{
    const TExceptionDialogHooks saved = ExceptionDialogHooks();
    InstallDialogRoadHooks(nullptr);
    const auto values = ExceptionDialogHooks().moduleValues;
    ExceptionDialogHooks() = saved;
    ASSERT_TRUE(values);
    const HMODULE program = GetModuleHandleW(nullptr);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(program);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(reinterpret_cast<const char*>(program) + dos->e_lfanew);
    uint32_t first = 0, second = 0;
    ASSERT_TRUE(values(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(program) + 0x1000), first, second));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(program), first);
    EXPECT_EQ(nt->OptionalHeader.SizeOfImage, second);
    EXPECT_FALSE(values(0x10, first, second)) << "no module at 0x10";
}
