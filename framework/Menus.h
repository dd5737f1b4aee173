#pragma once
// Menus: items with captions, shortcuts, checks, images and owner-draw events, built into
// Win32 menus. A form shows a TMainMenu as its menu bar; a TPopupMenu pops up at a point.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/Graphics.h"

class TMenu;
class TImageList;

class TMenuItem : public TComponent {
    VIDUDO_CLASS(TMenuItem, TComponent)
public:
    explicit TMenuItem(TComponent* owner);
    ~TMenuItem() override;

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    // Shortcut text shown right of the caption, e.g. "Ctrl+N".
    const std::string& ShortCutText() const { return shortCut_; }
    void SetShortCutText(const std::string& text);
    bool Checked() const { return checked_; }
    void SetChecked(bool value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    bool RadioItem = false;
    bool Default = false;
    int ImageIndex = -1;
    TBitmap& Bitmap() { return bitmap_; }

    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    void Add(TMenuItem* item);
    void Insert(int index, TMenuItem* item);
    void Remove(TMenuItem* item);
    TMenuItem* Parent() const { return parent_; }
    int MenuIndex() const;
    // The menu this item belongs to (through its parents), or nullptr.
    TMenu* GetParentMenu() const;
    bool IsLine() const { return caption_ == "-"; }
    UINT Command() const { return command_; }
    // The submenu when the item has items; created on demand.
    HMENU Handle();

    std::function<void(TObject* sender)> OnClick;
    std::function<void(TObject* sender, TCanvas& canvas, int& width, int& height)> OnMeasureItem;
    std::function<void(TObject* sender, TCanvas& canvas, RECT rect, UINT state)> OnAdvancedDrawItem;

    virtual void Click();
    // Writes the native entries of the sub-items again (owner-draw flags follow the events).
    void RebuildItems();

private:
    friend class TMenu;
    void Changed();
    void FillNative(HMENU menu, int position);

    std::string caption_;
    std::string shortCut_;
    bool checked_ = false, enabled_ = true, visible_ = true;
    TBitmap bitmap_;
    std::vector<TMenuItem*> items_;
    TMenuItem* parent_ = nullptr;
    TMenu* menu_ = nullptr;  // set on the root item
    UINT command_ = 0;
    HMENU handle_ = nullptr;
};

class TMenu : public TComponent {
    VIDUDO_CLASS(TMenu, TComponent)
public:
    explicit TMenu(TComponent* owner);
    ~TMenu() override;
    TMenuItem* Items() { return items_; }
    TImageList* Images = nullptr;
    HMENU Handle() { return items_->Handle(); }
    void Rebuild() { items_->RebuildItems(); }

protected:
    virtual HMENU CreateNativeMenu() = 0;
    friend class TMenuItem;
    TMenuItem* items_;
};

class TMainMenu : public TMenu {
    VIDUDO_CLASS(TMainMenu, TMenu)
public:
    using TMenu::TMenu;
    // The window whose menu bar this is (set by the form).
    HWND WindowHandle = nullptr;

protected:
    HMENU CreateNativeMenu() override { return CreateMenu(); }
};

class TPopupMenu : public TMenu {
    VIDUDO_CLASS(TPopupMenu, TMenu)
public:
    using TMenu::TMenu;
    // Shows the menu at a screen point and runs the chosen item's click.
    void Popup(int x, int y);
    std::function<void(TObject* sender)> OnPopup;

protected:
    HMENU CreateNativeMenu() override { return CreatePopupMenu(); }
};

// Menu messages that reach any framework window: true when a menu item took them.
bool HandleMenuCommand(UINT command);
bool HandleMenuDrawItem(const DRAWITEMSTRUCT& dis);
bool HandleMenuMeasureItem(MEASUREITEMSTRUCT& mis);
void HandleInitMenuPopup(HMENU menu);
