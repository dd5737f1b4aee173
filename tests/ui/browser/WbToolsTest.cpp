// Browser tools against Wine's real urlmon, wininet, registry and ieframe.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>

#include "ui/browser/WbTools.h"

namespace {

const wchar_t* kNavigating = L"AppEvents\\Schemes\\Apps\\Explorer\\Navigating";

bool Exists(const std::wstring& sub)
{
    HKEY key = nullptr;
    const std::wstring path = std::wstring(kNavigating) + L"\\" + sub;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::wstring SoundFile(const std::wstring& sub)
{
    wchar_t data[MAX_PATH] = {};
    DWORD size = sizeof data;
    const std::wstring path = std::wstring(kNavigating) + L"\\" + sub;
    RegGetValueW(HKEY_CURRENT_USER, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, data, &size);
    return data;
}

TEST(WbToolsTest, NavigationSoundMovesBetweenCurrentAndOldCurrent)
{
    SHDeleteKeyW(HKEY_CURRENT_USER, kNavigating);
    HKEY key = nullptr;
    const std::wstring current = std::wstring(kNavigating) + L"\\.Current";
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, current.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"click.wav"), 20);
    RegCloseKey(key);

    struct { bool mute; bool current; bool old; } steps[] = {
        {true, false, true},   // moved away
        {true, false, true},   // twice: still one Old_Current
        {false, true, false},  // moved back
        {false, true, false},  // no Old_Current: nothing changes
    };
    for (const auto& s : steps) {
        SetNavigationSound(s.mute);
        EXPECT_EQ(s.current, Exists(L".Current")) << "mute=" << s.mute;
        EXPECT_EQ(s.old, Exists(L"Old_Current")) << "mute=" << s.mute;
        EXPECT_EQ(L"click.wav", SoundFile(s.current ? L".Current" : L"Old_Current"));
    }
    SHDeleteKeyW(HKEY_CURRENT_USER, kNavigating);
}

TEST(WbToolsTest, InternetFeatureOnTheRealUrlmonAndWithoutIt)
{
    EXPECT_EQ(S_OK, SetInternetFeature(21, 2, true));
    EXPECT_EQ(S_OK, IsInternetFeatureEnabled(21, 2));
    EXPECT_EQ(S_OK, SetInternetFeature(21, 2, false));
    EXPECT_EQ(S_FALSE, IsInternetFeatureEnabled(21, 2));

    SetFeatureLibraryName(L"kernel32.dll");  // loads, but has no feature functions
    EXPECT_EQ(E_NOTIMPL, SetInternetFeature(21, 2, true));
    EXPECT_EQ(E_NOTIMPL, IsInternetFeatureEnabled(21, 2));
    SetFeatureLibraryName(L"no-such-library.dll");
    EXPECT_EQ(E_NOTIMPL, IsInternetFeatureEnabled(0, 2));
    SetFeatureLibraryName(L"URLMON.DLL");
    EXPECT_EQ(S_OK, SetInternetFeature(21, 2, true));
}

TEST(WbToolsTest, BrowserVersionFromIeframe)
{
    const std::string version = BrowserFileVersion();
    ASSERT_FALSE(version.empty());
    const std::string major = BrowserMajorVersion();
    EXPECT_EQ(version.substr(0, version.find('.')), major);
    EXPECT_FALSE(major.empty());
    EXPECT_TRUE(major.find_first_not_of("0123456789") == std::string::npos) << major;
}

TEST(WbToolsTest, ProxyIsProcessLocalKeepsThePortAndRestores)
{
    // Wine's urlmon refuses the session option and its PRECONFIG sessions ignore WinInet's
    // process setting, so this checks what is set, not a request through it.
    struct { const char* server; const char* user; int port; const char* applied; } cases[] = {
        {"127.0.0.1:3128", "", 0, "127.0.0.1:3128"},
        {"127.0.0.1", "user", 8080, "127.0.0.1:8080"},
        {"127.0.0.1:9000", "user", 8080, "127.0.0.1:9000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server);
        const bool applied = *c.user ? ApplyConnectionProxyWithLogin("agent", c.server, c.user, "secret", c.port)
                                     : ApplyConnectionProxy("agent", c.server);
        ASSERT_TRUE(applied);
        EXPECT_EQ(c.applied, AppliedProxyServer());
    }
    ASSERT_TRUE(RestoreConnectionProxy());
    EXPECT_EQ("", AppliedProxyServer());
}

TEST(WbToolsTest, WindowAndTextUtilities)
{
    HWND top = CreateWindowExW(0, L"STATIC", L"\x4E2D\x6587", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                               nullptr, nullptr);
    HWND mid = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD, 0, 0, 5, 5, top, nullptr, nullptr, nullptr);
    HWND leaf = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 5, 5, mid, nullptr, nullptr, nullptr);
    EXPECT_EQ(top, FindAncestorByClass(leaf, L"Static"));
    EXPECT_EQ(nullptr, FindAncestorByClass(leaf, L"static"));  // case counts
    EXPECT_EQ(nullptr, FindAncestorByClass(leaf, L"Edit"));    // the window itself doesn't
    EXPECT_EQ(L"Edit", WindowClassNameW(leaf));
    EXPECT_EQ(L"", WindowClassNameW(nullptr));
    EXPECT_EQ("\xD6\xD0\xCE\xC4", WindowTextA(top));
    DestroyWindow(top);

    struct { char ch; const char* text; int at; } cases[] = {{'N', "N", 1}, {'b', "abc", 2}, {'x', "abc", 0}, {'a', "", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(c.at, CharPosition(c.ch, c.text)) << c.text;

    wchar_t* copy = TaskMemWideCopy("\xD6\xD0");
    ASSERT_NE(nullptr, copy);
    EXPECT_STREQ(L"\x4E2D", copy);
    CoTaskMemFree(copy);
}

}  // namespace
