#include "trading/windows/DialogRules.h"

#include "framework/SysUtils.h"
#include "trading/windows/SiteRules.h"

namespace {

const char kHostEmpty[] = "IP地址不能为空";
const char kPortInvalid[] = "端口号非法";
const char kFormat[] = "格式错误";
const char kPortWrong[] = "端口错误";

// The site dialog's and proxy dialog's verdict on a host and port.
TSiteCheck CheckAddress(const std::string& host, const std::string& port)
{
    if (Trim(host).empty())
        return {kHostEmpty, TSiteField::Host};
    if (!IsValidHost(host))
        return {kFormat, TSiteField::Host};
    if (!IsValidPort(port))
        return {kPortInvalid, TSiteField::Port};
    return {};
}

}  // namespace

TSiteCheck StoreSiteAddress(TSysInfo& info, int index, const std::string& host, const std::string& port)
{
    TSiteCheck check = CheckAddress(host, port);
    if (!check.message.empty())
        return check;
    if (index >= 0 && index < info.Hosts.Count() && index < info.Ports.Count()) {
        info.Hosts[index] = Trim(host);
        info.Ports[index] = Trim(port);
    }
    return check;
}

std::string AddSite(TSysInfo& info, const std::string& name, const std::string& host, const std::string& port)
{
    const std::string n = Trim(name), h = Trim(host), p = Trim(port);
    if (n.empty() || h.empty() || !IsValidHost(h))
        return kFormat;
    if (p.empty())
        return kFormat;
    if (!IsValidPort(p))
        return kPortWrong;
    info.HostNames.Add(n);
    info.Hosts.Add(h);
    info.Ports.Add(p);
    info.HostCount = info.HostNames.Count();
    return "";
}

TProxyCheck StoreProxy(TSysInfo& info, const TProxyInput& input)
{
    const TSiteCheck check = CheckAddress(input.server, input.port);
    if (!check.message.empty()) {
        if (input.enabled)
            return {check.message, check.focus};
        info.ProxyEnabled = false;
        return {};
    }
    info.ProxyType = ProxyTypeName(input.socks4);
    info.ProxyServer = Trim(input.server);
    info.ProxyPort = Trim(input.port);
    info.ProxyUserName = input.userName;
    info.ProxyPasswd = input.password;
    info.ProxyEnabled = input.enabled;
    return {};
}
