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

// Keeps credentials out of the session log by the state of the dialogue: the line that
// answers a 334 challenge is a user name or a password, whatever it looks like.
class TSmtpCredentialMask {
public:
    // What the session log gets for a command line about to be sent.
    std::string LogLine(std::string_view line) const;
    // The code of the reply the server gave to the last line.
    void Replied(int code) { challenged_ = code == 334; }

private:
    bool challenged_ = false;
};
