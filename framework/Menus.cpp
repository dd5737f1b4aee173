#include "framework/Menus.h"

#include <map>

#include "framework/CodePage.h"
#include "framework/Forms.h"
#include "framework/ScopedWin.h"

namespace {

std::map<UINT, TMenuItem*>& ItemsByCommand()
{
    static std::map<UINT, TMenuItem*> items;
    return items;
}

std::map<HMENU, TMenuItem*>& ItemsByMenu()
{
    static std::map<HMENU, TMenuItem*> items;
    return items;
}

UINT nextCommand = 1000;

TMenuItem* ItemOf(ULONG_PTR command)
{
    auto it = ItemsByCommand().find(static_cast<UINT>(command));
    return it == ItemsByCommand().end() ? nullptr : it->second;
}

}  // namespace

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner), command_(nextCommand++)
{
    ItemsByCommand()[command_] = this;
}

TMenuItem::~TMenuItem()
{
    ItemsByCommand().erase(command_);
    for (TMenuItem* c : items_)
        c->parent_ = nullptr;
    if (handle_) {
        // Detach the sub-menus first: DestroyMenu would destroy them with this one.
        while (GetMenuItemCount(handle_) > 0)
            RemoveMenu(handle_, 0, MF_BYPOSITION);
        ItemsByMenu().erase(handle_);
        DestroyMenu(handle_);
    }
    if (parent_)
        parent_->Remove(this);
}

void TMenuItem::SetCaption(const std::string& caption) { caption_ = caption; Changed(); }
void TMenuItem::SetShortCutText(const std::string& text) { shortCut_ = text; Changed(); }
void TMenuItem::SetChecked(bool value) { checked_ = value; Changed(); }
void TMenuItem::SetEnabled(bool value) { enabled_ = value; Changed(); }
void TMenuItem::SetVisible(bool value) { visible_ = value; Changed(); }

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item)
{
    if (item->parent_)
        item->parent_->Remove(item);
    items_.insert(items_.begin() + index, item);
    item->parent_ = this;
    RebuildItems();
}

void TMenuItem::Remove(TMenuItem* item)
{
    for (auto it = items_.begin(); it != items_.end(); ++it)
        if (*it == item) {
            items_.erase(it);
            item->parent_ = nullptr;
            RebuildItems();
            return;
        }
}

int TMenuItem::MenuIndex() const
{
    if (!parent_)
        return -1;
    for (int i = 0; i < parent_->Count(); ++i)
        if (parent_->Items(i) == this)
            return i;
    return -1;
}

TMenu* TMenuItem::GetParentMenu() const
{
    const TMenuItem* i = this;
    while (i->parent_)
        i = i->parent_;
    return i->menu_;
}

HMENU TMenuItem::Handle()
{
    if (handle_)
        return handle_;
    handle_ = menu_ ? menu_->CreateNativeMenu() : CreatePopupMenu();
    ItemsByMenu()[handle_] = this;
    RebuildItems();
    return handle_;
}

void TMenuItem::FillNative(HMENU menu, int position)
{
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_DATA | MIIM_STRING;
    mii.fType = IsLine() ? MFT_SEPARATOR : MFT_STRING;
    if (OnAdvancedDrawItem)
        mii.fType |= MFT_OWNERDRAW;
    if (RadioItem)
        mii.fType |= MFT_RADIOCHECK;
    mii.fState = (checked_ ? MFS_CHECKED : 0) | (enabled_ ? 0 : MFS_DISABLED) | (Default ? MFS_DEFAULT : 0);
    mii.wID = command_;
    mii.dwItemData = command_;
    std::wstring text = GbkToWide(shortCut_.empty() ? caption_ : caption_ + "\t" + shortCut_);
    mii.dwTypeData = text.data();
    if (!items_.empty()) {
        mii.fMask |= MIIM_SUBMENU;
        mii.hSubMenu = Handle();
    }
    InsertMenuItemW(menu, static_cast<UINT>(position), TRUE, &mii);
}

void TMenuItem::RebuildItems()
{
    if (!handle_)
        return;
    while (GetMenuItemCount(handle_) > 0)
        RemoveMenu(handle_, 0, MF_BYPOSITION);
    int position = 0;
    for (TMenuItem* c : items_)
        if (c->visible_)
            c->FillNative(handle_, position++);
    if (menu_)
        if (auto* main = dynamic_cast<TMainMenu*>(menu_); main && main->WindowHandle)
            DrawMenuBar(main->WindowHandle);
}

void TMenuItem::Changed()
{
    if (parent_)
        parent_->RebuildItems();
}

void TMenuItem::Click()
{
    if (OnClick)
        OnClick(this);
}

TMenu::TMenu(TComponent* owner) : TComponent(owner), items_(new TMenuItem(nullptr)) { items_->menu_ = this; }

TMenu::~TMenu() { delete items_; }

void TPopupMenu::Popup(int x, int y)
{
    if (OnPopup)
        OnPopup(this);
    HMENU menu = Handle();
    Rebuild();
    HWND owner = GetActiveWindow();
    if (!owner && Application)
        owner = Application->Handle();
    const UINT command = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN, x, y, 0, owner, nullptr));
    if (command)
        HandleMenuCommand(command);
}

bool HandleMenuCommand(UINT command)
{
    TMenuItem* item = ItemOf(command);
    if (!item)
        return false;
    item->Click();
    return true;
}

bool HandleMenuDrawItem(const DRAWITEMSTRUCT& dis)
{
    TMenuItem* item = ItemOf(dis.itemData);
    if (!item || !item->OnAdvancedDrawItem)
        return false;
    TCanvas canvas;
    canvas.SetHandle(dis.hDC);
    item->OnAdvancedDrawItem(item, canvas, dis.rcItem, dis.itemState);
    canvas.SetHandle(nullptr);
    return true;
}

bool HandleMenuMeasureItem(MEASUREITEMSTRUCT& mis)
{
    TMenuItem* item = ItemOf(mis.itemData);
    if (!item)
        return false;
    ScopedGetDC dc(nullptr);
    TCanvas canvas;
    canvas.SetHandle(dc);
    int width = 0, height = 0;
    if (item->OnMeasureItem) {
        item->OnMeasureItem(item, canvas, width, height);
    } else {
        width = canvas.TextWidth(item->Caption()) + 20;
        height = GetSystemMetrics(SM_CYMENU);
    }
    canvas.SetHandle(nullptr);
    mis.itemWidth = static_cast<UINT>(width);
    mis.itemHeight = static_cast<UINT>(height);
    return true;
}

void HandleInitMenuPopup(HMENU menu)
{
    auto it = ItemsByMenu().find(menu);
    if (it != ItemsByMenu().end())
        it->second->RebuildItems();
}
