#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "crashreport/capture/ECore.h"
#include "framework/Exception.h"
#include "tests/crashreport/capture/FakePlatform.h"

TEST(Versions, NormaliseAndCompare)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"1.2", "00001.00002.00000.00000"},
        {"1.2.3.4", "00001.00002.00003.00004"},
        {"6.1.01 RC 1", "00006.00001.00001 RC 1.00000"},
        {"123456.7", "123456.00007.00000.00000"},
        {"", "00000.00000.00000.00000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.out, NormalizeVersionText(c.in)) << c.in;

    const struct {
        const char* oldVersion;
        const char* newVersion;
        bool newer;
    } compare[] = {
        {"1.2", "1.10", true}, {"1.10", "1.2", false}, {"1.2", "1.2.0.0", false},
        {"", "2.0", false},    {"2.0", "", false},     {"6.1.01 RC 1", "6.1.01", true},
    };
    for (const auto& c : compare)
        EXPECT_EQ(c.newer, IsNewerVersion(c.oldVersion, c.newVersion)) << c.oldVersion << " -> " << c.newVersion;
}

TEST(Variables, ExpandByTable)
{
    TFakePlatform platform;
    platform.environment = {{"UserName", "张三"}, {"Loop", "%UserName%"}, {"Empty", ""}};
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"%date%", "2026-12-10"},
        {"%TIME% at %Cd%", "13:45:00 at C:\\work"},
        {"abc%", "abc%"},
        {"a%%b", "ab"},
        {"%not here%", "%not here%"},
        {"%nothere%!", "!"},
        {"hi %UserName%.", "hi 张三."},
        {"%Loop%", "%UserName%"},  // values are not scanned again
        {"%Empty%", ""},
        {"100% of %", "100% of %"},
        {"東%UserName%表", "東张三表"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.out, ExpandTextVariables(c.in)) << c.in;

    platform.environment["Date"] = "the day";
    EXPECT_EQ("the day", ExpandTextVariables("%date%")) << "an environment variable wins";
}

TEST(Utf8, BufferSizesAndSequences)
{
    const char16_t ae[] = {u'a', 0xE9};
    const struct {
        size_t size;
        const char* bytes;  // what the buffer holds, terminator included
        size_t used;
    } cases[] = {
        {0, "", 0},
        {1, "", 1},
        {2, "a", 2},
        {3, "a", 2},  // 0xE9 needs two bytes and only one is left before the terminator
        {4, "a\xC3\xA9", 4},
        {10, "a\xC3\xA9", 4},
    };
    for (const auto& c : cases) {
        char buf[16];
        std::memset(buf, 'X', sizeof buf);
        const size_t used = Utf16ToUtf8Buffer(buf, c.size, ae, 2);
        EXPECT_EQ(c.used, used) << "size " << c.size;
        EXPECT_LE(used, c.size);
        if (c.size > 0) {
            EXPECT_EQ(std::string(c.bytes), std::string(buf)) << "size " << c.size;
        }
        for (size_t i = c.size; i < sizeof buf; ++i)
            EXPECT_EQ('X', buf[i]) << "wrote past the buffer at " << i << " for size " << c.size;
    }
    EXPECT_EQ(4u, Utf16ToUtf8Buffer(nullptr, 0, ae, 2));

    const char16_t grin[] = {0xD83D, 0xDE00, u'!'};
    char buf[8] = {};
    EXPECT_EQ(6u, Utf16ToUtf8Buffer(buf, sizeof buf, grin, 3));
    EXPECT_EQ(std::string("\xF0\x9F\x98\x80!"), std::string(buf));
    EXPECT_EQ(6u, Utf16ToUtf8Buffer(nullptr, 0, grin, 3));
    EXPECT_EQ(1u, Utf16ToUtf8Buffer(buf, 4, grin, 3)) << "four bytes don't fit in 4 with a terminator";
    EXPECT_EQ(std::string(), std::string(buf));
    const char16_t lone[] = {0xDC00};
    EXPECT_EQ(4u, Utf16ToUtf8Buffer(buf, sizeof buf, lone, 1));
    EXPECT_EQ(std::string("\xEF\xBF\xBD"), std::string(buf));
}

