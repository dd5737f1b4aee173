#include "crashreport/capture/ERichText.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "framework/SysUtils.h"

namespace {

constexpr std::string_view kPar = "\\par";

// The escaped text as lines without their "\par"; a final line break leaves no line to colour.
struct TRtfLine {
    std::string text;
    bool par;
};
struct TRtfLines {
    std::vector<TRtfLine> lines;
    bool finalBreak = false;
};

TRtfLines SplitRtfLines(std::string_view escaped)
{
    TRtfLines out;
    size_t start = 0;
    while (start < escaped.size()) {
        const size_t end = escaped.find("\r\n", start);
        std::string_view line = escaped.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        const bool par = line.size() >= kPar.size() && line.substr(line.size() - kPar.size()) == kPar;
        if (par)
            line.remove_suffix(kPar.size());
        out.lines.push_back({std::string(line), par});
        if (end == std::string_view::npos)
            return out;
        start = end + 2;
    }
    out.finalBreak = !escaped.empty();
    return out;
}

std::string JoinRtfLines(const TRtfLines& split)
{
    std::string out;
    for (size_t i = 0; i < split.lines.size(); ++i) {
        out += split.lines[i].text;
        if (split.lines[i].par)
            out += kPar;
        if (i + 1 < split.lines.size() || split.finalBreak)
            out += "\r\n";
    }
    return out;
}

// Inserts before the 1-based position, or at the end when the line is shorter.
void InsertAt(std::string& line, size_t position, std::string_view code)
{
    line.insert(std::min(position - 1, line.size()), code);
}

void ReplaceAt(std::string& line, size_t position, size_t count, std::string_view code)
{
    if (position - 1 < line.size())
        line.replace(position - 1, count, code);
}

}  // namespace

std::string EscapeRtfText(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\'%02x", c);
            out += hex;
            if (GbkCharLength(text, i) == 2) {
                std::snprintf(hex, sizeof hex, "\\'%02x", static_cast<unsigned char>(text[++i]));
                out += hex;
            }
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c == '{') {
            out += "\\{";
        } else if (c == '}') {
            out += "\\}";
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\\par\r\n";
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string ColorGeneralRtf(std::string_view escaped)
{
    TRtfLines split = SplitRtfLines(escaped);
    std::vector<TRtfLine>& lines = split.lines;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string& line = lines[i].text;
        if (i == 0) {
            line = "\\cf1\\b " + line + "\\b0";
            continue;
        }
        const size_t colon = line.find(':');
        const size_t field = line.find(": ");
        if (!line.empty() && line[0] != ' ' && colon != std::string::npos && colon + 1 == line.size()) {
            line = "\\cf3\\b " + line + "\\b0";
        } else if (!line.empty() && line[0] == '-') {
            line = "\\cf3 " + line;
        } else if (field != std::string::npos) {
            std::string head = line.substr(0, field + 2);
            const std::string rest = line.substr(field + 2);
            const size_t space = head.find(' ', 2);
            if (space != std::string::npos)
                head.insert(space, "\\cf2 ");
            line = "\\cf5 " + head + "\\cf4 " + rest;
        }
    }
    return JoinRtfLines(split);
}

std::string ColorAssemblerRtf(std::string_view escaped)
{
    TRtfLines split = SplitRtfLines(escaped);
    std::vector<TRtfLine>& lines = split.lines;
    for (TRtfLine& l : lines) {
        std::string& line = l.text;
        if (line.empty() || line[0] != ';') {
            const size_t space = line.size() > 10 ? line.find(' ', 10) : std::string::npos;
            std::string out = line.substr(0, std::min<size_t>(9, line.size()));
            out += "\\cf4\\b ";
            if (space == std::string::npos) {
                if (line.size() > 9)
                    out += line.substr(9);
                out += "\\b0";
            } else {
                out += line.substr(9, space - 9) + "\\b0\\cf7 " + line.substr(space);
            }
            line = "\\cf5 " + out;
        }
        const size_t comment = line.find(';');
        if (comment != std::string::npos)
            line.insert(comment, "\\cf6 ");
    }
    return JoinRtfLines(split);
}

std::string ColorCpuRtf(std::string_view escaped, int tabTwips)
{
    TRtfLines split = SplitRtfLines(escaped);
    std::vector<TRtfLine>& lines = split.lines;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string& line = lines[i].text;
        const size_t number = i + 1;
        if (number == 1) {
            line = "\\cf3\\b " + line + "\\cf2\\b0";
        } else if (number == 2) {
            line = "\\cf3 " + line + "\\cf2";
        } else if (number <= 6) {
            InsertAt(line, 6, "\\cf4 ");
            InsertAt(line, 19, "\\cf2 ");
            InsertAt(line, 32, "\\cf4 ");
            InsertAt(line, 45, "\\cf2 ");
        } else if (number == 8) {
            const std::string head = Trim(line.substr(0, std::min<size_t>(21, line.size())));
            const std::string tail = line.size() > 21 ? Trim(line.substr(21)) : std::string();
            line = "\\pard\\tx" + std::to_string(tabTwips) + "\\cf3\\b " + head + "\\tab " + tail + "\\cf2\\b0";
        } else if (number == 9) {
            ReplaceAt(line, 19, 3, "\\tab ");
            line = "\\cf3 " + line + "\\cf2";
        } else if (number >= 10) {
            InsertAt(line, 11, "\\cf4 ");
            InsertAt(line, 24, "\\cf2 ");
            ReplaceAt(line, 29, 3, "\\tab ");
            InsertAt(line, 44, "\\cf4 ");
            InsertAt(line, 96, "\\cf5 ");
            line += "\\cf2 ";
        }
    }
    return JoinRtfLines(split);
}

std::string RtfDocument(std::string_view monospaceFace, int pointSize, std::string_view coloredBody)
{
    std::string doc = "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1040{\\fonttbl{\\f0\\fmodern\\fprq1\\fcharset134 ";
    doc += monospaceFace;
    doc += ";}}\r\n{\\colortbl ;\\red0\\green100\\blue100;\\red0\\green0\\blue0;\\red40\\green40\\blue40;"
           "\\red0\\green0\\blue160;\\red160\\green0\\blue0;\\red80\\green80\\blue80;\\red0\\green100\\blue0;}\r\n";
    doc += "\\f0\\fs" + std::to_string(2 * pointSize) + "\r\n";
    doc += coloredBody;
    doc += "}";
    return doc;
}

std::string BuildPageRtf(TRichPage page, std::string_view text, std::string_view monospaceFace, int pointSize,
                         int tabTwips)
{
    const std::string escaped = EscapeRtfText(text);
    std::string body;
    switch (page) {
    case TRichPage::General: body = ColorGeneralRtf(escaped); break;
    case TRichPage::Assembler: body = ColorAssemblerRtf(escaped); break;
    case TRichPage::Cpu: body = ColorCpuRtf(escaped, tabTwips); break;
    }
    return RtfDocument(monospaceFace, pointSize, body);
}
