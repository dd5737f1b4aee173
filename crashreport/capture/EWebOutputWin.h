#pragma once
// The web output of a web-server build: what kind of web program this is, and the error page
// sent in place of the dialog through the ISAPI extension control block, on standard output
// for CGI, or into the WinCGI output file.

#include <windows.h>
#include <httpext.h>

#include <string>

class TVurazaModuleOptions;

bool IsIsapiExtension();
bool IsConsoleProgram();
bool IsCgiApplication();
bool IsWinCgiApplication();
// No framework of that kind exists here.
inline bool HasIntraWebHost() { return false; }
bool IsWebServerApplication();
bool IsWindowedApplication();

// The request being served, noted when the extension's entry is called; none outside it.
void SetServerExtensionControlBlock(EXTENSION_CONTROL_BLOCK* block);
EXTENSION_CONTROL_BLOCK* ServerExtensionControlBlock();
// Set while the error page goes out, so the write hook lets it through.
bool SendingWebErrorPage();

// The header and the page, through the channel of this kind of program; false when it failed.
bool WriteWebErrorPage(const std::string& page);
// The web output step: the page of the header and the report, kept as the last page, then
// sent. Returns whether the handling may go on.
bool ShowWebOutput(const std::string& reportText, const TVurazaModuleOptions& options);
// The last page the web output made.
const std::string& LastWebErrorPage();

// What the program sends to its web client becomes CapturedHtmlPage: a CGI program's standard
// output (kept by the report steps as it is written) and an extension's WriteClient, whose
// entry HttpExtensionProc is hooked to learn each request's control block. The reporter's
// own error page is not taken.
void CaptureStandardOutput(HANDLE file, const void* bytes, size_t count);
void InstallServerExtensionHook();
void RemoveServerExtensionHook();

// Creates the file's folder when needed; true when every byte was written.
bool WriteTextFile(const std::string& text, const std::string& fileName);
