#pragma once
// The checks and stores of the site, add-site and proxy dialogs, apart from their windows.
// Each returns the text of the box to show, empty when the input was taken. Needs no Win32.

#include <string>

#include "trading/connection/SysInfo.h"

enum class TSiteField { None, Host, Port };

struct TSiteCheck {
    std::string message;  // empty: stored
    TSiteField focus = TSiteField::None;
};

// Site dialog: stores the trimmed host and port into site index (nothing when index is no
// site). The caller saves when the message is empty.
TSiteCheck StoreSiteAddress(TSysInfo& info, int index, const std::string& host, const std::string& port);

// Add-site dialog: appends the trimmed texts as a new site and sets HostCount.
std::string AddSite(TSysInfo& info, const std::string& name, const std::string& host, const std::string& port);

struct TProxyInput {
    bool enabled = false;
    bool socks4 = false;
    std::string server, port, userName, password;  // as typed
};

struct TProxyCheck {
    std::string message;  // empty: something was stored and the dialog may close
    TSiteField focus = TSiteField::None;  // Host: the server edit
};

// Proxy dialog. Valid input stores every field (server and port trimmed). Invalid input with
// the switch off still stores the switch, so "off" always sticks; with the switch on it
// stores nothing and names the box to show.
TProxyCheck StoreProxy(TSysInfo& info, const TProxyInput& input);
