#pragma once
// The login button's decisions, apart from the window: what is saved, where the session
// points, what is sent and what the window does next. Needs no Win32.

#include <string>

#include "trading/connection/SysInfo.h"

// What the login window's controls hold when the button is clicked.
struct TLoginChoice {
    std::string userName;  // as typed
    std::string password;  // as typed
    int hostIndex = -1;    // selected site, -1 for none
    bool accountSelected = false;
    std::string accountValue;
    bool saveUser = false;  // the "记住账号" box
};

// The connection module's part in a login.
class ILoginSession {
public:
    virtual ~ILoginSession() = default;
    virtual void SaveSysinfo() = 0;
    virtual bool Login(const std::string& user, const std::string& password) = 0;
    virtual bool UpdateStarted() const = 0;
    virtual void ClearUpdateStarted() = 0;
};

enum class TLoginOutcome {
    NoAccount,   // nothing saved or sent
    Incomplete,  // choices saved; user name or password empty, nothing sent
    NoSite,      // choices saved; the chosen site gives no address, nothing sent
    Refused,     // sent; the window stays for another try
    LoggedIn,    // modal result OK
    Update,      // the updater runs; modal result cancel
};

// Stores the choices in info, saves them, points serverURL at the chosen site and logs in.
TLoginOutcome RunLogin(const TLoginChoice& choice, TSysInfo& info, std::string& serverURL, ILoginSession& session);
