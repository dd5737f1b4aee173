#pragma once
// Helpers around the WebBrowser control: optional system libraries bound at run time, the
// process's proxy, the Explorer navigation sound, version tests and small window and text
// utilities. None of them raises: a missing library, key or resource gives a neutral answer.

#include <windows.h>

#include <string>

// HtmlHelpA of "hhctrl.ocx"; 0 when the library or the function is missing.
HWND HtmlHelpCall(HWND window, const std::string& file, UINT command, DWORD_PTR data);

// CoInternetSetFeatureEnabled / CoInternetIsFeatureEnabled of "URLMON.DLL"; E_NOTIMPL when
// either is missing (looked up again on the next call).
HRESULT SetInternetFeature(int feature, DWORD flags, bool enable);
HRESULT IsInternetFeatureEnabled(int feature, DWORD flags);
// Names the library the feature calls bind to; tests point it at one without the functions.
void SetFeatureLibraryName(const std::wstring& name);

// "SHDOCLC.DLL", taken from the loaded module when there is one; 0 when absent.
HMODULE BrowserResourceLibrary();

bool IsXpSp2OrNewer();

// The proxy of this process's URL moniker session ("host:port"); the previous settings are
// kept on the first change and put back by RestoreConnectionProxy.
bool ApplyConnectionProxy(const std::string& agent, const std::string& server);
bool ApplyConnectionProxyWithLogin(const std::string& agent, const std::string& server, const std::string& user,
                                   const std::string& password, int port);
bool RestoreConnectionProxy();
// The proxy server text this process set; empty when the previous settings stand.
std::string AppliedProxyServer();

// Moves "Navigating\.Current" of the Explorer sound scheme to "Old_Current" (mute) and back.
void SetNavigationSound(bool mute);

// "FileVersion" of ieframe.dll (else shdocvw.dll) in the system folder; empty on failure.
std::string BrowserFileVersion();
// The version text up to its first dot.
std::string BrowserMajorVersion();

HWND FindAncestorByClass(HWND window, const std::wstring& className);
std::wstring WindowClassNameW(HWND window);
std::string WindowTextA(HWND window);
int CharPosition(char ch, const std::string& text);
// Task-memory zero-terminated wide copies, for answers the browser frees.
wchar_t* TaskMemWideCopy(const std::string& gbk);
wchar_t* TaskMemWideCopyW(const std::wstring& text);
