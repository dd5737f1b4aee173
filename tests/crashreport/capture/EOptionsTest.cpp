#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include <zlib.h>

#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EOptionsResource.h"
#include "tests/crashreport/capture/FakePlatform.h"

namespace {

// Counts what the running module's options publish.
class TCountingOptions : public TVurazaModuleOptions {
public:
    using TVurazaModuleOptions::TVurazaModuleOptions;
    void PublishOptions() override { ++published; }
    int published = 0;
};

std::string Saved(const TVurazaModuleOptions& o)
{
    TByteWriter w;
    o.SaveToStream(w);
    return w.Data();
}

}  // namespace

TEST(Options, DefaultsSurviveTheirOwnStream)
{
    TFakePlatform platform;
    TVurazaModuleOptions a("C:\\Program\\Trader.exe");
    EXPECT_EQ(0x400000u, a.ModuleHandle());
    EXPECT_EQ(2, a.DialogKind());
    EXPECT_EQ(0x18F, a.DialogFlags());
    EXPECT_EQ(0x51, a.SendFlags());
    EXPECT_EQ(32, a.LogReportLimit());
    EXPECT_EQ(8080, a.ProxyServerPort());
    EXPECT_EQ(AllReportFields, a.ReportFieldVisibility());
    EXPECT_EQ("English", a.TextCollectionName());
    EXPECT_EQ(0u, a.WebPageTemplate().find("<html>\r\n  <head>\r\n"));
    EXPECT_EQ(std::string::npos, a.WebPageTemplate().find("</html>\r\n"));
    EXPECT_TRUE(a.ReporterActive());
    EXPECT_EQ(0, a.ChangeLockCount());
    EXPECT_EQ(0u, TVurazaModuleOptions("").ModuleHandle());

    a.ExceptionFilters().Add(TExceptionFilter{true, "EAccessViolation", "msg", 1, 4, 2, 3});
    const std::string stream = Saved(a);
    TVurazaModuleOptions b("");
    b.SetDialogKind(0);
    OptionsStreamVersion = 6000;
    TByteReader reader(stream);
    b.LoadFromStream(reader);
    EXPECT_EQ(0u, reader.Left());
    EXPECT_EQ(stream, Saved(b));
    EXPECT_EQ(2, b.DialogKind());
    ASSERT_EQ(1, b.ExceptionFilters().Count());
    EXPECT_EQ("EAccessViolation", b.ExceptionFilters().Items(0).ClassName);
}

TEST(Options, ScrambledTextDropsOneFinalLineBreak)
{
    const struct {
        const char* in;
        const char* stored;
    } cases[] = {
        {"a\r\n", "a"}, {"\r\n", ""}, {"x", "x"}, {"\r", "\r"}, {"a\r\nb\r\n", "a\r\nb\r\n"},
        {"a\r\n\r\n", "a\r\n\r\n"}, {"東方\r\n", "東方"},
    };
    for (const auto& c : cases) {
        TByteWriter w;
        WriteScrambledText(w, c.in);
        const std::string& bytes = w.Data();
        ASSERT_GE(bytes.size(), 4u);
        if (*c.stored) {
            EXPECT_NE(std::string(c.stored), bytes.substr(4)) << "not scrambled: " << c.in;
        }
        TByteReader r(bytes);
        EXPECT_EQ(c.stored, ReadScrambledText(r)) << c.in;
    }
}

TEST(Options, SettersClampNonsense)
{
    TVurazaModuleOptions o("");
    o.SetLogReportLimit(0);
    EXPECT_EQ(1, o.LogReportLimit());
    o.SetLogReportLimit(-5);
    EXPECT_EQ(1, o.LogReportLimit());

    o.SetFreezeWatchEnabled(true);
    o.SetFreezeTimeoutSeconds(0);
    EXPECT_FALSE(o.FreezeWatchEnabled()) << "a timeout below 1 switches the watch off";
    o.SetFreezeTimeoutSeconds(std::numeric_limits<int32_t>::max());
    EXPECT_EQ(int64_t{2147483647} * 1000, o.FreezeTimeoutMilliseconds());
    o.SetFreezeTimeoutSeconds(60);
    EXPECT_EQ(60000, o.FreezeTimeoutMilliseconds());

    o.SetCrashRateAction(1);
    o.SetCrashRateCount(0);
    EXPECT_EQ(0, o.CrashRateAction()) << "no count switches the crash-rate check off";
    o.SetReportFieldVisibility(~uint64_t{0});
    EXPECT_EQ(AllReportFields, o.ReportFieldVisibility());
}

