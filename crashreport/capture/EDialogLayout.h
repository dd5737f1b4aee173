#pragma once
// The arithmetic of the exception dialogs' layouts, kept apart from the windows so that it can
// be checked with a measurer of its own: text heights, the caption bands of the own look, the
// small form of the detailed dialog, the rows of the Windows-style dialog. No Win32 here.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class TDialogFont { Caption, Message, MessageBold, MessageUnderlined, MessageBoldUnderlined, Monospace, List };

// Measures GBK text in one of the dialog fonts.
class TTextMeasurer {
public:
    virtual ~TTextMeasurer() = default;
    virtual int TextWidth(TDialogFont font, std::string_view text) const = 0;
    virtual int LineHeight(TDialogFont font) const = 0;
};

struct TLayoutRect {
    int left = 0, top = 0, width = 0, height = 0;
    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
    bool operator==(const TLayoutRect&) const = default;
};

// Wrapped height of the text in a box of the given width: every line (an empty one counts as a
// blank) takes one line, plus one for each whole usable width its words fill. A width of 6 or
// less leaves no usable width: then each line takes one line, unwrapped.
int TextBlockHeight(const TTextMeasurer& measurer, TDialogFont font, std::string_view text, int width);

// The fill colours (0x00BBGGRR) of the own-look caption's bands, first band first.
std::vector<uint32_t> CaptionBandColors(int captionHeight, bool active);

// Faces and point size of the dialog fonts: "MS Sans Serif"/"Courier New" at 10 where the ANSI
// code page's character set is not the ANSI one, else Verdana, Lucida Console and Tahoma at 8.
struct TDialogFontFaces {
    const char* interfaceFace;
    const char* monospaceFace;
    const char* listFace;
    int pointSize;
};
TDialogFontFaces DialogFontFaces(bool ansiCharset);

// Detailed dialog ------------------------------------------------------------------------------

constexpr int DetailedBaseClientWidth = 466;
constexpr int DetailedBaseClientHeight = 252;
constexpr int DetailedSmallMinWidth = 340;
constexpr int DetailedSmallMaxWidth = 640;

// Pixels below the button row for the check boxes and the support link.
int DetailedBottomArea(bool sendBox, bool screenshotBox, bool copyBox, bool supportLink);

struct TDetailedSmallForm {
    int windowWidth = 0;
    int windowHeight = 0;
    int textWidth = 0;   // control 101
    int textHeight = 0;
};
// The small form sized to the message lines (plus the line of the two box texts). The form
// also holds the bottom area under the button row, and is wide enough for the row itself
// (rowWidth: the client width the shown buttons need, DetailedButtonRowWidth).
TDetailedSmallForm DetailedSmallFormSize(const TTextMeasurer& measurer, const std::vector<std::string>& lines,
                                         int frameWidth, int frameHeight, int captionHeight, int bottomArea = 0,
                                         int rowWidth = 0);
// The client width at which the button row's shown buttons (OK and those flagged) do not meet.
int DetailedButtonRowWidth(int buttonWidth, bool terminateButton, bool helpButton, bool detailsButton);

struct TDetailedLayoutInput {
    int clientWidth = 0, clientHeight = 0;
    int bottomArea = 0;
    int buttonWidth = 75;
    bool terminateButton = false;
    bool helpButton = false;
    bool copyBox = false;
    int linkTextWidth = 0;
};
struct TDetailedLayout {
    TLayoutRect tab, terminate, ok, help, details, send, screenshot, copy, link;
};
TDetailedLayout LayoutDetailedControls(const TDetailedLayoutInput& in);

// Width of the dialogs' buttons: the largest of 75 and the texts' widths, each with an "O".
int DetailedButtonWidth(const TTextMeasurer& measurer, const std::vector<std::string>& texts);

// Windows-style dialog -------------------------------------------------------------------------

constexpr int ClassicWindowWidth = 419;
constexpr int ClassicBandHeight = 51;

struct TClassicLayoutInput {
    int borderHeight = 1;     // the system's border height
    int frameHeight = 3;
    int captionHeight = 18;
    std::string heading, message, terminateText, request, explanation, linkLead, linkText,
        reproduceQuestion, emailLabel, sendText, dontSendText, okText, helpText;
    bool terminateBox = false;
    bool sendControls = false;
    bool link = false;
    bool reproduce = false;
    bool email = false;
    bool helpButton = false;
    bool sendWanted = false;   // SendChecked on entry: the second button reads "Don't Send"
};
struct TClassicLayout {
    TLayoutRect heading, message, terminate, request, explanation, linkLead, link, reproduceQuestion,
        reproduceEdit, emailLabel, emailEdit, help, second, send;
    bool secondIsOk = false;
    int windowHeight = 0;
};
TClassicLayout LayoutClassicDialog(const TTextMeasurer& measurer, const TClassicLayoutInput& in);
int ClassicButtonWidth(const TTextMeasurer& measurer, std::string_view text, int borderHeight);
