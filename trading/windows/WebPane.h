#pragma once
// A page of the service inside the main window: the embedded browser with every context menu
// suppressed, keeping the addresses it was sent to in order.

#include <string>
#include <vector>

#include "ui/browser/EmbeddedBrowser.h"

class TWebPane : public TEmbeddedBrowser {
    VIDUDO_CLASS(TWebPane, TEmbeddedBrowser)
public:
    explicit TWebPane(TComponent* owner);

    void Navigate(const std::string& url);
    const std::vector<std::string>& Navigations() const { return navigations_; }

private:
    std::vector<std::string> navigations_;
};