TEST(Options, ListedStackKindsFollowTheStackFlags)
{
    const struct {
        uint8_t flags;
        uint32_t kinds;
    } cases[] = {{0x00, 0x10}, {0x01, 0x14}, {0x02, 0x18}, {0x03, 0x1C}, {0x0F, 0x1C}, {0xFC, 0x10}};
    TVurazaModuleOptions o("");
    for (const auto& c : cases) {
        o.SetStackFlags(c.flags);
        EXPECT_EQ(c.kinds, o.ListedStackKinds()) << "StackFlags " << int(c.flags);
    }
}

TEST(Options, ChangeBlocksPublishOnceAndOnlyForTheRunningModule)
{
    TFakePlatform platform;
    TCountingOptions own("C:\\Program\\Trader.exe");
    TCountingOptions other("C:\\Program\\Other.dll");
    own.published = other.published = 0;

    own.SetSmtpServer("a");
    EXPECT_EQ(1, own.published);
    own.BeginChange();
    own.BeginChange();
    own.SetSmtpServer("b");
    own.SetMessageText(3, "x");
    own.EndChange();
    EXPECT_EQ(1, own.published);
    own.EndChange();
    own.Changed();
    EXPECT_EQ(2, own.published);

    own.SetDefaults();
    EXPECT_EQ(3, own.published) << "SetDefaults publishes once";
    TCountingOptions source("");
    own.Assign(&source);
    EXPECT_EQ(4, own.published) << "Assign publishes once";
    TByteReader empty("");
    own.LoadFromStream(empty);
    EXPECT_EQ(5, own.published) << "a failed load still closes its block";
    EXPECT_EQ(0, own.ChangeLockCount());

    other.SetSmtpServer("a");
    other.SetDefaults();
    EXPECT_EQ(0, other.published);
}

TEST(Options, AssignCopiesAllButIdentity)
{
    TFakePlatform platform;
    TVurazaModuleOptions source("C:\\Program\\Other.dll");
    source.SetSmtpServer("smtp");
    source.SetCrashRateMinutes(9);
    source.SetLeakFlags(0x01);
    source.SetReproduceStepsText("steps");
    source.SetReporterActive(false);
    source.SetMessageText(17, "好");
    source.ExceptionFilters().Add(TExceptionFilter{true, "EFoo", "", 0, 0, 2, 0});

    TVurazaModuleOptions target("C:\\Program\\Trader.exe");
    target.Assign(&source);
    EXPECT_EQ("smtp", target.SmtpServer());
    EXPECT_EQ(9, target.CrashRateMinutes());
    EXPECT_EQ(0x01, target.LeakFlags());
    EXPECT_EQ("steps", target.ReproduceStepsText());
    EXPECT_TRUE(target.ReporterActive()) << "not copied";
    EXPECT_EQ("C:\\Program\\Trader.exe", target.ModuleFileName());
    EXPECT_EQ(0x400000u, target.ModuleHandle());
    EXPECT_EQ("好", target.MessageText(17));
    EXPECT_EQ(1, target.ExceptionFilters().Count());

    try {
        target.Assign(nullptr);
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_EQ("Impossible to assign nil as TVurazaModuleOptions.", e.Message());
    }
    target.Assign(&target);
    EXPECT_EQ("smtp", target.SmtpServer());
}