TEST(Texts, ReplaceFindAndSplit)
{
    EXPECT_EQ("abc", ReplaceAllText("abc", "", "x")) << "an empty search text changes nothing";
    EXPECT_EQ("xbxb", ReplaceAllText("abab", "a", "x"));
    EXPECT_EQ("aab", ReplaceAllText("ab", "a", "aa")) << "inserted text is not scanned again";
    // 東 is 96 7C: its trail byte is no "|".
    EXPECT_EQ("東;x", ReplaceAllText("東|x", "|", ";"));
    EXPECT_EQ(0u, FindTextFrom("|", "東", 1));
    EXPECT_EQ(3u, FindTextFrom("c", "abcabc", 1));
    EXPECT_EQ(6u, FindTextFrom("c", "abcabc", 4));
    EXPECT_EQ("app.exe", StripHostSuffix("app.vshost.exe"));

    TStringList fields;
    SplitTrimmedFields(MakeCharSet("|"), "|| a | 東方 ||b|  ", fields);
    ASSERT_EQ(4, fields.Count());
    EXPECT_EQ("a", fields[0]);
    EXPECT_EQ("東方", fields[1]);
    EXPECT_EQ("", fields[2]);
    EXPECT_EQ("b", fields[3]);

    TStringList dropped, kept, withEmpty;
    SplitTextAtChars(" a ; b;;c ", dropped, MakeCharSet(";"), false, false);
    EXPECT_EQ("a\r\nb\r\nc\r\n", dropped.Text());
    SplitTextAtChars("a;b;;c", kept, MakeCharSet(";"), true, false);
    EXPECT_EQ("a;\r\nb;\r\n;\r\nc\r\n", kept.Text());
    SplitTextAtChars("a;;b;", withEmpty, MakeCharSet(";"), false, true);
    EXPECT_EQ("a\r\n\r\nb\r\n", withEmpty.Text());
}

