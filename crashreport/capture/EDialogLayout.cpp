#include "crashreport/capture/EDialogLayout.h"

#include <algorithm>
#include <cmath>

#include "crashreport/capture/ECore.h"
#include "framework/StringList.h"

namespace {

std::vector<std::string> TextLines(std::string_view text)
{
    TStringList lines;
    lines.SetText(text);
    std::vector<std::string> out(lines.begin(), lines.end());
    if (out.empty())
        out.emplace_back();
    return out;
}

int PlacedHeight(const TTextMeasurer& m, TDialogFont font, std::string_view text, int width)
{
    return TextBlockHeight(m, font, text, width) + 1;
}

std::string WithoutAccelerator(std::string_view text)
{
    std::string out;
    for (char c : text)
        if (c != '&')
            out += c;
    return out;
}

}  // namespace

int TextBlockHeight(const TTextMeasurer& measurer, TDialogFont font, std::string_view text, int width)
{
    static const TCharSet breaks = MakeCharSet(" !%()-?[]{}");
    const int lineHeight = measurer.LineHeight(font);
    const int usable = width - 6;
    int lines = 0;
    for (std::string line : TextLines(text)) {
        if (line.empty())
            line = " ";
        ++lines;
        if (usable <= 0)
            continue;
        TStringList words;
        SplitTextAtChars(line, words, breaks, true, false);
        long long total = 0;
        for (const std::string& w : words)
            total += measurer.TextWidth(font, w);
        lines += static_cast<int>(total / usable);
    }
    return lines * lineHeight;
}

std::vector<uint32_t> CaptionBandColors(int captionHeight, bool active)
{
    double rgb[3] = {130, 155, 194};
    if (!active)
        rgb[0] = rgb[1] = rgb[2] = 151;
    std::vector<uint32_t> bands;
    for (int i = 0; i < captionHeight / 5; ++i) {
        for (double& c : rgb)
            c = std::min(255.0, std::round(c * 0.96));
        bands.push_back(static_cast<uint32_t>(rgb[0]) | static_cast<uint32_t>(rgb[1]) << 8 |
                        static_cast<uint32_t>(rgb[2]) << 16);
    }
    return bands;
}

TDialogFontFaces DialogFontFaces(bool ansiCharset)
{
    if (!ansiCharset)
        return {"MS Sans Serif", "Courier New", "Courier New", 10};
    return {"Verdana", "Lucida Console", "Tahoma", 8};
}

int DetailedBottomArea(bool sendBox, bool screenshotBox, bool copyBox, bool supportLink)
{
    if ((sendBox && screenshotBox) || (copyBox && supportLink))
        return 34;
    if (sendBox || screenshotBox || copyBox || supportLink)
        return 20;
    return 0;
}

TDetailedSmallForm DetailedSmallFormSize(const TTextMeasurer& measurer, const std::vector<std::string>& lines,
                                         int frameWidth, int frameHeight, int captionHeight, int bottomArea,
                                         int rowWidth)
{
    const int frame = 2 * frameWidth + 58;
    const int limit = DetailedSmallMaxWidth - frame;
    const int lineHeight = measurer.LineHeight(TDialogFont::Message);
    TDetailedSmallForm form;
    int running = 0;
    for (const std::string& text : lines) {
        const int width = measurer.TextWidth(TDialogFont::Message, text.empty() ? std::string_view(" ") : text);
        if (width > running) {
            running = width + 16;
            if (running > limit && limit > 0) {
                running = limit;
                form.textHeight += ((width - limit + 16) / limit + 1) * lineHeight;
            }
        }
        form.textHeight += lineHeight;
    }
    form.windowWidth = std::max({running + frame, DetailedSmallMinWidth, rowWidth + 2 * frameWidth});
    form.textWidth = form.windowWidth - frame;
    // The button row sits the bottom area above the client's bottom: without that area in the
    // height the buttons would cover the message and the picture.
    form.windowHeight = std::max(form.textHeight - 39, 0) + 2 * frameHeight + captionHeight + 86 + bottomArea;
    return form;
}

int DetailedButtonRowWidth(int buttonWidth, bool terminateButton, bool helpButton, bool detailsButton)
{
    const int gap = 8, margin = 5;
    // OK is centred, and moves right of the help button when the two would meet.
    if (terminateButton && helpButton)
        return 2 * margin + 3 * gap + (detailsButton ? 4 : 3) * buttonWidth;
    if (terminateButton || helpButton || detailsButton)
        return 2 * margin + 2 * gap + 3 * buttonWidth;
    return 2 * margin + buttonWidth;
}

