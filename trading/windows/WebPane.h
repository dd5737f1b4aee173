#pragma once
// A page of the service inside the main window: the embedded browser with every context menu
// suppressed.

#include <string>

#include "ui/browser/EmbeddedBrowser.h"

class TWebPane : public TEmbeddedBrowser {
    VIDUDO_CLASS(TWebPane, TEmbeddedBrowser)
public:
    explicit TWebPane(TComponent* owner);

    void Navigate(const std::string& url);
};
