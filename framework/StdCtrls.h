#pragma once
// Standard controls: label, edit, combo box, list box, button, check box, radio button and
// group box, each over its Win32 window class (the group box paints itself).

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Controls.h"
#include "framework/Forms.h"

// The item texts of a list or combo box: the model, copied into the window when it exists.
class TItemList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& operator[](int index) const { return items_.at(static_cast<size_t>(index)); }
    int Add(std::string text);
    void Insert(int index, std::string text);
    void Delete(int index);
    void Clear();
    void Set(int index, std::string text);
    int IndexOf(std::string_view text) const;
    std::string Text() const;
    void SetText(std::string_view text);
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    friend class TCustomListControl;
    std::vector<std::string> items_;
    class TCustomListControl* owner_ = nullptr;
};

class TCustomListControl : public TWinControl {
    VIDUDO_CLASS(TCustomListControl, TWinControl)
public:
    explicit TCustomListControl(TComponent* owner);
    TItemList& Items() { return items_; }
    int ItemIndex();
    // Selects without firing OnChange or OnClick.
    virtual void SetItemIndex(int index);

protected:
    friend class TItemList;
    virtual UINT InsertMessage() const = 0;
    virtual UINT DeleteMessage() const = 0;
    virtual UINT ResetMessage() const = 0;
    virtual UINT GetSelMessage() const = 0;
    virtual UINT SetSelMessage() const = 0;
    void CreateHandleDone() override;
    void DestroyingHandle() override;
    void ItemInserted(int index);
    void ItemDeleted(int index);
    void ItemsCleared();
    TItemList items_;
    int itemIndex_ = -1;
};

class TCustomLabel : public TWinControl {
    VIDUDO_CLASS(TCustomLabel, TWinControl)
public:
    explicit TCustomLabel(TComponent* owner);
    TAlignment Alignment = TAlignment::taLeftJustify;
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    bool Layout = false;  // true: centred vertically
    bool WordWrap = false;
    TWinControl* FocusControl = nullptr;
    void SetText(const std::string& text) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void WndProc(TMessage& message) override;
    void FontChanged() override;
    void AdjustSize();
    bool autoSize_ = true;
};

class TLabel : public TCustomLabel {
    VIDUDO_CLASS(TLabel, TCustomLabel)
public:
    using TCustomLabel::TCustomLabel;
};

enum class TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };

class TCustomEdit : public TWinControl {
    VIDUDO_CLASS(TCustomEdit, TWinControl)
public:
    explicit TCustomEdit(TComponent* owner);
    char PasswordChar() const { return passwordChar_; }
    void SetPasswordChar(char c);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int value);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle value);
    // Caret position and selection in characters of the window text.
    int SelStart();
    void SetSelStart(int value);
    int SelLength();
    void SetSelLength(int value);
    void SelectAll();
    void Clear() { SetText(""); }
    TNotifyEvent OnChange;

protected:
    void CreateParams(TCreateParams& params) override;
    void WndProc(TMessage& message) override;
    virtual void Change();
    void ApplyFrame();
    char passwordChar_ = 0;
    bool readOnly_ = false;
    int maxLength_ = 0;
    TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
};

class TEdit : public TCustomEdit {
    VIDUDO_CLASS(TEdit, TCustomEdit)
public:
    using TCustomEdit::TCustomEdit;
};

enum class TComboBoxStyle { csDropDown, csSimple, csDropDownList };

class TCustomComboBox : public TCustomListControl {
    VIDUDO_CLASS(TCustomComboBox, TCustomListControl)
public:
    explicit TCustomComboBox(TComponent* owner);
    TComboBoxStyle Style() const { return style_; }
    void SetStyle(TComboBoxStyle style);
    int DropDownCount = 8;
    bool DroppedDown();
    void SetDroppedDown(bool value);
    std::string Text() const override;
    void SetItemIndex(int index) override;
    TNotifyEvent OnChange;
    TNotifyEvent OnDropDown;
    TNotifyEvent OnCloseUp;

protected:
    void CreateParams(TCreateParams& params) override;
    void WndProc(TMessage& message) override;
    UINT InsertMessage() const override { return CB_INSERTSTRING; }
    UINT DeleteMessage() const override { return CB_DELETESTRING; }
    UINT ResetMessage() const override { return CB_RESETCONTENT; }
    UINT GetSelMessage() const override { return CB_GETCURSEL; }
    UINT SetSelMessage() const override { return CB_SETCURSEL; }
    void CreateHandleDone() override;
    virtual void Change();
    TComboBoxStyle style_ = TComboBoxStyle::csDropDown;
};

