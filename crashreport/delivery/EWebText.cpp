#include "crashreport/delivery/EWebText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "crashreport/capture/ECore.h"
#include "framework/SysUtils.h"

const TEndMarkers kAttributeEndMarkers = {" ", ">", "/>"};
const TEndMarkers kInputEndMarkers = {">", "/>"};
const TEndMarkers kTextAreaEndMarkers = {"</textarea>", "/>"};
const TEndMarkers kSelectEndMarkers = {"</select>"};
const TEndMarkers kOptionEndMarkers = {"</option>"};

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUrlSafe(char c) { return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsHostChar(char c) { return IsUrlSafe(c) || c == '-' || c == '.'; }
bool IsStopChar(char c) { return c == ' ' || c == '"' || c == '&' || c == '\'' || c == '<' || c == '>' || c == '\\'; }

bool StartsNoCase(std::string_view text, size_t at, std::string_view what)
{
    if (at > text.size() || text.size() - at < what.size())
        return false;
    for (size_t i = 0; i < what.size(); ++i)
        if (AsciiLower(text[at + i]) != AsciiLower(what[i]))
            return false;
    return true;
}

size_t FindNoCase(std::string_view text, std::string_view what, size_t from)
{
    if (from > text.size())
        return std::string_view::npos;
    for (size_t i = from; i + what.size() <= text.size(); ++i)
        if (StartsNoCase(text, i, what))
            return i;
    return std::string_view::npos;
}

bool AllHostChars(std::string_view text)
{
    for (char c : text)
        if (!IsHostChar(c))
            return false;
    return true;
}

// A decimal number of at most nine digits, nothing else.
constexpr size_t kMaxDecimalDigits = 9;

bool ParseDecimal(std::string_view text, uint32_t& value)
{
    if (text.empty() || text.size() > kMaxDecimalDigits)
        return false;
    value = 0;
    for (char c : text) {
        if (!IsDigit(c))
            return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return true;
}

// Scans from begin (inside a tag) to the first end marker outside a quoted attribute value.
// A quote opens a value only right after "=", so an apostrophe in a bare value can't swallow
// the rest of the page.
size_t ScanToMarker(std::string_view html, size_t begin, const TEndMarkers& markers)
{
    bool inTag = true;
    char quote = 0;
    char lastNonBlank = 0;
    size_t i = begin;
    for (; i < html.size(); ++i) {
        const char c = html[i];
        if (!(inTag && quote))
            for (std::string_view m : markers)
                if (!m.empty() && StartsNoCase(html, i, m))
                    return i;
        if (inTag) {
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if ((c == '"' || c == '\'') && lastNonBlank == '=') {
                quote = c;
            } else if (c == '>') {
                inTag = false;
            }
        } else if (c == '<') {
            inTag = true;
        }
        if (!IsBlank(c))
            lastNonBlank = c;
    }
    return i;
}

// Blanks on both sides of "=" outside quoted values.
std::string RemoveBlanksAroundEquals(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    char quote = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            out += c;
            if (c == quote)
                quote = 0;
            continue;
        }
        if (c == '=') {
            while (!out.empty() && (out.back() == ' ' || out.back() == '\t'))
                out.pop_back();
            out += c;
            while (i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\t'))
                ++i;
            if (i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\''))
                quote = text[i + 1], out += text[++i];
            continue;
        }
        out += c;
    }
    return out;
}

// The start of the next "<name" tag at or after from: the name must be followed by a blank,
// ">" or "/" so that "<option" does not match "<optgroup".
size_t FindTag(std::string_view html, std::string_view tagStart, size_t from)
{
    for (size_t at = FindNoCase(html, tagStart, from); at != std::string_view::npos;
         at = FindNoCase(html, tagStart, at + 1)) {
        const size_t next = at + tagStart.size();
        if (next >= html.size() || IsBlank(html[next]) || html[next] == '>' || html[next] == '/')
            return at;
    }
    return std::string_view::npos;
}

// Walks the tags "<name" in html, each up to its end marker.
template <typename F>
bool ForEachTag(std::string_view html, std::string_view tagStart, const TEndMarkers& markers, F&& f)
{
    size_t pos = 0;
    while (pos <= html.size()) {
        const size_t at = FindTag(html, tagStart, pos);
        if (at == std::string_view::npos)
            return false;
        const size_t begin = at + tagStart.size();
        const size_t stop = ScanToMarker(html, begin, markers);
        if (f(html.substr(begin, stop - begin)))
            return true;
        pos = stop + 1;
    }
    return false;
}

