#pragma once
// The three e-mail senders of a report: Simple MAPI through the default mail program, a
// "mailto:" link opened with the registered mail program, and SMTP through a server or
// directly to each recipient's mail exchanger. Failures become internal warnings and false.

#include <cstdint>
#include <string>

#include "framework/StringList.h"

struct TMailSend {
    std::string Recipients;  // separated by "," or ";"
    std::string Subject;     // variables not yet expanded
    std::string Body;
    TStringList Files;         // existing files are attached
    TStringList DisplayNames;  // the names they go under, in the same order (missing: the file's name)
    bool ShowDialog = false;   // SendFlags 0x1: MAPI shows its send dialog
};

bool SendByMapi(const TMailSend& mail);
// Splits names at "," or ";" and sends them by MAPI under their own names.
bool SendMailByMapi(const std::string& address, const std::string& subject, const std::string& body,
                    const std::string& attachments);
// lastReportText goes after the body, three CR LF between.
bool SendByMailto(const TMailSend& mail, const std::string& lastReportText);

struct TSmtpServer {
    bool Direct = false;
    std::string Sender;
    std::string Server;
    uint16_t Port = 25;
    std::string User;
    std::string Password;
};
// True when at least one recipient's message was accepted.
bool SendBySmtp(const TMailSend& mail, const TSmtpServer& server);

