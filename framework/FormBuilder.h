#pragma once
// Builders of forms place each control the way a streamed form definition does: owned by the
// form, then name, bounds and caption, and the parent last.

#include <string>

#include "framework/Controls.h"

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