struct TTagParts {
    std::vector<std::pair<std::string, std::string>> attributes;  // names lower-cased, values raw
    bool closed = false;      // the tag's ">" was seen
    std::string_view content;  // what follows that ">"
};

// Reads the attributes of a tag's text (after its name) up to its ">".
TTagParts ParseTag(std::string_view text)
{
    TTagParts parts;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        while (i < n && (IsBlank(text[i]) || text[i] == '/'))
            ++i;
        if (i >= n)
            break;
        if (text[i] == '>') {
            parts.closed = true;
            parts.content = text.substr(i + 1);
            return parts;
        }
        const size_t nameBegin = i;
        while (i < n && !IsBlank(text[i]) && text[i] != '=' && text[i] != '>' && text[i] != '/')
            ++i;
        std::string name = LowerCase(text.substr(nameBegin, i - nameBegin));
        size_t j = i;
        while (j < n && IsBlank(text[j]))
            ++j;
        std::string value;
        if (j < n && text[j] == '=') {
            i = j + 1;
            while (i < n && IsBlank(text[i]))
                ++i;
            if (i < n && (text[i] == '"' || text[i] == '\'')) {
                const char q = text[i++];
                const size_t vb = i;
                while (i < n && text[i] != q)
                    ++i;
                value.assign(text.substr(vb, i - vb));
                if (i < n)
                    ++i;
            } else {
                const size_t vb = i;
                while (i < n && !IsBlank(text[i]) && text[i] != '>')
                    ++i;
                value.assign(text.substr(vb, i - vb));
            }
        }
        if (!name.empty())
            parts.attributes.emplace_back(std::move(name), std::move(value));
        else if (i == nameBegin)
            ++i;
    }
    return parts;
}

bool Attribute(const TTagParts& parts, std::string_view name, std::string& value)
{
    for (const auto& [n, v] : parts.attributes)
        if (SameText(n, name)) {
            value = v;
            DecodeEntities(value);
            return true;
        }
    return false;
}

std::string Decoded(std::string_view text)
{
    std::string s(text);
    DecodeEntities(s);
    return s;
}

// The option's value, or its text when it has no value attribute (what a browser sends).
std::string OptionValue(const TTagParts& option)
{
    std::string value;
    if (Attribute(option, "value", value))
        return value;
    return Trim(Decoded(option.content));
}

std::string OptionVisibleText(const TTagParts& option)
{
    std::string text = Decoded(option.content);
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            while (i < text.size() && text[i] != ' ')
                ++i;
            if (i >= text.size())
                break;
        }
        out += text[i];
    }
    return Trim(out);
}

template <typename F>
bool WithSelect(std::string_view html, std::string_view selectName, F&& f)
{
    return ForEachTag(html, "<select", kSelectEndMarkers, [&](std::string_view body) {
        const TTagParts select = ParseTag(body);
        std::string name;
        if (!Attribute(select, "name", name) || !SameText(name, selectName))
            return false;
        f(select.content);
        return true;
    });
}

