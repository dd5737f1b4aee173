// Programs and libraries that each carry a reporter: forwarding to the main module and dispatch
// between peers; the options a handler changes meanwhile, excluded threads, the runtime's note
// to a debugger, and the web output of a CGI program and of a server extension.
#include <windows.h>
#include <httpext.h>

#include <cstring>
#include <string>

#include "crashreport/capture/EExternal.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/capture/EThreadHooks.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/ExceptionLog.h"
#include "framework/CodePage.h"
#include "framework/Exception.h"
#include "tests/crashlab/CrashLab.h"
#include "tests/support/IsapiRecorder.h"

namespace {

class EPeerLab : public Exception {
public:
    using Exception::Exception;
};

volatile LONG notified = 0;

std::string TypeOf(const TVurazaExceptionRecord& record)
{
    return record.ExceptionType ? RoadExceptionTypeName(TRoadException(record.ExceptionObject, record.ExceptionType))
                                : std::string("?");
}

int ActiveRate()
{
    return ActiveModuleOptions() ? ActiveModuleOptions()->CrashRateCount() : -1;
}

int changeRateTo = 0;

void OnNotify(void*, TVurazaExceptionRecord& record, bool&)
{
    InterlockedIncrement(&notified);
    LabPrint(Format("main notify %s rate %d thread %u", TypeOf(record).c_str(), ActiveRate(),
                    static_cast<unsigned>(record.ThreadId)));
    if (changeRateTo)
        CurrentDuruvaDodOptions()->SetCrashRateCount(changeRateTo);
}

void OnCustomData(void*, TVurazaExceptionRecord&, TStringList&)
{
    LabPrint(Format("main custom data rate %d", ActiveRate()));
}

TDuruvaDodHandlers observer;

void Observe()
{
    observer.ExceptionNotify = OnNotify;
    observer.CustomDataRequest = OnCustomData;
    RegisterDuruvaDodHandlers(&observer);
}

// Nothing built, shown, stored or sent: the events are what the modes watch.
TRoadSteps quietSteps;

bool Manage(const char* message)
{
    try {
        throw EPeerLab(message);
    } catch (...) {
        return ExceptionManager(TRoadException(std::current_exception()), 0, OutputAutomatic, CurrentModuleHandle());
    }
}

std::string ProgramFolder()
{
    const std::string self = ModuleFileNameOf(nullptr);
    return self.substr(0, self.find_last_of('\\') + 1);
}

HMODULE LoadPeer()
{
    return LoadLibraryW(GbkToWide(ProgramFolder() + "crashlab_peer.dll").c_str());
}

template <class T>
T PeerProc(HMODULE peer, const char* name)
{
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(peer, name)));
}

// The main thread's record of a thread, as the thread list holds it: -1 none, else borrowed.
int MainRecordOf(DWORD id)
{
    TVurazaThreadsList* list = VurazaThreadsList();
    if (!list)
        return -1;
    list->BeginRead();
    const TVurazaThreadRecord* record = list->Item(list->FindById(id));
    const int result = record ? record->borrowed : -1;
    list->EndRead();
    return result;
}

int Forward(const std::vector<std::string>& args)
{
    SetRoadSteps(&quietSteps);
    Observe();
    HMODULE peer = LoadPeer();
    if (!peer) {
        LabPrint("no peer");
        return 1;
    }
    LabPrint(Format("peer forwards %d", PeerProc<int (*)()>(peer, "PeerForwards")()));
    PeerProc<void (*)()>(peer, "PeerObserve")();
    if (!args.empty() && args[0] == "fault") {
        PeerProc<void (*)()>(peer, "PeerFault")();
        return 0;
    }
    const auto manage = PeerProc<int (*)()>(peer, "PeerManage");
    const auto reports = PeerProc<long (*)()>(peer, "PeerReports");
    LabPrint(Format("manage result %d", manage()));
    LabPrint(Format("reports main %ld peer %ld", ReportCounter, reports()));
    // The main copy's answer, whatever the library's own state.
    SetCaptureActive(false);
    LabPrint(Format("manage inactive result %d", manage()));
    SetCaptureActive(true);
    PeerProc<void (*)()>(peer, "PeerGuarded")();
    LabPrint(Format("reports main %ld peer %ld", ReportCounter, reports()));
    const DWORD id = PeerProc<DWORD (*)()>(peer, "PeerStartThread")();
    LabPrint(Format("main record %d", MainRecordOf(id)));
    PeerProc<void (*)()>(peer, "PeerStopThread")();
    LabPrint(Format("main record after exit %d", MainRecordOf(id)));
    return 0;
}

