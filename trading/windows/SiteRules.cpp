#include "trading/windows/SiteRules.h"

#include "framework/SysUtils.h"

bool IsValidPort(std::string_view text)
{
    const std::string t = Trim(text);
    if (t.empty() || t.size() > 5)
        return false;
    int value = 0;
    for (char c : t) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= 65535;
}

bool IsValidHost(std::string_view text)
{
    const std::string t = Trim(text);
    if (t.empty())
        return false;
    for (size_t i = 0; i < t.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(t[i]);
        // A GBK trail byte may be '@' (0x40): skip whole double-byte characters.
        if (GbkCharLength(t, i) == 2) {
            ++i;
            continue;
        }
        if (c <= ' ' || c == '/' || c == '@' || c == ':' || c == 0x7F)
            return false;
    }
    return true;
}

bool IsSocks4ProxyType(std::string_view type) { return SameText(type, "Socks4"); }

const char* ProxyTypeName(bool socks4) { return socks4 ? "Socks4" : "Socks5"; }

bool SiteAddress(const TSysInfo& info, int index, std::string& address)
{
    if (index < 0 || index >= info.Hosts.Count() || index >= info.Ports.Count())
        return false;
    if (!IsValidHost(info.Hosts[index]) || !IsValidPort(info.Ports[index]))
        return false;
    address = "http://" + Trim(info.Hosts[index]) + ":" + Trim(info.Ports[index]);
    return true;
}

std::string ServerURLOf(const std::string& siteAddress)
{
    return siteAddress + "/simulate_futures_app_server.php";
}

bool SelectedServerURL(const TSysInfo& info, std::string& url)
{
    std::string address;
    if (!SiteAddress(info, info.HostIdx, address))
        return false;
    url = ServerURLOf(address);
    return true;
}
