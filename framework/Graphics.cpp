#include "framework/Graphics.h"

#include "framework/CodePage.h"
#include "framework/ScopedWin.h"

COLORREF ColorToRGB(TColor color)
{
    if (color < 0)
        return GetSysColor(color & 0xFF);
    return static_cast<COLORREF>(color) & 0xFFFFFF;
}

namespace {

int ScreenPixelsPerInch()
{
    const int dpi = GetDeviceCaps(ScopedGetDC(nullptr), LOGPIXELSY);
    return dpi > 0 ? dpi : 96;
}

}  // namespace

// ---- TFont

TFont::TFont() = default;
TFont::~TFont() = default;

void TFont::Assign(const TFont& other)
{
    name_ = other.name_;
    height_ = other.height_;
    charset_ = other.charset_;
    color_ = other.color_;
    style_ = other.style_;
    Changed();
}

void TFont::Changed()
{
    handle_.Reset();
    if (OnChange)
        OnChange();
}

void TFont::SetName(const std::string& name) { if (name != name_) { name_ = name; Changed(); } }
void TFont::SetHeight(int height) { if (height != height_) { height_ = height; Changed(); } }
int TFont::Size() const { return -MulDiv(height_, 72, ScreenPixelsPerInch()); }
void TFont::SetSize(int points) { SetHeight(-MulDiv(points, ScreenPixelsPerInch(), 72)); }
void TFont::SetCharset(int charset) { if (charset != charset_) { charset_ = charset; Changed(); } }
void TFont::SetStyle(TFontStyles style) { if (style != style_) { style_ = style; Changed(); } }

void TFont::SetColor(TColor color)
{
    if (color == color_)
        return;
    color_ = color;
    // The colour is not part of the GDI font: keep the handle.
    if (OnChange)
        OnChange();
}

HFONT TFont::Handle()
{
    if (handle_)
        return handle_;
    LOGFONTW lf{};
    lf.lfHeight = height_;
    lf.lfWeight = (style_ & fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (style_ & fsItalic) ? 1 : 0;
    lf.lfUnderline = (style_ & fsUnderline) ? 1 : 0;
    lf.lfStrikeOut = (style_ & fsStrikeOut) ? 1 : 0;
    lf.lfCharSet = static_cast<BYTE>(charset_);
    lf.lfQuality = DEFAULT_QUALITY;
    const std::wstring face = GbkToWide(name_);
    lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
    handle_.Reset(CreateFontIndirectW(&lf));
    return handle_;
}

// ---- TPen, TBrush

void TPen::Changed() { handle_.Reset(); }
void TPen::SetColor(TColor color) { if (color != color_) { color_ = color; Changed(); } }
void TPen::SetWidth(int width) { if (width != width_) { width_ = width; Changed(); } }
void TPen::SetStyle(TPenStyle style) { if (style != style_) { style_ = style; Changed(); } }

HPEN TPen::Handle()
{
    if (!handle_) {
        int s = PS_SOLID;
        switch (style_) {
        case TPenStyle::psSolid: s = PS_SOLID; break;
        case TPenStyle::psDash: s = PS_DASH; break;
        case TPenStyle::psDot: s = PS_DOT; break;
        case TPenStyle::psClear: s = PS_NULL; break;
        }
        handle_.Reset(CreatePen(s, width_, ColorToRGB(color_)));
    }
    return handle_;
}

void TBrush::Changed() { handle_.Reset(); }
void TBrush::SetColor(TColor color)
{
    if (color != color_ || style_ == TBrushStyle::bsClear) {
        color_ = color;
        style_ = TBrushStyle::bsSolid;
        Changed();
    }
}
void TBrush::SetStyle(TBrushStyle style) { if (style != style_) { style_ = style; Changed(); } }

HBRUSH TBrush::Handle()
{
    if (!handle_)
        handle_.Reset(style_ == TBrushStyle::bsClear ? static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))
                                                       : CreateSolidBrush(ColorToRGB(color_)));
    return handle_;
}