const char* const kWinInetErrors[] = {
    "12001 No more handles could be generated at this time.",
    "12002 The request has timed out.",
    "12003 An extended error was returned from the server. This is typically a string or buffer containing a verbose error message. Call InternetGetLastResponseInfo to retrieve the error text.",
    "12004 An internal error has occurred.",
    "12005 The URL is invalid.",
    "12006 The URL scheme could not be recognized, or is not supported.",
    "12007 The server name could not be resolved.",
    "12008 The requested protocol could not be located.",
    "12009 A request to InternetQueryOption or InternetSetOption specified an invalid option value.",
    "12010 The length of an option supplied to InternetQueryOption or InternetSetOption is incorrect for the type of option specified.",
    "12011 The request option cannot be set, only queried.",
    "12012 The Win32 Internet function support is being shut down or unloaded.",
    "12013 The request to connect and log on to an FTP server could not be completed because the supplied user name is incorrect.",
    "12014 The request to connect and log on to an FTP server could not be completed because the supplied password is incorrect.",
    "12015 The request to connect to and log on to an FTP server failed.",
    "12016 The requested operation is invalid.",
    "12017 The operation was canceled, usually because the handle on which the request was operating was closed before the operation completed.",
    "12018 The type of handle supplied is incorrect for this operation.",
    "12019 The requested operation cannot be carried out because the handle supplied is not in the correct state.",
    "12020 The request cannot be made via a proxy.",
    "12021 A required registry value could not be located.",
    "12022 A required registry value was located but is an incorrect type or has an invalid value.",
    "12023 Direct network access cannot be made at this time.",
    "12024 An asynchronous request could not be made because a zero context value was supplied.",
    "12025 An asynchronous request could not be made because a callback function has not been set.",
    "12026 The required operation could not be completed because one or more requests are pending.",
    "12027 The format of the request is invalid.",
    "12028 The requested item could not be located.",
    "12029 The attempt to connect to the server failed.",
    "12030 The connection with the server has been terminated.",
    "12031 The connection with the server has been reset.",
    "12032 Calls for the Win32 Internet function to redo the request.",
    "12033 The request to the proxy was invalid.",
    "12036 The request failed because the handle already exists.",
    "12037 SSL certificate date is bad. The certificate is expired.",
    "12038 SSL certificate common name (host name field) is incorrect.",
    "12039 The application is moving from a non-SSL to an SSL connection because of a redirect.",
    "12040 The application is moving from an SSL to an non-SSL connection because of a redirect.",
    "12041 Indicates that the content is not entirely secure. Some of the content being viewed may have come from unsecured servers.",
    "12042 The application is posting and attempting to change multiple lines of text on a server that is not secure.",
    "12043 The application is posting data to a server that is not secure.",
    "12044 The server is requesting client authentication.",
    "12045 The function is unfamiliar with the Certificate Authority that generated the server's certificate.",
    "12052 The data being submitted to an SSL connection is being redirected to a non-SSL connection.",
    "12055 The SSL certificate contains errors.",
    "12110 The requested operation cannot be made on the FTP session handle because an operation is already in progress.",
    "12111 The FTP operation was not completed because the session was aborted.",
    "12112 Passive mode is not available on the server.",
    "12130 An error was detected while parsing data returned from the Gopher server.",
    "12131 The request must be made for a file locator.",
    "12132 An error was detected while receiving data from the Gopher server.",
    "12133 The end of the data has been reached.",
    "12134 The supplied locator is not valid.",
    "12135 The type of the locator is not correct for this operation.",
    "12136 The requested operation can be made only against a Gopher+ server, or with a locator that specifies a Gopher+ operation.",
    "12137 The requested attribute could not be located.",
    "12138 The locator type is unknown.",
    "12150 The requested header could not be located.",
    "12151 The server did not return any headers.",
    "12152 The server response could not be parsed.",
    "12153 The supplied header is invalid.",
    "12154 The request made to HttpQueryInfo is invalid.",
    "12155 The header could not be added because it already exists.",
    "12156 The redirection failed because either the scheme changed (for example, HTTP to FTP) or all attempts made to redirect failed (default is five attempts).",
    "12160 The HTTP request was not redirected.",
    "12161 The HTTP cookie requires confirmation.",
    "12162 The HTTP cookie was declined by the server.",
    "12163 The Internet connection has been lost.",
    "12164 The Web site or server indicated is unreachable.",
    "12165 The designated proxy server cannot be reached.",
    "12166 There was an error in the automatic proxy configuration script.",
    "12167 The automatic proxy configuration script could not be downloaded. The INTERNET_FLAG_MUST_CACHE_REQUEST flag was set.",
    "12168 The redirection requires user confirmation.",
    "12169 SSL certificate is invalid.",
    "12170 SSL certificate was revoked.",
    "12171 The function failed due to a security check.",
};

std::string FieldName(std::string_view line)
{
    const size_t eq = line.find('=');
    return std::string(eq == std::string_view::npos ? line : line.substr(0, eq));
}

std::string FieldValue(std::string_view line)
{
    const size_t eq = line.find('=');
    return eq == std::string_view::npos ? std::string() : std::string(line.substr(eq + 1));
}

}  // namespace

void ControlCharsToSpaces(std::string& text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32)
            c = ' ';
}