TDetailedLayout LayoutDetailedControls(const TDetailedLayoutInput& in)
{
    const int w = in.clientWidth, h = in.clientHeight, bw = in.buttonWidth;
    TDetailedLayout out;
    out.tab = {4, 52, w - 8, h - 90 - in.bottomArea};
    const int y = h - in.bottomArea - 32;
    out.terminate = {5, y, bw, 25};
    out.ok = {(w - bw) / 2, y, bw, 25};
    out.help = {in.terminateButton ? bw + 13 : 5, y, bw, 25};
    if (in.helpButton && out.help.Right() > out.ok.left)
        out.ok.left = out.help.left + bw + 8;
    out.details = {w - bw - 5, y, bw, 25};
    const int half = (w - 8) / 2;
    out.send = {4, y + 34, half, 16};
    out.copy = {w - half - 4, y + 34, half, 16};
    out.screenshot = {23, y + 50, w / 2, 16};
    const int right = w - 4;
    out.link = {right - in.linkTextWidth, y + 34 + (in.copyBox ? 16 : 0), in.linkTextWidth, 13};
    return out;
}

int DetailedButtonWidth(const TTextMeasurer& measurer, const std::vector<std::string>& texts)
{
    int width = 75;
    for (const std::string& t : texts)
        width = std::max(width, measurer.TextWidth(TDialogFont::Message, t + "O"));
    return width;
}

int ClassicButtonWidth(const TTextMeasurer& measurer, std::string_view text, int borderHeight)
{
    return std::max(75, measurer.TextWidth(TDialogFont::Message, WithoutAccelerator(text)) + 4 * borderHeight + 16);
}

TClassicLayout LayoutClassicDialog(const TTextMeasurer& m, const TClassicLayoutInput& in)
{
    using F = TDialogFont;
    TClassicLayout out;
    const int border = in.borderHeight;
    const int headingHeight = PlacedHeight(m, F::MessageBold, in.heading, 356);
    out.heading = {8, (ClassicBandHeight - headingHeight) / 2, 356, headingHeight};
    int y = 59;
    auto place = [&](TLayoutRect& r, F font, const std::string& text, int width) {
        r = {8, y, width, PlacedHeight(m, font, text, width)};
        y += r.height;
    };
    place(out.message, F::Message, in.message, 397);
    if (in.terminateBox) {
        y += 10;
        place(out.terminate, F::Message, in.terminateText, 397);
    }
    if (in.sendControls) {
        y += 10;
        place(out.request, F::MessageBold, in.request, 397);
        y += 2;
        place(out.explanation, F::Message, in.explanation, 397);
    }
    if (in.link) {
        y += 12;
        const int leadWidth = m.TextWidth(F::Message, in.linkLead);
        const int top = y;
        place(out.linkLead, F::Message, in.linkLead, leadWidth);
        out.link = {8 + leadWidth, top, m.TextWidth(F::MessageUnderlined, in.linkText),
                    TextBlockHeight(m, F::MessageUnderlined, in.linkText, 356)};
    }
    bool monospaceLast = false;
    if (in.reproduce) {
        y += 12;
        place(out.reproduceQuestion, F::Message, in.reproduceQuestion, 397);
        y += 2;
        const int editHeight = 8 * border + 4 * m.LineHeight(F::Monospace);
        out.reproduceEdit = {8, y, 397, editHeight};
        y += editHeight - 4;
        monospaceLast = true;
    }
    if (in.email) {
        y += 12;
        const int labelWidth = m.TextWidth(F::Message, in.emailLabel);
        const int labelHeight = PlacedHeight(m, F::Message, in.emailLabel, labelWidth);
        out.emailLabel = {8, y + 4 * border, labelWidth, labelHeight};
        out.emailEdit = {labelWidth + 8, y, 397 - labelWidth, m.LineHeight(F::Message) + 8 * border};
        y += 4 * border + labelHeight;
        monospaceLast = false;
    }
    y += 12;
    const int buttonHeight = 4 * border + m.LineHeight(monospaceLast ? F::Monospace : F::Message) + 6;
    const int dontSendWidth = ClassicButtonWidth(m, in.dontSendText, border);
    const int sendWidth = ClassicButtonWidth(m, in.sendText, border);
    if (in.helpButton)
        out.help = {8, y, ClassicButtonWidth(m, in.helpText, border), buttonHeight};
    out.secondIsOk = !(in.sendWanted && in.sendControls);
    const std::string& secondText = out.secondIsOk ? in.okText : in.dontSendText;
    out.second = {405 - dontSendWidth, y, ClassicButtonWidth(m, secondText, border), buttonHeight};
    if (in.sendControls)
        out.send = {397 - dontSendWidth - sendWidth, y, sendWidth, buttonHeight};
    out.windowHeight = in.frameHeight + buttonHeight + in.captionHeight + y + 10;
    return out;
}
