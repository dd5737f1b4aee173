#pragma once
// A measurer with fixed glyph widths, so layouts can be checked to the pixel.

#include "crashreport/capture/EDialogLayout.h"

class TFakeMeasurer : public TTextMeasurer {
public:
    int TextWidth(TDialogFont font, std::string_view text) const override
    {
        return static_cast<int>(text.size()) * (font == TDialogFont::MessageBold ? 7 : 6);
    }
    int LineHeight(TDialogFont font) const override { return font == TDialogFont::Monospace ? 14 : 13; }
};
