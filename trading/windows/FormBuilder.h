#pragma once
// What the dialogs' builders share beyond placing controls.

#include <string>

#include "framework/FormBuilder.h"
#include "framework/Forms.h"

// Starts a bordered dialog centred on the main window.
inline void SetUpDialog(TForm& form, const std::string& name, const std::string& caption, int width, int height)
{
    form.SetName(name);
    form.SetText(caption);
    form.BorderStyle = TFormBorderStyle::bsDialog;
    form.Position = TPosition::poMainFormCenter;
    form.SetClientSize(width, height);
}
