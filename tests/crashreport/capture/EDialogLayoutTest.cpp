#include "crashreport/capture/EDialogLayout.h"

#include <gtest/gtest.h>

#include "tests/crashreport/capture/FakeMeasurer.h"

namespace {
const TFakeMeasurer measurer;
}

TEST(DialogLayout, TextBlockHeightCountsWrappedLines)
{
    struct {
        const char* text;
        int width;
        int lines;
    } cases[] = {
        {"", 100, 1},
        {"abc", 100, 1},
        {"aaaaa bbbb", 66, 2},   // 60 pixels fill the 60 usable ones once
        {"aaaa bbbb", 66, 1},
        {"a\r\n\r\nb", 100, 3},  // an empty line still takes one
        {"one two three four five six seven", 6, 1},
        {"one two three four five six seven", 0, 1},
        {"one\r\ntwo", -20, 2},
        {"x", 7, 7},
        {"xx", 7, 13},            // one usable pixel
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.text << "\" width " << c.width);
        EXPECT_EQ(c.lines * 13, TextBlockHeight(measurer, TDialogFont::Message, c.text, c.width));
    }
}

TEST(DialogLayout, CaptionBandsOfAnEighteenPixelCaption)
{
    const std::vector<uint32_t> active = CaptionBandColors(18, true);
    ASSERT_EQ(3u, active.size());
    auto rgb = [](int r, int g, int b) { return static_cast<uint32_t>(r | g << 8 | b << 16); };
    EXPECT_EQ(rgb(125, 149, 186), active[0]);
    EXPECT_EQ(rgb(120, 143, 179), active[1]);
    EXPECT_EQ(rgb(115, 137, 172), active[2]);
    const std::vector<uint32_t> inactive = CaptionBandColors(18, false);
    ASSERT_EQ(3u, inactive.size());
    EXPECT_EQ(rgb(145, 145, 145), inactive[0]);
    EXPECT_TRUE(CaptionBandColors(4, true).empty());
}

TEST(DialogLayout, FontFacesFollowTheCodePagesCharacterSet)
{
    const TDialogFontFaces chinese = DialogFontFaces(false);
    EXPECT_STREQ("MS Sans Serif", chinese.interfaceFace);
    EXPECT_STREQ("Courier New", chinese.monospaceFace);
    EXPECT_STREQ("Courier New", chinese.listFace);
    EXPECT_EQ(10, chinese.pointSize);
    const TDialogFontFaces western = DialogFontFaces(true);
    EXPECT_STREQ("Verdana", western.interfaceFace);
    EXPECT_STREQ("Lucida Console", western.monospaceFace);
    EXPECT_STREQ("Tahoma", western.listFace);
    EXPECT_EQ(8, western.pointSize);
}

TEST(DialogLayout, BottomArea)
{
    struct {
        bool send, shot, copy, link;
        int area;
    } cases[] = {
        {true, true, false, false, 34}, {false, false, true, true, 34}, {true, false, false, false, 20},
        {false, false, false, true, 20}, {true, false, true, false, 20}, {false, false, false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.send << c.shot << c.copy << c.link);
        EXPECT_EQ(c.area, DetailedBottomArea(c.send, c.shot, c.copy, c.link));
    }
}

TEST(DialogLayout, SmallFormStaysBetween340And640)
{
    struct {
        std::vector<std::string> lines;
        int minWidth, maxWidth, minTextHeight;
    } cases[] = {
        {{"Access violation", ""}, 340, 340, 26},
        {{std::string(2000, 'x'), "Send    Copy"}, 640, 640, 13 * 20},
        {{std::string(60, 'y')}, 340 + 1, 639, 13},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines[0].substr(0, 20));
        const TDetailedSmallForm form = DetailedSmallFormSize(measurer, c.lines, 3, 3, 18);
        EXPECT_GE(form.windowWidth, c.minWidth);
        EXPECT_LE(form.windowWidth, c.maxWidth);
        EXPECT_GE(form.textHeight, c.minTextHeight);
        EXPECT_EQ(form.windowWidth - (2 * 3 + 58), form.textWidth);
        EXPECT_EQ(std::max(form.textHeight - 39, 0) + 6 + 18 + 86, form.windowHeight);
    }
}

TEST(DialogLayout, DetailedButtonsAndBoxes)
{
    TDetailedLayoutInput in;
    in.clientWidth = 466;
    in.clientHeight = 286;
    in.bottomArea = 34;
    in.buttonWidth = 200;
    in.helpButton = true;
    in.terminateButton = true;
    in.copyBox = true;
    in.linkTextWidth = 120;
    const TDetailedLayout l = LayoutDetailedControls(in);
    EXPECT_EQ((TLayoutRect{4, 52, 458, 286 - 90 - 34}), l.tab);
    const int y = 286 - 34 - 32;
    EXPECT_EQ((TLayoutRect{5, y, 200, 25}), l.terminate);
    EXPECT_EQ(213, l.help.left);
    EXPECT_EQ(l.help.Right() + 8, l.ok.left) << "help would reach the centred OK button";
    EXPECT_EQ(466 - 205, l.details.left);
    EXPECT_EQ((TLayoutRect{4, y + 34, 229, 16}), l.send);
    EXPECT_EQ((TLayoutRect{466 - 229 - 4, y + 34, 229, 16}), l.copy);
    EXPECT_EQ((TLayoutRect{23, y + 50, 233, 16}), l.screenshot);
    EXPECT_EQ((TLayoutRect{462 - 120, y + 50, 120, 13}), l.link);
    in.helpButton = false;
    in.buttonWidth = 75;
    EXPECT_EQ((466 - 75) / 2, LayoutDetailedControls(in).ok.left);
}

