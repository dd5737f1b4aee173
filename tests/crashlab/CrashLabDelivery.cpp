// Delivery on the road: the report sent by the road's own send thread. A real fault is
// stopped at a boundary, the program goes on, and the thread mails the report while it holds
// the handling lock; what the thread's handlers see of the exception is printed.

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "crashreport/capture/EDialogState.h"
#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/EObjects.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/capture/ExceptionLog.h"
#include "crashreport/delivery/EMailSend.h"
#include "framework/ExceptionBoundary.h"
#include "framework/SysUtils.h"
#include "tests/crashlab/CrashLab.h"

namespace {

volatile int* volatile nothing = nullptr;
DWORD startTick = 0;
DWORD mainThread = 0;
bool throwForFiles = false;

std::string Elapsed()
{
    return std::to_string(GetTickCount() - startTick);
}

const char* Who()
{
    return GetCurrentThreadId() == mainThread ? "main" : "other";
}

void OnNotify(void*, TVurazaExceptionRecord& record, bool& handle)
{
    const std::string message = ObjectMessage(record.ExceptionObject);
    LabPrint(Format("notify %s at %s", message.c_str(), Elapsed().c_str()));
    // The second fault only shows when it was handled: no report of its own.
    if (message == "second fault")
        handle = false;
    // As the dialog's Terminate button does during the handling.
    if (throwForFiles)
        TerminatePressed = true;
}

// What the handlers of the delivery thread read of the exception, at each action.
void OnAction(void*, TVurazaExceptionRecord& record, uint8_t action, bool&)
{
    const bool focusedReadable = record.FocusedWindowClass && !IsBadStringPtrA(record.FocusedWindowClass, 256);
    LabPrint(Format("action %u on %s at %s stacks %d report %d context %d focused %d object %s", action, Who(),
                    Elapsed().c_str(), record.CallStack && record.CallStack->Count() > 0 ? 1 : 0,
                    record.ReportText && !record.ReportText->empty() ? 1 : 0, record.Context ? 1 : 0,
                    focusedReadable ? 1 : 0, ObjectMessage(record.ExceptionObject).c_str()));
}

void OnAttachedFiles(void*, TVurazaExceptionRecord&, TStringList&)
{
    if (throwForFiles) {
        LabPrint("files handler throws");
        throw std::runtime_error("no files today");
    }
}

TDuruvaDodHandlers handlers;

// SMTP to the peer on 127.0.0.1:port, in the background (or in the handling itself with
// sendFlags 0), no dialog and no box.
void MailInBackground(const std::vector<std::string>& args, uint16_t sendFlags = 0x80)
{
    startTick = GetTickCount();
    mainThread = GetCurrentThreadId();
    TVurazaModuleOptionsEx& options = *CurrentDuruvaDodOptions();
    options.SetDialogKind(0);
    options.SetKeepLogFile(false);
    options.SetMailMethod(2);
    options.SetUploadMethod(0);
    options.SetSmtpServer("127.0.0.1");
    options.SetSmtpServerPort(static_cast<int16_t>(args.empty() ? 25 : atoi(args[0].c_str())));
    options.SetSmtpSender("lab@x.test");
    options.SetMailRecipients("support@x.test");
    options.SetMailSubject("crashlab delivery");
    options.SetSendFlags(sendFlags);
    handlers.ExceptionNotify = OnNotify;
    handlers.ExceptionActionNotify = OnAction;
    handlers.AttachedFilesRequest = OnAttachedFiles;
    RegisterDuruvaDodHandlers(&handlers);
}

extern "C" CRASHLAB_CALL void DeliveryWriteNull()
{
    *nothing = 7;
}

void FaultAtBoundary()
{
    GuardedCall([] { DeliveryWriteNull(); });
}

// Two faults one after the other: the second is handled only once the first one's delivery
// has ended; afterwards the road no longer leads to the first one's stacks.
int BackgroundMail(const std::vector<std::string>& args)
{
    MailInBackground(args);
    FaultAtBoundary();
    LabPrint("first went on at " + Elapsed());
    GuardedCall([] { throw std::runtime_error("second fault"); });
    LabPrint("second went on at " + Elapsed());
    TRoadSteps& road = RoadSteps();
    road.WaitForBackgroundSenders(60000);
    LabPrint(Format("stacks after delivery %d", CurrentExceptionRecord.CallStack ? 1 : 0));
    return 0;
}

// Terminate pressed for the report, and the delivery's attached-files handler throws: the send
// thread (sendFlags 0x80), or the handling that ran the delivery itself, still ends the process.
int TerminateAfterFailedDelivery(const std::vector<std::string>& args, uint16_t sendFlags)
{
    MailInBackground(args, sendFlags);
    // Terminate, not the default restart: the test ends every process it starts.
    CurrentDuruvaDodOptions()->SetTerminateButtonAction(1);
    throwForFiles = true;
    FaultAtBoundary();
    LabPrint("went on at " + Elapsed());
    Sleep(20000);
    LabPrint("still running");
    return 0;
}

int BackgroundTerminate(const std::vector<std::string>& args)
{
    return TerminateAfterFailedDelivery(args, 0x80);
}

int InlineTerminate(const std::vector<std::string>& args)
{
    return TerminateAfterFailedDelivery(args, 0);
}

// N faults at a boundary with the crash rate set to three within a minute and no channel: the
// road keeps the times of the reports, and the third ends the process.
int CrashRate(const std::vector<std::string>& args)
{
    startTick = GetTickCount();
    mainThread = GetCurrentThreadId();
    TVurazaModuleOptionsEx& options = *CurrentDuruvaDodOptions();
    options.SetDialogKind(0);
    options.SetKeepLogFile(false);
    options.SetMailMethod(0);
    options.SetUploadMethod(0);
    options.SetCrashRateAction(1);
    options.SetCrashRateCount(3);
    options.SetCrashRateMinutes(1);
    handlers.ExceptionNotify = OnNotify;
    handlers.ExceptionActionNotify = OnAction;
    RegisterDuruvaDodHandlers(&handlers);
    const int faults = args.empty() ? 3 : atoi(args[0].c_str());
    for (int i = 1; i <= faults; ++i) {
        FaultAtBoundary();
        LabPrint(Format("fault %d went on", i));
    }
    LabPrint("still running");
    return 0;
}

// The program ends while the report is still on its way to a peer that greets late: the
// sender holds the handling lock, and shut-down waits for it only so long.
int BackgroundExit(const std::vector<std::string>& args)
{
    MailInBackground(args);
    FaultAtBoundary();
    LabPrint("went on at " + Elapsed());
    return 0;
}

// A fault no boundary stops, with background sending asked for: the process's filter ends
// the process after the handling, so the report is mailed inline, not left to a thread.
int FilterMail(const std::vector<std::string>& args)
{
    MailInBackground(args);
    DeliveryWriteNull();
    LabPrint("still running");
    return 0;
}

// A C++ exception nothing catches on main, with background sending asked for: the process
// ends after the handling, so the report is mailed in the handling, not left to a thread.
int UnhandledMainMail(const std::vector<std::string>& args)
{
    MailInBackground(args);
    throw std::runtime_error("nobody catches this mail");
}

// The parent window a Simple MAPI provider is given: the main window on the main thread, none
// on another thread. The provider (the mail test's, named by the argument) logs its arguments.
int MapiParent(const std::vector<std::string>& args)
{
    if (args.empty())
        return 2;
    const auto setKey = [](const char* path, const char* name, const std::string& value) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return;
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    };
    setKey("SOFTWARE\\Clients\\Mail", nullptr, "VidudoTestMail");
    setKey("SOFTWARE\\Clients\\Mail\\VidudoTestMail", "DLLPath", args[0]);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string log = std::string(temp) + "crashlab-mapi-" + std::to_string(GetCurrentProcessId()) + ".log";
    SetEnvironmentVariableA("VIDUDO_MAPI_LOG", log.c_str());
    SetEnvironmentVariableA("VIDUDO_MAPI_RESULT", "0");
    HWND window = CreateWindowExA(0, "STATIC", "crashlab main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    LabPrint(Format("window %lu", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(window))));
    const auto send = [&](const char* who) {
        DeleteFileA(log.c_str());
        const bool sent = SendMailByMapi("a@x.test", "crashlab", "body", "");
        std::ifstream f(log);
        for (std::string line; std::getline(f, line);)
            if (line.rfind("logon ", 0) == 0 || line.rfind("logoff ", 0) == 0)
                LabPrint(Format("%s sent %d %s", who, sent ? 1 : 0, line.substr(0, line.find(' ', line.find("parent="))).c_str()));
    };
    send("main");
    std::thread([&] { send("other"); }).join();
    DeleteFileA(log.c_str());
    DestroyWindow(window);
    return 0;
}

}  // namespace

const std::vector<TCrashLabMode>& CrashLabDeliveryModes()
{
    static const std::vector<TCrashLabMode> modes = {
        {"delivery-mail", "two faults at a boundary, the first mailed in the background [smtp port]", BackgroundMail},
        {"delivery-terminate", "Terminate pressed, a throwing delivery handler, in the background [smtp port]",
         BackgroundTerminate},
        {"delivery-terminate-inline", "Terminate pressed, a throwing delivery handler, in the handling [smtp port]",
         InlineTerminate},
        {"crash-rate", "faults at a boundary, three within a minute end the process [count]", CrashRate},
        {"mapi-parent", "the parent window of Simple MAPI on the main thread and another [provider dll]", MapiParent},
        {"delivery-filter", "a fault reaching the process's filter, background sending asked for [smtp port]",
         FilterMail},
        {"delivery-exit", "a fault mailed in the background, then main returns at once [smtp port]", BackgroundExit},
        {"delivery-unhandledmain", "main's exception nobody catches, background sending asked for [smtp port]",
         UnhandledMainMail},
    };
    return modes;
}
