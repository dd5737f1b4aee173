#include <windows.h>

#include "crashreport/delivery/EDeliveryWin.h"

#include <atomic>
#include <mutex>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/EDialogDispatch.h"
#include "crashreport/capture/EHandover.h"
#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EProcesses.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/delivery/EMailSend.h"
#include "crashreport/delivery/EReportFilesWin.h"
#include "crashreport/delivery/ESendProgress.h"
#include "crashreport/delivery/EZip.h"
#include "framework/CodePage.h"
#include "framework/Dialogs.h"
#include "framework/NeverDestroyed.h"
#include "framework/Thread.h"
#include "crashreport/delivery/EHttpProgress.h"
#include "crashreport/delivery/EWebSend.h"

namespace {

std::mutex hooksLock;
// Set once for the program's life: the leak report at exit delivers after static destructors.
TNeverDestroyed<TDeliveryHooks> deliveryHooks;

TDeliveryHooks Hooks()
{
    std::lock_guard<std::mutex> lock(hooksLock);
    return deliveryHooks.Get();
}

// Information or error icon, task-modal, top-most, service notification.
constexpr unsigned kResultBoxFlags = MB_TASKMODAL | MB_TOPMOST | MB_SERVICE_NOTIFICATION;

class TWinDeliveryPlatform : public TDeliveryPlatform {
public:
    explicit TWinDeliveryPlatform(const TDeliveryJob& job) : job_(job), options_(*job.Options), hooks_(Hooks()) {}

