#pragma once
// Bitmap button: a push button drawn by the framework with a glyph beside its caption.

#include "framework/StdCtrls.h"

enum class TBitBtnKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };
enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

class TBitBtn : public TButton {
    VIDUDO_CLASS(TBitBtn, TButton)
public:
    explicit TBitBtn(TComponent* owner);
    TBitBtnKind Kind() const { return kind_; }
    // Sets the modal result (and default or cancel role) of the kind; an empty caption gets
    // the kind's caption.
    void SetKind(TBitBtnKind kind);
    TBitmap& Glyph() { return glyph_; }
    int NumGlyphs = 1;
    TButtonLayout Layout = TButtonLayout::blGlyphLeft;
    int Spacing = 4;
    int Margin = -1;

protected:
    void CreateParams(TCreateParams& params) override;
    void WndProc(TMessage& message) override;
    void DrawItem(const DRAWITEMSTRUCT& dis);
    TBitBtnKind kind_ = TBitBtnKind::bkCustom;
    TBitmap glyph_;
};
