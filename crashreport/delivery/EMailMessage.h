#pragma once
// The texts of a report sent by mail: the MIME message the SMTP sender composes, its sender and
// envelope, the DATA payload, and the "mailto:" address. No system here: clock, user name and
// file contents come from the caller.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/StringList.h"

constexpr std::string_view kMimeBoundary = "=_xcjvnxkbhvfkxzhfdbvzldjhfv";

// Addresses split at "," and ";", trimmed; empty ones dropped.
TStringList SplitRecipients(std::string_view recipients);

// The "From:" text: a configured sender holding a quote or "<" is used as it stands, its name
// before the last "<" encoded when it isn't ASCII; otherwise the user's name (quoted, escaped,
// encoded when it isn't ASCII) and the address in brackets. Encoded words stay within 75
// characters, further ones folded onto lines of their own.
std::string SenderHeader(std::string_view sender, std::string_view userName);
// The address of the last "<...>" of a sender text, else the whole text trimmed.
std::string EnvelopeSender(std::string_view senderHeader);

// "image/png" for ".png" in any case, else "application/octet-stream".
std::string AttachmentContentType(std::string_view fileName);

struct TMailAttachment {
    std::string DecoratedName;  // the name it is sent under
    std::string Bytes;
};

struct TMailMessage {
    std::string Date;       // already in mail-date form
    std::string From;       // SenderHeader's text
    std::string Subject;
    std::string Recipient;  // one address
    uint32_t TickCount = 0;
    std::string Body;
    std::vector<TMailAttachment> Attachments;
};

// The message up to its closing boundary line, CR LF line ends throughout. ASCII subjects and
// bodies go out exactly as the plain form asks; any other text is marked as GBK: the subject
// as encoded words (folded like the sender's), the body in Base64.
std::string ComposeMimeMessage(const TMailMessage& message);

// What follows DATA: line ends made CR LF, every line starting with "." given one more, then the
// final "." (the command layer adds its CR LF), so no line of the message can end it early.
std::string SmtpDataText(std::string_view message);

// Base64 cut into lines of `width`: every full line ends with CR LF, a last partial one doesn't.
std::string Base64Lines(std::string_view bytes, size_t width);

// "mailto:" + recipients + "?Subject=" + encoded subject + "&Body=" + encoded body. The encoded
// body stops before maxLength would be passed (at a whole character), so a command line built
// from it stays within the system's limit.
std::string MailtoAddress(std::string_view recipients, std::string_view subject, std::string_view body,
                          size_t maxLength);
// Letters, digits, "-" and bytes from 0x80 stay; every other byte becomes "%XX".
std::string MailtoEncode(std::string_view text);

// The registered command with every "%1" replaced by the address of MailtoAddress, the body
// capped so that the whole line stays under the system's 32,767 characters.
std::string MailtoCommandLine(std::string_view registeredCommand, std::string_view recipients,
                              std::string_view subject, std::string_view text);
