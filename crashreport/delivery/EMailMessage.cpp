#include "crashreport/delivery/EMailMessage.h"

#include <cstdio>

#include "crashreport/capture/ECore.h"
#include "crashreport/delivery/EBase64.h"
#include "framework/SysUtils.h"

namespace {

constexpr std::string_view kCrLf = "\r\n";

bool IsAscii(std::string_view text)
{
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

// Every run of characters below 32 becomes one blank.
std::string Collapsed(std::string_view text)
{
    std::string out;
    bool inRun = false;
    for (unsigned char c : text) {
        if (c < 32) {
            if (!inRun) out += ' ';
            inRun = true;
        } else {
            out += static_cast<char>(c);
            inRun = false;
        }
    }
    return out;
}

// RFC 2047 allows 75 characters a word: "=?GBK?B?" and "?=" leave 64 for Base64, 48 bytes. The
// text is cut between whole characters and every further word is folded onto a line of its own
// (the blank that starts it is not part of the decoded text).
std::string EncodedWords(std::string_view text)
{
    constexpr size_t kWordBytes = 48;
    std::string out;
    for (size_t start = 0; start < text.size();) {
        size_t end = start;
        while (end < text.size()) {
            const size_t n = std::min<size_t>(GbkCharLength(text, end), text.size() - end);
            if (end + n - start > kWordBytes) break;
            end += n;
        }
        if (!out.empty()) out += "\r\n ";
        out += "=?GBK?B?" + Base64EncodeBuffer(text.data() + start, end - start) + "?=";
        start = end;
    }
    return out;
}

std::string HeaderText(std::string_view text)
{
    const std::string collapsed = Collapsed(text);
    return IsAscii(collapsed) ? collapsed : EncodedWords(collapsed);
}

// A name in quotes loses them and its escapes: an encoded word inside quotes isn't decoded.
std::string Unquoted(std::string_view name)
{
    if (name.size() < 2 || name.front() != '"' || name.back() != '"') return std::string(name);
    std::string out;
    const std::string_view inner = name.substr(1, name.size() - 2);
    for (size_t i = 0; i < inner.size();) {
        if (inner[i] == '\\' && i + 1 < inner.size()) ++i;
        const size_t n = std::min<size_t>(GbkCharLength(inner, i), inner.size() - i);  // a trail byte may be a backslash
        out.append(inner, i, n);
        i += n;
    }
    return out;
}

}  // namespace

TStringList SplitRecipients(std::string_view recipients)
{
    TStringList list;
    size_t start = 0;
    for (;;) {
        const size_t at = recipients.find_first_of(",;", start);
        std::string one = Trim(recipients.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (!one.empty()) list.Add(std::move(one));
        if (at == std::string_view::npos) return list;
        start = at + 1;
    }
}

std::string SenderHeader(std::string_view sender, std::string_view userName)
{
    if (sender.find('"') != std::string_view::npos || sender.find('<') != std::string_view::npos) {
        const std::string header = Collapsed(sender);
        const size_t open = header.rfind('<');
        if (open == std::string::npos || IsAscii(std::string_view(header).substr(0, open))) return header;
        return EncodedWords(Unquoted(Trim(std::string_view(header).substr(0, open)))) + " " + header.substr(open);
    }
    const std::string name = Collapsed(userName);
    std::string quoted;
    if (IsAscii(name)) {
        for (char c : name) {
            if (c == '"' || c == '\\') quoted += '\\';
            quoted += c;
        }
        quoted = "\"" + quoted + "\"";
    } else {
        quoted = EncodedWords(name);
    }
    return quoted + " <" + Collapsed(Trim(sender)) + ">";
}

std::string EnvelopeSender(std::string_view senderHeader)
{
    const size_t open = senderHeader.rfind('<');
    if (open != std::string_view::npos) {
        const size_t close = senderHeader.find('>', open);
        if (close != std::string_view::npos) return Trim(senderHeader.substr(open + 1, close - open - 1));
    }
    return Trim(senderHeader);
}

std::string AttachmentContentType(std::string_view fileName)
{
    return UpperCase(ExtractFileExt(fileName)) == ".PNG" ? "image/png" : "application/octet-stream";
}

std::string Base64Lines(std::string_view bytes, size_t width)
{
    const std::string text = Base64EncodeBuffer(bytes.data(), bytes.size());
    std::string out;
    out.reserve(text.size() + text.size() / width * 2 + 2);
    for (size_t at = 0; at < text.size(); at += width) {
        const size_t n = std::min(width, text.size() - at);
        out.append(text, at, n);
        if (n == width) out += kCrLf;
    }
    return out;
}

std::string ComposeMimeMessage(const TMailMessage& m)
{
    const std::string boundary(kMimeBoundary);
    std::string text;
    text += "Date: " + m.Date + "\r\n";
    text += "From: " + m.From + "\r\n";
    text += "Subject: " + HeaderText(m.Subject) + "\r\n";
    text += "To: <" + m.Recipient + ">\r\n";
    text += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\";\r\n";
    text += "MIME-Version: 1.0\r\n";
    text += "Message-ID: <" + std::to_string(m.TickCount) + "@duruvadod>\r\n\r\n";
    text += "This is a multi-part message in MIME format\r\n\r\n";
    text += "--" + boundary + "\r\n";
    if (IsAscii(m.Body)) {
        text += "Content-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n\r\n" + m.Body + "\r\n";
    } else {
        // RFC 2045 keeps encoded lines at 76 characters.
        text += "Content-Type: text/plain; charset=GBK\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                Base64Lines(m.Body, 76) + "\r\n";
    }
    for (const TMailAttachment& a : m.Attachments) {
        text += "\r\n--" + boundary + "\r\n";
        text += "Content-Type: " + AttachmentContentType(a.DecoratedName) + ";\r\n";
        text += "        name=\"" + a.DecoratedName + "\"\r\n";
        text += "Content-Transfer-Encoding: base64\r\n";
        text += "Content-Disposition: attachment;\r\n";
        text += "        filename=\"" + a.DecoratedName + "\"\r\n\r\n";
        text += Base64Lines(a.Bytes, 80) + "\r\n";
    }
    text += "--" + boundary + "--\r\n";
    return text;
}

std::string SmtpDataText(std::string_view message)
{
    std::string out;
    out.reserve(message.size() + 16);
    bool lineStart = true;
    for (size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if (c == '\r' || c == '\n') {
            out += kCrLf;
            if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') ++i;
            lineStart = true;
            continue;
        }
        if (lineStart && c == '.') out += '.';
        out += c;
        lineStart = false;
    }
    if (!lineStart) out += kCrLf;
    return out + ".";
}

std::string MailtoEncode(std::string_view text)
{
    std::string out;
    out.reserve(text.size() * 3);
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c >= 0x80) {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string MailtoAddress(std::string_view recipients, std::string_view subject, std::string_view body,
                          size_t maxLength)
{
    std::string address = "mailto:" + std::string(recipients) + "?Subject=" + MailtoEncode(subject) + "&Body=";
    // Encoded a character at a time: a GBK pair or a "%XX" is never cut in half.
    for (size_t i = 0; i < body.size();) {
        const size_t n = std::min<size_t>(GbkCharLength(body, i), body.size() - i);
        const std::string piece = MailtoEncode(body.substr(i, n));
        if (address.size() + piece.size() > maxLength) break;
        address += piece;
        i += n;
    }
    return address;
}

std::string MailtoCommandLine(std::string_view registeredCommand, std::string_view recipients,
                              std::string_view subject, std::string_view text)
{
    constexpr size_t kLimit = 32000;  // below 32,767, leaving room for the program's own path quoting
    size_t holes = 0;
    for (size_t at = registeredCommand.find("%1"); at != std::string_view::npos; at = registeredCommand.find("%1", at + 2))
        ++holes;
    const size_t fixed = registeredCommand.size() - 2 * holes;
    const size_t room = holes == 0 ? 0 : (fixed < kLimit ? (kLimit - fixed) / holes : 0);
    const std::string address = MailtoAddress(recipients, subject, text, room);
    std::string line;
    for (size_t i = 0; i < registeredCommand.size();) {
        if (registeredCommand.compare(i, 2, "%1") == 0) {
            line += address;
            i += 2;
        } else {
            line += registeredCommand[i++];
        }
    }
    return line;
}
