#include "crashreport/delivery/EHttpForm.h"

#include "crashreport/delivery/EWebText.h"
#include "framework/Exception.h"
#include "framework/SysUtils.h"

namespace {

bool ContainsNoCase(std::string_view text, std::string_view what)
{
    return LowerCase(text).find(LowerCase(what)) != std::string::npos;
}

int DeleteField(TStringList& list, std::string_view name)
{
    for (int i = 0; i < list.Count(); ++i) {
        const std::string& line = list[i];
        if (line.size() > name.size() && line[name.size()] == '=' && SameText(std::string_view(line).substr(0, name.size()), name)) {
            list.Delete(i);
            return i;
        }
    }
    return -1;
}

}  // namespace

void THTTPResponse::Assign(const THTTPResponse* source)
{
    if (!source)
        throw Exception("Cannot assign a THTTPResponse class to a NIL value.");
    *this = *source;
}

void THTTPResponse::Clear() { *this = THTTPResponse(); }

THTTPFormConnection::THTTPFormConnection() : response_(std::make_unique<THTTPResponse>()) {}

THTTPFormConnection::~THTTPFormConnection() noexcept = default;

void THTTPFormConnection::SetAddresses(const std::string& serverUrl, const std::string& proxy)
{
    std::string scheme, path;
    SplitUrl(serverUrl, scheme, UserName, Password, Host, path, Port);
    path = path.substr(0, path.find('?'));
    if (path.empty() || path.back() != '/')
        path += '/';
    BasePath = path;
    UseHTTPS = SameText(scheme, "https");
    if (Port == 0)
        Port = UseHTTPS ? 443 : 80;
    UseProxy = !proxy.empty() && proxy[0] != ':';
    if (UseProxy) {
        std::string proxyScheme, proxyPath;
        SplitUrl(proxy, proxyScheme, ProxyUserName, ProxyPassword, ProxyHost, proxyPath, ProxyPort);
        if (ProxyPort == 0)
            ProxyPort = 8080;
    }
}

void THTTPFormConnection::SetRequestPage(std::string_view page, int method)
{
    Path = BasePath + std::string(page);
    RequestMethod = method;
    Fields.Clear();
    Files.Clear();
}

void THTTPFormConnection::AddFormField(std::string_view name, std::string_view value)
{
    Fields.Add(std::string(name) + "=" + std::string(value));
}

void THTTPFormConnection::AddFormFile(std::string_view name, std::string_view path)
{
    Files.Add(std::string(name) + "=" + std::string(path));
}

void THTTPFormConnection::CopyFormFields(const TStringList& list)
{
    if (list.Count() < 5)
        return;
    for (int i = 0; i < list.Count() - 4; ++i) {
        const std::string& line = list[i];
        DeleteField(Fields, std::string_view(line).substr(0, line.find('=')));
        Fields.Add(line);
    }
}

void THTTPFormConnection::CopyPageInput(std::string_view name)
{
    std::string value;
    if (response_ && FindInputValue(response_->Body, name, value))
        AddFormField(name, value);
}

void THTTPFormConnection::CopyPageTextArea(std::string_view name)
{
    std::string value;
    if (response_ && FindTextAreaValue(response_->Body, name, value))
        AddFormField(name, value);
}

void THTTPFormConnection::CopyPageSelect(std::string_view name)
{
    std::string value;
    if (!response_)
        return;
    if (FindSelectedValue(response_->Body, name, value))
        AddFormField(name, value);
    else
        CopyPageInput(name);
}

void THTTPFormConnection::CopyPageSelectIfSet(std::string_view name)
{
    std::string value;
    if (!response_)
        return;
    if (FindSelectedValue(response_->Body, name, value)) {
        if (!value.empty())
            AddFormField(name, value);
    } else {
        CopyPageInput(name);
    }
}

void THTTPFormConnection::CopyPageOption(std::string_view name, std::string_view optionText)
{
    std::string value;
    if (!response_)
        return;
    // A text that matches no option falls back to the selected one: an empty value would have
    // the tracker refuse the report.
    if (!FindOptionValue(response_->Body, name, optionText, value))
        return;
    if (value.empty())
        FindSelectedValue(response_->Body, name, value);
    AddFormField(name, value);
}

bool THTTPFormConnection::BumpPageCounter(std::string_view name)
{
    std::string value;
    if (!response_ || !FindInputValue(response_->Body, name, value))
        return false;
    if (!BumpCounterText(value))
        return false;
    AddFormField(name, value);
    return true;
}

void THTTPFormConnection::AddSummaryField(std::string_view name, std::string_view a, std::string_view b,
                                          std::string_view c)
{
    AddFormField(name, "[v" + std::string(a) + " - 1]: " + std::string(b) + " (" + std::string(c) + ")");
}

void THTTPFormConnection::AddSearchField(std::string_view name, std::string_view a, std::string_view b)
{
    AddFormField(name, std::string(a) + " (" + std::string(b) + ")");
}

bool THTTPFormConnection::PageIs(std::string_view pageName, std::string_view mustContain,
                                 std::string_view mustNotContain) const
{
    if (!usable_)
        return false;
    if (!pageName.empty() && !SameText(pageName, response_->PageName))
        return false;
    if (!mustContain.empty() && !ContainsNoCase(response_->Body, mustContain))
        return false;
    return mustNotContain.empty() || !ContainsNoCase(response_->Body, mustNotContain);
}

