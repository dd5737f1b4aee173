#pragma once
// A visible top-level window under the test's X display, with child controls to paint on
// and read back with GetPixel on the control's own DC.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

std::string HexColour(COLORREF c);
// The pixel at (x, y) of the window's client DC.
COLORREF WindowPixel(HWND wnd, int x, int y);

class XPPaintFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;
    // A child of the test window at (x, y), size w x h; class and text are wide.
    HWND Child(const wchar_t* cls, DWORD style, int x, int y, int w, int h, const wchar_t* text = L"");
    static void Pump();
    static HWND form_;  // one window per suite: creating one under Wine takes a while
};
