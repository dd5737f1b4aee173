#include "framework/Buttons.h"

#include <algorithm>

TBitBtn::TBitBtn(TComponent* owner) : TButton(owner) {}

void TBitBtn::SetKind(TBitBtnKind kind)
{
    kind_ = kind;
    struct KindInfo {
        TModalResult result;
        const char* caption;
    };
    static const KindInfo infos[] = {
        {mrNone, ""},      {mrOk, "确定"},     {mrCancel, "取消"}, {mrNone, "帮助"},
        {mrYes, "是"},      {mrNo, "否"},       {mrNone, "关闭"},   {mrAbort, "中止"},
        {mrRetry, "重试"},  {mrIgnore, "忽略"}, {10, "全部"},
    };
    const KindInfo& info = infos[static_cast<int>(kind)];
    if (kind != TBitBtnKind::bkCustom)
        ModalResult = info.result;
    if (kind == TBitBtnKind::bkOK || kind == TBitBtnKind::bkYes)
        SetDefault(true);
    if (kind == TBitBtnKind::bkCancel || kind == TBitBtnKind::bkNo)
        Cancel = true;
    if (Text().empty())
        SetText(info.caption);
}

void TBitBtn::CreateParams(TCreateParams& p)
{
    TButton::CreateParams(p);
    p.Style = (p.Style & ~(BS_DEFPUSHBUTTON | BS_PUSHBUTTON)) | BS_OWNERDRAW;
}

void TBitBtn::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case CN_DRAWITEM:
        DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam));
        m.Result = 1;
        return;
    case WM_LBUTTONDBLCLK:
        // An owner-drawn button takes a double click as a second press.
        m.Msg = WM_LBUTTONDOWN;
        break;
    case CM_TEXTCHANGED:
    case CM_ENABLEDCHANGED:
        Invalidate();
        break;
    default:
        break;
    }
    TButton::WndProc(m);
}

void TBitBtn::DrawItem(const DRAWITEMSTRUCT& dis)
{
    RECT r = dis.rcItem;
    const bool pressed = dis.itemState & ODS_SELECTED;
    const bool focused = dis.itemState & ODS_FOCUS;
    HDC dc = dis.hDC;
    if (default_ || focused) {
        FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        InflateRect(&r, -1, -1);
    }
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    TCanvas canvas;
    canvas.SetHandle(dc);
    canvas.Font().Assign(font_);
    if (!enabled_)
        canvas.Font().SetColor(clGrayText);
    canvas.Brush().SetStyle(TBrushStyle::bsClear);
    const int glyphs = std::max(1, NumGlyphs);
    const int gw = glyph_.Empty() ? 0 : glyph_.Width() / glyphs;
    const int gh = glyph_.Empty() ? 0 : glyph_.Height();
    const std::string caption = Text();
    const SIZE ts = canvas.TextExtent(caption);
    const int spacing = (gw > 0 && !caption.empty()) ? Spacing : 0;
    const bool horizontal = Layout == TButtonLayout::blGlyphLeft || Layout == TButtonLayout::blGlyphRight;
    const int totalW = horizontal ? gw + spacing + ts.cx : std::max<int>(gw, ts.cx);
    const int totalH = horizontal ? std::max<int>(gh, ts.cy) : gh + spacing + ts.cy;
    int x = r.left + (r.right - r.left - totalW) / 2 + (pressed ? 1 : 0);
    int y = r.top + (r.bottom - r.top - totalH) / 2 + (pressed ? 1 : 0);
    int gx = x, gy = y, tx = x, ty = y;
    switch (Layout) {
    case TButtonLayout::blGlyphLeft: gy = y + (totalH - gh) / 2; tx = x + gw + spacing; ty = y + (totalH - ts.cy) / 2; break;
    case TButtonLayout::blGlyphRight: gx = x + ts.cx + spacing; gy = y + (totalH - gh) / 2; ty = y + (totalH - ts.cy) / 2; break;
    case TButtonLayout::blGlyphTop: gx = x + (totalW - gw) / 2; tx = x + (totalW - ts.cx) / 2; ty = y + gh + spacing; break;
    case TButtonLayout::blGlyphBottom: gx = x + (totalW - gw) / 2; gy = y + ts.cy + spacing; tx = x + (totalW - ts.cx) / 2; break;
    }
    if (gw > 0) {
        HDC src = glyph_.Canvas().Handle();
        const COLORREF key = GetPixel(src, 0, gh - 1);
        TransparentBlt(dc, gx, gy, gw, gh, src, 0, 0, gw, gh, key);
    }
    canvas.TextOut(tx, ty, caption);
    if (focused) {
        RECT f = r;
        InflateRect(&f, -3, -3);
        DrawFocusRect(dc, &f);
    }
    canvas.SetHandle(nullptr);
}
