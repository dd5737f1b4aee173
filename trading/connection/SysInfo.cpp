#include "trading/connection/SysInfo.h"

#include <windows.h>

#include <algorithm>

#include "framework/Dialogs.h"
#include "framework/Shell.h"
#include "framework/SysUtils.h"
#include "trading/connection/myFun.h"

TSysInfo* SysInfo = nullptr;

namespace {

const char kApplication[] = "Application";
const char kNetWork[] = "NetWork";
// No one keeps more sites than this; a larger "HostCount" is damage, not a list.
const int kSiteLimit = 256;
// The default a read returns when the key is missing: no value in the file can be it.
const char kAbsent[] = "\x01absent\x01";

}  // namespace

std::string ClientIniPath() { return ProgramFolder() + "Client.ini"; }

bool ReadSysinfoFile(TSysInfo& info, TFun& fun, const std::string& file)
{
    try {
        auto read = [&](const char* section, const std::string& key, const std::string& fallback = "") {
            return fun.ReadIniString(file, section, key, fallback);
        };
        info.HostCount = StrToInt(read(kNetWork, "HostCount", "0"));
        info.HostNames.Clear();
        info.Hosts.Clear();
        info.Ports.Clear();
        info.VarietyTitle = read(kApplication, "VarietyTitle");
        info.AppName = read(kApplication, "AppName", "Vidudo期货模拟交易系统");
        info.gid = read(kApplication, "gid");
        // The sites the file really holds: the list ends at the first index with none of its keys.
        const int fileCount = info.HostCount;
        const int claimed = std::min(fileCount, kSiteLimit);
        for (int i = 0; i < claimed; ++i) {
            const std::string n = IntToStr(i);
            std::string name = read(kNetWork, "HostName" + n, kAbsent);
            std::string host = read(kNetWork, "Host" + n, kAbsent);
            std::string port = read(kNetWork, "Port" + n, kAbsent);
            if (name == kAbsent && host == kAbsent && port == kAbsent)
                break;
            for (std::string* value : {&name, &host, &port})
                if (*value == kAbsent)
                    value->clear();
            info.HostNames.Add(name);
            info.Hosts.Add(host);
            info.Ports.Add(port);
        }
        if (info.HostCount > info.HostNames.Count())
            info.HostCount = info.HostNames.Count();
        if (fileCount > 0)
            info.HostIdx = StrToInt(read(kNetWork, "HostIdx", "0"));
        info.ProxyType = read(kNetWork, "ProxyType");
        info.ProxyServer = read(kNetWork, "ProxyServer");
        info.ProxyPort = read(kNetWork, "ProxyPort");
        info.ProxyUserName = read(kNetWork, "ProxyUserName");
        info.ProxyPasswd = read(kNetWork, "ProxyPasswd");
        info.SaveUserEnabled = StrToBool(read(kApplication, "SaveUserEnabled", "false"));
        if (info.SaveUserEnabled)
            info.UserName = read(kApplication, "UserName");
        info.ProxyEnabled = StrToBool(read(kApplication, "ProxyEnabled", "false"));
        return true;
    } catch (const std::exception&) {
        ShowWarning("读出配置文件出错,请重新安装软件!");
        PostQuitMessage(0);
        return false;
    }
}

bool SaveSysinfoFile(const TSysInfo& info, TFun& fun, const std::string& file)
{
    try {
        auto write = [&](const char* section, const std::string& key, const std::string& value) {
            fun.WriteIniString(file, section, key, value);
        };
        write(kApplication, "SaveUserEnabled", BoolToStr(info.SaveUserEnabled));
        write(kApplication, "ProxyEnabled", BoolToStr(info.ProxyEnabled));
        write(kNetWork, "HostCount", IntToStr(info.HostNames.Count()));
        write(kNetWork, "HostIdx", IntToStr(info.HostIdx));
        write(kApplication, "gid", info.gid);
        write(kApplication, "UserName", info.SaveUserEnabled ? info.UserName : std::string());
        for (int i = 0; i < info.HostNames.Count(); ++i) {
            const std::string n = IntToStr(i);
            write(kNetWork, "HostName" + n, info.HostNames[i]);
            write(kNetWork, "Host" + n, i < info.Hosts.Count() ? info.Hosts[i] : std::string());
            write(kNetWork, "Port" + n, i < info.Ports.Count() ? info.Ports[i] : std::string());
        }
        write(kNetWork, "ProxyType", info.ProxyType);
        write(kNetWork, "ProxyServer", info.ProxyServer);
        write(kNetWork, "ProxyPort", info.ProxyPort);
        write(kNetWork, "ProxyUSerName", info.ProxyUserName);
        write(kNetWork, "ProxyPasswd", info.ProxyPasswd);
        return true;
    } catch (const std::exception&) {
        ShowWarning("保存配置文件失败,请检查配置");
        return false;
    }
}
