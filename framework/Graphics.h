#pragma once
// Colours, fonts, pens, brushes, canvases, bitmaps and pictures over GDI. Texts are GBK and
// reach GDI through the W calls.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/Classes.h"
#include "framework/ScopedWin.h"

// A colour is 0x00BBGGRR, or a system colour: 0x80000000 | COLOR_xxx.
using TColor = int32_t;
constexpr TColor SystemColor(int index) { return static_cast<TColor>(0x80000000u | static_cast<unsigned>(index)); }
constexpr TColor clScrollBar = SystemColor(COLOR_SCROLLBAR), clBackground = SystemColor(COLOR_BACKGROUND),
    clActiveCaption = SystemColor(COLOR_ACTIVECAPTION), clInactiveCaption = SystemColor(COLOR_INACTIVECAPTION),
    clMenu = SystemColor(COLOR_MENU), clWindow = SystemColor(COLOR_WINDOW), clWindowFrame = SystemColor(COLOR_WINDOWFRAME),
    clMenuText = SystemColor(COLOR_MENUTEXT), clWindowText = SystemColor(COLOR_WINDOWTEXT),
    clCaptionText = SystemColor(COLOR_CAPTIONTEXT), clActiveBorder = SystemColor(COLOR_ACTIVEBORDER),
    clInactiveBorder = SystemColor(COLOR_INACTIVEBORDER), clAppWorkSpace = SystemColor(COLOR_APPWORKSPACE),
    clHighlight = SystemColor(COLOR_HIGHLIGHT), clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT),
    clBtnFace = SystemColor(COLOR_BTNFACE), clBtnShadow = SystemColor(COLOR_BTNSHADOW), clGrayText = SystemColor(COLOR_GRAYTEXT),
    clBtnText = SystemColor(COLOR_BTNTEXT), clInactiveCaptionText = SystemColor(COLOR_INACTIVECAPTIONTEXT),
    clBtnHighlight = SystemColor(COLOR_BTNHIGHLIGHT), cl3DDkShadow = SystemColor(COLOR_3DDKSHADOW),
    cl3DLight = SystemColor(COLOR_3DLIGHT), clInfoText = SystemColor(COLOR_INFOTEXT), clInfoBk = SystemColor(COLOR_INFOBK);
constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080, clNavy = 0x800000,
    clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080, clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00,
    clYellow = 0x00FFFF, clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF, clDefault = 0x20000000;

// The RGB value of a colour; system colours are looked up now.
COLORREF ColorToRGB(TColor color);

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;

// A logical font. Height < 0 is the character height in pixels, as LOGFONT has it.
class TFont {
public:
    TFont();
    ~TFont();
    TFont(const TFont&) = delete;
    TFont& operator=(const TFont&) = delete;
    void Assign(const TFont& other);

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name);
    int Height() const { return height_; }
    void SetHeight(int height);
    int Size() const;  // points
    void SetSize(int points);
    int Charset() const { return charset_; }
    void SetCharset(int charset);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    TFontStyles Style() const { return style_; }
    void SetStyle(TFontStyles style);

    HFONT Handle();
    std::function<void()> OnChange;

private:
    void Changed();
    std::string name_ = "宋体";
    int height_ = -12;
    int charset_ = GB2312_CHARSET;
    TColor color_ = clWindowText;
    TFontStyles style_ = 0;
    ScopedFont handle_;  // made on first use, dropped on every change
};

enum class TPenStyle { psSolid, psDash, psDot, psClear };
class TPen {
public:
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    int Width() const { return width_; }
    void SetWidth(int width);
    TPenStyle Style() const { return style_; }
    void SetStyle(TPenStyle style);
    HPEN Handle();

private:
    void Changed();
    TColor color_ = clBlack;
    int width_ = 1;
    TPenStyle style_ = TPenStyle::psSolid;
    ScopedPen handle_;
};