    void WriteTextFile(const std::string& name, const std::string& text) override
    {
        CreateReportWorkFolder(job_.Report.Files);
        HANDLE file = CreateFileW(GbkToWide(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
    }
    bool FileExists(const std::string& name) override
    {
        const DWORD attributes = GetFileAttributesW(GbkToWide(name).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    void DeleteFile(const std::string& name) override { DeleteFileW(GbkToWide(name).c_str()); }
    bool MoveFile(const std::string& from, const std::string& to) override
    {
        return MoveFileExW(GbkToWide(from).c_str(), GbkToWide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
    }
    std::vector<std::string> ListFiles(const std::string& folder) override
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW(GbkToWide(folder + "*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(WideToGbk(found.cFileName));
        } while (FindNextFileW(find, &found));
        FindClose(find);
        return names;
    }
    bool ZipFiles(const std::string& zipName, const TStringList& files, const std::string& password) override
    {
        CreateReportWorkFolder(job_.Report.Files);
        TZipWriter zip(zipName, password);
        if (!zip.IsOpen()) return false;
        bool all = true;
        for (const std::string& f : files) all = zip.AddFile(f, ExtractFileName(f)) && all;
        return zip.Close() && all;
    }
    void SaveLastHtmlPage(const TDeliveryReport& report) override
    {
        ::SaveLastHtmlPage(options_, report.Files, report.LastHTMLPage);
    }
    void MakeXmlFile(const TDeliveryReport& report) override
    {
        ::MakeXmlFile(options_, report.Files, report.RequestedPassword);
    }

    void ActionNotify(int action, bool& continueFlag) override
    {
        if (hooks_.ActionNotify) hooks_.ActionNotify(action, continueFlag);
    }
    void ErrorNotify(int code, bool& retry) override
    {
        if (hooks_.ErrorNotify) hooks_.ErrorNotify(code, retry);
    }
    void AttachedFilesRequest(TStringList& files) override
    {
        if (hooks_.AttachedFilesRequest) hooks_.AttachedFilesRequest(files);
    }
    void CustomWebFields(TStringList& fields) override
    {
        if (hooks_.CustomWebFields) hooks_.CustomWebFields(fields);
    }

    void ShowResultBox(bool success) override
    {
        MessageBoxWithFlags(options_.MessageText(success ? 144 : 145), options_.MessageText(0),
                            success ? TMsgDlgType::Information : TMsgDlgType::Error,
                            kResultBoxFlags | (success ? MB_ICONINFORMATION : MB_ICONERROR));
    }
    void CopyToClipboard(const std::string& text) override { CopyReportToClipboard(text); }
    void BeginSendProgress(bool topMost) override
    {
        ::BeginSendProgress(options_, {job_.InlineHandling, job_.DialogFailed}, topMost);
    }

    bool SendByMapi(const TMailRequest& mail) override { return ::SendByMapi(MailOf(mail)); }
    bool SendByMailto(const TMailRequest& mail) override { return ::SendByMailto(MailOf(mail), mail.LastReportText); }
    bool SendBySmtp(const TMailRequest& mail, bool direct) override
    {
        TSmtpServer server;
        server.Direct = direct;
        server.Sender = options_.SmtpSender();
        server.Server = options_.SmtpServer();
        server.Port = static_cast<uint16_t>(options_.SmtpServerPort());
        server.User = options_.SmtpLogin();
        server.Password = options_.SmtpLoginPassword();
        return ::SendBySmtp(MailOf(mail), server);
    }
    bool SendToWeb(TWebStepRequest& request, bool& messageShown) override
    {
        TWebSendHooks hooks;
        hooks.UploadStatus = ShowUploadStatus;
        hooks.TrackerConnection = [](const std::string& url, const std::string& proxy) {
            return std::unique_ptr<THTTPFormConnection>(std::make_unique<THTTPConnection>(url, proxy));
        };
        hooks.CloseProgress = EndSendProgress;
        hooks.ProgressOpen = SendProgressOpen;
        return SendWebReport(request.Options->UploadMethod(), request, hooks, messageShown);
    }

    void RemoveWorkFolder() override { RemoveReportWorkFolder(job_.Report.Files); }
    void ScheduleTerminate(int action) override
    {
        if (hooks_.ScheduleTerminate) hooks_.ScheduleTerminate(action);
    }
    bool TerminatePressed() override { return hooks_.TerminatePressed && hooks_.TerminatePressed(); }
    void FreeCallStacks() override
    {
        if (job_.Handover)
            ReleaseHandoverStacks(*job_.Handover);
        else if (hooks_.FreeCallStacks)
            hooks_.FreeCallStacks();
    }
    void RestartOrTerminate(bool restart) override
    {
        if (hooks_.TerminateAction)
            hooks_.TerminateAction();
        else
            ::RestartOrTerminate(restart);
    }

private:
    TMailSend MailOf(const TMailRequest& mail) const
    {
        TMailSend send;
        send.Recipients = mail.Recipients;
        send.Subject = mail.Subject;
        send.Body = mail.Body;
        send.Files = mail.Files;
        send.DisplayNames = mail.DisplayNames;
        send.ShowDialog = (options_.SendFlags() & 0x1) != 0;
        return send;
    }

    TDeliveryJob job_;
    const TVurazaModuleOptions& options_;
    TDeliveryHooks hooks_;
};

void RunJob(const TDeliveryJob& job)
{
    try {
        auto platform = MakeDeliveryPlatform(job);
        RunDelivery(*job.Options, job.Report, job.Run, *platform);
    } catch (...) {
        ReportStepFailure(TDuruvaDodErrorCode::eeNone, "SendReport");
    }
}

std::atomic<int> runningSenders{0};

// The handling lock for the life of the holder, whatever ends the delivery.
class THandlingLockHolder {
public:
    explicit THandlingLockHolder(const TDeliveryHooks& hooks) : leave_(hooks.LeaveHandlingLock)
    {
        if (hooks.EnterHandlingLock) hooks.EnterHandlingLock();
    }
    ~THandlingLockHolder()
    {
        if (leave_) leave_();
    }
    THandlingLockHolder(const THandlingLockHolder&) = delete;
    THandlingLockHolder& operator=(const THandlingLockHolder&) = delete;

private:
    std::function<void()> leave_;
};

class TSendThread : public TThread {
public:
    explicit TSendThread(TDeliveryJob job) : job_(std::move(job)) { ++runningSenders; }
    ~TSendThread() override { --runningSenders; }

protected:
    void Execute() override
    {
        const THandlingLockHolder lock(Hooks());
        // The record copy goes while the lock still keeps the next exception out.
        struct TDropHandover {
            std::shared_ptr<TExceptionHandover>& handover;
            ~TDropHandover() { handover.reset(); }
        } drop{job_.Handover};
        if (job_.Handover) InstallExceptionHandover(*job_.Handover);
        RunJob(job_);
    }

private:
    TDeliveryJob job_;
};

}  // namespace

void SetDeliveryHooks(TDeliveryHooks hooks)
{
    std::lock_guard<std::mutex> lock(hooksLock);
    deliveryHooks.Get() = std::move(hooks);
}

std::unique_ptr<TDeliveryPlatform> MakeDeliveryPlatform(const TDeliveryJob& job)
{
    return std::make_unique<TWinDeliveryPlatform>(job);
}

void StartSendReport(TDeliveryJob job)
{
    const bool background = (job.Options->SendFlags() & 0x80) != 0;
    if (background && !job.InlineHandling) {
        auto* thread = new TSendThread(std::move(job));
        thread->FreeOnTerminate = true;
        SetThreadPriority(thread->Handle(), THREAD_PRIORITY_HIGHEST);
        if (const auto pass = Hooks().PassHandlingLock) pass(thread->ThreadID());
        thread->Resume();
        return;
    }
    if (background) {
        RunJob(job);
        return;
    }
    auto platform = MakeDeliveryPlatform(job);
    try {
        SendReport(*job.Options, job.Report, *platform);
    } catch (...) {
        ReportStepFailure(TDuruvaDodErrorCode::eeNone, "SendReport");
    }
}

void CheckCrashRate(const TDeliveryJob& job)
{
    auto platform = MakeDeliveryPlatform(job);
    CheckCrashRate(*job.Options, job.Report, job.Run.CrashTimes, job.Run.UnderDevelopmentEnvironment, *platform);
}

void ApplyTerminateAction(const TDeliveryJob& job)
{
    auto platform = MakeDeliveryPlatform(job);
    ApplyTerminateAction(*job.Options, *platform);
}

bool WaitForBackgroundSenders(unsigned timeout)
{
    for (unsigned waited = 0; runningSenders.load() > 0; waited += 20) {
        if (waited >= timeout) return false;
        Sleep(20);
    }
    return true;
}
