#pragma once
// SMTP over the client socket, checking the greeting and the reply code of every command,
// and the mail-exchanger lookup that asks DNS servers over UDP.

#include <string>
#include <string_view>

#include "crashreport/delivery/ESockets.h"
#include "framework/StringList.h"

class TVurazaClientSMTP : public TVurazaClientSocket {
public:
    TVurazaClientSMTP(std::string host, uint32_t timeout, uint16_t port = 25)
        : TVurazaClientSocket(std::move(host), timeout, true, port)
    {
    }
    // Connects and expects the 220 greeting.
    void Connect() override;
    bool ReadSmtpReply(const TReplyCodes& codes);
    // Sends one line and expects one of codes; anything else raises with the session log.
    // A line that answers a 334 challenge is logged as "***".
    bool SendSmtpCommand(std::string_view command, const TReplyCodes& codes);
    // AUTH LOGIN with the user and then the password, each only after a 334 challenge.
    void Login(const std::string& user, const std::string& password);
    // The code of the last reply read, 0 when it started with no digits.
    int LastReplyCode = 0;

private:
    TSmtpCredentialMask mask_;
};

// The system's DNS servers in order, then the fallback public resolver.
TStringList ListDnsServers();
const char* FallbackDnsServer();
// The exchange of the address's domain; EVurazaSocketError "Cannot resolve the ..." when no
// server gives one within the budget (ms).
std::string ResolveMailExchanger(std::string_view address, unsigned budget);