// ---- TCanvas

TCanvas::TCanvas() = default;

TCanvas::~TCanvas() { Deselect(); }

HDC TCanvas::Handle()
{
    if (!dc_)
        CreateHandle();
    Select();
    return dc_;
}

void TCanvas::SetHandle(HDC dc)
{
    if (dc == dc_)
        return;
    Deselect();
    dc_ = dc;
}

void TCanvas::Select()
{
    if (!dc_)
        return;
    // Objects are recreated after a property change, so select them on every use.
    HGDIOBJ f = SelectObject(dc_, font_.Handle());
    HGDIOBJ p = SelectObject(dc_, pen_.Handle());
    HGDIOBJ b = SelectObject(dc_, brush_.Handle());
    if (!oldFont_) oldFont_ = f;
    if (!oldPen_) oldPen_ = p;
    if (!oldBrush_) oldBrush_ = b;
    SetTextColor(dc_, ColorToRGB(font_.Color()));
    if (brush_.Style() == TBrushStyle::bsClear) {
        SetBkMode(dc_, TRANSPARENT);
    } else {
        SetBkMode(dc_, OPAQUE);
        SetBkColor(dc_, ColorToRGB(brush_.Color()));
    }
}

void TCanvas::Deselect()
{
    if (!dc_)
        return;
    if (oldFont_) SelectObject(dc_, oldFont_);
    if (oldPen_) SelectObject(dc_, oldPen_);
    if (oldBrush_) SelectObject(dc_, oldBrush_);
    oldFont_ = oldPen_ = oldBrush_ = nullptr;
}

void TCanvas::MoveTo(int x, int y) { MoveToEx(Handle(), x, y, nullptr); }
void TCanvas::LineTo(int x, int y) { ::LineTo(Handle(), x, y); }
void TCanvas::Rectangle(int l, int t, int r, int b) { ::Rectangle(Handle(), l, t, r, b); }
void TCanvas::RoundRect(int l, int t, int r, int b, int cx, int cy) { ::RoundRect(Handle(), l, t, r, b, cx, cy); }
void TCanvas::Ellipse(int l, int t, int r, int b) { ::Ellipse(Handle(), l, t, r, b); }
void TCanvas::FillRect(const RECT& rect) { ::FillRect(Handle(), &rect, brush_.Handle()); }

void TCanvas::FrameRect(const RECT& rect) { ::FrameRect(Handle(), &rect, brush_.Handle()); }

void TCanvas::TextOut(int x, int y, const std::string& text)
{
    const std::wstring w = GbkToWide(text);
    TextOutW(Handle(), x, y, w.c_str(), static_cast<int>(w.size()));
}

void TCanvas::TextRect(const RECT& rect, int x, int y, const std::string& text)
{
    const std::wstring w = GbkToWide(text);
    const UINT opaque = brush_.Style() == TBrushStyle::bsClear ? 0 : ETO_OPAQUE;
    ExtTextOutW(Handle(), x, y, ETO_CLIPPED | opaque, &rect, w.c_str(), static_cast<UINT>(w.size()), nullptr);
}

int TCanvas::DrawText(const std::string& text, RECT& rect, UINT format)
{
    const std::wstring w = GbkToWide(text);
    return DrawTextW(Handle(), w.c_str(), static_cast<int>(w.size()), &rect, format);
}

SIZE TCanvas::TextExtent(const std::string& text)
{
    const std::wstring w = GbkToWide(text);
    SIZE s{};
    GetTextExtentPoint32W(Handle(), w.c_str(), static_cast<int>(w.size()), &s);
    return s;
}

void TCanvas::Draw(int x, int y, TGraphic& graphic) { graphic.Draw(*this, x, y); }
COLORREF TCanvas::Pixel(int x, int y) { return GetPixel(Handle(), x, y); }
void TCanvas::SetPixel(int x, int y, TColor color) { ::SetPixel(Handle(), x, y, ColorToRGB(color)); }

