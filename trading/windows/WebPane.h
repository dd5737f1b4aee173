#pragma once
// A page of the service inside the main window: the place the embedded browser fills, with
// the addresses it was sent to in order.

#include <string>
#include <vector>

#include "framework/ExtCtrls.h"

class TWebPane : public TPanel {
    VIDUDO_CLASS(TWebPane, TPanel)
public:
    explicit TWebPane(TComponent* owner);
    ~TWebPane() override;

    void Navigate(const std::string& url);
    bool HasHtmlDocument();
    // Pumps messages until a document is there, at most timeoutMs; false when none came.
    bool WaitForHtmlDocument(unsigned timeoutMs);

    const std::vector<std::string>& Navigations() const { return navigations_; }

private:
    std::vector<std::string> navigations_;
};
