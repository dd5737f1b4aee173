#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <regex>
#include <string>

#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EOptionsMapping.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/CodePage.h"

namespace {

class OptionsMapping : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallOptionsMapping();
        ClearLastWarning();
    }
    void TearDown() override
    {
        ClosePublishedOptions();
        ModuleOptionsHooks().publish = nullptr;
        ModuleOptionsHooks().readPublished = nullptr;
    }
    // A second handle on the program's mapping, as another module of the process would hold.
    static HANDLE OpenSecondHandle()
    {
        return OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, GbkToWide(OptionsMappingName(GetModuleHandleW(nullptr))).c_str());
    }
};

TEST_F(OptionsMapping, PublishThenLoadKeepsTheOptions)
{
    const std::string name = OptionsMappingName(GetModuleHandleW(nullptr));
    EXPECT_TRUE(std::regex_match(name, std::regex("^[0-9A-F]{16}$"))) << name;

    TVurazaModuleOptionsEx published(ModuleFileNameOf(nullptr));
    ASSERT_EQ(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)), published.ModuleHandle());
    // Each setter republishes: the program is the module that runs.
    published.SetMailSubject("报告 %date%");
    published.SetSmtpServer("127.0.0.1");
    published.SetSmtpServerPort(2525);
    published.SetFreezeTimeoutSeconds(17);
    published.SetMessageText(5, "第五条");
    HANDLE second = OpenSecondHandle();
    ASSERT_NE(nullptr, second) << "published under its name";
    CloseHandle(second);

    TVurazaModuleOptions loaded(ModuleFileNameOf(nullptr));
    OptionsStreamVersion = 6000;
    ASSERT_TRUE(LoadPublishedOptions(loaded));
    EXPECT_EQ(6101, OptionsStreamVersion);
    EXPECT_EQ("报告 %date%", loaded.MailSubject());
    EXPECT_EQ("127.0.0.1", loaded.SmtpServer());
    EXPECT_EQ(2525, loaded.SmtpServerPort());
    EXPECT_EQ(17, loaded.FreezeTimeoutSeconds());
    EXPECT_EQ("第五条", loaded.RawMessageText(5));
    EXPECT_EQ(TDuruvaDodErrorCode::eeNone, LastWarningCode()) << LastWarningText();

    // No mapping, nothing loaded.
    ClosePublishedOptions();
    TVurazaModuleOptions none(ModuleFileNameOf(nullptr));
    EXPECT_FALSE(LoadPublishedOptions(none));
}

TEST_F(OptionsMapping, LargerRepublishWithASecondHandleOpenIsRefused)
{
    TVurazaModuleOptionsEx options(ModuleFileNameOf(nullptr));
    options.SetMailBody("short");
    HANDLE second = OpenSecondHandle();
    ASSERT_NE(nullptr, second);
    auto* view = static_cast<uint8_t*>(MapViewOfFile(second, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(nullptr, view);
    uint32_t before = 0;
    std::memcpy(&before, view, 4);

    options.SetMailBody(std::string(20000, 'x'));  // far past the mapping's pages
    EXPECT_EQ(TDuruvaDodErrorCode::eeOptionsError, LastWarningCode());
    uint32_t after = 0;
    std::memcpy(&after, view, 4);
    EXPECT_EQ(before, after) << "the mapping kept its size and contents";

    TVurazaModuleOptions loaded(ModuleFileNameOf(nullptr));
    ASSERT_TRUE(LoadPublishedOptions(loaded));
    EXPECT_EQ("short", loaded.MailBody()) << "the last options that fitted";

    // Smaller ones fit again.
    ClearLastWarning();
    options.SetMailBody("tiny");
    EXPECT_EQ(TDuruvaDodErrorCode::eeNone, LastWarningCode()) << LastWarningText();
    ASSERT_TRUE(LoadPublishedOptions(loaded));
    EXPECT_EQ("tiny", loaded.MailBody());
    UnmapViewOfFile(view);
    CloseHandle(second);
}

TEST_F(OptionsMapping, StoredSizePastTheViewIsRefused)
{
    TVurazaModuleOptionsEx options(ModuleFileNameOf(nullptr));
    options.SetMailBody("body");
    HANDLE second = OpenSecondHandle();
    ASSERT_NE(nullptr, second);
    auto* view = static_cast<uint8_t*>(MapViewOfFile(second, FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(nullptr, view);
    for (uint32_t bad : {0x7FFFFFFFu, 0xFFFFFFFFu, 0x10000u}) {
        SCOPED_TRACE(bad);
        std::memcpy(view, &bad, 4);
        ClearLastWarning();
        TVurazaModuleOptions loaded(ModuleFileNameOf(nullptr));
        EXPECT_FALSE(LoadPublishedOptions(loaded));
        EXPECT_EQ(TDuruvaDodErrorCode::eeOptionsError, LastWarningCode());
        EXPECT_EQ("", loaded.MailBody());
    }
    UnmapViewOfFile(view);
    CloseHandle(second);
}

}  // namespace
