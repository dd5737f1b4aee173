#include "trading/windows/LoginFlow.h"

#include "framework/SysUtils.h"
#include "trading/windows/SiteRules.h"

TLoginOutcome RunLogin(const TLoginChoice& choice, TSysInfo& info, std::string& serverURL, ILoginSession& session)
{
    if (!choice.accountSelected)
        return TLoginOutcome::NoAccount;
    info.UserName = choice.userName;
    // The box, not the file: "设置代理" rereads the file and would drop an unsaved tick.
    info.SaveUserEnabled = choice.saveUser;
    if (choice.hostIndex >= 0)
        info.HostIdx = choice.hostIndex;
    info.gid = choice.accountValue;
    session.SaveSysinfo();
    session.ClearUpdateStarted();

    std::string url;
    const bool haveSite = choice.hostIndex >= 0 && SelectedServerURL(info, url);
    if (haveSite)
        serverURL = url;
    // One trimmed pair for the server and for the session's pages later.
    const std::string user = Trim(choice.userName);
    const std::string password = Trim(choice.password);
    if (user.empty() || password.empty())
        return TLoginOutcome::Incomplete;
    if (!haveSite)
        return TLoginOutcome::NoSite;
    if (session.Login(user, password)) {
        info.LoginUser = user;
        info.LoginPasswd = password;
        return TLoginOutcome::LoggedIn;
    }
    return session.UpdateStarted() ? TLoginOutcome::Update : TLoginOutcome::Refused;
}
