#pragma once
// Addresses of the service's pages for the web panes and the user's browser. Needs no Win32.

#include <string>
#include <string_view>

// Everything but letters, digits and "-._~" as "%XX", so Base64's "+", "/" and "=" survive
// a query string.
std::string PercentEncode(std::string_view text);

// site is "http://" + host + ":" + port of the chosen site.
std::string AutologinURL(const std::string& site, const std::string& user, const std::string& password);
std::string HistoryOrdersURL(const std::string& site, const std::string& gid);
std::string HistoryTradesURL(const std::string& site, const std::string& gid);
std::string IndexURL(const std::string& site, const std::string& gid);
std::string PasswordURL(const std::string& site);