void DecodeEntities(std::string& text)
{
    static const std::pair<const char*, const char*> named[] = {
        {"&amp;", "&"}, {"&quot;", "\""}, {"&lt;", "<"}, {"&gt;", ">"}, {"&nbsp;", " "}, {"&apos;", "'"},
    };
    for (const auto& [entity, replacement] : named)
        if (text.find(entity) != std::string::npos)
            text = ReplaceAllText(text, entity, replacement);
    // A valid reference has at most kMaxDecimalDigits digits: looking no further for its ";"
    // keeps a page full of "&#" linear.
    std::string decoded;
    size_t copied = 0;
    for (size_t i = 0; (i = text.find("&#", i)) != std::string::npos;) {
        const size_t digits = i + 2;
        const size_t reach = std::min(text.size(), digits + kMaxDecimalDigits + 1);
        const size_t near = std::string_view(text).substr(digits, reach - digits).find(';');
        const size_t semi = near == std::string_view::npos ? std::string::npos : digits + near;
        uint32_t code = 0;
        // A NUL would cut the text, and codes above 255 are no single byte: both stay.
        if (semi < reach && ParseDecimal(std::string_view(text).substr(digits, semi - digits), code) && code >= 1 &&
            code <= 255) {
            decoded.append(text, copied, i - copied);
            decoded += static_cast<char>(code);
            copied = i = semi + 1;
        } else {
            i += 2;
        }
    }
    if (copied == 0)
        return;
    decoded.append(text, copied, std::string::npos);
    text.swap(decoded);
}

bool ExtractTag(std::string_view html, std::string_view startText, const TEndMarkers& endMarkers,
                std::string& result, size_t& position)
{
    result.clear();
    const size_t at = FindNoCase(html, startText, position);
    if (at == std::string_view::npos)
        return false;
    const size_t begin = at + startText.size();
    const size_t stop = ScanToMarker(html, begin, endMarkers);
    result = RemoveBlanksAroundEquals(Trim(html.substr(begin, stop - begin)));
    DecodeEntities(result);
    position = stop + 1;
    return true;
}

std::string Unquote(std::string_view text)
{
    if (!text.empty() && (text.front() == '"' || text.front() == '\''))
        text.remove_prefix(1);
    if (!text.empty() && (text.back() == '"' || text.back() == '\''))
        text.remove_suffix(1);
    return std::string(text);
}

bool FindInputValue(std::string_view html, std::string_view name, std::string& value)
{
    return ForEachTag(html, "<input", kInputEndMarkers, [&](std::string_view body) {
        const TTagParts input = ParseTag(body);
        std::string n, v;
        if (!Attribute(input, "name", n) || !SameText(n, name) || !Attribute(input, "value", v) || v.empty())
            return false;
        value = std::move(v);
        return true;
    });
}

bool FindTextAreaValue(std::string_view html, std::string_view name, std::string& value)
{
    return ForEachTag(html, "<textarea", kTextAreaEndMarkers, [&](std::string_view body) {
        const TTagParts area = ParseTag(body);
        std::string n;
        if (!Attribute(area, "name", n) || !SameText(n, name))
            return false;
        value = Trim(Decoded(area.content));
        return true;
    });
}

bool FindSelectedValue(std::string_view html, std::string_view selectName, std::string& value)
{
    return WithSelect(html, selectName, [&](std::string_view options) {
        value.clear();
        ForEachTag(options, "<option", kOptionEndMarkers, [&](std::string_view body) {
            if (FindNoCase(body, "selected", 0) == std::string_view::npos)
                return false;
            value = OptionValue(ParseTag(body));
            return true;
        });
    });
}

bool FindOptionValue(std::string_view html, std::string_view selectName, std::string_view optionText,
                     std::string& value)
{
    return WithSelect(html, selectName, [&](std::string_view options) {
        value.clear();
        ForEachTag(options, "<option", kOptionEndMarkers, [&](std::string_view body) {
            const TTagParts option = ParseTag(body);
            if (!SameText(OptionVisibleText(option), optionText))
                return false;
            value = OptionValue(option);
            return true;
        });
    });
}

std::string ExtractAfter(std::string_view html, std::string_view key, int occurrence)
{
    size_t pos = 0;
    for (int i = 0; i < occurrence; ++i) {
        const size_t at = FindNoCase(html, key, pos);
        if (at == std::string_view::npos)
            return {};
        pos = at + key.size();
    }
    size_t end = pos;
    while (end < html.size() && !IsStopChar(html[end]))
        ++end;
    return std::string(html.substr(pos, end - pos));
}

