#include "trading/windows/WebPane.h"

#include "framework/CodePage.h"

TWebPane::TWebPane(TComponent* owner) : TEmbeddedBrowser(owner)
{
    DisabledPopupMenus.Include(TIEPopupMenu::rcmAll);
}

void TWebPane::Navigate(const std::string& url)
{
    // A pane whose control couldn't be created stays empty; the window goes on without it.
    try {
        TEmbeddedBrowser::Navigate(GbkToWide(url));
    } catch (...) {
    }
}
