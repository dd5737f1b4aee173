#include "crashreport/capture/EDebugNames.h"

#include <cctype>

namespace {

TReporterString ProcedureText(std::string_view name)
{
    TReporterString s(name);
    if (!s.empty() && s[0] == '@')
        s[0] = '_';
    return s;
}

// The parts between dots; only counts up to 3 matter, so a fourth part stops the split.
struct TDottedParts {
    std::string_view part[4];
    size_t count = 0;
};

TDottedParts SplitAtDots(std::string_view s)
{
    TDottedParts parts;
    for (size_t start = 0; parts.count < 4;) {
        size_t dot = s.find('.', start);
        parts.part[parts.count++] =
            s.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    return parts;
}

bool FromDottedExport(std::string_view dotted, TAddressNames& item)
{
    const TDottedParts parts = SplitAtDots(dotted);
    if (parts.count != 2 && parts.count != 3)
        return false;
    item.UnitName.assign(parts.part[0]);
    item.UnitName += ".pas";
    item.ClassName.assign(parts.count == 3 ? parts.part[1] : std::string_view());
    item.ProcedureName = ProcedureText(parts.part[parts.count - 1]);
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


}  // namespace

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

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
            item.ProcedureName.assign(name.substr(1, second - 1));
            item.Kind = 2;
            return true;
        }
        TReporterString s(name.substr(0, name.find('$')));
        if (!s.empty() && s.back() == '@')
            s.pop_back();
        s.erase(0, 1);
        size_t twin = s.find("@@");
        if (twin != TReporterString::npos)
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
    item.UnitName.assign(FileNameOfPath(sourceFile.empty() ? unitText : sourceFile));
    std::string_view bareUnit = item.UnitName;
    bareUnit = bareUnit.substr(0, bareUnit.rfind('.'));
    item.ClassName.clear();
    size_t first = procText.find('.');
    size_t second = first == std::string_view::npos ? first : procText.find('.', first + 1);
    if (second != std::string_view::npos) {
        item.ClassName.assign(procText.substr(first + 1, second - first - 1));
        item.ProcedureName = ProcedureText(procText.substr(second + 1));
    } else if (first != std::string_view::npos) {
        std::string_view head = procText.substr(0, first);
        if (!EqualNoCase(head, bareUnit))
            item.ClassName.assign(head);
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
