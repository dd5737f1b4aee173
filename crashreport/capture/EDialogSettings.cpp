#include "crashreport/capture/EDialogSettings.h"

#include "framework/SysUtils.h"

namespace {

bool PositiveNumber(const std::string& text, int& value)
{
    int32_t n = 0;
    if (!TryStrToInt(Trim(text), n) || n <= 0)
        return false;
    value = n;
    return true;
}

bool Number(const std::string& text, int& value)
{
    int32_t n = 0;
    if (!TryStrToInt(Trim(text), n))
        return false;
    value = n;
    return true;
}

}  // namespace

TDialogGeometry LoadDialogGeometry(const TIniRead& read, const TWorkArea& area, int bottomArea)
{
    TDialogGeometry g;
    const std::string s = CoordinatesSection;
    PositiveNumber(read(s, "Width", "745"), g.width);
    PositiveNumber(read(s, "Height", "468"), g.height);
    const int fullHeight = g.height + bottomArea;
    const int centredLeft = area.left + (area.right - area.left - g.width) / 2;
    const int centredTop = area.top + (area.bottom - area.top - fullHeight) / 2;
    g.left = centredLeft;
    g.top = centredTop;
    const bool stored = Number(read(s, "Left", ""), g.left) & Number(read(s, "Top", ""), g.top);
    if (!stored || g.top < area.top || g.top + fullHeight > area.bottom || g.left < area.left ||
        g.left + g.width > area.right) {
        g.left = centredLeft;
        g.top = centredTop;
    }
    int state = wsNormal;
    Number(read(s, "WindowsState", "1"), state);
    g.state = state == wsMaximized ? wsMaximized : wsNormal;
    return g;
}

void SaveDialogGeometry(const TIniWrite& write, const TDialogGeometry& g, int recordedWidth, int recordedHeight,
                        int bottomArea)
{
    if (recordedWidth <= 0 || g.state == wsMinimized)
        return;
    const std::string s = CoordinatesSection;
    if (g.state == wsNormal) {
        write(s, "Width", IntToStr(recordedWidth));
        write(s, "Height", IntToStr(recordedHeight - bottomArea));
        write(s, "Left", IntToStr(g.left));
        write(s, "Top", IntToStr(g.top));
    }
    write(s, "WindowsState", IntToStr(g.state));
}

std::vector<TColumnKey> ColumnKeys(TColumnPage page)
{
    switch (page) {
    case TColumnPage::CallStack:
        return {{"Col0", 89}, {"Col1", 92}, {"Col2", 126}, {"Col3", 126}, {"Col4", 200}, {"Col5", 61}};
    case TColumnPage::Modules:
        return {{"ColMod0", 80}, {"ColMod1", 96}, {"ColMod2", 175}, {"ColMod3", 50},
                {"ColMod4", 54}, {"ColMod6", 80}, {"ColMod5", 712}};
    case TColumnPage::Processes:
        return {{"ColPro0", 48}, {"ColPro1", 134}, {"ColPro2", 232}, {"ColPro3", 56},
                {"ColPro4", 57}, {"ColPro5", 47}, {"ColPro6", 52}, {"ColPro7", 330}};
    }
    return {};
}

std::vector<int> ReadColumnWidths(const TIniRead& read, TColumnPage page)
{
    std::vector<int> widths;
    for (const TColumnKey& k : ColumnKeys(page)) {
        int width = k.fallback;
        PositiveNumber(read(CoordinatesSection, k.key, IntToStr(k.fallback)), width);
        widths.push_back(width);
    }
    return widths;
}

void WriteColumnWidths(const TIniWrite& write, TColumnPage page, const std::vector<int>& widths)
{
    const std::vector<TColumnKey> keys = ColumnKeys(page);
    for (size_t i = 0; i < keys.size() && i < widths.size(); ++i)
        write(CoordinatesSection, keys[i].key, IntToStr(widths[i]));
}

TEmailCheck CheckEmailAddress(std::string_view address)
{
    if (address.empty())
        return TEmailCheck::Empty;
    if (address.size() > MaxEmailLength)
        return TEmailCheck::Invalid;
    for (char ch : address) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c <= ' ' || c == 0x7F || c == '<' || c == '>')
            return TEmailCheck::Invalid;
    }
    if (address.find('@') == std::string_view::npos || address.find('.') == std::string_view::npos)
        return TEmailCheck::Invalid;
    return TEmailCheck::Valid;
}
