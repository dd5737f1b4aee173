#pragma once
// What the windows' builders share: a control owned by its form, with parent, name, bounds
// and caption set in that order, as a streamed form sets them.

#include <string>

#include "framework/Forms.h"

template <class T>
T* Place(TComponent* owner, TWinControl* parent, const std::string& name, int x, int y, int w, int h,
         const std::string& caption = "")
{
    auto* c = new T(owner);
    c->SetName(name);
    c->SetBounds(x, y, w, h);
    if (!caption.empty())
        c->SetText(caption);
    c->SetParent(parent);
    return c;
}

// Starts a bordered dialog centred on the main window.
inline void SetUpDialog(TForm& form, const std::string& name, const std::string& caption, int width, int height)
{
    form.SetName(name);
    form.SetText(caption);
    form.BorderStyle = TFormBorderStyle::bsDialog;
    form.Position = TPosition::poMainFormCenter;
    form.SetClientSize(width, height);
}