std::string UrlEncode(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (char c : text) {
        if (IsUrlSafe(c)) {
            out += c;
        } else {
            const auto b = static_cast<unsigned char>(c);
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

std::string UrlDecode(std::string_view text)
{
    auto hexValue = [](char c) -> int {
        if (IsDigit(c))
            return c - '0';
        c = AsciiLower(c);
        return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string ValueAt(const TStringList& list, int index)
{
    if (index < 0 || index >= list.Count())
        return {};
    return FieldValue(list[index]);
}

bool SplitUrl(std::string_view url, std::string& scheme, std::string& user, std::string& password,
              std::string& host, std::string& path, uint16_t& port)
{
    scheme.clear(), user.clear(), password.clear(), host.clear(), path.clear();
    port = 0;
    std::string text = Trim(url);
    if (!text.empty() && text.back() == '/')
        text.pop_back();

    auto fail = [&] {
        scheme.clear(), user.clear(), password.clear(), host.clear(), path.clear();
        port = 0;
        return false;
    };
    auto parsePort = [&](std::string_view digits) {
        uint32_t value = 0;
        if (!ParseDecimal(digits, value) || value > 65535)
            return false;
        port = static_cast<uint16_t>(value);
        return true;
    };

    // A port at the very end of the address, even after a path.
    {
        size_t d = text.size();
        while (d > 0 && IsDigit(text[d - 1]))
            --d;
        if (d < text.size() && d > 0 && text[d - 1] == ':') {
            const size_t schemeEnd = text.find("://");
            if (schemeEnd == std::string::npos || d - 1 > schemeEnd + 2) {
                if (!parsePort(std::string_view(text).substr(d)))
                    return fail();
                text.erase(d - 1);
            }
        }
    }

    std::string_view rest = text;
    const size_t schemeEnd = rest.find("://");
    if (schemeEnd != std::string_view::npos && schemeEnd > 0 && AllHostChars(rest.substr(0, schemeEnd))) {
        scheme.assign(rest.substr(0, schemeEnd));
        rest.remove_prefix(schemeEnd + 3);
    }
    const size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    std::string_view pathPart = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);

    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        const size_t colon = userInfo.find(':');
        user = UrlDecode(userInfo.substr(0, colon));
        if (colon != std::string_view::npos)
            password = UrlDecode(userInfo.substr(colon + 1));
        authority.remove_prefix(at + 1);
    }
    const size_t colon = authority.find(':');
    if (colon != std::string_view::npos) {
        const std::string_view digits = authority.substr(colon + 1);
        // A port at the end was added to the address and beats the one inside it.
        const uint16_t added = port;
        if (!digits.empty() && !parsePort(digits))
            return fail();
        if (added != 0)
            port = added;
        authority = authority.substr(0, colon);
    }
    if (!AllHostChars(authority))
        return fail();
    host.assign(authority);
    path.assign(pathPart);
    return true;
}

void SplitPath(std::string_view path, std::string& directory, std::string& page, std::string& query)
{
    const size_t q = path.find('?');
    query.assign(q == std::string_view::npos ? std::string_view() : path.substr(q));
    std::string_view base = path.substr(0, q);
    // Drop "scheme://host" so that only the path on the server is left.
    size_t pathStart = 0;
    bool absolute = false;
    const size_t schemeEnd = base.find("://");
    if (schemeEnd != std::string_view::npos) {
        const size_t s = base.find('/', schemeEnd + 3);
        absolute = true;
        pathStart = s == std::string_view::npos ? base.size() : s;
    }
    base = base.substr(pathStart);
    const size_t slash = base.rfind('/');
    if (slash == std::string_view::npos) {
        directory = absolute ? "/" : "";
        page.assign(base);
        return;
    }
    directory.assign(base.substr(0, slash + 1));
    page.assign(base.substr(slash + 1));
}

std::string UrlWithoutCredentials(std::string_view url)
{
    const size_t schemeEnd = url.find("://");
    const size_t start = schemeEnd == std::string_view::npos ? 0 : schemeEnd + 3;
    // As SplitUrl reads it: the login ends at the last "@" before the path.
    const size_t at = url.substr(start, url.find('/', start) - start).rfind('@');
    if (at == std::string_view::npos)
        return std::string(url);
    return std::string(url.substr(0, start)) + std::string(url.substr(start + at + 1));
}

std::string UrlHostOf(std::string_view url)
{
    const size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos)
        return {};
    std::string_view authority = url.substr(schemeEnd + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    return std::string(authority.substr(0, authority.find(':')));
}

void AddCredentials(std::string& url, std::string_view user, std::string_view password, uint16_t port)
{
    if (port != 0)
        url += ":" + std::to_string(port);
    if (user.empty() && password.empty())
        return;
    // The address's own login is replaced, not doubled.
    url = UrlWithoutCredentials(url);
    const std::string credentials = UrlEncode(user) + ":" + UrlEncode(password) + "@";
    const size_t schemeEnd = url.find("://");
    url.insert(schemeEnd == std::string::npos ? 0 : schemeEnd + 3, credentials);
}

std::string WinInetErrorTableText(uint32_t code)
{
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%05u ", static_cast<unsigned>(code));
    for (const char* row : kWinInetErrors)
        if (std::string_view(row).substr(0, 6) == prefix)
            return row + 6;
    return {};
}

int WinInetErrorTableCount() { return static_cast<int>(sizeof kWinInetErrors / sizeof kWinInetErrors[0]); }

std::string RefreshTarget(std::string_view header)
{
    const size_t at = FindNoCase(header, "url=", 0);
    if (at == std::string_view::npos)
        return std::string(header);
    return Unquote(Trim(header.substr(at + 4)));
}

std::string AppendQueryFields(std::string_view query, const TStringList& fields)
{
    std::string out(query);
    for (const std::string& line : fields) {
        out += out.empty() ? "?" : "&";
        out += UrlEncode(FieldName(line)) + "=" + UrlEncode(FieldValue(line));
    }
    return out;
}

std::string UrlEncodedBody(const TStringList& fields)
{
    std::string out;
    for (const std::string& line : fields) {
        if (!out.empty())
            out += "&";
        out += FieldName(line) + "=" + UrlEncode(FieldValue(line));
    }
    return out;
}

std::string MultipartBody(std::string_view boundary, const TStringList& fields, const TStringList& files,
                          const TFileReader& readFile)
{
    const std::string dash = "--" + std::string(boundary) + "\r\n";
    std::string out;
    for (const std::string& line : fields)
        out += dash + "Content-Disposition: form-data; name=\"" + FieldName(line) + "\";\r\n\r\n" +
               FieldValue(line) + "\r\n";
    for (const std::string& line : files) {
        const std::string filePath = FieldValue(line);
        std::string bytes;
        const bool present = !filePath.empty() && readFile && readFile(filePath, bytes);
        std::string fileName;
        if (present) {
            fileName = ExtractFileName(filePath);
            const size_t slash = fileName.rfind('/');
            if (slash != std::string::npos)
                fileName.erase(0, slash + 1);
        }
        out += dash + "Content-Disposition: form-data; name=\"" + FieldName(line) + "\"; filename=\"" + fileName +
               "\";\r\nContent-Type: application/octet-stream\r\n\r\n" + bytes + "\r\n";
    }
    out += "--" + std::string(boundary) + "--\r\n";
    return out;
}

std::string MultipartBoundary(unsigned a, unsigned b, unsigned c)
{
    char text[48];
    std::snprintf(text, sizeof text, "---------------------------%04X%04X%04X", a & 0xFFFF, b & 0xFFFF, c & 0xFFFF);
    return text;
}

bool BumpCounterText(std::string& text)
{
    const size_t dash = text.find(" - ");
    if (dash == std::string::npos)
        return true;
    const size_t begin = dash + 3;
    size_t end = text.find(']', begin);
    if (end == std::string::npos)
        end = text.size();
    uint32_t counter = 0;
    if (!ParseDecimal(std::string_view(text).substr(begin, end - begin), counter))
        return true;
    if (counter >= 9999)
        return false;
    text.replace(begin, end - begin, std::to_string(counter + 1));
    return true;
}

std::string JoinTexts(std::string_view a, std::string_view b)
{
    if (b.empty())
        return std::string(a);
    return std::string(a) + "\r\n---\r\n\r\n" + std::string(b);
}