TEST(Texts, LeadByteWithoutTrailStaysSingle)
{
    // A lead byte pairs only with 0x40-0xFE but 0x7F; otherwise the next byte stands alone.
    const struct {
        const char* text;
        const char* search;
        size_t found;
        const char* replaced;
    } cases[] = {
        {"\x81,x", ",", 2, "\x81;x"},
        {"\xFE%", "%", 2, "\xFE;"},
        {"\x81\x7F|", "\x7F", 2, "\x81;|"},
        {"a\x81", "\x81", 2, "a;"},
        {"東|", "|", 3, "東;"},  // 7C is a real trail byte
        {"\x81\x40,", ",", 3, "\x81\x40;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.found, FindTextFrom(c.search, c.text, 1));
        EXPECT_EQ(c.replaced, ReplaceAllText(c.text, c.search, ";"));
    }
    EXPECT_EQ("\x81", ExpandTextVariables("\x81%%")) << "the percent signs are no trail bytes";
    TStringList fields;
    SplitTrimmedFields(MakeCharSet(";"), "\x81;a", fields);
    ASSERT_EQ(2, fields.Count());
    EXPECT_EQ("\x81", fields[0]);
}

TEST(Texts, FindInLongDoubleByteText)
{
    // Every 7C here is the trail of 東; only the final "|" stands alone.
    std::string text;
    for (int i = 0; i < 40000; ++i)
        text += "東";
    EXPECT_EQ(0u, FindTextFrom("|", text, 1));
    text += "|";
    EXPECT_EQ(text.size(), FindTextFrom("|", text, 1));
    EXPECT_EQ(text.size(), FindTextFrom("|", text, 7));
    EXPECT_EQ(0u, FindTextFrom("|", text, text.size() + 1));
}

// The search walks the text once: a text of 40000 double-byte characters whose every trail
// byte is the searched one takes well under a tenth of a second (a walk from the start for each
// candidate takes seconds).
TEST(Texts, FindInLongDoubleByteTextTakesOneWalk)
{
    std::string text;
    for (int i = 0; i < 40000; ++i)
        text += "東";
    text += "|";
    const char* scaleText = std::getenv("VIDUDO_TIME_SCALE");
    const double scale = scaleText && *scaleText ? std::max(1.0, std::atof(scaleText)) : 1.0;
    const std::clock_t start = std::clock();
    size_t found = 0;
    for (int i = 0; i < 5; ++i)
        found = FindTextFrom("|", text, 1);
    const double ms = 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    std::printf("[ FindTextFrom over %zu bytes, 5 times: %.2f ms ]\n", text.size(), ms);
    EXPECT_EQ(text.size(), found);
    EXPECT_LT(ms, 100.0 * scale);
}

TEST(Paths, SlashesNamesAndExtensions)
{
    const struct {
        const char* in;
        const char* include;
        const char* exclude;
        const char* path;
        const char* name;
        const char* ext;
    } cases[] = {
        {"C:\\a\\b.txt", "C:\\a\\b.txt\\", "C:\\a\\b.txt", "C:\\a\\", "b.txt", ".txt"},
        {"C:\\a\\", "C:\\a\\", "C:\\a", "C:\\a\\", "", ""},
        {"", "\\", "", "", "", ""},
        {"C:x.elf", "C:x.elf\\", "C:x.elf", "C:", "x.elf", ".elf"},
        // 予 is 95 5C in GBK: the trail byte is no separator.
        {"C:\\予", "C:\\予\\", "C:\\予", "C:\\", "予", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.include, IncludeTrailingSlash(c.in)) << c.in;
        EXPECT_EQ(c.exclude, ExcludeTrailingSlash(c.in)) << c.in;
        EXPECT_EQ(c.path, ExtractFilePath(c.in)) << c.in;
        EXPECT_EQ(c.name, ExtractFileName(c.in)) << c.in;
        EXPECT_EQ(c.ext, ExtractFileExt(c.in)) << c.in;
    }
    EXPECT_EQ("C:\\a.b\\c.elf", ChangeFileExt("C:\\a.b\\c.exe", ".elf"));
    EXPECT_EQ("C:\\a.b\\c", ChangeFileExt("C:\\a.b\\c", ""));
}

TEST(Folders, AppDataNeverALoneBackslash)
{
    EXPECT_EQ("C:\\Users\\a\\AppData", ChooseAppDataFolder({"C:\\Users\\a\\AppData", "X", "T", "P"}));
    EXPECT_EQ("C:\\env", ChooseAppDataFolder({"", "C:\\env\\", "T", "P"}));
    EXPECT_EQ("C:\\Temp", ChooseAppDataFolder({"", "", "C:\\Temp\\", "P"}));
    EXPECT_EQ("C:\\Program", ChooseAppDataFolder({"", " ", "", "C:\\Program\\"}));
    EXPECT_NE("\\", ChooseAppDataFolder({"", "", "", ""}));
}

TEST(Folders, ForceAndResolve)
{
    TFakePlatform platform;
    EXPECT_FALSE(ForceFolders(""));
    EXPECT_TRUE(ForceFolders("C:\\Program\\"));
    EXPECT_EQ(0, platform.folderCreations);
    EXPECT_TRUE(ForceFolders("D:\\logs\\a\\b\\"));
    EXPECT_TRUE(platform.FolderExists("D:\\logs\\a\\b"));
    EXPECT_EQ(2, platform.folderCreations);
    platform.readOnly.insert("C:\\Program");
    EXPECT_FALSE(ForceFolders("C:\\Program\\sub"));

    platform.environment["LOGS"] = "D:\\logs";
    std::string path = "%LOGS%\\x.ini";
    EXPECT_TRUE(ResolveAccessibleFilePath(path, false, false));
    EXPECT_EQ("D:\\logs\\x.ini", path);

    path = "C:\\Program\\x.ini";
    EXPECT_TRUE(ResolveAccessibleFilePath(path, false, false)) << "a read-only folder sends it to the data folder";
    EXPECT_EQ("C:\\AppData\\DuruvaDod\\x.ini", path);
    path = "C:\\Program\\x.elf";
    EXPECT_TRUE(ResolveAccessibleFilePath(path, true, false));
    EXPECT_EQ("C:\\AppData\\DuruvaDod\\Trader\\x.elf", path);

    path = "C:\\Program\\missing.ini";
    EXPECT_FALSE(ResolveAccessibleFilePath(path, false, true)) << "nothing to read anywhere";
    EXPECT_EQ("C:\\Program\\missing.ini", path);
    platform.files.insert("C:\\AppData\\DuruvaDod\\missing.ini");
    EXPECT_TRUE(ResolveAccessibleFilePath(path, false, true));
    EXPECT_EQ("C:\\AppData\\DuruvaDod\\missing.ini", path);
}

TEST(Numbers, DotTextAndDosTimes)
{
    TFakePlatform platform;  // decimal separator ","
    EXPECT_EQ(1.5, DotTextToFloat("1.5"));
    EXPECT_THROW(DotTextToFloat("1.5x"), EConvertError);
    EXPECT_EQ("0.25", FloatToDotText(0.25));
    EXPECT_EQ("-1E20", FloatToDotText(-1e20));
    // 2026-12-10 13:45:30: days since 1899-12-30 are 46366.
    const uint16_t date = static_cast<uint16_t>((2026 - 1980) << 9 | 12 << 5 | 10);
    const uint16_t time = static_cast<uint16_t>(13 << 11 | 45 << 5 | 15);
    EXPECT_DOUBLE_EQ(46366 + (13 * 3600 + 45 * 60 + 30) / 86400.0, DosDateTimeToDateTime(date, time));
    EXPECT_DOUBLE_EQ(29221.0, DosDateTimeToDateTime(1 << 5 | 1, 0)) << "1980-01-01";
    EXPECT_EQ(0.0, DosDateTimeToDateTime(static_cast<uint16_t>(2 << 5 | 30), 0)) << "February 30th";
}

namespace {
std::string notified;
std::string reported;
void Fails() { throw Exception("boom"); }
void FailsOddly() { throw 42; }
void Works() {}
void Notify(const std::string& text) { notified = text; }
void Report(const std::string& section, const std::string& text) { reported = section + "|" + text; }
}  // namespace

TEST(GuardedStep, ReportsAndGoesOn)
{
    SetInternalErrorProc(&Report);
    RunGuardedStep(&Fails, "EUnit.Init");
    EXPECT_EQ("EUnit.Init|Critical error at: \"EUnit.Init\"\r\nError: \"boom\".", reported);
    RunGuardedStep(&FailsOddly, "EUnit.Done");
    EXPECT_EQ("Critical error at: \"EUnit.Done\"\r\nError: \"General internal error.\".", LastCriticalErrorText());
    reported.clear();
    RunGuardedStep(&Works, "EUnit.Init");
    EXPECT_EQ("", reported);

    SetCriticalErrorNotifier(&Notify);
    RunGuardedStep(&Fails, "EUnit.Init");
    const std::string head = "EUnit.Init (Address: ";
    ASSERT_EQ(head.size() + 9, notified.size()) << notified;
    EXPECT_EQ(head, notified.substr(0, head.size()));
    EXPECT_EQ(std::string::npos, notified.substr(head.size(), 8).find_first_not_of("0123456789ABCDEF")) << notified;
    EXPECT_EQ("", reported) << "the notifier takes it alone";
    SetCriticalErrorNotifier(nullptr);
    SetInternalErrorProc(nullptr);
}

TEST(Ide, DetectedByTheMainModuleName)
{
    DetectRunningInIde("C:\\Zorbel\\bin\\zorbel32.exe");
    EXPECT_TRUE(IsRunningInIde());
    DetectRunningInIde("C:\\Zorbel\\bin\\Trader.exe");
    EXPECT_FALSE(IsRunningInIde());
}
