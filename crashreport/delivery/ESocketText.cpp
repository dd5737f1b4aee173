#include "crashreport/delivery/ESocketText.h"

#include "framework/SysUtils.h"

std::string BuildSocketErrorMessage(std::string_view message, std::string_view sessionLog,
                                    std::string_view errorLog, std::string_view host, uint16_t port)
{
    std::string m(message);
    const std::string errorPart = "Error log:\r\n" + std::string(errorLog);
    // Before anything was logged (no socket yet) there is no log to show.
    if (!sessionLog.empty()) {
        const size_t at = m.find(sessionLog);
        if (at == std::string::npos)
            m += "\r\n\r\n" + errorPart + "\r\n\r\nSocket log:\r\n" + std::string(sessionLog);
        else if (at == 0)
            m = errorPart + "\r\n\r\nSocket log:\r\n" + m;
        else
            m += "\r\n\r\n" + errorPart;
    }
    m += "\r\n\r\nDestination: " + std::string(host) + ":" + std::to_string(port);
    if (m.size() > kSocketMessageLimit) {
        m.resize(kSocketMessageLimit);
        m += "...";
    }
    return m;
}

bool SmtpReplyAccepted(std::string_view reply, const TReplyCodes& codes)
{
    size_t n = 0;
    uint32_t value = 0;
    while (n < reply.size() && reply[n] >= '0' && reply[n] <= '9') {
        if (n == 5)
            return false;
        value = value * 10 + static_cast<uint32_t>(reply[n] - '0');
        ++n;
    }
    if (n == 0)
        return false;
    for (uint16_t code : codes)
        if (code == value)
            return true;
    return false;
}

std::string SmtpCommandLine(std::string_view command)
{
    std::string line(command);
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0)
        line += "\r\n";
    return line;
}

std::string TSmtpCredentialMask::LogLine(std::string_view line) const
{
    return challenged_ ? "***\r\n" : std::string(line);
}
