#pragma once
// The trading client's settings and their file "Client.ini" in the program's folder.

#include <string>

#include "framework/StringList.h"

class TFun;

class TSysInfo {
public:
    std::string AppName;
    std::string UserName;
    std::string LoginUser;    // memory only
    std::string LoginPasswd;  // memory only
    int HostCount = 0;
    TStringList HostNames;
    TStringList Hosts;
    TStringList Ports;
    int HostIdx = 0;
    std::string ProxyType;
    std::string ProxyServer;
    std::string ProxyPort;
    std::string ProxyUserName;
    std::string ProxyPasswd;
    bool SaveUserEnabled = false;
    bool ProxyEnabled = false;
    std::string VarietyTitle;
    std::string gid;
};

// The process's one configuration object, created with the connection module.
extern TSysInfo* SysInfo;

// Program folder + "Client.ini".
std::string ClientIniPath();

// Loads every keyed field in the file's order. A value that doesn't convert stops the reading
// there (earlier fields keep their new values), shows "读出配置文件出错,请重新安装软件!", posts a
// quit message and returns false. A missing file reads as defaults.
bool ReadSysinfoFile(TSysInfo& info, TFun& fun, const std::string& file);

// Writes every keyed field in order. A refused write shows "保存配置文件失败,请检查配置" and
// returns false; what was written before it stays.
bool SaveSysinfoFile(const TSysInfo& info, TFun& fun, const std::string& file);
