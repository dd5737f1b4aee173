#pragma once
// Small helpers of the framework's GUI tests: an application per test and control builders.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/Forms.h"

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override { app = std::make_unique<TApplication>(); }
    void TearDown() override
    {
        app.reset();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    std::unique_ptr<TApplication> app;
};

// Creates a control owned by the form, with its parent, name, bounds and caption set.
template <class T>
T* Make(TComponent* owner, TWinControl* parent, const std::string& name, int x, int y, int w, int h,
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