TEST(DialogLayout, ClassicRowsRunTopToBottomWithoutOverlap)
{
    TClassicLayoutInput in;
    in.heading = "The application has encountered a problem. We are sorry for the inconvenience.";
    in.message = "Access violation at address 00401000 in module 'Vidudo.exe'. Read of address 00000000.";
    in.terminateText = "Restart application.";
    in.request = "Please tell us about this problem.";
    in.explanation = "We have created an error report that you can send to help us improve.";
    in.linkLead = "To see what data the error report contains, ";
    in.linkText = "click here.";
    in.reproduceQuestion = "What were you doing when the problem happened (optional)?";
    in.emailLabel = "Email address (optional): ";
    in.sendText = "&Send Error Report";
    in.dontSendText = "&Don't Send";
    in.okText = "&OK";
    in.helpText = "&Help";
    in.terminateBox = in.sendControls = in.link = in.reproduce = in.email = in.helpButton = in.sendWanted = true;
    const TClassicLayout l = LayoutClassicDialog(measurer, in);
    const TLayoutRect rows[] = {l.message, l.terminate, l.request, l.explanation, l.linkLead,
                                l.reproduceQuestion, l.reproduceEdit, l.emailEdit, l.send};
    EXPECT_LE(l.heading.Bottom(), ClassicBandHeight);
    EXPECT_EQ(59, l.message.top);
    for (size_t i = 1; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(rows[i].top, rows[i - 1].Bottom() - 4) << "the edit gives back 4 pixels";
        EXPECT_GT(rows[i].top, rows[i - 1].top);
    }
    EXPECT_EQ(l.link.top, l.linkLead.top);
    EXPECT_EQ(l.linkLead.Right(), l.link.left);
    EXPECT_LE(l.send.Right() + 8, l.second.left);
    EXPECT_LE(l.second.Right(), ClassicWindowWidth - 6);
    EXPECT_LE(l.help.Right(), l.send.left);
    EXPECT_FALSE(l.secondIsOk);
    EXPECT_EQ(3 + l.send.height + 18 + l.send.top + 10, l.windowHeight);

    in.sendControls = false;
    in.email = false;
    const TClassicLayout alone = LayoutClassicDialog(measurer, in);
    EXPECT_TRUE(alone.secondIsOk);
    EXPECT_EQ(0, alone.send.width);
    EXPECT_EQ(4 + 14 + 6, alone.second.height) << "the reproduce edit was the last block";
}

// The small form with every part of its button row and bottom area: the message, the picture
// and the controls never meet, whatever the font.
TEST(DialogLayout, SmallFormKeepsItsControlsApart)
{
    struct TScaled : TTextMeasurer {
        int scale;
        explicit TScaled(int s) : scale(s) {}
        int TextWidth(TDialogFont f, std::string_view t) const override { return measurer.TextWidth(f, t) * scale / 4; }
        int LineHeight(TDialogFont f) const override { return measurer.LineHeight(f) * scale / 4; }
    };
    struct {
        int scale;  // quarters of the plain font
        bool terminate, help, screenshot, copy;
    } cases[] = {
        {4, false, false, false, true}, {4, true, false, true, true}, {4, true, true, true, true},
        {6, true, false, true, true}, {6, true, true, false, false}, {8, true, true, true, true},
    };
    const std::vector<std::string> lines = {"Access violation at address 00401000.", "Read of address 00000000.",
                                            "&Send this error via Internet    &Copy to Clipboard"};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "scale " << c.scale << " terminate " << c.terminate << " help " << c.help
                                        << " screenshot " << c.screenshot << " copy " << c.copy);
        const TScaled m(c.scale);
        const int buttonWidth = DetailedButtonWidth(m, {"&OK", "&Terminate", "&Restart", "Details", "&Help"});
        const int bottom = DetailedBottomArea(true, c.screenshot, c.copy, false);
        const TDetailedSmallForm form = DetailedSmallFormSize(
            m, lines, 3, 3, 18, bottom, DetailedButtonRowWidth(buttonWidth, c.terminate, c.help, true));
        TDetailedLayoutInput in;
        in.clientWidth = form.windowWidth - 6;
        in.clientHeight = form.windowHeight - 6 - 18;
        in.bottomArea = bottom;
        in.buttonWidth = buttonWidth;
        in.terminateButton = c.terminate;
        in.helpButton = c.help;
        in.copyBox = c.copy;
        const TDetailedLayout l = LayoutDetailedControls(in);
        std::vector<std::pair<const char*, TLayoutRect>> shown = {
            {"message", {48, 8, form.textWidth, form.textHeight}}, {"picture", {8, 8, 32, 32}},
            {"ok", l.ok}, {"details", l.details}, {"send", l.send}};
        if (c.terminate)
            shown.push_back({"terminate", l.terminate});
        if (c.help)
            shown.push_back({"help", l.help});
        if (c.screenshot)
            shown.push_back({"screenshot", l.screenshot});
        if (c.copy)
            shown.push_back({"copy", l.copy});
        for (size_t i = 0; i < shown.size(); ++i) {
            const TLayoutRect& a = shown[i].second;
            EXPECT_TRUE(a.left >= 0 && a.top >= 0 && a.Right() <= in.clientWidth && a.Bottom() <= in.clientHeight)
                << shown[i].first << " lies outside the client area";
            for (size_t j = i + 1; j < shown.size(); ++j) {
                const TLayoutRect& b = shown[j].second;
                EXPECT_FALSE(a.left < b.Right() && b.left < a.Right() && a.top < b.Bottom() && b.top < a.Bottom())
                    << shown[i].first << " meets " << shown[j].first;
            }
        }
    }
}
