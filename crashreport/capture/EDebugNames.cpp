#include "crashreport/capture/EDebugNames.h"

#include <cctype>
#include <vector>

namespace {

std::string ProcedureText(std::string_view name)
{
    std::string s(name);
    if (!s.empty() && s[0] == '@')
        s[0] = '_';
    return s;
}

std::vector<std::string_view> SplitAtDots(std::string_view s)
{
    std::vector<std::string_view> parts;
    for (size_t start = 0;;) {
        size_t dot = s.find('.', start);
        parts.push_back(s.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos)
            return parts;
        start = dot + 1;
    }
}

bool FromDottedExport(std::string_view dotted, TAddressNames& item)
{
    std::vector<std::string_view> parts = SplitAtDots(dotted);
    if (parts.size() != 2 && parts.size() != 3)
        return false;
    item.UnitName = std::string(parts[0]) + ".pas";
    item.ClassName = parts.size() == 3 ? std::string(parts[1]) : std::string();
    item.ProcedureName = ProcedureText(parts.back());
    item.Kind = 3;
    return true;
}

bool AllDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

std::string_view FileNameOfPath(std::string_view path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool ParseExportName(std::string_view name, TAddressNames& item)
{
    if (name.size() >= 2 && name[0] == '@' && name[1] != '$') {
        // Fastcall decoration "@Name@8": the number counts argument bytes, it is no procedure.
        size_t second = name.find('@', 1);
        if (second != std::string_view::npos && second > 1 && AllDigits(name.substr(second + 1)) &&
            name.substr(1, second - 1).find_first_of("$.") == std::string_view::npos) {
            item.UnitName.clear();
            item.ClassName.clear();
            item.ProcedureName = std::string(name.substr(1, second - 1));
            item.Kind = 2;
            return true;
        }
        std::string s(name.substr(0, name.find('$')));
        if (!s.empty() && s.back() == '@')
            s.pop_back();
        s.erase(0, 1);
        size_t twin = s.find("@@");
        if (twin != std::string::npos)
            s[twin + 1] = '_';
        for (char& c : s)
            if (c == '@')
                c = '.';
        return FromDottedExport(s, item);
    }
    if (name.find('.') != std::string_view::npos)
        return FromDottedExport(name.substr(0, name.find('@')), item);
    if (!name.empty() && name[0] != '?') {
        item.UnitName.clear();
        item.ClassName.clear();
        item.ProcedureName = ProcedureText(name);
        item.Kind = 2;
        return true;
    }
    return false;
}

void SplitDebugSourceNames(std::string_view unitText, std::string_view sourceFile, std::string_view procText,
                           uint32_t line, bool hasModule, TAddressNames& item)
{
    item.UnitName = std::string(FileNameOfPath(sourceFile.empty() ? unitText : sourceFile));
    std::string_view bareUnit = item.UnitName;
    bareUnit = bareUnit.substr(0, bareUnit.rfind('.'));
    item.ClassName.clear();
    size_t first = procText.find('.');
    size_t second = first == std::string_view::npos ? first : procText.find('.', first + 1);
    if (second != std::string_view::npos) {
        item.ClassName = std::string(procText.substr(first + 1, second - first - 1));
        item.ProcedureName = ProcedureText(procText.substr(second + 1));
    } else if (first != std::string_view::npos) {
        std::string_view head = procText.substr(0, first);
        if (!EqualNoCase(head, bareUnit))
            item.ClassName = std::string(head);
        item.ProcedureName = ProcedureText(procText.substr(first + 1));
    } else {
        item.ProcedureName = ProcedureText(procText);
    }
    item.Kind = line != 0                  ? 4
                : !item.UnitName.empty()   ? 3
                : !item.ProcedureName.empty() ? 2
                : hasModule                ? 1
                                           : 0;
}