TEST(Options, FieldVisibilityOfOlderStreams)
{
    // The digits worked by hand: 48 zero digits with the runs inserted, the first 48 kept.
    auto spelled = [](std::initializer_list<std::pair<int, const char*>> runs, uint64_t stored) {
        std::string digits;
        for (int i = 0; i < 48; ++i)
            digits += stored >> i & 1 ? '1' : '0';
        for (auto [pos, run] : runs)
            digits.insert(static_cast<size_t>(pos - 1), run);
        uint64_t bits = 0;
        for (int i = 0; i < 48; ++i)
            if (digits[static_cast<size_t>(i)] == '1')
                bits |= uint64_t{1} << i;
        return bits;
    };
    const auto before500 = {std::pair{5, "11"}, {10, "1"}, {13, "1111"}, {23, "1111"}, {31, "111111"}, {42, "1111111"}};
    const auto from500 = {std::pair{6, "1"}, {10, "1"}, {13, "1111"}, {23, "1111"}, {34, "111"}, {41, "1"}, {48, "1"}};
    const struct {
        uint16_t version;
        uint64_t stored;
        uint64_t migrated;
    } cases[] = {
        {400, 0, spelled(before500, 0)},
        {499, 0x0000A5A5ull, spelled(before500, 0x0000A5A5ull)},
        {450, 0xFFFFFFFFull, AllReportFields},
        {500, 0, spelled(from500, 0)},
        {500, 0x00F0F0F0F0ull, spelled(from500, 0x00F0F0F0F0ull)},
        {500, 0xFFFFFFFFFFull, AllReportFields},
        {6000, 0x123456789ABCull, 0x123456789ABCull},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.migrated, MigrateFieldVisibility(c.stored, c.version)) << "version " << c.version;
    // The first four bits keep their meaning; new fields are shown.
    EXPECT_EQ(0x1Fu, MigrateFieldVisibility(0x0F, 400) & 0x1F) << "bits 0-3 kept, 4 and 5 new";
    EXPECT_EQ(0x30u, MigrateFieldVisibility(0x00, 400) & 0x3F);
}

TEST(Options, TruncatedOldStreamsKeepWhatWasRead)
{
    // Version 421 up to the timeout, which it holds in milliseconds.
    TByteWriter w;
    for (uint8_t b : {1, 1, 0x30, 0 /*shown, inverted*/, 1, 1, 3 /*tab*/, 1 /*dialog 0x40*/, 1 /*freeze*/})
        w.U8(b);
    w.U32(60000);
    TVurazaModuleOptions o("");
    OptionsStreamVersion = 421;
    ClearLastWarning();
    TByteReader r(w.Data());
    o.LoadFromStream(r);
    EXPECT_EQ(60, o.FreezeTimeoutSeconds());
    EXPECT_TRUE(o.FreezeWatchEnabled());
    EXPECT_EQ(5, o.FirstDialogTab());
    EXPECT_EQ(2, o.DialogKind());
    EXPECT_EQ(TDuruvaDodErrorCode::eeOptionsError, LastWarningCode());
    EXPECT_NE(std::string::npos, LastWarningText().find("LoadFromStream")) << LastWarningText();

    // A text length beyond the bytes left stops the load without allocating it.
    TByteWriter lie;
    for (int i = 0; i < 7; ++i)
        lie.U8(0);
    lie.U32(45);
    lie.U32(0xFFFFFFF0u);
    TVurazaModuleOptions p("");
    OptionsStreamVersion = 6000;
    TByteReader lr(lie.Data());
    p.LoadFromStream(lr);
    EXPECT_EQ(45, p.FreezeTimeoutSeconds());
    EXPECT_EQ(DefaultSmtpSender, p.SmtpSender());
}

TEST(Options, BuildLogFilePaths)
{
    TFakePlatform platform;
    TVurazaModuleOptions o("C:\\Program\\Trader.vshost.exe");
    const struct {
        const char* output;
        uint8_t logFlags;
        bool programReadOnly;
        const char* expected;
    } cases[] = {
        {"", 0x30, false, "C:\\Program\\Trader.elf"},
        {"D:\\logs\\my.ELF", 0x30, false, "D:\\logs\\my.ELF"},
        {"D:\\logs\\new", 0x30, false, "D:\\logs\\new\\Trader.elf"},
        {"D:\\logs\\new\\", 0x30, false, "D:\\logs\\new\\Trader.elf"},
        {"", 0x30, true, "C:\\AppData\\DuruvaDod\\Trader\\Trader.elf"},
        {"", 0x38, false, "C:\\Program\\Trader_PC_1.elf"},
    };
    for (const auto& c : cases) {
        o.SetLogFilePath(c.output);
        o.SetLogFlags(c.logFlags);
        platform.readOnly.clear();
        if (c.programReadOnly)
            platform.readOnly.insert("C:\\Program");
        EXPECT_EQ(c.expected, o.BuildLogFileName("")) << "output \"" << c.output << "\"";
    }
}

