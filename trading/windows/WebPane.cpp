#include "trading/windows/WebPane.h"

#include <windows.h>

TWebPane::TWebPane(TComponent* owner) : TPanel(owner)
{
    BevelOuter = TPanelBevel::bvNone;
}

TWebPane::~TWebPane() = default;

// The embedded browser takes its place here once it is part of the program; until then a
// pane keeps the addresses only.
void TWebPane::Navigate(const std::string& url) { navigations_.push_back(url); }

bool TWebPane::HasHtmlDocument() { return false; }

bool TWebPane::WaitForHtmlDocument(unsigned) { return HasHtmlDocument(); }