class TComboBox : public TCustomComboBox {
    VIDUDO_CLASS(TComboBox, TCustomComboBox)
public:
    using TCustomComboBox::TCustomComboBox;
};

class TCustomListBox : public TCustomListControl {
    VIDUDO_CLASS(TCustomListBox, TCustomListControl)
public:
    explicit TCustomListBox(TComponent* owner);

protected:
    void CreateParams(TCreateParams& params) override;
    void WndProc(TMessage& message) override;
    UINT InsertMessage() const override { return LB_INSERTSTRING; }
    UINT DeleteMessage() const override { return LB_DELETESTRING; }
    UINT ResetMessage() const override { return LB_RESETCONTENT; }
    UINT GetSelMessage() const override { return LB_GETCURSEL; }
    UINT SetSelMessage() const override { return LB_SETCURSEL; }
};

class TListBox : public TCustomListBox {
    VIDUDO_CLASS(TListBox, TCustomListBox)
public:
    using TCustomListBox::TCustomListBox;
};

class TButtonControl : public TWinControl {
    VIDUDO_CLASS(TButtonControl, TWinControl)
public:
    explicit TButtonControl(TComponent* owner);

protected:
    void WndProc(TMessage& message) override;
    // BN_CLICKED from the window.
    virtual void Clicked() { Click(); }
};

class TButton : public TButtonControl {
    VIDUDO_CLASS(TButton, TButtonControl)
public:
    explicit TButton(TComponent* owner);
    TModalResult ModalResult = mrNone;
    bool Default() const { return default_; }
    void SetDefault(bool value);
    bool Cancel = false;
    void Click() override;

protected:
    void CreateParams(TCreateParams& params) override;
    void WndProc(TMessage& message) override;
    bool default_ = false;
};

enum class TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

class TCustomCheckBox : public TButtonControl {
    VIDUDO_CLASS(TCustomCheckBox, TButtonControl)
public:
    explicit TCustomCheckBox(TComponent* owner);
    bool Checked() const { return state_ == TCheckBoxState::cbChecked; }
    // A change fires OnClick, as a click would.
    void SetChecked(bool value) { SetState(value ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked); }
    TCheckBoxState State() const { return state_; }
    void SetState(TCheckBoxState state);
    bool AllowGrayed = false;
    // taRightJustify: the caption right of the box.
    TAlignment Alignment = TAlignment::taRightJustify;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateHandleDone() override;
    void Clicked() override;
    TCheckBoxState state_ = TCheckBoxState::cbUnchecked;
};

class TCheckBox : public TCustomCheckBox {
    VIDUDO_CLASS(TCheckBox, TCustomCheckBox)
public:
    using TCustomCheckBox::TCustomCheckBox;
};

class TRadioButton : public TButtonControl {
    VIDUDO_CLASS(TRadioButton, TButtonControl)
public:
    explicit TRadioButton(TComponent* owner);
    bool Checked() const { return checked_; }
    // Checking unchecks the other radio buttons of the parent and fires OnClick.
    void SetChecked(bool value);
    TAlignment Alignment = TAlignment::taRightJustify;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateHandleDone() override;
    void Clicked() override;
    bool checked_ = false;
};

class TCustomGroupBox : public TWinControl {
    VIDUDO_CLASS(TCustomGroupBox, TWinControl)
public:
    explicit TCustomGroupBox(TComponent* owner);

protected:
    bool HasOwnPaint() const override { return true; }
    void Paint(TCanvas& canvas) override;
    void WndProc(TMessage& message) override;
};

class TGroupBox : public TCustomGroupBox {
    VIDUDO_CLASS(TGroupBox, TCustomGroupBox)
public:
    using TCustomGroupBox::TCustomGroupBox;
};