TEST(Options, ExRunsTheWatchdogOnlyForTheCurrentOptions)
{
    static int starts, stops;
    static TVurazaModuleOptions* current;
    starts = stops = 0;
    TModuleOptionsHooks& hooks = ModuleOptionsHooks();
    const TModuleOptionsHooks saved = hooks;
    hooks.currentOptions = [] { return current; };
    hooks.startFreezeWatch = [] { ++starts; };
    hooks.stopFreezeWatch = [] { ++stops; };

    TVurazaModuleOptionsEx mine(""), other("");
    current = &mine;
    mine.SetFreezeWatchEnabled(true);
    EXPECT_EQ(1, starts);
    mine.SetFreezeWatchEnabled(true);
    EXPECT_EQ(1, starts) << "no change, nothing to do";
    mine.SetReporterActive(false);
    EXPECT_EQ(1, stops);
    mine.SetReporterActive(true);
    EXPECT_EQ(2, starts);
    mine.SetFreezeTimeoutSeconds(0);
    EXPECT_EQ(2, stops) << "a timeout below 1 stops the watch";
    other.SetFreezeWatchEnabled(true);
    EXPECT_EQ(2, starts);
    hooks = saved;
}

TEST(Texts, DefaultsBySlot)
{
    TFakePlatform platform;
    TVurazaModuleOptions o("");
    const struct {
        int slot;
        const char* text;
    } cases[] = {
        {0, "Information."},
        {1, "Question."},
        {2, "Error."},
        {3, "Error occurred"},
        {4, "An error has occurred during program execution.\r\nPlease read the following information for further details."},
        {5, "General"},
        {6, "General Information"},
        {7, "Call Stack"},
        {8, "Call Stack Information"},
        {9, "Modules"},
        {10, "Modules Information"},
        {11, "Processes"},
        {12, "Processes Information"},
        {13, "Assembler"},
        {14, "Assembler Information"},
        {15, "CPU"},
        {16, "CPU Information"},
        {17, "&OK"},
        {18, "&Terminate"},
        {19, "&Restart"},
        {20, "&Details"},
        {21, "&Help"},
        {22, "&Send this error via Internet"},
        {23, "&Attach a Screenshot image"},
        {24, "&Copy to Clipboard"},
        {25, "Go to the Support Page"},
        {26, "The application has encountered a problem. We are sorry for the inconvenience."},
        {27, "Restart application."},
        {28, "Terminate application."},
        {29, "Please tell us about this problem."},
        {30, "We have created an error report that you can send to us. We will treat this report as confidential and anonymous."},
        {31, "To see what data the error report contains,"},
        {32, "click here."},
        {33, "What were you doing when the problem happened (optional)?"},
        {34, "Email address (optional):"},
        {35, "&Send Error Report"},
        {36, "&Don't Send"},
        {37, "Application"},
        {38, "Start Date"},
        {39, "Name/Description"},
        {40, "Version Number"},
        {41, "Parameters"},
        {42, "Compilation Date"},
        {43, "Up Time"},
        {44, "Exception"},
        {45, "Date"},
        {46, "Address"},
        {47, "Module Name"},
        {48, "Module Version"},
        {49, "Type"},
        {50, "Message"},
        {51, "ID"},
        {52, "Count"},
        {53, "Status"},
        {54, "Note"},
        {55, "User"},
        {56, "ID"},
        {57, "Name"},
        {58, "Email"},
        {59, "Company"},
        {60, "Privileges"},
        {61, "Active Controls"},
        {62, "Form Class"},
        {63, "Form Text"},
        {64, "Control Class"},
        {65, "Control Text"},
        {66, "Computer"},
        {67, "Name"},
        {68, "Total Memory"},
        {69, "Free Memory"},
        {70, "Total Disk"},
        {71, "Free Disk"},
        {72, "System Up Time"},
        {73, "Processor"},
        {74, "Display Mode"},
        {75, "Display DPI"},
        {76, "Video Card"},
        {77, "Printer"},
        {78, "Operating System"},
        {79, "Type"},
        {80, "Build #"},
        {81, "Update"},
        {82, "Language"},
        {83, "Charset"},
        {84, "Network"},
        {85, "IP Address"},
        {86, "Submask"},
        {87, "Gateway"},
        {88, "DNS 1"},
        {89, "DNS 2"},
        {90, "DHCP"},
        {91, "Custom Information"},
        {92, "Address"},
        {93, "Module"},
        {94, "Unit"},
        {95, "Class"},
        {96, "Procedure/Method"},
        {97, "Line"},
        {98, "Main"},
        {99, "Exception Thread"},
        {100, "Running Thread"},
        {101, "Calling Thread"},
        {102, "ID"},
        {103, "Priority"},
        {104, "Class"},
        {105, "Memory Leak"},
        {106, "Data"},
        {107, "Type"},
        {108, "Total size"},
        {109, "Count"},
        {110, "Send."},
        {111, "Message"},
        {112, "Resolving DNS..."},
        {113, "Login..."},
        {114, "Connecting with server..."},
        {115, "Connected with server."},
        {116, "Sending message..."},
        {117, "Message sent."},
        {118, "Select project..."},
        {119, "Searching..."},
        {120, "Modifying..."},
        {121, "Disconnecting..."},
        {122, "Disconnected."},
        {123, "Request"},
        {124, "Please describe the steps to reproduce the error:"},
        {125, "&OK"},
        {126, "Handle"},
        {127, "Name"},
        {128, "Description"},
        {129, "Version"},
        {130, "Size"},
        {131, "Modified"},
        {132, "Path"},
        {133, "ID"},
        {134, "Name"},
        {135, "Description"},
        {136, "Version"},
        {137, "Memory"},
        {138, "Priority"},
        {139, "Threads"},
        {140, "Path"},
        {141, "Registers"},
        {142, "Stack"},
        {143, "Memory Dump"},
        {144, "The message was sent successfully."},
        {145, "Sorry, sending the message didn't work."},
        {146, "These BUG is just closed.\r\nContact the program support to obtain an update."},
        {147, "Unknown error."},
        {148, "Invalid login request."},
        {149, "Invalid search request."},
        {150, "Invalid selection request."},
        {151, "Invalid insert request."},
        {152, "Invalid modify request."},
        {153, ""},
        {154, "Multi Free memory leak."},
        {155, "Memory Overrun leak."},
        {156, "The application seems to be frozen."},
        {157, "Invalid email."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, o.MessageText(c.slot)) << "slot " << c.slot;
    EXPECT_EQ("", o.MessageText(-1));
    EXPECT_EQ("", o.MessageText(158));
    o.SetMessageText(158, "ignored");

    platform.environment["UserName"] = "李四";
    o.SetMessageText(156, "%UserName%: frozen at %nothing%.");
    EXPECT_EQ("李四: frozen at .", o.MessageText(156));
    EXPECT_EQ("%UserName%: frozen at %nothing%.", o.RawMessageText(156)) << "expanded on fetch, kept raw";
    o.SetMessageText(17, "");
    EXPECT_EQ("", o.MessageText(17)) << "no fallback to the default";
}

TEST(Texts, CatalogueKeysAndVariables)
{
    int slotsSeen[MessageTextCount] = {};
    int headings = 0;
    for (const auto& r : MessageCatalogue) {
        ASSERT_NE(nullptr, r.caption);
        if (r.slot == -1) {
            ++headings;
            continue;
        }
        ASSERT_GE(r.slot, 0);
        ASSERT_LT(r.slot, MessageTextCount);
        ++slotsSeen[r.slot];
    }
    EXPECT_EQ(14, headings);
    for (int i = 0; i < MessageTextCount; ++i)
        EXPECT_EQ(1, slotsSeen[i]) << "slot " << i;
    EXPECT_STREQ("Message captions", MessageCatalogue[0].caption);
    EXPECT_STREQ("\"Please...\" message", MessageCatalogue[32].caption);
    EXPECT_EQ(29, MessageCatalogue[32].slot);

    EXPECT_STREQ("Application|Start Date", ReportFieldKeys[0]);
    EXPECT_STREQ("Operating System|Build #", ReportFieldKeys[37]);
    EXPECT_STREQ("Custom Data|All", ReportFieldKeys[47]);
    for (const char* key : ReportFieldKeys)
        EXPECT_NE(nullptr, strchr(key, '|')) << key;
    EXPECT_STREQ("_BugReport | Full DuruvaDod bug report", TextVariables[0]);
    EXPECT_STREQ("WinDir | Windows directory", TextVariables[25]);
    for (const char* v : TextVariables)
        EXPECT_NE(nullptr, strstr(v, " | ")) << v;
}

TEST(OptionsResource, PacksAndUnpacksSoundDataOnly)
{
    TVurazaModuleOptions source("");
    source.SetMailSubject("资源");
    source.SetLeakFlags(0x13);
    source.ExceptionFilters().Add(TExceptionFilter{true, "EFoo", "", 0, 2, 2, 0});
    const std::string resource = PackOptionsResource(source, true);
    ASSERT_GT(resource.size(), OptionsResourceHeaderSize);
    EXPECT_EQ(0x13, static_cast<uint8_t>(resource[14])) << "leak options in the header";
    EXPECT_EQ(1, resource[15]);

    TVurazaModuleOptions target("");
    ASSERT_TRUE(UnpackOptionsResource(resource, target)) << LastWarningText();
    EXPECT_EQ(Saved(source), Saved(target));

    auto patched = [&](size_t at, uint32_t value) {
        std::string r = resource;
        for (int i = 0; i < 4; ++i)
            r[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i));
        return r;
    };
    std::string flipped = resource;
    flipped[OptionsResourceHeaderSize + 3] ^= 0x40;
    const struct {
        std::string data;
        const char* what;
    } bad[] = {
        {resource.substr(0, 10), "a cut header"},
        {resource.substr(0, resource.size() - 1), "cut data"},
        {patched(0, 0x12345678), "no mark"},
        {patched(6, 0xFFFFFFFF), "a packed size beyond the data"},
        {patched(10, 0xFFFFFFF0), "a huge stream size"},
        {patched(10, 10), "a stream size smaller than the data"},
        {flipped, "damaged deflate data"},
    };
    for (const auto& b : bad) {
        TVurazaModuleOptions o("");
        ClearLastWarning();
        EXPECT_FALSE(UnpackOptionsResource(b.data, o)) << b.what;
        EXPECT_EQ(TDuruvaDodErrorCode::eeOptionsError, LastWarningCode()) << b.what;
        EXPECT_EQ("", o.MailSubject()) << b.what;
    }
}

