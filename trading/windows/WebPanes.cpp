#include "trading/windows/WebPanes.h"

#include "trading/connection/Base64.h"

std::string PercentEncode(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string AutologinURL(const std::string& site, const std::string& user, const std::string& password)
{
    return site + "/autologinforapp.php?username=" + PercentEncode(EncodeBase64(user)) +
           "&password=" + PercentEncode(EncodeBase64(password));
}

std::string HistoryOrdersURL(const std::string& site, const std::string& gid)
{
    return site + "/simulate_futures_forapp.php?do=lswt&ac=lswt&gid=" + PercentEncode(gid);
}

std::string HistoryTradesURL(const std::string& site, const std::string& gid)
{
    return site + "/simulate_futures_forapp.php?do=lswt&ac=lscj&gid=" + PercentEncode(gid);
}

std::string IndexURL(const std::string& site, const std::string& gid)
{
    return site + "/simulate_futures_forapp.php?ac=index&gid=" + PercentEncode(gid);
}

std::string PasswordURL(const std::string& site) { return site + "/cp.php?ac=password"; }