// A handler that changes the running module's options: the handling goes on with them.
int Republish(const std::vector<std::string>&)
{
    SetRoadSteps(&quietSteps);
    Observe();
    changeRateTo = 55;
    Manage("republish");
    changeRateTo = 0;
    return 0;
}

DWORD WINAPI ManageOnWorker(void* data)
{
    const bool exclude = data != nullptr;
    if (exclude)
        SetThreadExcluded(GetCurrentThreadId(), true);
    const long before = notified;
    const bool result = Manage("worker");
    LabPrint(Format("case worker excluded %d result %d notified %ld", exclude ? 1 : 0, result ? 1 : 0,
                    notified - before));
    return 0;
}

int Excluded(const std::vector<std::string>&)
{
    SetRoadSteps(&quietSteps);
    Observe();
    const DWORD self = GetCurrentThreadId();
    for (bool exclude : {true, false}) {
        SetThreadExcluded(self, exclude);
        const long before = notified;
        const bool result = Manage("main");
        LabPrint(Format("case main excluded %d result %d notified %ld handled %d", exclude ? 1 : 0, result ? 1 : 0,
                        notified - before, IsThreadHandled(self) ? 1 : 0));
    }
    // Only the thread that is in the list.
    static int mark = 1;
    for (void* exclude : {static_cast<void*>(&mark), static_cast<void*>(nullptr)}) {
        HANDLE worker = CreateThread(nullptr, 0, ManageOnWorker, exclude, 0, nullptr);
        WaitForSingleObject(worker, 20000);
        CloseHandle(worker);
    }
    return 0;
}

// The runtime's note to a debugger carries a whole context; without a debugger it goes nowhere.
int DebuggerNotice(const std::vector<std::string>& args)
{
    Observe();
    SetRoadSteps(&quietSteps);
    static CONTEXT context;
    context.ContextFlags = !args.empty() && args[0] == "partial" ? CONTEXT_CONTROL : CONTEXT_FULL | CONTEXT_DEBUG_REGISTERS |
                                                                                   CONTEXT_FLOATING_POINT | CONTEXT_EXTENDED_REGISTERS;
    LabPrint(Format("context flags %08X", static_cast<unsigned>(context.ContextFlags)));
    const ULONG_PTR parameters[2] = {reinterpret_cast<ULONG_PTR>(&context), 0};
    RaiseException(0x0EEDFAE4, 0, 2, parameters);
    LabPrint(Format("notice passed notified %ld", notified));
    return 0;
}

// The web steps of the program's own steps, with a report text of the lab's.
class TWebSteps : public TRoadSteps {
public:
    TRoadSteps* real = nullptr;
    void BuildReportText(std::string& text) override { text = "peer lab report"; }
    void ShowWebOutput(const std::string& text) override { real->ShowWebOutput(text); }
    void SaveCapturedHtmlPage(const std::string& page) override { real->SaveCapturedHtmlPage(page); }
    bool LoadCapturedHtmlPage(std::string& page) override
    {
        const bool loaded = real->LoadCapturedHtmlPage(page);
        LabPrint(Format("page loaded %d has page %d", loaded ? 1 : 0,
                        page.find("<html>cgi page</html>") != std::string::npos ? 1 : 0));
        return loaded;
    }
};
TWebSteps webSteps;

