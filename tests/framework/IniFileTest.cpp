#include <gtest/gtest.h>

#include <windows.h>

#include "framework/CodePage.h"
#include "framework/IniFile.h"
#include "framework/Shell.h"

TEST(IniFile, ReadsWritesAndReportsRefusedWrites)
{
    const std::string file = ProgramFolder() + "inifile_test.ini";
    DeleteFileW(GbkToWide(file).c_str());
    TIniFile ini(file);
    EXPECT_EQ("fallback", ini.ReadString("S", "K", "fallback"));
    ini.WriteString("S", "K", "值東");
    EXPECT_EQ("值東", ini.ReadString("s", "k", ""));  // case-insensitive keys
    const std::string longValue(5000, 'v');
    ini.WriteString("S", "Long", longValue);
    EXPECT_EQ(longValue, ini.ReadString("S", "Long", ""));

    TIniFile nowhere("Z:\\proc\\no such folder\\x.ini");
    EXPECT_THROW(nowhere.WriteString("S", "K", "v"), EIniFileException);
    DeleteFileW(GbkToWide(file).c_str());
}

TEST(Shell, ProgramFolderEndsInBackslash)
{
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ('\\', folder.back());
}
