#pragma once
// The HTML page a web-server build sends in place of the exception dialog, and the header
// lines that go before it on the wire.

#include <cstdint>
#include <string>
#include <string_view>

class TVurazaModuleOptions;

extern const char* const WebPageOkButton;

// A fresh 32-bit page identifier; tests may set their own source.
using TPageIdSource = uint32_t (*)();
void SetPageIdSource(TPageIdSource source);
uint32_t LastPageId();

// The layout is the options' template, or the default one when that is blank.
std::string WrapInHtmlLayout(std::string_view body, const TVurazaModuleOptions& options);
std::string GenerateHtmlPage(std::string_view text, bool withButton, const TVurazaModuleOptions& options);
// The page of the web output: the button appended when the layout left it out.
std::string WebErrorPage(std::string_view reportText, const TVurazaModuleOptions& options);
// What goes before the page: a "Status:" line for CGI and WinCGI only (ISAPI sends the status
// through the server).
std::string WebErrorPageHeader(size_t pageLength, bool withStatusLine);