// ---- TBitmap

class TBitmap::TBitmapCanvas : public TCanvas {
public:
    explicit TBitmapCanvas(TBitmap& bitmap) : bitmap_(bitmap) {}
    ~TBitmapCanvas() override { Free(); }
    void Free()
    {
        if (!dc_)
            return;
        Deselect();
        SelectObject(dc_, old_);
        DeleteDC(dc_);
        dc_ = nullptr;
    }

protected:
    void CreateHandle() override
    {
        dc_ = CreateCompatibleDC(nullptr);
        old_ = SelectObject(dc_, bitmap_.handle_);
    }

private:
    TBitmap& bitmap_;
    HGDIOBJ old_ = nullptr;
};

TBitmap::~TBitmap() { Release(); }

void TBitmap::Release()
{
    canvas_.reset();
    handle_.Reset();
    width_ = height_ = 0;
}

void TBitmap::SetSize(int width, int height)
{
    Release();
    width_ = width > 0 ? width : 0;
    height_ = height > 0 ? height : 0;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width_ ? width_ : 1;
    bi.bmiHeader.biHeight = -(height_ ? height_ : 1);
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    // A 0 x 0 bitmap still gets a handle so that it counts as a graphic.
    handle_.Reset(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
}

bool TBitmap::LoadFromFile(const std::string& path)
{
    const std::wstring w = GbkToWide(path);
    HBITMAP h = static_cast<HBITMAP>(LoadImageW(nullptr, w.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (!h)
        return false;
    Release();
    handle_.Reset(h);
    BITMAP bm{};
    GetObjectW(h, sizeof(bm), &bm);
    width_ = bm.bmWidth;
    height_ = bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight;
    return true;
}

TCanvas& TBitmap::Canvas()
{
    if (!canvas_)
        canvas_ = std::make_unique<TBitmapCanvas>(*this);
    return *canvas_;
}

void TBitmap::Draw(TCanvas& canvas, int x, int y)
{
    if (!handle_ || width_ <= 0 || height_ <= 0)
        return;
    HDC src = Canvas().Handle();
    if (Transparent) {
        const COLORREF key = TransparentColor == clDefault ? GetPixel(src, 0, height_ - 1) : ColorToRGB(TransparentColor);
        TransparentBlt(canvas.Handle(), x, y, width_, height_, src, 0, 0, width_, height_, key);
    } else {
        BitBlt(canvas.Handle(), x, y, width_, height_, src, 0, 0, SRCCOPY);
    }
}

std::unique_ptr<TGraphic> TBitmap::Clone() const
{
    auto copy = std::make_unique<TBitmap>();
    copy->Transparent = Transparent;
    copy->TransparentColor = TransparentColor;
    if (!handle_)
        return copy;
    copy->SetSize(width_, height_);
    if (width_ > 0 && height_ > 0) {
        // The bitmap may be selected into its own canvas; a second DC could not select it.
        HDC src = const_cast<TBitmap*>(this)->Canvas().Handle();
        BitBlt(copy->Canvas().Handle(), 0, 0, width_, height_, src, 0, 0, SRCCOPY);
    }
    return copy;
}

// ---- TPicture

void TPicture::SetGraphic(const TGraphic* graphic)
{
    graphic_ = graphic ? graphic->Clone() : nullptr;
    Changed();
}

bool TPicture::LoadFromFile(const std::string& path)
{
    auto b = std::make_unique<TBitmap>();
    if (!b->LoadFromFile(path))
        return false;
    graphic_ = std::move(b);
    Changed();
    return true;
}

TBitmap& TPicture::Bitmap()
{
    if (!graphic_ || !graphic_->Is<TBitmap>())
        graphic_ = std::make_unique<TBitmap>();
    return static_cast<TBitmap&>(*graphic_);
}
