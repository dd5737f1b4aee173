#include <gtest/gtest.h>

#include "framework/CodePage.h"
#include "tests/support/UiDriver.h"

namespace {

std::string ProbePath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path);
    return WideToGbk(p.substr(0, p.find_last_of(L"\\/") + 1) + L"driver_probe.exe");
}

}  // namespace

TEST(UiDriver, ReadsNamedControlsAndListRowsOfAnotherProgram)
{
    ui::Program probe(ProbePath(), "");
    HWND form = probe.WaitForWindow("ProbeForm");
    ASSERT_NE(nullptr, form) << "the probe shows no form; GetLastError=" << GetLastError();
    EXPECT_EQ("探针", ui::WindowText(form));
    HWND edit = ui::FindByName("edit", nullptr, probe.Pid());
    ASSERT_NE(nullptr, edit);
    EXPECT_EQ("用户名", ui::WindowText(edit));
    EXPECT_EQ("edit", ui::ComponentName(edit));
    HWND rows = ui::FindByName("ROWS", form);
    ASSERT_NE(nullptr, rows) << "names are found without regard to case";
    EXPECT_EQ((std::vector<std::string>{"合约", "价格"}), ui::ListViewColumns(rows));
    const std::vector<std::vector<std::string>> expected = {{"cu1005", "3500"}, {"大豆", "3500"}};
    EXPECT_EQ(expected, ui::ListViewRows(rows));
    EXPECT_EQ(nullptr, ui::FindMessageBox(probe.Pid()));
    PostMessageW(form, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, probe.Wait(10000)) << "closing the main form ends the program";
}
