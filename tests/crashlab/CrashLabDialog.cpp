// The exception dialogs on the handling road: an exception handled with the options' dialog
// kind shows it; a driver thread reads it and closes it the way a user would.
#include <windows.h>

#include <cstdio>
#include <stdexcept>

#include "crashreport/capture/EDialogHooks.h"
#include "crashreport/capture/EDialogServices.h"
#include "crashreport/capture/EDialogState.h"
#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/ExceptionLog.h"
#include "crashreport/delivery/ELogFileWin.h"
#include "crashreport/delivery/EXml.h"
#include "framework/CodePage.h"
#include "tests/crashlab/CrashLab.h"

namespace {

bool escapeKey = false;

struct TFound {
    HWND window = nullptr;
};

BOOL CALLBACK FindOwnDialog(HWND h, LPARAM data)
{
    DWORD process = 0;
    GetWindowThreadProcessId(h, &process);
    wchar_t cls[16] = {};
    GetClassNameW(h, cls, 16);
    if (process == GetCurrentProcessId() && IsWindowVisible(h) && lstrcmpW(cls, L"#32770") == 0) {
        reinterpret_cast<TFound*>(data)->window = h;
        return FALSE;
    }
    return TRUE;
}

std::string Line(const char* format, unsigned value)
{
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Reads the dialog once it is up, then presses its default button.
DWORD WINAPI DriveDialog(void*)
{
    TFound found;
    for (int i = 0; i < 200 && !found.window; ++i) {
        Sleep(50);
        EnumWindows(FindOwnDialog, reinterpret_cast<LPARAM>(&found));
    }
    if (!found.window) {
        LabPrint("no dialog");
        return 0;
    }
    wchar_t caption[256] = {};
    GetWindowTextW(found.window, caption, 256);
    LabPrint("dialog caption: " + WideToGbk(caption));
    const bool detailed = GetDlgItem(found.window, 3000) != nullptr;
    const bool classic = !detailed && GetDlgItem(found.window, 1001) != nullptr;
    LabPrint(detailed ? "dialog: detailed" : classic ? "dialog: windows-style" : "dialog: box");
    if (ExceptionDialogHooks().exceptionMessage)
        LabPrint("dialog message: " + ExceptionDialogHooks().exceptionMessage());
    if (ExceptionDialogHooks().stack)
        for (const TDialogStackItem& item : ExceptionDialogHooks().stack())
            if (item.header.find("Exception Thread") != std::string::npos) {
                LabPrint("dialog exception thread row: " + item.header);
                break;
            }
    if (ExceptionDialogHooks().reportCounter)
        LabPrint(Line("dialog report counter: %u", static_cast<unsigned>(ExceptionDialogHooks().reportCounter())));
    Sleep(200);
    if (escapeKey) {
        // A real key press through the input queue, as the user's Escape arrives.
        SetForegroundWindow(found.window);
        Sleep(100);
        INPUT keys[2] = {};
        keys[0].type = keys[1].type = INPUT_KEYBOARD;
        keys[0].ki.wVk = keys[1].ki.wVk = VK_ESCAPE;
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        LabPrint(Line("dialog escape keys sent: %u", SendInput(2, keys, sizeof(INPUT))));
        return 0;
    }
    // The default button, as Enter would press it.
    const LRESULT def = SendMessageW(found.window, DM_GETDEFID, 0, 0);
    const int button = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : (detailed ? 102 : 1001);
    LabPrint(Line("dialog button: %u", static_cast<unsigned>(button)));
    PostMessageW(found.window, WM_COMMAND, button, 0);
    return 0;
}

int DialogOnRoad(const std::vector<std::string>& args)
{
    TVurazaModuleOptionsEx* options = CurrentDuruvaDodOptions();
    if (!options) {
        LabPrint("no reporter");
        return 3;
    }
    const int kind = args.empty() ? 3 : atoi(args[0].c_str());
    options->SetDialogKind(static_cast<uint8_t>(kind));
    options->SetDialogAutoCloseSeconds(0);
    escapeKey = args.size() > 1 && args[1] == "escape";
    HANDLE driver = CreateThread(nullptr, 0, DriveDialog, nullptr, 0, nullptr);
    try {
        throw std::runtime_error("dialog on the road");
    } catch (...) {
        ExceptionManager(TRoadException(std::current_exception()), 0, OutputAutomatic, CurrentModuleHandle());
    }
    WaitForSingleObject(driver, 15000);
    CloseHandle(driver);
    LabPrint(Line("after dialog: state %u", static_cast<unsigned>(DialogState.load())));
    LabPrint(Line("after dialog: send %u", SendChecked ? 1u : 0u));
    LabPrint(Line("after dialog: cancelled %u", DialogCancelled ? 1u : 0u));
    const RECT area = DialogWorkArea();
    const RECT expected = MonitorWorkArea(GetDesktopWindow());
    LabPrint(Line("after dialog: work area taken %u", EqualRect(&area, &expected) ? 1u : 0u));
    return 0;
}

void PressKey(WORD vk)
{
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = vk;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
}

// A left click in the middle of a control, through the input queue.
void ClickControl(HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    INPUT in[3] = {};
    for (INPUT& i : in)
        i.type = INPUT_MOUSE;
    in[0].mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    in[0].mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(3, in, sizeof(INPUT));
}

HWND WaitForDialog()
{
    TFound found;
    for (int i = 0; i < 300 && !found.window; ++i) {
        Sleep(50);
        EnumWindows(FindOwnDialog, reinterpret_cast<LPARAM>(&found));
    }
    return found.window;
}

// The user's two answers in one run: Escape on the first report's Windows-style dialog; on the
// second, a click on "Terminate the application" and Enter on the default button.
DWORD WINAPI DriveTwoDialogs(void*)
{
    HWND first = WaitForDialog();
    if (!first) {
        LabPrint("no first dialog");
        return 0;
    }
    Sleep(200);
    SetForegroundWindow(first);
    Sleep(100);
    PressKey(VK_ESCAPE);
    for (int i = 0; i < 200 && IsWindow(first); ++i)
        Sleep(50);
    LabPrint(IsWindow(first) ? "first dialog still open" : "first dialog closed");
    Sleep(300);
    HWND second = WaitForDialog();
    if (!second || second == first) {
        LabPrint("no second dialog");
        return 0;
    }
    Sleep(200);
    SetForegroundWindow(second);
    Sleep(100);
    HWND box = GetDlgItem(second, 104);
    LabPrint(IsWindowVisible(box) ? "terminate box shown" : "terminate box hidden");
    ClickControl(box);
    for (int i = 0; i < 40 && IsDlgButtonChecked(second, 104) != BST_CHECKED; ++i)
        Sleep(50);
    LabPrint(IsDlgButtonChecked(second, 104) == BST_CHECKED ? "terminate box checked" : "terminate box unchecked");
    PressKey(VK_RETURN);
    return 0;
}

void CountBeforeTerminate(void*, TVurazaExceptionRecord&, uint8_t action, bool&)
{
    if (action == ActionBeforeTerminate)
        LabPrint("action 8 told");
}

TDuruvaDodHandlers twiceHandlers;

int DialogTwice(const std::vector<std::string>&)
{
    TVurazaModuleOptionsEx* options = CurrentDuruvaDodOptions();
    if (!options) {
        LabPrint("no reporter");
        return 3;
    }
    options->SetDialogKind(2);
    options->SetDialogAutoCloseSeconds(0);
    options->SetTerminateButtonAction(1);
    options->SetTerminateButtonAfter(0);
    twiceHandlers.ExceptionActionNotify = CountBeforeTerminate;
    RegisterDuruvaDodHandlers(&twiceHandlers);
    HANDLE driver = CreateThread(nullptr, 0, DriveTwoDialogs, nullptr, 0, nullptr);
    for (const char* message : {"first report", "second report"}) {
        try {
            throw std::runtime_error(message);
        } catch (...) {
            ExceptionManager(TRoadException(std::current_exception()), 0, OutputAutomatic, CurrentModuleHandle());
        }
        LabPrint(std::string("went on after the ") + message);
    }
    WaitForSingleObject(driver, 15000);
    CloseHandle(driver);
    return 0;
}

// The steps typed into the request dialog, as a user types them.
const char kTypedSteps[] = "打开委托窗口, 按下确定";

void AddCustomData(void*, TVurazaExceptionRecord&, TStringList& lines)
{
    lines.Add(" Key = Value ");
}

HWND WaitForOwnDialog(HWND other)
{
    for (int i = 0; i < 400; ++i) {
        TFound found;
        EnumWindows(FindOwnDialog, reinterpret_cast<LPARAM>(&found));
        if (found.window && found.window != other && IsWindow(found.window))
            return found.window;
        Sleep(50);
    }
    return nullptr;
}

// Closes the detailed dialog with OK, then types the steps into the request that follows.
DWORD WINAPI DriveRequest(void*)
{
    HWND detailed = WaitForOwnDialog(nullptr);
    if (!detailed) {
        LabPrint("no dialog");
        return 0;
    }
    Sleep(200);
    PostMessageW(detailed, WM_COMMAND, 102, 0);
    for (int i = 0; i < 100 && IsWindow(detailed); ++i)
        Sleep(50);
    HWND request = WaitForOwnDialog(detailed);
    if (!request || !GetDlgItem(request, 101)) {
        LabPrint("no request dialog");
        return 0;
    }
    LabPrint("request dialog");
    SetWindowTextW(GetDlgItem(request, 101), GbkToWide(kTypedSteps).c_str());
    PostMessageW(request, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

std::string Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos ? "1" : "0";
}

// A handler's custom data and the steps typed into the request: sections of the report, the
// log (LOG), its XML form and the text delivery sends.
int ReportSections(const std::vector<std::string>& args)
{
    TVurazaModuleOptionsEx* options = CurrentDuruvaDodOptions();
    if (!options || args.empty()) {
        LabPrint("no reporter");
        return 3;
    }
    options->SetDialogKind(3);
    options->SetDialogAutoCloseSeconds(0);
    options->SetKeepLogFile(true);
    options->SetLogFlags(static_cast<uint8_t>(options->LogFlags() | 0x2));
    options->SetLogFilePath(args[0]);
    static TDuruvaDodHandlers handlers;
    handlers.CustomDataRequest = AddCustomData;
    RegisterDuruvaDodHandlers(&handlers);
    HANDLE driver = CreateThread(nullptr, 0, DriveRequest, nullptr, 0, nullptr);
    try {
        throw std::runtime_error("sections of the report");
    } catch (...) {
        ExceptionManager(TRoadException(std::current_exception()), 0, OutputAutomatic, CurrentModuleHandle());
    }
    WaitForSingleObject(driver, 30000);
    CloseHandle(driver);
    const std::string custom = "8.1 Key", value = ": Value";
    LabPrint("report custom data: " + Has(LastReportText, custom) + Has(LastReportText, value));
    LabPrint("report steps: " + Has(LastReportText, kTypedSteps));
    LabPrint("delivery steps: " + Has(LogReportText, kTypedSteps) + " custom data: " + Has(LogReportText, custom));
    try {
        const std::unique_ptr<TLogFile> log = OpenLogFile(args[0]);
        const std::string text = log->GetLogText(), xml = LogToXml(*log);
        LabPrint("log custom data: " + Has(text, custom) + " steps: " + Has(text, kTypedSteps));
        LabPrint("xml custom data: " + Has(xml, "Key") + " steps: " + Has(xml, XmlEscape(kTypedSteps)));
    } catch (const std::exception& e) {
        LabPrint(std::string("no log: ") + e.what());
    }
    return 0;
}

}  // namespace

const std::vector<TCrashLabMode>& CrashLabDialogModes()
{
    static const std::vector<TCrashLabMode> modes = {
        {"dialog-road", "an exception handled with dialog kind ARG (2 Windows-style, 3 detailed) [escape]", DialogOnRoad},
        {"dialog-twice", "two reports: Escape on the first dialog, the terminate box and Enter on the second",
         DialogTwice},
        {"report-sections", "LOG: a handler's custom data and the steps typed into the request, in the report",
         ReportSections},
    };
    return modes;
}