// Run with REQUEST_METHOD set: a CGI program that sends part of a page, then fails.
int Cgi(const std::vector<std::string>& args)
{
    webSteps.real = &RoadSteps();
    SetRoadSteps(&webSteps);
    TVurazaModuleOptionsEx& options = *CurrentDuruvaDodOptions();
    options.SetSendFlags(static_cast<uint8_t>(options.SendFlags() | 0x40));  // the last page is kept
    options.SetKeepLogFile(false);
    if (!args.empty() && args[0] == "report")
        options.SetDialogKind(1);
    // Written in pieces, as a program's output goes: the page is all of them.
    for (const char* part : {"Content-Type: text/html\r\n\r\n", "<html>cgi ", "page</html>"}) {
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), part, static_cast<DWORD>(std::strlen(part)), &written, nullptr);
    }
    Manage("cgi fault");
    LabPrint(Format("\ncaptured page %d error page %d", CapturedHtmlPage.find("<html>cgi page</html>") != std::string::npos ? 1 : 0,
                    CapturedHtmlPage.find("DuruvaDod ID") != std::string::npos ? 1 : 0));
    // The kept page goes with the run.
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring folder = temp + GbkToWide(Format("DuruvaDod_%08X", static_cast<unsigned>(GetCurrentProcessId())));
    DeleteFileW((folder + L"\\LastHTMLPage.html").c_str());
    RemoveDirectoryW(folder.c_str());
    return 0;
}

// Run in the program without reporter data: the extension's own copy handles its fault.
int Isapi(const std::vector<std::string>&)
{
    HMODULE peer = LoadPeer();
    if (!peer) {
        LabPrint("no peer");
        return 1;
    }
    LabPrint(Format("started %d peer forwards %d", IsReporterStarted() ? 1 : 0, PeerProc<int (*)()>(peer, "PeerForwards")()));
    using TProc = DWORD(WINAPI*)(EXTENSION_CONTROL_BLOCK*);
    const auto proc = PeerProc<TProc>(peer, "HttpExtensionProc");
    EXTENSION_CONTROL_BLOCK block = RecordingRequestBlock();
    proc(&block);
    const TRecordedRequest& recorded = RecordedRequest();
    const std::string& body = recorded.body;
    LabPrint(Format("isapi status %u header status %s", static_cast<unsigned>(block.dwHttpStatusCode), recorded.status.c_str()));
    LabPrint(Format("isapi body part %d message %d page id %d", body.find("<html>peer page</html>") == 0 ? 1 : 0,
                    body.find("isapi fault") != std::string::npos ? 1 : 0,
                    body.find("<!-- DuruvaDod ID: ") != std::string::npos ? 1 : 0));
    const std::string captured = PeerProc<const char* (*)()>(peer, "PeerCapturedPage")();
    LabPrint(Format("isapi captured part %d error page %d", captured == "<html>peer page</html>" ? 1 : 0,
                    captured.find("DuruvaDod ID") != std::string::npos ? 1 : 0));
    return 0;
}

}  // namespace

const std::vector<TCrashLabMode>& CrashLabPeersModes()
{
    static const std::vector<TCrashLabMode> modes = {
        {"peers-forward", "a library with its own reporter hands exceptions, threads and events to this one [fault: "
                          "one nothing catches]", Forward},
        {"peers-republish", "a notify handler changes the running module's options", Republish},
        {"peers-excluded", "exceptions of threads in the excluded list", Excluded},
        {"peers-notice", "the runtime's note to a debugger [partial: a context of a few parts]", DebuggerNotice},
        {"peers-cgi", "a CGI program sends part of a page, then fails [report: with the dialog kind set]", Cgi},
        {"peers-isapi", "a server extension with its own reporter fails a request", Isapi},
    };
    return modes;
}
