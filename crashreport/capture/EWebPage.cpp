#include "crashreport/capture/EWebPage.h"

#include <cstdio>
#include <random>

#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ECore.h"
#include "crashreport/capture/EUtils.h"
#include "framework/SysUtils.h"

const char* const WebPageOkButton =
    "<br><input type=button value=\"Ok\" OnClick=\"history.go(-1)\" "
    "style=\"width:75;height:25;z-index:100;font-style:normal;font-size:10pt;text-decoration:none;\">";

namespace {

constexpr std::string_view kTag = "<%HTML_TAG%>";

uint32_t RandomPageId()
{
    static std::mt19937 engine{std::random_device{}()};
    return static_cast<uint32_t>(engine());
}

TPageIdSource pageIdSource = RandomPageId;
uint32_t lastPageId = 0;

std::string CollapseControls(std::string_view text)
{
    std::string out;
    bool inRun = false;
    for (char c : text) {
        const bool control = static_cast<unsigned char>(c) < 32;
        if (!control) out += c;
        else if (!inRun) out += ' ';
        inRun = control;
    }
    return out;
}

}  // namespace

void SetPageIdSource(TPageIdSource source) { pageIdSource = source ? source : RandomPageId; }
uint32_t LastPageId() { return lastPageId; }

std::string WrapInHtmlLayout(std::string_view body, const TVurazaModuleOptions& options)
{
    std::string page = options.WebPageTemplate();
    if (Trim(CollapseControls(page)).empty()) page = DefaultWebPageTemplate;
    std::string lower = LowerCase(page);
    const size_t tag = lower.find(LowerCase(kTag));
    if (tag != std::string::npos) page.replace(tag, kTag.size(), kTag);
    const size_t open = lower.find("<title>");
    if (open == std::string::npos || lower.find("</title>", open) == std::string::npos) {
        // The title goes where the body goes, or first when the layout has no place for it.
        const std::string title = "<title>" + options.MessageText(3) + "</title>";
        page.insert(tag == std::string::npos ? 0 : tag, title);
    }
    page = ReplaceAllText(page, kTag, body);
    lastPageId = pageIdSource();
    char comment[48];
    std::snprintf(comment, sizeof comment, "<!-- DuruvaDod ID: %08X -->", lastPageId);
    return page + comment;
}

std::string GenerateHtmlPage(std::string_view text, bool withButton, const TVurazaModuleOptions& options)
{
    std::string body = HtmlEscape(text);
    if (withButton) body += WebPageOkButton;
    return WrapInHtmlLayout(body, options);
}

std::string WebErrorPage(std::string_view reportText, const TVurazaModuleOptions& options)
{
    std::string page = GenerateHtmlPage(reportText, true, options);
    // A template may spell the markup in capitals; the button must not appear twice.
    if (LowerCase(page).find(LowerCase(WebPageOkButton)) == std::string::npos) page += WebPageOkButton;
    return page;
}

std::string WebErrorPageHeader(size_t pageLength, bool withStatusLine)
{
    std::string header = withStatusLine ? "Status: 200 Error\r\n" : "";
    header += "Content-Type: text/html\r\nContent-Length: " + std::to_string(pageLength) + "\r\nContent:\r\n\r\n";
    return header;
}
