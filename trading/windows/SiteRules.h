#pragma once
// What the login window and the site and proxy dialogs accept as a site or proxy address,
// and the server address built from the chosen site. Needs no Win32.

#include <string>
#include <string_view>

#include "trading/connection/SysInfo.h"

// Plain decimal 1-65535 once trimmed: no sign, no "$", no fraction.
bool IsValidPort(std::string_view text);
// Not empty once trimmed, and no "/", "@", ":" or blank inside: the text goes into an address
// between "http://" and ":port", so it must not reshape it.
bool IsValidHost(std::string_view text);

// "Socks4" in any case; every other value, empty included, means SOCKS 5.
bool IsSocks4ProxyType(std::string_view type);
const char* ProxyTypeName(bool socks4);  // "Socks4" or "Socks5"

// "http://" + host + ":" + port of site index, trimmed. False, and address untouched, when the
// index is outside the site lists or the site's host or port isn't usable.
bool SiteAddress(const TSysInfo& info, int index, std::string& address);
// The address every exchange posts to, for a site address.
std::string ServerURLOf(const std::string& siteAddress);
// ServerURL of the selected site (HostIdx); false, url untouched, when there is none.
bool SelectedServerURL(const TSysInfo& info, std::string& url);