TEST(OptionsResource, CutStreamInsideSoundDataLeavesOptionsAsTheyWere)
{
    TVurazaModuleOptions source("");
    source.SetMailSubject("资源");
    source.ExceptionFilters().Add(TExceptionFilter{true, "EFoo", "", 0, 2, 2, 0});
    const std::string whole = Saved(source);
    for (size_t keep : {whole.size() / 3, whole.size() / 2, whole.size() - 1}) {
        SCOPED_TRACE(keep);
        const std::string plain = whole.substr(0, keep);
        uLongf packedSize = compressBound(static_cast<uLong>(plain.size()));
        std::string packed(packedSize, '\0');
        ASSERT_EQ(Z_OK, compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                                  reinterpret_cast<const Bytef*>(plain.data()), static_cast<uLong>(plain.size()), 9));
        packed.resize(packedSize);
        for (char& c : packed)
            c = static_cast<char>(c ^ OptionsTextScramble);
        TByteWriter r;
        r.U32(OptionsResourceMark);
        r.U16(6000);
        r.U32(static_cast<uint32_t>(packed.size()));
        r.U32(static_cast<uint32_t>(plain.size()));
        r.U8(0);
        r.U8(0);
        r.Bytes(packed);

        TVurazaModuleOptions target("");
        target.SetMailSubject("旧的");
        const std::string before = Saved(target);
        ClearLastWarning();
        EXPECT_FALSE(UnpackOptionsResource(r.Data(), target));
        EXPECT_EQ(TDuruvaDodErrorCode::eeOptionsError, LastWarningCode());
        EXPECT_EQ(before, Saved(target)) << "nothing of the cut stream is taken";
    }
}
