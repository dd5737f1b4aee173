// Program entry of the trading client.

#include <windows.h>

#include "framework/Dialogs.h"
#include "trading/connection/SysInfo.h"
#include "trading/connection/myFun.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    SetMessageBoxCaption("Vidudo模拟交易系统");
    static TSysInfo info;
    SysInfo = &info;
    TFun fun;
    ReadSysinfoFile(info, fun, ClientIniPath());
    return 0;
}
