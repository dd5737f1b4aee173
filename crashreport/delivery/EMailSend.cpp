#include "crashreport/delivery/EWinSock.h"

#include <mapi.h>

#include "crashreport/delivery/EMailSend.h"

#include <cstring>
#include <memory>
#include <vector>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/EProcesses.h"
#include "crashreport/capture/EUtils.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/ExceptionLog.h"
#include "crashreport/delivery/EBase64.h"
#include "crashreport/delivery/EMailMessage.h"
#include "crashreport/delivery/ESendProgress.h"
#include "crashreport/delivery/ESmtp.h"
#include "framework/CodePage.h"
#include "framework/ExceptionBoundary.h"
#include "framework/SysUtils.h"

namespace {

constexpr size_t kMapiNameSize = 257;  // 256 characters and the terminating zero
constexpr size_t kMapiMaxEntries = 32;

std::string ReadRegistryText(HKEY root, const std::string& path, const char* value)
{
    HKEY key;
    if (RegOpenKeyExW(root, GbkToWide(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    std::wstring name = value ? GbkToWide(value) : std::wstring();
    DWORD type = 0, size = 0;
    std::string text;
    if (RegQueryValueExW(key, value ? name.c_str() : nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(key, value ? name.c_str() : nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                             &size) == ERROR_SUCCESS)
            text = WideToGbk(data.c_str());
    }
    RegCloseKey(key);
    return text;
}

std::string ExpandEnvironment(const std::string& text)
{
    const std::wstring wide = GbkToWide(text);
    const DWORD n = ExpandEnvironmentStringsW(wide.c_str(), nullptr, 0);
    if (n == 0) return text;
    std::wstring out(n, L'\0');
    ExpandEnvironmentStringsW(wide.c_str(), out.data(), n);
    return WideToGbk(out.c_str());
}

std::string MapiLibraryPath(HKEY root)
{
    const std::string client = ReadRegistryText(root, "SOFTWARE\\Clients\\Mail", nullptr);
    if (client.empty()) return {};
    return ReadRegistryText(root, "SOFTWARE\\Clients\\Mail\\" + client, "DLLPath");
}

// A name in its fixed buffer: cut at 256 bytes, at a whole GBK character.
struct TMapiName {
    char text[kMapiNameSize] = {};
    explicit TMapiName(const std::string& value)
    {
        size_t n = 0;
        while (n < value.size()) {
            const size_t step = GbkCharLength(value, n);
            if (n + step > kMapiNameSize - 1) break;
            n += step;
        }
        std::memcpy(text, value.data(), n);
    }
};

bool FileExistsGbk(const std::string& name)
{
    const DWORD attributes = GetFileAttributesW(GbkToWide(name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string DisplayNameAt(const TMailSend& mail, int index)
{
    if (index < mail.DisplayNames.Count() && !mail.DisplayNames[index].empty()) return mail.DisplayNames[index];
    return ExtractFileName(mail.Files[index]);
}

std::string CurrentDirectoryText()
{
    const DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring dir(n, L'\0');
    GetCurrentDirectoryW(n, dir.data());
    return WideToGbk(dir.c_str());
}

}  // namespace

bool SendByMapi(const TMailSend& mail)
{
    const std::string directory = CurrentDirectoryText();
    struct TRestoreDirectory {
        const std::string& directory;
        ~TRestoreDirectory() { SetCurrentDirectoryW(GbkToWide(directory).c_str()); }
    } restore{directory};

    const std::string subject = CollapseControlChars(ExpandTextVariables(mail.Subject));
    std::string body = ExpandTextVariables(mail.Body);
    const TStringList recipients = SplitRecipients(mail.Recipients);

    std::string path = MapiLibraryPath(HKEY_CURRENT_USER);
    if (path.empty()) path = MapiLibraryPath(HKEY_LOCAL_MACHINE);
    HMODULE library = path.empty() ? nullptr : LoadLibraryW(GbkToWide(ExpandEnvironment(path)).c_str());
    if (!library) library = LoadLibraryW(L"mapi32.dll");
    if (!library) {
        ReportInternalWarning(TDuruvaDodErrorCode::eeEmailMAPIError, "Cannot open the MAPI dll.");
        return false;
    }
    auto logon = reinterpret_cast<LPMAPILOGON>(reinterpret_cast<void*>(GetProcAddress(library, "MAPILogon")));
    auto logoff = reinterpret_cast<LPMAPILOGOFF>(reinterpret_cast<void*>(GetProcAddress(library, "MAPILogoff")));
    auto send = reinterpret_cast<LPMAPISENDMAIL>(reinterpret_cast<void*>(GetProcAddress(library, "MAPISendMail")));
    if (!logon || !logoff || !send) {
        ReportInternalWarning(TDuruvaDodErrorCode::eeEmailMAPIError, "Cannot found the MAPI functions.");
        FreeLibrary(library);
        return false;
    }
    // The mail program's boxes belong to the main window when the main thread asks; delivery
    // runs off it, where they have no owner.
    const DWORD mainThread = MainThreadId();
    const ULONG_PTR parent = mainThread != 0 && GetCurrentThreadId() == mainThread
                                 ? reinterpret_cast<ULONG_PTR>(FindProcessMainWindow(GetCurrentProcessId()))
                                 : 0;
    LHANDLE session = 0;
    if (logon(parent, nullptr, nullptr, MAPI_LOGON_UI, 0, &session) != SUCCESS_SUCCESS) {
        ReportInternalWarning(TDuruvaDodErrorCode::eeEmailMAPIError, "Cannot LogOn into the MAPI service.");
        FreeLibrary(library);
        return false;
    }

    std::vector<std::unique_ptr<TMapiName>> names;  // the buffers live until the call returns
    std::vector<MapiRecipDesc> recips;
    for (const std::string& r : recipients) {
        if (recips.size() == kMapiMaxEntries) break;
        names.push_back(std::make_unique<TMapiName>(r));
        char* name = names.back()->text;
        names.push_back(std::make_unique<TMapiName>("SMTP:" + r));
        char* address = names.back()->text;
        recips.push_back(MapiRecipDesc{0, MAPI_TO, name, address, 0, nullptr});
    }
    // Paths whole: a name's 256 bytes would cut a deep one.
    std::vector<std::string> paths;
    paths.reserve(static_cast<size_t>(mail.Files.Count()));
    std::vector<MapiFileDesc> attachments;
    for (int i = 0; i < mail.Files.Count() && attachments.size() < kMapiMaxEntries; ++i) {
        if (mail.Files[i].empty() || !FileExistsGbk(mail.Files[i])) continue;
        paths.push_back(mail.Files[i]);
        char* filePath = paths.back().data();
        names.push_back(std::make_unique<TMapiName>(DisplayNameAt(mail, i)));
        attachments.push_back(MapiFileDesc{0, 0, static_cast<ULONG>(-1), filePath, names.back()->text, nullptr});
    }
    std::string subjectText = subject;
    MapiMessage message{};
    message.lpszSubject = subjectText.data();
    message.lpszNoteText = body.data();
    message.nRecipCount = static_cast<ULONG>(recips.size());
    message.lpRecips = recips.empty() ? nullptr : recips.data();
    message.nFileCount = static_cast<ULONG>(attachments.size());
    message.lpFiles = attachments.empty() ? nullptr : attachments.data();
    const FLAGS flags = MAPI_LOGON_UI | (mail.ShowDialog ? MAPI_DIALOG : 0);
    const ULONG result = send(session, parent, &message, flags, 0);
    const bool sent = result == SUCCESS_SUCCESS || result == MAPI_USER_ABORT;
    if (!sent) ReportInternalWarning(TDuruvaDodErrorCode::eeEmailMAPIError, "Cannot send the MAPI message.");
    logoff(session, parent, 0, 0);
    FreeLibrary(library);
    return sent;
}

bool SendMailByMapi(const std::string& address, const std::string& subject, const std::string& body,
                    const std::string& attachments)
{
    TMailSend mail;
    mail.Recipients = address;
    mail.Subject = subject;
    mail.Body = body;
    mail.Files = SplitRecipients(attachments);
    return SendByMapi(mail);
}

namespace {

struct TWindowOfProcess {
    DWORD processId;
    HWND window;
};

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM data)
{
    return GuardedCall<BOOL>(FALSE, [&]() -> BOOL {
        auto* find = reinterpret_cast<TWindowOfProcess*>(data);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == find->processId && IsWindowVisible(window) && !GetWindow(window, GW_OWNER)) {
            find->window = window;
            return FALSE;
        }
        return TRUE;
    });
}

}  // namespace

bool SendByMailto(const TMailSend& mail, const std::string& lastReportText)
{
    const std::string subject = ExpandTextVariables(mail.Subject);
    const std::string body = ExpandTextVariables(mail.Body);
    const std::string command = ExpandEnvironment(ReadRegistryText(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", nullptr));
    const std::string line = MailtoCommandLine(command, mail.Recipients, subject, body + "\r\n\r\n\r\n" + lastReportText);
    std::wstring wide = GbkToWide(line);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMAXIMIZED;
    PROCESS_INFORMATION process{};
    if (wide.empty() || !CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE,
                                        CREATE_DEFAULT_ERROR_MODE | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process)) {
        ReportInternalWarning(TDuruvaDodErrorCode::eeEmailShellError, SocketErrorText(static_cast<int>(GetLastError())));
        return false;
    }
    WaitForInputIdle(process.hProcess, 10000);
    Sleep(2000);
    TWindowOfProcess find{process.dwProcessId, nullptr};
    EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&find));
    if (find.window) SetWindowPos(find.window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    DWORD exitCode = 0;
    const bool ended = WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ended;
}

namespace {

std::string LocalHostName()
{
    char name[251] = {};
    if (EWinSock::gethostname(name, 250) != 0) return "localhost";
    return name;
}

TMailMessage BuildMessage(const TMailSend& mail, const std::string& from, const std::string& subject,
                          const std::string& body, const std::string& recipient)
{
    TMailMessage m;
    m.Date = FormatMailDate(NowDateTime());
    m.From = from;
    m.Subject = subject;
    m.Recipient = recipient;
    m.TickCount = GetTickCount();
    m.Body = body;
    for (int i = 0; i < mail.Files.Count(); ++i) {
        if (mail.Files[i].empty() || !FileExistsGbk(mail.Files[i])) continue;
        std::string bytes;
        // Sent empty, the report would read as delivered.
        if (!ReadWholeFile(mail.Files[i], bytes))
            throw Exception("Cannot read the attachment \"" + mail.Files[i] + "\".");
        m.Attachments.push_back({DisplayNameAt(mail, i), std::move(bytes)});
    }
    return m;
}

void SendOneMessage(const TMailSend& mail, const TSmtpServer& server, const std::string& host,
                    const std::string& user, const std::string& password, const std::string& subject,
                    const std::string& body, const std::string& recipient)
{
    SetSendMessageText(SendProgressMessageText(114));
    TVurazaClientSMTP client(host, 30000, server.Port);
    client.Connect();
    std::string owner = RegisteredOwnerName();
    if (owner.empty()) owner = CurrentUserName();
    const std::string from = SenderHeader(server.Sender, owner);
    const std::string envelope = EnvelopeSender(from);

    SetSendMessageText(SendProgressMessageText(115));
    const std::string hostName = LocalHostName();
    if (!user.empty() || !password.empty()) {
        client.SendSmtpCommand("EHLO " + hostName, {250});
        client.SendSmtpCommand("RSET", {250});
        client.Login(user, password);
    } else {
        client.SendSmtpCommand("HELO " + hostName, {250});
        client.SendSmtpCommand("RSET", {250});
    }
    client.SendSmtpCommand("MAIL FROM:<" + envelope + ">", {250});

    SetSendMessageText(SendProgressMessageText(116));
    const std::string text = SmtpDataText(ComposeMimeMessage(BuildMessage(mail, from, subject, body, recipient)));
    client.SendSmtpCommand("RCPT TO:<" + recipient + ">", {250, 251});
    client.SendSmtpCommand("DATA", {354});
    if (SendProgressOpen())
        client.OnSent = [](TVurazaClientSocket&, int position, int length) {
            if (length > 0) SetSendProgressPosition(static_cast<int>(static_cast<int64_t>(position) * 100 / length));
        };
    client.SendSmtpCommand(text, {250});
    client.OnSent = nullptr;
}

}  // namespace

bool SendBySmtp(const TMailSend& mail, const TSmtpServer& server)
{
    TSmtpServer target = server;
    if (target.Direct) target.Port = 25;
    const std::string subject = ExpandTextVariables(mail.Subject);
    const std::string body = ExpandTextVariables(mail.Body);
    const TStringList recipients = SplitRecipients(mail.Recipients);
    bool anySent = false;
    for (int i = 0; i < recipients.Count(); ++i) {
        const std::string& recipient = recipients[i];
        SetSendMessageCounter(i + 1, recipients.Count());
        ResetSendProgress();
        // One recipient's failure doesn't keep the message from the others.
        try {
            std::string host = target.Server, user = target.User, password = target.Password;
            if (target.Direct) {
                SetSendMessageText(SendProgressMessageText(112));
                host = ResolveMailExchanger(recipient, 30000);
                user.clear();
                password.clear();
            }
            SendOneMessage(mail, target, host, user, password, subject, body, recipient);
            anySent = true;
        } catch (...) {
            ReportStepFailure(TDuruvaDodErrorCode::eeEmailSMTPError, "SMTP");
        }
    }
    EndSendProgress();
    return anySent;
}
