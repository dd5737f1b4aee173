#pragma once
// The trackers' HTTP connection with its status shown in the send-progress window. The
// dialogue opens and closes it itself, so states 0, 1, 8 and 9 reach the display.

#include "crashreport/delivery/EHttpConnection.h"

class THTTPConnection : public THTTPConnectionBase {
public:
    using THTTPConnectionBase::THTTPConnectionBase;
    void ShowConnectionStatus(int state, int percent) override;
};
