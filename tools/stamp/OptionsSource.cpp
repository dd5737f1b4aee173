#include "tools/stamp/OptionsSource.h"

#include <cstdlib>
#include <functional>
#include <map>

#include "crashreport/capture/EOptions.h"
#include "framework/CodePage.h"

namespace {

std::string Unescape(std::string_view v)
{
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '\\' || i + 1 == v.size()) {
            out += v[i];
            continue;
        }
        switch (v[++i]) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        default: out += v[i];
        }
    }
    return out;
}

std::string Escape(std::string_view v)
{
    std::string out;
    for (char c : v) {
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out;
}

long long Number(const std::string& v)
{
    if (v == "true")
        return 1;
    if (v == "false")
        return 0;
    char* end = nullptr;
    const long long n = std::strtoll(v.c_str(), &end, 0);
    if (v.empty() || *end != '\0')
        throw Exception(Format("\"%s\" is no number.", v.c_str()));
    return n;
}

template <class T>
T Parse(const std::string& v)
{
    if constexpr (std::is_same_v<T, std::string>)
        return Utf8ToGbk(Unescape(v));
    else
        return static_cast<T>(Number(v));
}

template <class T>
std::string Show(const T& v)
{
    if constexpr (std::is_same_v<T, std::string>)
        return Escape(GbkToUtf8(v));
    else if constexpr (std::is_same_v<T, bool>)
        return v ? "1" : "0";
    else if constexpr (std::is_signed_v<T>)
        return std::to_string(static_cast<long long>(v));
    else
        return std::to_string(static_cast<unsigned long long>(v));
}

using TSetter = std::function<void(TVurazaModuleOptions&, const std::string&)>;
using TGetter = std::function<std::string(const TVurazaModuleOptions&)>;

const std::vector<std::pair<std::string, std::pair<TSetter, TGetter>>>& Fields()
{
    static const auto fields = [] {
        std::vector<std::pair<std::string, std::pair<TSetter, TGetter>>> f;
#define VURAZA_SOURCE_FIELD(Type, Name, Default)                                                          \
    f.push_back({#Name,                                                                                 \
                 {[](TVurazaModuleOptions& o, const std::string& v) { o.Set##Name(Parse<Type>(v)); },   \
                  [](const TVurazaModuleOptions& o) { return Show<Type>(o.Name()); }}});
        VURAZA_PLAIN_OPTIONS(VURAZA_SOURCE_FIELD)
        VURAZA_PLAIN_OPTIONS_2(VURAZA_SOURCE_FIELD)
        VURAZA_PLAIN_OPTIONS_3(VURAZA_SOURCE_FIELD)
        VURAZA_PLAIN_OPTIONS_4(VURAZA_SOURCE_FIELD)
        VURAZA_SOURCE_FIELD(bool, FreezeWatchEnabled, false)
        VURAZA_SOURCE_FIELD(int32_t, FreezeTimeoutSeconds, 60)
        VURAZA_SOURCE_FIELD(uint64_t, ReportFieldVisibility, 0)
        VURAZA_SOURCE_FIELD(int32_t, LogReportLimit, 32)
        VURAZA_SOURCE_FIELD(int32_t, CrashRateCount, 10)
        VURAZA_SOURCE_FIELD(uint8_t, LeakFlags, 0)
#undef VURAZA_SOURCE_FIELD
        return f;
    }();
    return fields;
}

}  // namespace

TOptionsSource ApplyOptionsSource(std::string_view text, TVurazaModuleOptions& options)
{
    TOptionsSource out;
    int lineNo = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos)
            eol = text.size();
        std::string line(text.substr(pos, eol - pos));
        pos = eol + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            throw Exception(Format("Line %d: no \"=\".", lineNo));
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        try {
            if (key.rfind("Text.", 0) == 0) {
                const long long slot = Number(key.substr(5));
                if (slot < 0 || slot >= MessageTextCount)
                    throw Exception("No such message text.");
                options.SetMessageText(static_cast<int>(slot), Parse<std::string>(value));
            } else if (key.rfind("Entry.", 0) == 0) {
                const long long id = Number(key.substr(6));
                if (id < 0 || id > 255)
                    throw Exception("Entry ids are 0-255.");
                out.entries.emplace_back(static_cast<uint8_t>(id), value);
                continue;
            } else if (key == "DebugDataPassword") {
                out.debugDataPassword = Utf8ToGbk(Unescape(value));
                continue;
            } else {
                bool found = false;
                for (const auto& [name, access] : Fields())
                    if (name == key) {
                        access.first(options, value);
                        found = true;
                    }
                if (!found)
                    throw Exception("Unknown option.");
            }
            out.keys.push_back(key);
        } catch (const Exception& e) {
            throw Exception(Format("Line %d (%s): %s", lineNo, key.c_str(), e.Message().c_str()));
        }
    }
    return out;
}

std::string DescribeOptions(const TVurazaModuleOptions& options)
{
    std::string out;
    for (const auto& [name, access] : Fields())
        out += name + "=" + access.second(options) + "\n";
    for (int i = 0; i < MessageTextCount; ++i)
        out += "Text." + std::to_string(i) + "=" + Show<std::string>(options.RawMessageText(i)) + "\n";
    return out;
}
