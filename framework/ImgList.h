#pragma once
// Image list over the common controls' image lists.

#include <windows.h>

#include <commctrl.h>

#include "framework/Classes.h"
#include "framework/Graphics.h"

class TCustomImageList : public TComponent {
    VIDUDO_CLASS(TCustomImageList, TComponent)
public:
    explicit TCustomImageList(TComponent* owner, int width = 16, int height = 16);
    ~TCustomImageList() override;
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Changing the size empties the list.
    void SetSize(int width, int height);
    int Count() const;
    int Add(TBitmap& image, TBitmap* mask = nullptr);
    // Pixels of the mask colour become transparent.
    int AddMasked(TBitmap& image, TColor maskColor);
    void Delete(int index);
    void Clear();
    void Draw(TCanvas& canvas, int x, int y, int index, bool enabled = true);
    // Copies image index into bitmap (resized to the list's size).
    void GetBitmap(int index, TBitmap& bitmap);
    HIMAGELIST Handle();

private:
    void Create();
    int width_, height_;
    HIMAGELIST handle_ = nullptr;
};

class TImageList : public TCustomImageList {
    VIDUDO_CLASS(TImageList, TCustomImageList)
public:
    using TCustomImageList::TCustomImageList;
};