enum class TBrushStyle { bsSolid, bsClear };
class TBrush {
public:
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    TBrushStyle Style() const { return style_; }
    void SetStyle(TBrushStyle style);
    HBRUSH Handle();

private:
    void Changed();
    TColor color_ = clWhite;
    TBrushStyle style_ = TBrushStyle::bsSolid;
    ScopedBrush handle_;  // DeleteObject ignores the stock hollow brush
};

class TGraphic;

// Drawing on a device context with the canvas's font, pen and brush selected.
class TCanvas {
public:
    TCanvas();
    virtual ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    HDC Handle();
    // Binds an existing device context (not owned); nullptr unbinds and deselects.
    void SetHandle(HDC dc);
    bool HandleAllocated() const { return dc_ != nullptr; }

    TFont& Font() { return font_; }
    TPen& Pen() { return pen_; }
    TBrush& Brush() { return brush_; }

    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Rectangle(int left, int top, int right, int bottom);
    void RoundRect(int left, int top, int right, int bottom, int cx, int cy);
    void Ellipse(int left, int top, int right, int bottom);
    void FillRect(const RECT& rect);
    void FrameRect(const RECT& rect);
    void TextOut(int x, int y, const std::string& text);
    void TextRect(const RECT& rect, int x, int y, const std::string& text);
    int DrawText(const std::string& text, RECT& rect, UINT format);
    SIZE TextExtent(const std::string& text);
    int TextWidth(const std::string& text) { return TextExtent(text).cx; }
    int TextHeight(const std::string& text) { return TextExtent(text).cy; }
    void Draw(int x, int y, TGraphic& graphic);
    COLORREF Pixel(int x, int y);
    void SetPixel(int x, int y, TColor color);

protected:
    // Supplies a device context when one is asked for and none is bound.
    virtual void CreateHandle() {}
    void Select();
    void Deselect();

    HDC dc_ = nullptr;

private:
    TFont font_;
    TPen pen_;
    TBrush brush_;
    HGDIOBJ oldFont_ = nullptr, oldPen_ = nullptr, oldBrush_ = nullptr;
};

class TGraphic : public TObject {
    VIDUDO_CLASS(TGraphic, TObject)
public:
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual bool Empty() const = 0;
    virtual void Draw(TCanvas& canvas, int x, int y) = 0;
    virtual std::unique_ptr<TGraphic> Clone() const = 0;
};

// A 32-bit device-independent bitmap with its own memory canvas.
class TBitmap : public TGraphic {
    VIDUDO_CLASS(TBitmap, TGraphic)
public:
    TBitmap() = default;
    TBitmap(int width, int height) { SetSize(width, height); }
    ~TBitmap() override;
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    bool Empty() const override { return !handle_; }
    void SetSize(int width, int height);
    // A .bmp file; false when the system can't read it.
    bool LoadFromFile(const std::string& path);
    void Draw(TCanvas& canvas, int x, int y) override;
    std::unique_ptr<TGraphic> Clone() const override;
    TCanvas& Canvas();
    // Frees the canvas's device context, so that other code can select the bitmap.
    void Dormant() { canvas_.reset(); }
    HBITMAP Handle() const { return handle_; }
    bool Transparent = false;
    TColor TransparentColor = clDefault;  // default: the bottom-left pixel

private:
    class TBitmapCanvas;
    void Release();
    ScopedBitmap handle_;
    int width_ = 0, height_ = 0;
    std::unique_ptr<TCanvas> canvas_;
};

// Holds at most one graphic; assignment copies it.
class TPicture {
public:
    TGraphic* Graphic() const { return graphic_.get(); }
    void SetGraphic(const TGraphic* graphic);
    void Assign(const TPicture& other) { SetGraphic(other.Graphic()); }
    bool LoadFromFile(const std::string& path);
    TBitmap& Bitmap();  // replaces any other graphic by an empty bitmap
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }
    void Changed() { if (OnChange) OnChange(); }
    std::function<void()> OnChange;

private:
    std::unique_ptr<TGraphic> graphic_;
};
