#include "crashreport/delivery/EWinSock.h"

#include "crashreport/delivery/ESmtp.h"

#include <iphlpapi.h>

#include <vector>

#include "crashreport/delivery/EBase64.h"
#include "crashreport/delivery/EDns.h"
#include "framework/SysUtils.h"

#ifndef VIDUDO_FALLBACK_DNS_SERVER
#define VIDUDO_FALLBACK_DNS_SERVER "8.8.8.8"
#endif

void TVurazaClientSMTP::Connect()
{
    mask_.Replied(0);
    TVurazaClientSocket::Connect();
    if (!ReadSmtpReply({220}))
        RaiseSocketError("%s", SessionLog.c_str());
}

bool TVurazaClientSMTP::ReadSmtpReply(const TReplyCodes& codes)
{
    const std::string reply = ReceiveText();
    LastReplyCode = 0;
    for (size_t i = 0; i < reply.size() && i < 5 && reply[i] >= '0' && reply[i] <= '9'; ++i)
        LastReplyCode = LastReplyCode * 10 + (reply[i] - '0');
    mask_.Replied(LastReplyCode);
    return SmtpReplyAccepted(reply, codes);
}

bool TVurazaClientSMTP::SendSmtpCommand(std::string_view command, const TReplyCodes& codes)
{
    if (command.empty())
        return false;
    const std::string line = SmtpCommandLine(command);
    bool accepted = false;
    if (SendText(line) == static_cast<int>(line.size())) {
        SessionLog += mask_.LogLine(line);
        ErrorLog.clear();
        accepted = ReadSmtpReply(codes);
    }
    if (!accepted)
        RaiseSocketError("%s", SessionLog.c_str());
    return true;
}

void TVurazaClientSMTP::Login(const std::string& user, const std::string& password)
{
    SendSmtpCommand("AUTH LOGIN", {334, 500, 502});
    // A server without the login takes the mail as it is; a refused user line ends the login
    // there: the credentials would only land in its log.
    if (LastReplyCode != 334)
        return;
    SendSmtpCommand(Base64EncodeText(user), {334, 500, 502});
    if (LastReplyCode != 334)
        return;
    SendSmtpCommand(Base64EncodeText(password), {235, 500, 502});
}

const char* FallbackDnsServer() { return VIDUDO_FALLBACK_DNS_SERVER; }

TStringList ListDnsServers()
{
    TStringList servers;
    if (HMODULE library = LoadLibraryA("IPHLPAPI.DLL")) {
        using TGetNetworkParams = decltype(&::GetNetworkParams);
        auto getNetworkParams =
            reinterpret_cast<TGetNetworkParams>(reinterpret_cast<void*>(GetProcAddress(library, "GetNetworkParams")));
        ULONG size = 0;
        if (getNetworkParams && getNetworkParams(nullptr, &size) == ERROR_BUFFER_OVERFLOW && size >= sizeof(FIXED_INFO)) {
            std::vector<unsigned char> buffer(size);
            auto* info = reinterpret_cast<FIXED_INFO*>(buffer.data());
            if (getNetworkParams(info, &size) == ERROR_SUCCESS) {
                for (const IP_ADDR_STRING* entry = &info->DnsServerList; entry; entry = entry->Next) {
                    const std::string address = Trim(std::string(entry->IpAddress.String, strnlen(entry->IpAddress.String, sizeof entry->IpAddress.String)));
                    if (!address.empty() && address != "0.0.0.0")
                        servers.Add(address);
                }
            }
        }
        FreeLibrary(library);
    }
    servers.Add(FallbackDnsServer());
    return servers;
}

std::string ResolveMailExchanger(std::string_view address, unsigned budget)
{
    const std::string domain = MailDomainOf(address);
    const std::string query = BuildMxQuery(domain);
    const unsigned wait = MxBaseWait(budget);
    if (!query.empty()) {
        for (const std::string& server : ListDnsServers()) {
            for (unsigned attempt = 0; attempt < 3; ++attempt) {
                TVurazaClientSocket socket(server, wait + 100 * attempt, false, 53);
                socket.Connect();
                std::string host;
                if (socket.SendText(query) == static_cast<int>(query.size())) {
                    const std::string reply = socket.ReceiveWithin();
                    if (!reply.empty())
                        host = ParseMxReply(reply);
                }
                if (!host.empty())
                    return host;
            }
        }
    }
    throw EVurazaSocketError(Format("Cannot resolve the \"%s\" MX record.", domain.c_str()));
}
