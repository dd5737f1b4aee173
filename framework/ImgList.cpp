#include "framework/ImgList.h"

TCustomImageList::TCustomImageList(TComponent* owner, int width, int height)
    : TComponent(owner), width_(width), height_(height)
{
}

TCustomImageList::~TCustomImageList()
{
    if (handle_)
        ImageList_Destroy(handle_);
}

void TCustomImageList::Create()
{
    if (!handle_)
        handle_ = ImageList_Create(width_, height_, ILC_COLOR32 | ILC_MASK, 4, 4);
}

HIMAGELIST TCustomImageList::Handle()
{
    Create();
    return handle_;
}

void TCustomImageList::SetSize(int width, int height)
{
    if (handle_)
        ImageList_Destroy(handle_);
    handle_ = nullptr;
    width_ = width;
    height_ = height;
}

int TCustomImageList::Count() const { return handle_ ? ImageList_GetImageCount(handle_) : 0; }

int TCustomImageList::Add(TBitmap& image, TBitmap* mask)
{
    Create();
    image.Dormant();  // a bitmap still selected into its canvas can't be copied
    return ImageList_Add(handle_, image.Handle(), mask ? mask->Handle() : nullptr);
}

int TCustomImageList::AddMasked(TBitmap& image, TColor maskColor)
{
    Create();
    image.Dormant();
    return ImageList_AddMasked(handle_, image.Handle(), ColorToRGB(maskColor));
}

void TCustomImageList::Delete(int index)
{
    if (handle_)
        ImageList_Remove(handle_, index);
}

void TCustomImageList::Clear()
{
    if (handle_)
        ImageList_Remove(handle_, -1);
}

void TCustomImageList::Draw(TCanvas& canvas, int x, int y, int index, bool enabled)
{
    if (!handle_)
        return;
    ImageList_DrawEx(handle_, index, canvas.Handle(), x, y, 0, 0, CLR_NONE, CLR_NONE,
                     enabled ? ILD_TRANSPARENT : (ILD_TRANSPARENT | ILD_BLEND50));
}

void TCustomImageList::GetBitmap(int index, TBitmap& bitmap)
{
    bitmap.SetSize(width_, height_);
    RECT r{0, 0, width_, height_};
    TCanvas& c = bitmap.Canvas();
    c.Brush().SetColor(clWhite);
    c.FillRect(r);
    if (handle_)
        ImageList_Draw(handle_, index, c.Handle(), 0, 0, ILD_NORMAL);
}
