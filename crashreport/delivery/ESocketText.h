#pragma once
// The socket's exceptions, the text of its error messages and the SMTP reply checks: the
// parts of the mail transport that need no Win32.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Exception.h"

class EVurazaWinSockError : public Exception {
public:
    using Exception::Exception;
};
class EVurazaSocketError : public EVurazaWinSockError {
public:
    using EVurazaWinSockError::EVurazaWinSockError;
};
class EVurazaFuncNotFoundError : public EVurazaWinSockError {
public:
    using EVurazaWinSockError::EVurazaWinSockError;
};

constexpr size_t kSocketMessageLimit = 1024;

// The message, the error log and the session log (each only once, however the message
// already carries the session log), the destination, cut to 1024 characters plus "...".
std::string BuildSocketErrorMessage(std::string_view message, std::string_view sessionLog,
                                    std::string_view errorLog, std::string_view host, uint16_t port);

using TReplyCodes = std::vector<uint16_t>;
// The value of the digits that start the reply is one of codes.
bool SmtpReplyAccepted(std::string_view reply, const TReplyCodes& codes);
// The command with CR LF at its end.
std::string SmtpCommandLine(std::string_view command);

// Keeps the user and password lines after "AUTH LOGIN" out of the session log: the two
// lines that follow it are logged as "***" unless they are SMTP commands (the server refused
// the login and the session went on without it).
class TSmtpCredentialMask {
public:
    // What the session log gets for a command line about to be sent.
    std::string LogLine(std::string_view line);

private:
    int secretLines_ = 0;
};
