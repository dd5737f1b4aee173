#include "crashreport/capture/EDialogSettings.h"

#include <gtest/gtest.h>

#include <map>

namespace {

struct TFakeIni {
    std::map<std::string, std::string> values;  // "Section/Key"
    TIniRead Reader() const
    {
        return [this](const std::string& s, const std::string& k, const std::string& fallback) {
            auto it = values.find(s + "/" + k);
            return it == values.end() ? fallback : it->second;
        };
    }
    TIniWrite Writer()
    {
        return [this](const std::string& s, const std::string& k, const std::string& v) { values[s + "/" + k] = v; };
    }
};

const TWorkArea area{0, 0, 1024, 738};

}  // namespace

TEST(DialogSettings, StoredGeometryReadsBack)
{
    struct {
        const char* name;
        std::map<std::string, std::string> stored;
        TDialogGeometry expected;
    } cases[] = {
        {"defaults, centred", {}, {745, 468, (1024 - 745) / 2, (738 - 502) / 2, 1}},
        {"stored", {{"Width", "600"}, {"Height", "300"}, {"Left", "10"}, {"Top", "20"}, {"WindowsState", "3"}},
         {600, 300, 10, 20, 3}},
        {"left -5000 centres", {{"Left", "-5000"}, {"Top", "20"}}, {745, 468, 139, 118, 1}},
        {"bottom below the area", {{"Left", "0"}, {"Top", "300"}}, {745, 468, 139, 118, 1}},
        {"minimised opens restored", {{"WindowsState", "6"}}, {745, 468, 139, 118, 1}},
        {"odd state", {{"WindowsState", "x"}}, {745, 468, 139, 118, 1}},
        {"non-numeric and non-positive sizes", {{"Width", "wide"}, {"Height", "-3"}}, {745, 468, 139, 118, 1}},
        {"zero width", {{"Width", "0"}, {"Height", " 200 "}}, {745, 200, 139, (738 - 234) / 2, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TFakeIni ini;
        for (const auto& [k, v] : c.stored)
            ini.values[std::string("Coordinates/") + k] = v;
        const TDialogGeometry g = LoadDialogGeometry(ini.Reader(), area, 34);
        EXPECT_EQ(c.expected.width, g.width);
        EXPECT_EQ(c.expected.height, g.height);
        EXPECT_EQ(c.expected.left, g.left);
        EXPECT_EQ(c.expected.top, g.top);
        EXPECT_EQ(c.expected.state, g.state);
    }
}

TEST(DialogSettings, GeometryIsStoredOnlyWhenSeen)
{
    TFakeIni ini;
    TDialogGeometry g{0, 0, 12, 34, wsNormal};
    SaveDialogGeometry(ini.Writer(), g, 0, 0, 20);
    EXPECT_TRUE(ini.values.empty()) << "nothing recorded";
    g.state = wsMinimized;
    SaveDialogGeometry(ini.Writer(), g, 700, 520, 20);
    EXPECT_TRUE(ini.values.empty()) << "a minimised state is never stored";
    g.state = wsNormal;
    SaveDialogGeometry(ini.Writer(), g, 700, 520, 20);
    EXPECT_EQ((std::map<std::string, std::string>{{"Coordinates/Width", "700"}, {"Coordinates/Height", "500"},
                                                  {"Coordinates/Left", "12"}, {"Coordinates/Top", "34"},
                                                  {"Coordinates/WindowsState", "1"}}),
              ini.values);
    g.state = wsMaximized;
    SaveDialogGeometry(ini.Writer(), g, 900, 900, 20);
    EXPECT_EQ("3", ini.values["Coordinates/WindowsState"]);
    EXPECT_EQ("700", ini.values["Coordinates/Width"]) << "a maximised size is not the one to restore";
}

TEST(DialogSettings, ColumnWidths)
{
    TFakeIni ini;
    EXPECT_EQ((std::vector<int>{80, 96, 175, 50, 54, 80, 712}), ReadColumnWidths(ini.Reader(), TColumnPage::Modules));
    EXPECT_EQ((std::vector<int>{89, 92, 126, 126, 200, 61}), ReadColumnWidths(ini.Reader(), TColumnPage::CallStack));
    EXPECT_EQ(8u, ReadColumnWidths(ini.Reader(), TColumnPage::Processes).size());
    WriteColumnWidths(ini.Writer(), TColumnPage::Modules, {1, 2, 3, 4, 5, 66, 77});
    EXPECT_EQ("66", ini.values["Coordinates/ColMod6"]) << "the Modified column";
    EXPECT_EQ("77", ini.values["Coordinates/ColMod5"]);
    ini.values["Coordinates/ColMod0"] = "-1";
    EXPECT_EQ(80, ReadColumnWidths(ini.Reader(), TColumnPage::Modules)[0]);
}

TEST(DialogSettings, EmailAddresses)
{
    struct {
        std::string address;
        TEmailCheck check;
    } cases[] = {
        {"", TEmailCheck::Empty},
        {"x@y.z", TEmailCheck::Valid},
        {"a@b", TEmailCheck::Invalid},
        {"ab.c", TEmailCheck::Invalid},
        {"x@y.z\r\nRCPT TO:<v@w.x>", TEmailCheck::Invalid},
        {"x y@z.w", TEmailCheck::Invalid},
        {"<x@y.z>", TEmailCheck::Invalid},
        {"x@y.z\x7F", TEmailCheck::Invalid},
        {"x\t@y.z", TEmailCheck::Invalid},
        {std::string(250, 'a') + "@b.cn", TEmailCheck::Invalid},
        {std::string(249, 'a') + "@b.cn", TEmailCheck::Valid},
        {"\xD5\xC5@\xC0\xFD.cn", TEmailCheck::Valid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address.substr(0, 30));
        EXPECT_EQ(c.check, CheckEmailAddress(c.address));
    }
}

