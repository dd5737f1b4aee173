// The stamping tool's own parts: procedure names and the options source.

#include <gtest/gtest.h>

#include "crashreport/capture/EOptions.h"
#include "tools/stamp/OptionsSource.h"
#include "tools/stamp/ProcedureNames.h"

namespace {

// The options file is UTF-8 whatever the literals' code page.
std::string Utf8(const char8_t* s)
{
    return reinterpret_cast<const char*>(s);
}

}  // namespace

TEST(ProcedureNames, DemangledNamesSplitIntoScopeAndProcedure)
{
    const struct {
        const char* symbol;
        const char* className;
        const char* name;
    } cases[] = {
        {"__ZN2ns4TFoo3BarEi", "ns::TFoo", "Bar"},
        {"_main", "", "main"},
        {"__Z16RunTradingClientv", "", "RunTradingClient"},
        {"_WinMain@16", "", "WinMain"},
        {"__ZN7TThread10ThreadProcEPv@4", "TThread", "ThreadProc"},          // a stdcall member
        {"__ZN5TForm7WndProcEP6HWND__jjl@16", "TForm", "WndProc"},
        {"__ZNK2ns4TFoo5ValueEv", "ns::TFoo", "Value"},                        // const method
        {"__ZN12_GLOBAL__N_17SquaresEi", "(anonymous namespace)", "Squares"},
        {"__ZNK11stampsample8TCounter5ScaleIdEET_S2_", "stampsample::TCounter", "Scale<double>"},
        {"__Z3maxIiET_S0_S0_", "", "max<int>"},                               // return type dropped
        {"__ZN3FooclEv", "Foo", "operator()"},
        {"__ZN3FooltERKS_", "Foo", "operator<"},
        {"__ZN3FoolsEi", "Foo", "operator<<"},
        {"__ZNSt6vectorIiSaIiEE9push_backERKi", "std::vector<int, std::allocator<int> >", "push_back"},
        {"__ZZ4mainENKUlPKcE_clES0_", "main::{lambda(char const*)#1}", "operator()"},
        {"__ZN3FooD2Ev", "Foo", "~Foo"},
        {"__ZN3Foo3barEv.cold", "Foo", "bar"},                                  // a split-off cold part
        {"_gcc_deregister_frame", "", "gcc_deregister_frame"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.symbol);
        const TProcedureName got = SplitProcedureName(DemangleSymbol(c.symbol));
        EXPECT_EQ(c.className, got.className);
        EXPECT_EQ(c.name, got.name);
    }
}

TEST(OptionsSource, SetsTheNamedOptionsAndDescribesThemBack)
{
    TVurazaModuleOptions options("");
    const TOptionsSource source = ApplyOptionsSource(Utf8(u8"# comment\r\n"
                                                          u8"DialogKind=3\n"
                                                          u8"SmtpServerPort=0x1F90\n"
                                                          u8"MailSubject=崩溃\\r\\n报告\n"
                                                          u8"ReportFieldVisibility=0xFFFF\n"
                                                          u8"Text.157=最后\n"
                                                          u8"Entry.16=main\n"
                                                          u8"DebugDataPassword=secret\n"),
                                                     options);
    EXPECT_EQ(3, options.DialogKind());
    EXPECT_EQ(8080, options.SmtpServerPort());
    EXPECT_EQ("\xB1\xC0\xC0\xA3\r\n\xB1\xA8\xB8\xE6", options.MailSubject());  // GBK in memory
    EXPECT_EQ(0xFFFFu, options.ReportFieldVisibility());
    EXPECT_EQ("\xD7\xEE\xBA\xF3", options.RawMessageText(157));
    ASSERT_EQ(1u, source.entries.size());
    EXPECT_EQ(16, source.entries[0].first);
    EXPECT_EQ("main", source.entries[0].second);
    EXPECT_EQ("secret", source.debugDataPassword);

    // Every option described reads back into equal options.
    const std::string described = DescribeOptions(options);
    TVurazaModuleOptions again("");
    ApplyOptionsSource(described, again);
    EXPECT_EQ(described, DescribeOptions(again));
    EXPECT_NE(std::string::npos, described.find(Utf8(u8"MailSubject=崩溃\\r\\n报告\n")));
}

TEST(OptionsSource, RefusesUnknownKeysAndBadNumbers)
{
    const char* bad[] = {"NoSuchOption=1", "DialogKind=three", "Text.158=x", "Entry.300=main", "DialogKind"};
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        TVurazaModuleOptions options("");
        EXPECT_THROW(ApplyOptionsSource(text, options), Exception);
    }
}
